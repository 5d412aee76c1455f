// Word document nodes: the class vocabulary, the default rule of each
// class, the section loop, each section's page geometry and its header
// and footer stories.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/proprecords.h"
#include "core/style/stylerule.h"
#include "core/text/strtable.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "fonts/fontdata.h"
#include "word/reader/wordfonts.h"
#include "platform/api/request.h"
#include "word/reader/build.h"

namespace {

// The fifteen class names, sorted; their ids are 1-15 in this order.
const char classNames[] =
    "anchorGroup\0columnBreak\0columnSection\0document\0pageBreak\0pageNumber\0"
    "paragraph\0picture\0section\0table\0tableCell\0tableRow\0tableRowGroup\0"
    "textBox\0textGroup\0";

struct DefaultProp {
    uint32_t id;
    uint32_t type;
    uint32_t value;
};

uint32_t named(int32_t index)
{
    uint32_t c = 0;
    Pixel_namedColour(&c, index);
    return c;
}

int addRule(WordPropList *list, uint32_t cls, WordReader *r)
{
    StyleRule *rule = nullptr;
    int err = Word_buildStyleRule(list, &rule, r);
    if (!err && !rule && (err = StyleRule_create(&rule)) != Res_ok)
        return err;
    if (!err)
        err = StyleRule_addMatch1(rule, cls);
    if (!err)
        err = Request_addItem(r->load->request, &rule);
    StyleRule_destroy(rule);
    return err;
}

int defineDefaultStyles(WordNodeBuilder *b)
{
    WordReader *r = b->reader;
    uint32_t tab = uint32_t(uint64_t(r->load->dop.dxaTab) * 65536 / 1440);
    struct ClassProps {
        uint32_t cls;
        DefaultProp props[5];
        uint32_t count;
    };
    const ClassProps table[] = {
        {WordClass_pageNumber, {{123, WordValue_keyword, 55}}, 1},
        {WordClass_columnSection, {{34, WordValue_keyword, 172}}, 1},
        {WordClass_document, {{34, WordValue_keyword, 39}}, 1},
        {WordClass_section, {{34, WordValue_keyword, 39}, {2, WordValue_colour, named(16)}}, 2},
        {WordClass_paragraph,
         {{34, WordValue_keyword, 39}, {102, WordValue_length, tab}, {88, WordValue_keyword, 209}},
         3},
        {WordClass_textGroup, {{38, WordValue_length, 9102}}, 1},
        {WordClass_table, {{34, WordValue_keyword, 134}, {78, WordValue_keyword, 192}}, 2},
        {WordClass_tableRowGroup, {{34, WordValue_keyword, 142}}, 1},
        {WordClass_tableRow, {{34, WordValue_keyword, 141}}, 1},
        {WordClass_tableCell, {{34, WordValue_keyword, 0}}, 1},
        {WordClass_pageBreak, {{112, WordValue_keyword, 181}}, 1},
        {WordClass_columnBreak, {{112, WordValue_keyword, 182}}, 1},
        {WordClass_textBox,
         {{65, WordValue_keyword, 69},
          {29, WordValue_colour, named(1)},
          {34, WordValue_keyword, 39},
          {135, WordValue_keyword, 147},
          {81, WordValue_length, 0}},
         5},
    };
    int err = Res_ok;
    for (const ClassProps &c : table) {
        WordPropList list;
        Word_propListInit(&list);
        for (uint32_t i = 0; i < c.count && !err; i++)
            err = Word_propAdd(&list, c.props[i].id, c.props[i].type, c.props[i].value, r);
        if (!err && c.cls == WordClass_textGroup && r->fontCount) {
            uint32_t first = r->stshi.ftcStandardChp[0], second = r->stshi.ftcStandardChp[1];
            if (first < r->fontCount)
                err = Word_propAddString(&list, 37, r->fonts[first].name, r);
            if (!err && second != first && second < r->fontCount)
                err = Word_propAddString(&list, 152, r->fonts[second].name, r);
        }
        if (!err)
            err = addRule(&list, c.cls, r);
        Word_propListClear(&list);
        if (err)
            break;
    }
    return err;
}

uint32_t bitCount(uint32_t v)
{
    uint32_t n = 0;
    for (; v; v &= v - 1)
        n++;
    return n;
}

uint32_t inches(int32_t twips)
{
    return uint32_t(int32_t(int64_t(twips) * 65536 / 1440));
}

uint32_t inchesUnsigned(int32_t twips)
{
    return uint32_t(uint64_t(uint32_t(twips)) * 65536 / 1440);
}

} // namespace

int Word_nodeBuilderNew(Edr_Doc *doc, Edr_Node *root, WordReader *reader, WordNodeBuilder **out)
{
    *out = nullptr;
    WordNodeBuilder *b = static_cast<WordNodeBuilder *>(Mem_calloc(1, sizeof(WordNodeBuilder)));
    if (!b)
        return Res_noMemory;
    b->doc = doc;
    b->root = root;
    b->reader = reader;
    StrTable *classes = StrTable_create(classNames);
    if (!classes) {
        Mem_free(b);
        return Res_noMemory;
    }
    int err = Edr_Doc_setStringTable(doc, classes);
    if (err) {
        StrTable_destroy(classes);
        Mem_free(b);
        return err;
    }
    b->classes = classes;
    WordLoad *l = reader->load;
    if (!err)
        err = Edr_Node_setStyle(doc, root, WordClass_document);
    if (!err)
        err = Request_new(reader->ctx, 2, &l->request);
    if (!err)
        err = Edr_Doc_addRequest(doc, l->request);
    if (!err)
        err = defineDefaultStyles(b);
    b->storyCounter = 1;
    if (err) {
        Word_nodeBuilderFree(b);
        return err;
    }
    l->builder = b;
    *out = b;
    return Res_ok;
}

void Word_nodeBuilderFree(WordNodeBuilder *builder)
{
    Mem_free(builder);
}

namespace {

int nodesAddColumns(const WordSep *sep, uint32_t balance, WordPropList *list, WordReader *r);

// The section style of Word_sectionStyle, with or without its columns.
int nodesSectionStyle(const WordSep *sep, bool columns, WordPropList *list, WordNodeBuilder *b)
{
    WordReader *r = b->reader;
    Word_propListInit(list);
    int err = Res_ok;
    auto add = [&](uint32_t id, uint32_t type, uint32_t word) {
        if (!err)
            err = Word_propAdd(list, id, type, word, r);
    };
    // How the section starts, where it is not on a new page (the
    // default): page-break-before auto (continuous), left (on an even
    // page) or right (on an odd page).
    if (sep->bkc == 0 || sep->bkc == 3 || sep->bkc == 4)
        add(72, WordValue_keyword, sep->bkc == 0 ? 34u : sep->bkc == 3 ? 86u : 117u);
    if (sep->xaPage)
        add(90, WordValue_length, inchesUnsigned(sep->xaPage));
    if (sep->yaPage)
        add(44, WordValue_length, inchesUnsigned(sep->yaPage));
    if (sep->dxaLeft)
        add(54, WordValue_length, inchesUnsigned(sep->dxaLeft));
    if (sep->dxaRight)
        add(52, WordValue_length, inchesUnsigned(sep->dxaRight));
    if (sep->dyaTop)
        add(51, WordValue_length, inches(sep->dyaTop));
    if (sep->dyaBottom)
        add(53, WordValue_length, inches(sep->dyaBottom));
    static constexpr uint32_t sides[4] = {0, 1, 2, 3};
    for (uint32_t i = 0; i < 4 && !err; i++)
        if (sep->brc[i].style > 0)
            err = Word_borderToProps(&sep->brc[i], sides[i], list, r);
    if (!err && sep->ccolM1 && columns)
        err = nodesAddColumns(sep, 0, list, r);
    if (err) {
        Word_propListClear(list);
        return err;
    }
    return Res_ok;
}

} // namespace

int Word_sectionStyle(const WordSep *sep, WordPropList *list, WordNodeBuilder *b)
{
    return nodesSectionStyle(sep, true, list, b);
}

int Word_sectionHeaders(uint32_t cp, WordSectionContext *section, WordReader *r)
{
    if (!section)
        return Res_wordNoSectionContext;
    uint32_t index = r->sectionCount;
    for (uint32_t i = 0; i < r->sectionCount; i++)
        if (r->sections[i].start <= cp && cp < r->sections[i].end)
            index = i;
    if (index == r->sectionCount)
        return Res_wordNotFound;
    WordNodeBuilder *b = section->builder;
    r->subdoc = 2;
    r->sectGrpfIhdt = section->sep.grpfIhdt;
    // Slots: even header, even footer, odd header, odd footer, first
    // header, first footer.
    static constexpr uint32_t kinds[6] = {0, 2, 1, 3, 4, 5};
    int err = Res_ok;
    for (uint32_t slot = 0; slot < 6 && !err; slot++) {
        uint32_t start = 0, end = 0;
        if ((err = Word_headerRange(index, kinds[slot], &start, &end, r)) != Res_ok)
            break;
        if (end <= start + 1 || end > r->subdocStart[8]) {
            section->stories[slot] = b->carried[slot];
            continue;
        }
        uint32_t id = b->storyCounter++;
        section->stories[slot] = id;
        b->carried[slot] = id;
        WordSectionContext *story =
            static_cast<WordSectionContext *>(Mem_calloc(1, sizeof(WordSectionContext)));
        if (!story) {
            err = Res_noMemory;
            break;
        }
        story->builder = b;
        story->sep = section->sep;
        story->story = 1;
        b->currentStory = id;
        err = slot % 2 == 0 ? Word_headerGroup(story, &story->group)
                            : Word_footerGroup(story, &story->group);
        if (!err)
            err = Word_buildRange(start, end - 1, story, r);
        Word_sectionEnd(story);
    }
    if (!err) {
        if (!section->sep.fTitlePage) {
            section->stories[4] = section->stories[2];
            section->stories[5] = section->stories[3];
        }
        if (!(r->load->dop.flags0 & 1)) {
            section->stories[0] = section->stories[2];
            section->stories[1] = section->stories[3];
        }
    }
    r->subdoc = 0;
    return err;
}

namespace {

// Whether a section with sep goes on on the pages of page's section: it
// starts continuously, on a page of the same size and margins. Its columns
// and its own headers and footers do not matter: the columns are laid out
// from where the section before ended, and a header of its own takes over
// from the next page.
bool nodesContinuesPage(const WordSectionPage *page, const WordSep *sep)
{
    if (!page || !page->group || sep->bkc != 0)
        return false;
    const WordSep &p = page->sep;
    return p.xaPage == sep->xaPage && p.yaPage == sep->yaPage && p.dxaLeft == sep->dxaLeft &&
           p.dxaRight == sep->dxaRight && p.dyaTop == sep->dyaTop && p.dyaBottom == sep->dyaBottom;
}

// Whether the section after the one holding cp (the next one that holds
// text) goes on on the page of the one holding cp, whose properties are
// sep.
bool nodesNextContinues(uint32_t cp, const WordSep *sep, WordReader *r)
{
    uint32_t i = 0;
    while (i < r->sectionCount && !(r->sections[i].start <= cp && cp < r->sections[i].end))
        i++;
    uint32_t end = i < r->sectionCount ? r->sections[i].end : 0;
    for (i++; i < r->sectionCount; i++) {
        uint32_t start = r->sections[i].start, last = r->sections[i].end;
        if (last > r->fib.ccpText)
            last = r->fib.ccpText;
        if (start > last)
            start = end;
        if (start >= last)
            continue;
        WordSep next;
        Word_defaultSep(&next);
        if (Word_readSectionProps(start, &next, r) != Res_ok)
            return false;
        WordSectionPage page{};
        page.group = reinterpret_cast<Edr_Node *>(1); // only tested for null
        page.sep = *sep;
        return nodesContinuesPage(&page, &next);
    }
    return false;
}

// The column list of property 94 for sep (ccolM1 non-zero): flags 1 evenly
// spaced, 2 a line between the columns, 4 the columns balanced (the text
// shared out evenly rather than filling each column in turn).
int nodesAddColumns(const WordSep *sep, uint32_t balance, WordPropList *list, WordReader *r)
{
    uint32_t n = uint32_t(sep->ccolM1) + 1;
    if (n > Word_maxColumns)
        n = Word_maxColumns;
    PropColumns *cols = nullptr;
    int err = PropColumns_create(&cols, int32_t(n));
    if (err)
        return err;
    cols->flags = (sep->fLBetween ? 2 : 0) + (sep->fEvenlySpaced ? 1 : 0) + (balance ? 4 : 0);
    for (uint32_t i = 0; i < n; i++) {
        if (sep->fEvenlySpaced) {
            int64_t width = (int64_t(sep->xaPage) - (int64_t(sep->dxaLeft) + sep->dxaRight) -
                             int64_t(sep->ccolM1) * sep->dxaColumns) /
                            (int64_t(sep->ccolM1) + 1);
            cols->columns[i].width = int32_t(width * 65536 / 1440);
            cols->columns[i].gap = i + 1 < n ? int32_t(inches(sep->dxaColumns)) : 0;
        } else {
            cols->columns[i].width = int32_t(inchesUnsigned(sep->colWidth[i]));
            cols->columns[i].gap = i + 1 < n ? int32_t(inchesUnsigned(sep->colSpacing[i])) : 0;
        }
    }
    WordPropValue v{};
    v.id = 94;
    v.type = WordValue_columns;
    v.payload = reinterpret_cast<uintptr_t>(cols);
    return Word_propListAdd(list, &v, r);
}

// The header and footer stories: even header 117, even footer 120, odd
// header 118, odd footer 121, first header 116, first footer 119.
constexpr uint32_t nodesStoryProps[6] = {117, 120, 118, 121, 116, 119};

// The style of a group nested in the group of the page a continuous
// section goes on on: a continuous start (page-break-before auto), the
// section's columns, balanced when balance is set, and its header and
// footer stories, which take over from the next page.
int nodesNestedStyle(const WordSep *sep, const uint32_t *stories, uint32_t balance, uint32_t *style,
                     WordNodeBuilder *b)
{
    WordReader *r = b->reader;
    WordPropList list;
    Word_propListInit(&list);
    int err = Word_propAdd(&list, 72, WordValue_keyword, 34u, r);
    if (!err && sep->ccolM1)
        err = nodesAddColumns(sep, balance, &list, r);
    // Every inner group names its stories, those it carries on included,
    // so that the pages after the one it starts on show them.
    for (uint32_t slot = 0; slot < 6 && !err; slot++)
        if (stories[slot])
            err = Word_propAdd(&list, nodesStoryProps[slot], WordValue_int, stories[slot], r);
    if (!err)
        err = Word_styleIntern(&list, style, r);
    Word_propListClear(&list);
    return err;
}

// Makes a group for a section's text under parent with the nested style
// (class "columnSection" for several columns, else "section").
int nodesNestedGroup(Edr_Node *parent, const WordSep *sep, const uint32_t *stories,
                     uint32_t balance, Edr_Node **out, WordNodeBuilder *b)
{
    *out = nullptr;
    uint32_t style = 0;
    int err = nodesNestedStyle(sep, stories, balance, &style, b);
    Edr_Node *group = nullptr;
    if (!err)
        err = Edr_Node_createGroup(b->doc, parent, Edr_Insert_lastChild, 0, &group);
    if (!err)
        err = Word_nodeSetStyle(b->doc, group,
                                sep->ccolM1 ? WordClass_columnSection : WordClass_section, style);
    if (err) {
        if (group)
            Edr_Node_release(b->doc, group);
        return err;
    }
    *out = group;
    return Res_ok;
}

} // namespace

int Word_sectionBegin(uint32_t cp, WordNodeBuilder *b, WordSectionPage *page,
                      WordSectionContext **out)
{
    *out = nullptr;
    WordReader *r = b->reader;
    WordSectionContext *s =
        static_cast<WordSectionContext *>(Mem_calloc(1, sizeof(WordSectionContext)));
    if (!s)
        return Res_noMemory;
    s->builder = b;
    Word_defaultSep(&s->sep);
    int err = Word_readSectionProps(cp, &s->sep, r);
    if (!err)
        err = Word_sectionHeaders(cp, s, r);
    if (err) {
        Word_sectionEnd(s);
        return err;
    }
    // Columns followed by a section that goes on on their page share the
    // text out evenly, so that the next section starts below all of them.
    uint32_t balance = s->sep.ccolM1 && nodesNextContinues(cp, &s->sep, r) ? 1 : 0;
    if (nodesContinuesPage(page, &s->sep)) {
        // The content goes into a group of its own inside the page's group,
        // which keeps the section's bounds and start for saving.
        err = nodesNestedGroup(page->group, &s->sep, s->stories, balance, &s->group, b);
        if (err) {
            Word_sectionEnd(s);
            return err;
        }
        std::memcpy(page->stories, s->stories, sizeof(page->stories));
        *out = s;
        return Res_ok;
    }
    // A section in columns that a continuous section follows gets a
    // one-column group for the page with its columns in a group inside it,
    // so that the following section's text can go below them.
    uint32_t nest = balance;
    err = Edr_Node_createGroup(b->doc, b->root, Edr_Insert_lastChild, 0, &s->group);
    WordPropList list;
    Word_propListInit(&list);
    if (!err)
        err = nodesSectionStyle(&s->sep, !nest, &list, b);
    for (uint32_t slot = 0; slot < 6 && !err; slot++)
        if (s->stories[slot])
            err = Word_propAdd(&list, nodesStoryProps[slot], WordValue_int, s->stories[slot], r);
    if (!err && s->sep.nfcPgn) {
        static constexpr uint32_t pgn[5] = {55, 154, 93, 152, 90};
        err = Word_propAdd(&list, 123, WordValue_keyword,
                           s->sep.nfcPgn < 5 ? pgn[s->sep.nfcPgn] : 55, r);
    }
    uint32_t style = 0;
    if (!err)
        err = Word_styleIntern(&list, &style, r);
    Word_propListClear(&list);
    if (!err)
        err = Word_nodeSetStyle(
            b->doc, s->group, s->sep.ccolM1 && !nest ? WordClass_columnSection : WordClass_section,
            style);
    if (!err && page) {
        if (page->group)
            Edr_Node_release(b->doc, page->group);
        page->group = nullptr;
        err = Edr_Node_addRefLive(b->doc, s->group);
        if (!err) {
            page->group = s->group;
            page->sep = s->sep;
            std::memcpy(page->stories, s->stories, sizeof(page->stories));
        }
    }
    if (!err && nest) {
        Edr_Node *inner = nullptr;
        err = nodesNestedGroup(s->group, &s->sep, s->stories, balance, &inner, b);
        if (!err) {
            Edr_Node_release(b->doc, s->group);
            s->group = inner;
        }
    }
    if (err) {
        Word_sectionEnd(s);
        return err;
    }
    *out = s;
    return Res_ok;
}

void Word_sectionEnd(WordSectionContext *section)
{
    if (!section)
        return;
    Word_tableReset(section);
    if (section->group)
        Edr_Node_release(section->builder->doc, section->group);
    Mem_free(section);
}

int Word_buildRange(uint32_t start, uint32_t end, WordSectionContext *section, WordReader *r)
{
    Word_bookmarksForRange(r, start, end);
    int err = Res_ok;
    for (uint32_t cp = start; cp < end && !err;) {
        uint32_t paraEnd = 0;
        err = Word_nextParaEnd(cp, &paraEnd, r);
        if (err == Res_wordSubdocEnd) {
            paraEnd = end;
            err = Res_ok;
        }
        if (err)
            break;
        if (paraEnd > end)
            paraEnd = end;
        if (paraEnd <= cp)
            break;
        WordParaState *para = nullptr;
        if ((err = Word_paraBegin(cp, section, &para, section->story)) != Res_ok)
            break;
        err = Word_paraEmitRuns(cp, &paraEnd, para, r);
        int endErr = Word_paraEnd(&para);
        if (!err)
            err = endErr;
        cp = paraEnd;
    }
    // A table that runs to the range's end is finished here.
    int flushErr = Word_tableFlush(section);
    return err ? err : flushErr;
}

int Word_buildSections(WordReader *r)
{
    WordNodeBuilder *b = r->load->builder;
    uint32_t lastEnd = 0;
    // Stories before the first section's: the separators that the DOP's
    // last three story flags name (Word 6/95 numbering).
    r->hddStoryCounter = uint16_t(bitCount((r->load->dop.flags0 >> 13) & 7));
    r->subdoc = 0;
    int err = Res_ok;
    WordSectionPage page{};
    for (uint32_t i = 0; i < r->sectionCount && !err; i++) {
        uint32_t start = r->sections[i].start, end = r->sections[i].end;
        if (end > r->fib.ccpText)
            end = r->fib.ccpText;
        if (start > end)
            start = lastEnd;
        if (start < end) {
            WordSectionContext *s = nullptr;
            err = Word_sectionBegin(start, b, &page, &s);
            if (!err)
                err = Word_buildRange(start, end, s, r);
            r->hddStoryCounter =
                uint16_t(r->hddStoryCounter + bitCount((s ? s->sep.grpfIhdt : 0) & 0x3F));
            Word_sectionEnd(s);
            lastEnd = end;
        }
    }
    if (page.group)
        Edr_Node_release(b->doc, page.group);
    return err;
}

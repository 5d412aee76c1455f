// Word documents loaded into the tree: the body text of every fixture
// against LibreOffice's text conversion, sections with their page
// geometry, header and footer stories, styled runs with their fonts,
// fields (page numbers, links to URLs and bookmarks), the root attachment,
// protection, encryption, and the style conversion's small rules.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/proprecords.h"
#include "core/style/stylerule.h"
#include "core/style/propids.h"
#include "core/text/strtable.h"
#include "document/edr/page.h"
#include "document/style/style.h"
#include "word/reader/wordfonts.h"
#include "graphics/pixelbuf.h"
#include "layout/layout.h"
#include "document/edr/attach.h"
#include "platform/api/request.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"
#include "tests/document/edr_fixture.h"
#include "word/reader/build.h"
#include "word/reader/word.h"

namespace {

std::string readFixture(const std::string &name)
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/word/" + name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void addUtf8(std::string *out, char16_t c)
{
    if (c < 0x80) {
        *out += char(c);
    } else if (c < 0x800) {
        *out += char(0xC0 | (c >> 6));
        *out += char(0x80 | (c & 0x3F));
    } else {
        *out += char(0xE0 | (c >> 12));
        *out += char(0x80 | ((c >> 6) & 0x3F));
        *out += char(0x80 | (c & 0x3F));
    }
}

// White space (ASCII, NBSP, a byte-order mark) collapsed to single spaces.
std::string normalise(const std::string &s)
{
    std::string out;
    bool space = true;
    for (size_t i = 0; i < s.size(); i++) {
        unsigned char c = s[i];
        bool ws = c <= ' ';
        size_t skip = 0;
        if (c == 0xC2 && i + 1 < s.size() && uint8_t(s[i + 1]) == 0xA0)
            ws = true, skip = 1;
        if (c == 0xEF && i + 2 < s.size() && uint8_t(s[i + 1]) == 0xBB && uint8_t(s[i + 2]) == 0xBF)
            ws = true, skip = 2;
        i += skip;
        if (ws) {
            if (!space)
                out += ' ';
            space = true;
        } else {
            out += char(c);
            space = false;
        }
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

uint32_t elementOf(Edr_Node *n)
{
    return Edr_Node_type(n) == Edr_NodeType_group ? Edr_Node_group(n)->element : 0;
}

void textOf(Edr_Node *node, std::string *out)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (Edr_Node_type(c) == Edr_NodeType_group)
            textOf(c, out);
        else if (Edr_Node_type(c) == Edr_NodeType_text) {
            const Edr_TextNode *t = Edr_Node_textPayload(c);
            for (uint32_t i = 0; i < t->length; i++)
                addUtf8(out, t->chars[i] == 0x0B ? u'\n' : t->chars[i]);
        }
    }
}

void paragraphs(Edr_Node *node, std::vector<std::string> *out)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (elementOf(c) == WordClass_paragraph) {
            std::string s;
            textOf(c, &s);
            out->push_back(s);
        } else if (Edr_Node_type(c) == Edr_NodeType_group) {
            paragraphs(c, out);
        }
    }
}

void collect(Edr_Node *node, uint32_t cls, std::vector<Edr_Node *> *out)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (elementOf(c) == cls)
            out->push_back(c);
        if (Edr_Node_type(c) == Edr_NodeType_group)
            collect(c, cls, out);
    }
}

// The properties of the style rule a node's style id selects.
std::map<uint32_t, Prop> propsOf(Edr_Doc *doc, Edr_Node *node)
{
    std::map<uint32_t, Prop> out;
    const Edr_Group *g = Edr_Node_group(node);
    if (!g->ids)
        return out;
    Request *request = nullptr;
    if (Edr_Doc_getRequest(doc, nullptr, &request))
        return out;
    while (request) {
        for (StyleRule *r = Request_firstItem(request); r; r = Request_nextItem(request, r))
            for (const uint32_t *id = g->ids; *id; id++)
                if (r->matches && r->matches->key == *id && *id >= Word_firstStyleId)
                    for (StylePropItem *p = r->firstProp; p; p = p->next)
                        out[p->value.id] = p->value;
        Request *next = nullptr;
        int err = Edr_Doc_getRequest(doc, request, &next);
        Request_release(request);
        request = err ? nullptr : next;
    }
    return out;
}

// The default rule of a class.
std::map<uint32_t, Prop> classRule(Edr_Doc *doc, uint32_t cls)
{
    std::map<uint32_t, Prop> out;
    Request *request = nullptr;
    if (Edr_Doc_getRequest(doc, nullptr, &request))
        return out;
    for (StyleRule *r = Request_firstItem(request); r; r = Request_nextItem(request, r))
        if (r->matches && r->matches->key == cls)
            for (StylePropItem *p = r->firstProp; p; p = p->next)
                out[p->value.id] = p->value;
    Request_release(request);
    return out;
}

std::string ustr(const Prop &p)
{
    std::string out;
    const char16_t *s = reinterpret_cast<const char16_t *>(p.payload);
    for (uint32_t i = 0; s && i < p.payload2; i++)
        addUtf8(&out, s[i]);
    return out;
}

std::string linkOf(Edr_Doc *doc, Edr_Node *group)
{
    // The tree holds no reference: take one for the locked getter.
    Url *url = nullptr;
    (void)Edr_Node_addRefLocked(doc, group);
    int err = Edr_Node_getUrl(doc, group, &url);
    Edr_Node_dropRefLocked(doc, group);
    if (err || !url)
        return "";
    char *text = Url_toUtf8(url, 31);
    std::string out = text ? text : "";
    Mem_free(text);
    Url_free(url);
    return out;
}

int32_t twips(int32_t v)
{
    return int32_t(int64_t(v) * 65536 / 1440);
}

class WordLoadTest : public EdrFixture {
  protected:
    // Loads the fixture into a new document, runs check on it, releases it.
    void load(const std::string &name, std::function<void(Edr_Doc *, Edr_Node *, int)> check)
    {
        std::string file = readFixture(name);
        ASSERT_FALSE(file.empty()) << name;
        loadBytes(file, check);
    }
    // The same for the bytes of a file.
    void loadBytes(const std::string &file, std::function<void(Edr_Doc *, Edr_Node *, int)> check)
    {
        run([&] {
            Edr_Doc *doc = nullptr;
            Edr_Node *root = nullptr;
            ASSERT_EQ(Edr_Doc_create(ctx(), &doc, &root), 0);
            uint8_t *copy = static_cast<uint8_t *>(Mem_malloc(file.size()));
            ASSERT_NE(copy, nullptr);
            memcpy(copy, file.data(), file.size());
            VfsHandle *stream = nullptr;
            uint32_t accepted = 0;
            ASSERT_EQ(Vfs_openMemory(ctx(), copy, file.size(), 1, Vfs_modeRead | Vfs_modeSeekable,
                                     &stream, &accepted),
                      0);
            int err = Word_loadDocument(ctx(), nullptr, nullptr, stream, doc, root);
            check(doc, root, err);
            Edr_Doc_release(doc);
        });
    }
};

TEST_F(WordLoadTest, BodyTextMatchesTheTextConversion)
{
    // word6-fonts and word6-mac: Word 6 text in the code page of its font or
    // run (Cyrillic, Central European) and in Mac Roman, whatever the
    // file's language id says.
    for (const char *name :
         {"runs", "sections", "links", "word6", "pieces", "protected", "fields", "word6-1251",
          "word6-1253", "word6-1250", "word6-fonts", "word6-mac", "word6-sections"}) {
        SCOPED_TRACE(name);
        std::string expected = readFixture(std::string(name) + ".txt");
        ASSERT_FALSE(expected.empty());
        load(std::string(name) + ".doc", [&](Edr_Doc *, Edr_Node *root, int err) {
            ASSERT_EQ(err, 0);
            std::vector<std::string> paras;
            paragraphs(root, &paras);
            std::string text;
            for (const std::string &p : paras)
                text += p + "\n";
            EXPECT_EQ(normalise(text), normalise(expected));
        });
    }
}

TEST_F(WordLoadTest, DocumentsFillTheirPagesWhenLaidOut)
{
    // runs.doc: 150 short paragraphs in one A4 section fill about seven
    // pages (the count depends a little on the fonts found), many
    // paragraphs a page rather than one. fields.doc: three short parts, each
    // after the first behind a page break that ends a run in the middle of
    // its paragraph's text, make exactly three pages. breaks.doc: three
    // pages of page breaks, two continuous sections that go on on the third
    // page and a landscape section on a fourth. word6-sections.doc: two
    // continuous sections on the first page, then an odd-page section
    // behind a blank second page, an even-page one on page 4 and another
    // behind a blank fifth page.
    struct Case {
        const char *name;
        uint32_t least, most;
    } cases[] = {{"runs.doc", 5, 9},
                 {"fields.doc", 3, 3},
                 {"breaks.doc", 4, 4},
                 {"word6-sections.doc", 6, 6}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        load(c.name, [&](Edr_Doc *doc, Edr_Node *, int err) {
            ASSERT_EQ(err, 0);
            Edr_Doc_readLock(doc);
            err = Layout_document(doc);
            Edr_Doc_readUnlock(doc);
            ASSERT_EQ(err, 0);
            uint32_t count = 0;
            Edr_Page_count(doc, &count);
            EXPECT_GE(count, c.least);
            EXPECT_LE(count, c.most);
        });
    }
}

TEST_F(WordLoadTest, ContinuousSectionsGoOnInTheGroupOfTheirPage)
{
    // Each top-level group as the paragraphs directly in it ("p" for each)
    // and the groups of the sections that go on on its page: "s" (one
    // column) or "c" (columns, "c*" when balanced) with their paragraph
    // count. A continuous section with the page size and margins of the one
    // before gets a group inside that section's group, whatever its columns
    // and headers; new-page, odd-page and even-page sections, and the
    // landscape one, have top-level groups of their own. Columns that a
    // continuous section follows are balanced, and a section in columns
    // that starts a page puts them into an inner group when one follows.
    struct Case {
        const char *name;
        std::vector<std::string> groups;
    } cases[] = {
        {"word6-sections.doc", {"p s1 s1", "p", "p", "p"}},
        {"breaks.doc", {"pppppppp s1 s1", "p"}},
        {"colsections.doc", {"p c*12 s1 c*9 s1"}},
        {"colfirst.doc", {"c*10 s2"}},
        {"contheaders.doc", {"p s70"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        load(c.name, [&](Edr_Doc *doc, Edr_Node *root, int err) {
            ASSERT_EQ(err, 0);
            auto paragraphsIn = [](Edr_Node *group) {
                size_t n = 0;
                for (Edr_Node *p = Edr_Node_firstChild(group); p; p = Edr_Node_nextSibling(p))
                    n += Edr_Node_type(p) == Edr_NodeType_group &&
                                 elementOf(p) == WordClass_paragraph
                             ? 1
                             : 0;
                return n;
            };
            std::vector<std::string> groups;
            for (Edr_Node *s = Edr_Node_firstChild(root); s; s = Edr_Node_nextSibling(s)) {
                if (Edr_Node_type(s) != Edr_NodeType_group)
                    continue;
                EXPECT_EQ(elementOf(s), uint32_t(WordClass_section));
                std::string text;
                for (Edr_Node *p = Edr_Node_firstChild(s); p; p = Edr_Node_nextSibling(p)) {
                    if (Edr_Node_type(p) != Edr_NodeType_group)
                        continue;
                    uint32_t kind = elementOf(p);
                    if (kind == WordClass_paragraph) {
                        text += "p";
                        continue;
                    }
                    if (kind != WordClass_section && kind != WordClass_columnSection)
                        continue;
                    std::map<uint32_t, Prop> props = propsOf(doc, p);
                    // Every inner group starts continuously (page-break-before auto).
                    EXPECT_EQ(props[72].type, 34u);
                    text += text.empty() ? "" : " ";
                    if (kind == WordClass_columnSection) {
                        const PropColumns *cols =
                            reinterpret_cast<const PropColumns *>(props[94].payload);
                        EXPECT_NE(cols, nullptr);
                        text += cols && (cols->flags & 4) ? "c*" : "c";
                    } else {
                        text += "s";
                    }
                    text += std::to_string(paragraphsIn(p));
                }
                groups.push_back(text);
            }
            EXPECT_EQ(groups, c.groups);
        });
    }
    // The continuous section with a header of its own names it (odd-page
    // header, property 118) for the pages after the one it starts on.
    load("contheaders.doc", [&](Edr_Doc *doc, Edr_Node *root, int err) {
        ASSERT_EQ(err, 0);
        Edr_Node *outer = Edr_Node_firstChild(root);
        ASSERT_NE(outer, nullptr);
        Edr_Node *inner = nullptr;
        for (Edr_Node *c = Edr_Node_firstChild(outer); c; c = Edr_Node_nextSibling(c))
            if (elementOf(c) == WordClass_section)
                inner = c;
        ASSERT_NE(inner, nullptr);
        std::map<uint32_t, Prop> a = propsOf(doc, outer), b = propsOf(doc, inner);
        ASSERT_TRUE(a.count(118) && b.count(118));
        EXPECT_NE(Prop_getInt(&a[118]), Prop_getInt(&b[118]));
    });
}

TEST_F(WordLoadTest, SectionsCarryTheirPageGeometry)
{
    load("sections.doc", [&](Edr_Doc *doc, Edr_Node *root, int err) {
        ASSERT_EQ(err, 0);
        EXPECT_EQ(Edr_Doc_getTypeCode(doc), 226u);
        std::vector<Edr_Node *> sections;
        for (Edr_Node *c = Edr_Node_firstChild(root); c; c = Edr_Node_nextSibling(c))
            sections.push_back(c);
        ASSERT_EQ(sections.size(), 2u);
        EXPECT_EQ(elementOf(sections[0]), uint32_t(WordClass_section));
        EXPECT_EQ(elementOf(sections[1]), uint32_t(WordClass_columnSection));
        // A4 portrait with 2 cm margins: 11906 x 16838 twips, 1134 margins.
        std::map<uint32_t, Prop> p = propsOf(doc, sections[0]);
        EXPECT_EQ(p[90].payload, uint32_t(twips(11906)));
        EXPECT_EQ(p[44].payload, uint32_t(twips(16838)));
        EXPECT_EQ(p[54].payload, uint32_t(twips(1134)));
        EXPECT_EQ(p[52].payload, uint32_t(twips(1134)));
        EXPECT_EQ(p.count(94), 0u);
        // A4 landscape with 1.5 cm margins in two columns 1 cm apart.
        p = propsOf(doc, sections[1]);
        EXPECT_EQ(p[90].payload, uint32_t(twips(16838)));
        EXPECT_EQ(p[44].payload, uint32_t(twips(11906)));
        EXPECT_EQ(p[54].payload, uint32_t(twips(850)));
        ASSERT_EQ(p.count(94), 1u);
        const PropColumns *cols = reinterpret_cast<const PropColumns *>(p[94].payload);
        ASSERT_EQ(cols->count, 2);
        EXPECT_EQ(cols->columns[1].gap, 0);
    });
}

TEST_F(WordLoadTest, HeaderAndFooterStoriesPerSectionKind)
{
    load("sections.doc", [&](Edr_Doc *doc, Edr_Node *root, int err) {
        ASSERT_EQ(err, 0);
        Edr_Node *first = Edr_Node_firstChild(root);
        std::map<uint32_t, Prop> p = propsOf(doc, first);
        // The story of each slot, by its text.
        auto storyText = [&](uint32_t property) {
            if (!p.count(property))
                return std::string("-");
            uint32_t id = uint32_t(p[property].payload);
            for (Edr_KeyedGroup *k = doc->keyedGroups; k; k = k->next)
                if (uint32_t(k->key) == id)
                    for (Edr_Node *g : k->groups)
                        if (g) {
                            std::vector<std::string> paras;
                            paragraphs(g, &paras);
                            std::string s;
                            for (const std::string &t : paras)
                                s += t;
                            return s;
                        }
            return std::string("?");
        };
        EXPECT_EQ(storyText(118), "Odd page header");
        EXPECT_EQ(storyText(121), "Odd page footer");
        EXPECT_EQ(storyText(117), "Even page header");
        EXPECT_EQ(storyText(120), "Even page footer");
        EXPECT_EQ(storyText(116), "First page header");
        EXPECT_EQ(storyText(119), "First page footer");
        // Headers sit against the top margin, footers against the bottom.
        for (Edr_KeyedGroup *k = doc->keyedGroups; k; k = k->next) {
            if (k->groups[0]) {
                EXPECT_EQ(propsOf(doc, k->groups[0]).count(51), 1u);
            }
            if (k->groups[1]) {
                EXPECT_EQ(propsOf(doc, k->groups[1]).count(53), 1u);
            }
        }
    });
}

TEST_F(WordLoadTest, RunsCarryBoldColoursSizesAndFonts)
{
    load("runs.doc", [&](Edr_Doc *doc, Edr_Node *root, int err) {
        ASSERT_EQ(err, 0);
        std::vector<Edr_Node *> groups;
        collect(root, WordClass_textGroup, &groups);
        std::map<std::string, std::map<uint32_t, Prop>> byText;
        for (Edr_Node *g : groups) {
            std::string s;
            textOf(g, &s);
            byText[s] = propsOf(doc, g);
        }
        // run 0.0 uses T0: Liberation Serif 9 pt, #c00000, bold; run 0.1 T1:
        // Liberation Sans 10 pt, #008000.
        ASSERT_TRUE(byText.count("run 0.0 in style 0"));
        std::map<uint32_t, Prop> &t0 = byText["run 0.0 in style 0"];
        EXPECT_EQ(t0[43].type, 40u);
        EXPECT_EQ(ustr(t0[37]), "Liberation Serif,Times New Roman"); // with its alternative name
        EXPECT_EQ(t0[38].payload, 18u * 65536 / 144);
        EXPECT_EQ(t0[29].payload, 0xFF0000C0u);
        std::map<uint32_t, Prop> &t1 = byText["run 0.1 in style 1"];
        EXPECT_EQ(t1.count(43), 0u);
        EXPECT_EQ(ustr(t1[37]), "Liberation Sans,Arial");
        EXPECT_EQ(t1[29].payload, 0xFF008000u);
        // The font table went to the root for the writer.
        void *data = nullptr;
        EXPECT_EQ(Edr_Node_getPrivate(doc, root, &data), 0);
        ASSERT_NE(data, nullptr);
        const WordRootData *rd = static_cast<const WordRootData *>(data);
        EXPECT_GT(rd->fontCount, 3u);
        Edr_PrivateDestructor d = nullptr;
        EXPECT_EQ(Edr_Node_getPrivateDestructor(doc, root, &d), 0);
        EXPECT_EQ(d, &Word_rootDataFree);
    });
}

TEST_F(WordLoadTest, FieldsBecomePageNumbersAndLinks)
{
    load("fields.doc", [&](Edr_Doc *doc, Edr_Node *root, int err) {
        ASSERT_EQ(err, 0);
        std::vector<Edr_Node *> groups;
        collect(root, WordClass_textGroup, &groups);
        std::map<std::string, std::string> links;
        for (Edr_Node *g : groups) {
            std::string s;
            textOf(g, &s);
            std::string l = linkOf(doc, g);
            if (!l.empty())
                links[s] = l;
        }
        EXPECT_NE(links["the report online"].find("https://example.org/report"), std::string::npos);
        // A link to a bookmark, and a page reference to a bookmark whose
        // name has no underscore: both keep the whole name.
        EXPECT_EQ(links["the marked place"].substr(links["the marked place"].find('#')), "#mark");
        ASSERT_TRUE(links.count("3"));
        EXPECT_EQ(links["3"].substr(links["3"].find('#')), "#mark");
        ASSERT_TRUE(links.count("Introduction\t1"));
        EXPECT_EQ(links["Introduction\t1"].substr(links["Introduction\t1"].find('#')),
                  "#_RefHeading__10_1");
        // The footer's PAGE field is a page-number node.
        std::vector<Edr_Node *> numbers;
        for (Edr_KeyedGroup *k = doc->keyedGroups; k; k = k->next)
            for (Edr_Node *g : k->groups)
                if (g)
                    collect(g, WordClass_pageNumber, &numbers);
        ASSERT_EQ(numbers.size(), 1u);
        EXPECT_EQ(propsOf(doc, numbers[0])[123].type, 55u);
        // Field instructions are never shown.
        std::vector<std::string> paras;
        paragraphs(root, &paras);
        for (const std::string &p : paras)
            EXPECT_EQ(p.find("HYPERLINK"), std::string::npos) << p;
        // The heading anchors carry the bookmark names without "_".
        std::vector<Edr_Node *> anchors;
        collect(root, WordClass_anchorGroup, &anchors);
        EXPECT_FALSE(anchors.empty());
    });
}

TEST_F(WordLoadTest, ProtectionEncryptionAndHooks)
{
    load("protected.doc", [&](Edr_Doc *doc, Edr_Node *, int err) {
        ASSERT_EQ(err, 0);
        EXPECT_EQ(Edr_Doc_getMode(doc) & 1, 1u);
        EXPECT_EQ(doc->ancestorTest, nullptr);
    });
    load("pieces.doc", [&](Edr_Doc *doc, Edr_Node *, int err) {
        ASSERT_EQ(err, 0);
        EXPECT_EQ(Edr_Doc_getMode(doc) & 1, 0u);
        EXPECT_NE(doc->ancestorTest, nullptr);
        EXPECT_NE(doc->nodeTest, nullptr);
    });
    load("encrypted.doc",
         [&](Edr_Doc *, Edr_Node *, int err) { EXPECT_EQ(err, Res_wordEncrypted); });
    // A Word for Windows 2 file (no compound file) is refused as a Word
    // version the reader does not read; other bytes stay a compound-file
    // failure.
    load("word2.doc", [&](Edr_Doc *, Edr_Node *, int err) { EXPECT_EQ(err, Res_wordNotWord); });
    std::string notWord = readFixture("word2.doc");
    notWord[1] = char(0xA6);
    loadBytes(notWord, [&](Edr_Doc *, Edr_Node *, int err) {
        EXPECT_NE(err, 0);
        EXPECT_NE(err, Res_wordNotWord);
    });
}

TEST_F(WordLoadTest, DefaultRules)
{
    load("word6.doc", [&](Edr_Doc *doc, Edr_Node *root, int err) {
        ASSERT_EQ(err, 0);
        EXPECT_EQ(elementOf(root), uint32_t(WordClass_document));
        // The default tab of 720 twips is half an inch in 16.16.
        EXPECT_EQ(classRule(doc, WordClass_paragraph)[102].payload, 32768u);
        EXPECT_EQ(classRule(doc, WordClass_textGroup)[38].payload, 9102u);
        EXPECT_EQ(classRule(doc, WordClass_pageNumber)[123].type, 55u);
        // Empty paragraphs keep their height with a no-break space.
        std::vector<Edr_Node *> paras;
        collect(root, WordClass_paragraph, &paras);
        EXPECT_EQ(paras.size(), 5u);
    });
}

TEST_F(WordLoadTest, DamagedFilesFailCleanly)
{
    std::string file = readFixture("runs.doc");
    for (size_t cut : {size_t(512), size_t(4096), file.size() / 2}) {
        SCOPED_TRACE(cut);
        std::string part = file.substr(0, cut);
        run([&] {
            Edr_Doc *doc = nullptr;
            Edr_Node *root = nullptr;
            ASSERT_EQ(Edr_Doc_create(ctx(), &doc, &root), 0);
            uint8_t *copy = static_cast<uint8_t *>(Mem_malloc(part.size()));
            memcpy(copy, part.data(), part.size());
            VfsHandle *stream = nullptr;
            uint32_t accepted = 0;
            ASSERT_EQ(Vfs_openMemory(ctx(), copy, part.size(), 1, Vfs_modeRead | Vfs_modeSeekable,
                                     &stream, &accepted),
                      0);
            EXPECT_NE(Word_loadDocument(ctx(), nullptr, nullptr, stream, doc, root), 0);
            Edr_Doc_release(doc);
        });
    }
}

// The computed style of node: the sets of its ancestors from the root
// down, each under its parent's.
struct Computed {
    int32_t size = 0;    // property 38
    uint32_t weight = 0; // property 43 keyword (bold computes to KwId_weight700)
};
Computed computedOf(Edr_Doc *doc, Edr_Node *node)
{
    std::vector<Edr_Node *> chain;
    for (Edr_Node *n = node; n; n = Edr_Node_parent(n))
        chain.insert(chain.begin(), n);
    Computed out;
    Edr_Doc_readLock(doc);
    Edr_Style *parent = nullptr;
    for (Edr_Node *n : chain) {
        Edr_Style *s = nullptr;
        EXPECT_EQ(Edr_Style_computeForNode(doc, &s, parent, n), 0);
        if (parent)
            Edr_Style_release(parent);
        parent = s;
        if (!s)
            break;
    }
    if (parent) {
        Edr_StylePayload p{};
        Edr_Style_get(parent, 38, &p);
        out.size = int32_t(uint32_t(p.word));
        p = {};
        out.weight = Edr_Style_get(parent, 43, &p); // a keyword comes back as the value's type
        Edr_Style_release(parent);
    }
    Edr_Doc_readUnlock(doc);
    return out;
}

// The text groups of the first paragraph whose text is text.
std::vector<Edr_Node *> runsOfParagraph(Edr_Node *root, const std::string &text)
{
    std::vector<Edr_Node *> paras, runs;
    collect(root, WordClass_paragraph, &paras);
    for (Edr_Node *p : paras) {
        std::string s;
        textOf(p, &s);
        if (s == text) {
            collect(p, WordClass_textGroup, &runs);
            break;
        }
    }
    return runs;
}

// Headings take size and weight from their paragraph style. In fields.doc
// the headings use "Heading 1" (16 pt, bold), with plain runs. In runs.doc
// the heading's source names a style it never defines, so LibreOffice
// wrote it in "Normal" with plain runs, and shows it at body size, not
// bold (its PDF of the file has the heading line as tall as the body's):
// the tree must agree with the file there too.
TEST_F(WordLoadTest, HeadingRunsTakeTheirParagraphStyle)
{
    load("fields.doc", [&](Edr_Doc *doc, Edr_Node *root, int err) {
        ASSERT_EQ(err, 0);
        std::vector<Edr_Node *> heading = runsOfParagraph(root, "Methods");
        ASSERT_FALSE(heading.empty());
        for (Edr_Node *run : heading) {
            Computed c = computedOf(doc, run);
            EXPECT_EQ(c.size, int32_t(32 * 65536 / 144));
            EXPECT_EQ(c.weight, uint32_t(KwId_weight700));
        }
        std::vector<Edr_Node *> body = runsOfParagraph(root, "Text of the methods part.");
        ASSERT_FALSE(body.empty());
        Computed c = computedOf(doc, body[0]);
        EXPECT_EQ(c.size, int32_t(24 * 65536 / 144));
        EXPECT_NE(c.weight, uint32_t(KwId_weight700));
    });
    load("runs.doc", [&](Edr_Doc *doc, Edr_Node *root, int err) {
        ASSERT_EQ(err, 0);
        std::vector<Edr_Node *> heading = runsOfParagraph(root, "Runs, styles and bookmarks");
        ASSERT_FALSE(heading.empty());
        for (Edr_Node *run : heading) {
            Computed c = computedOf(doc, run);
            EXPECT_EQ(c.size, int32_t(24 * 65536 / 144));
            EXPECT_NE(c.weight, uint32_t(KwId_weight700));
        }
    });
}

// Fields nested deeper than the field stack holds: the load goes on; the
// fields beyond the deepest level lose their marks, their characters go to
// that level (here an instruction, so they are not shown) and the text
// after the ends is shown as before.
TEST_F(WordLoadTest, FieldsNestedTooDeeplyStopOnlyThemselves)
{
    std::string file = readFixture("runs.doc");
    const std::u16string original =
        u"Paragraph 0: run 0.0 in style 0 run 0.1 in style 1 run 0.2 in style 2.";
    std::string needle(reinterpret_cast<const char *>(original.data()), original.size() * 2);
    size_t at = file.find(needle);
    ASSERT_NE(at, std::string::npos);
    std::u16string nested(21, u'\x13');
    nested += u"a\x14"
              u"b\x15";
    nested += std::u16string(20, u'\x15');
    std::u16string patched = nested + original.substr(nested.size());
    file.replace(at, needle.size(), reinterpret_cast<const char *>(patched.data()),
                 patched.size() * 2);
    loadBytes(file, [&](Edr_Doc *, Edr_Node *root, int err) {
        ASSERT_EQ(err, 0);
        std::vector<std::string> paras;
        paragraphs(root, &paras);
        ASSERT_GT(paras.size(), 3u);
        EXPECT_EQ(paras[0], "Runs, styles and bookmarks");
        std::string rest;
        for (char16_t c : original.substr(nested.size()))
            addUtf8(&rest, c);
        EXPECT_EQ(paras[1], rest);
        EXPECT_EQ(paras[2],
                  "Paragraph 1: run 1.0 in style 3 run 1.1 in style 4 run 1.2 in style 5.");
    });
}

// ------------------------------------------------------------ small rules

class WordConvertTest : public EdrFixture {
  protected:
    void withReader(std::function<void(WordReader *)> fn)
    {
        run([&] {
            WordReader *r = nullptr;
            ASSERT_EQ(Word_readerNew(&r), 0);
            r->ctx = ctx();
            r->load = static_cast<WordLoad *>(Mem_calloc(1, sizeof(WordLoad)));
            r->load->nextStyleId = Word_firstStyleId;
            ASSERT_EQ(Request_new(ctx(), 2, &r->load->request), 0);
            fn(r);
            Word_propTableFree(r);
            Request_release(r->load->request);
            Mem_free(r->load);
            r->load = nullptr;
            Word_readerFree(r);
        });
    }
};

TEST_F(WordConvertTest, LinkTargets)
{
    struct Case {
        std::u16string instruction;
        std::string link; // "" for none
    } cases[] = {
        {u" PAGEREF _Toc123 \\h ", "#Toc123"},
        {u" PAGEREF mark \\h ", "#mark"},
        {u" PAGEREF   _Ref9 ", "#Ref9"},
        {u" PAGEREF _Toc123", ""},
        {u" PAGEREF x \\h", ""},
        {u" TOC \\o ", ""},
    };
    for (const Case &c : cases) {
        const char16_t *target = nullptr;
        uint32_t n =
            Word_pagerefTarget(c.instruction.data(), uint32_t(c.instruction.size()), &target);
        std::string got;
        if (n) {
            run([&] {
                char16_t *link = nullptr;
                ASSERT_EQ(Word_linkText(target, n, &link), 0);
                for (char16_t *p = link; p && *p; p++)
                    got += char(*p);
                Mem_free(link);
            });
        }
        EXPECT_EQ(got, c.link) << std::string(c.instruction.begin(), c.instruction.end());
    }
    run([&] {
        char16_t *link = nullptr;
        const std::u16string url = u"http://a.b/c_d";
        ASSERT_EQ(Word_linkText(url.data(), uint32_t(url.size()), &link), 0);
        EXPECT_EQ(std::u16string(link), url);
        Mem_free(link);
        EXPECT_EQ(Word_linkText(url.data(), 0, &link), 0);
        EXPECT_EQ(link, nullptr);
    });
}

TEST_F(WordConvertTest, ParagraphProperties)
{
    withReader([&](WordReader *r) {
        WordPap pap;
        Word_defaultPap(&pap);
        pap.dxaRight = -720;
        pap.dyaBefore = 40000; // unsigned: more than 16 bits' worth of inches stays positive
        pap.jc = 4;
        WordPropList list;
        ASSERT_EQ(Word_papToProps(&pap, 1440, &list, r), 0);
        std::map<uint32_t, const WordPropValue *> byId;
        for (uint32_t i = 0; i < list.count; i++)
            byId[r->load->values[list.indices[i]].id] = &r->load->values[list.indices[i]];
        EXPECT_EQ(int32_t(uint32_t(byId[52]->payload)), -32768);
        EXPECT_EQ(uint32_t(byId[51]->payload), uint32_t(uint64_t(40000) * 65536 / 1440));
        EXPECT_EQ(byId[79]->payload, 0u);
        EXPECT_EQ(byId[103]->payload, 65536u);
        EXPECT_EQ(byId[110]->type, uint32_t(WordValue_triple));
        Word_propListClear(&list);
    });
}

// A section's properties: only fields that are set give one, and more
// than one column gives the columns property.
TEST_F(WordConvertTest, SectionProperties)
{
    withReader([&](WordReader *r) {
        WordNodeBuilder b{};
        b.reader = r;
        WordSep sep;
        Word_defaultSep(&sep);
        sep.bkc = 0; // continuous
        sep.xaPage = 12240;
        sep.yaPage = 0;
        sep.dyaTop = -1440;
        sep.ccolM1 = 1;
        sep.fEvenlySpaced = 1;
        WordPropList list;
        ASSERT_EQ(Word_sectionStyle(&sep, &list, &b), 0);
        std::map<uint32_t, const WordPropValue *> byId;
        for (uint32_t i = 0; i < list.count; i++)
            byId[r->load->values[list.indices[i]].id] = &r->load->values[list.indices[i]];
        ASSERT_EQ(byId.count(72), 1u);
        EXPECT_EQ(byId[72]->payload, 34u);
        EXPECT_EQ(uint32_t(byId[90]->payload), uint32_t(uint64_t(12240) * 65536 / 1440));
        EXPECT_EQ(int32_t(uint32_t(byId[51]->payload)), -65536);
        EXPECT_EQ(byId.count(44), 0u) << "a page height of 0 gives nothing";
        ASSERT_EQ(byId.count(94), 1u);
        EXPECT_EQ(byId[94]->type, uint32_t(WordValue_columns));
        Word_propListClear(&list);
        // A section that starts on a new page says nothing of its start;
        // one column gives no columns property.
        sep.bkc = 2;
        sep.ccolM1 = 0;
        ASSERT_EQ(Word_sectionStyle(&sep, &list, &b), 0);
        byId.clear();
        for (uint32_t i = 0; i < list.count; i++)
            byId[r->load->values[list.indices[i]].id] = &r->load->values[list.indices[i]];
        EXPECT_EQ(byId.count(72), 0u);
        EXPECT_EQ(byId.count(94), 0u);
        Word_propListClear(&list);
    });
}

TEST_F(WordConvertTest, InterningValuesAndStyles)
{
    withReader([&](WordReader *r) {
        WordPropList a, b;
        Word_propListInit(&a);
        Word_propListInit(&b);
        ASSERT_EQ(Word_propAddString(&a, 37, u"Arial", r), 0);
        ASSERT_EQ(Word_propAddString(&a, 37, u"Arial", r), 0);
        EXPECT_EQ(r->load->valueCount, 1u);
        ASSERT_EQ(Word_propAdd(&a, 43, WordValue_keyword, 40, r), 0);
        ASSERT_EQ(Word_propAdd(&b, 43, WordValue_keyword, 40, r), 0);
        ASSERT_EQ(Word_propAddString(&b, 37, u"Arial", r), 0);
        ASSERT_EQ(Word_propAddString(&b, 37, u"Arial", r), 0);
        uint32_t idA = 0, idA2 = 0, idB = 0, none = 1;
        ASSERT_EQ(Word_styleIntern(&a, &idA, r), 0);
        ASSERT_EQ(Word_styleIntern(&a, &idA2, r), 0);
        ASSERT_EQ(Word_styleIntern(&b, &idB, r), 0);
        EXPECT_EQ(idA, idA2);
        EXPECT_NE(idA, idB); // the same indices in another order
        WordPropList empty;
        Word_propListInit(&empty);
        ASSERT_EQ(Word_styleIntern(&empty, &none, r), 0);
        EXPECT_EQ(none, 0u);
        // A value type above 13 is refused.
        WordPropValue bad{};
        bad.id = 5;
        bad.type = 14;
        StyleRule *rule = nullptr;
        ASSERT_EQ(StyleRule_create(&rule), 0);
        EXPECT_EQ(Word_propToRule(rule, &bad, r), Res_wordBadValueType);
        StyleRule_destroy(rule);
        // A border of all-zero fields adds nothing.
        WordBorder zero{};
        WordPropList borders;
        Word_propListInit(&borders);
        ASSERT_EQ(Word_borderToProps(&zero, 0, &borders, r), 0);
        EXPECT_EQ(borders.count, 0u);
        WordBorder dotted{6, 6, 910, 0};
        ASSERT_EQ(Word_borderToProps(&dotted, 3, &borders, r), 0);
        EXPECT_EQ(borders.count, 3u);
        EXPECT_EQ(r->load->values[borders.indices[0]].id, 15u);
        EXPECT_EQ(r->load->values[borders.indices[0]].payload, 59u); // dotted
        // Widths (property 19 on the right): a drawn line of width 0 is the
        // thinnest line, a quarter point; a line that is not drawn keeps 0.
        struct Width {
            int8_t style;
            int32_t width, shown;
        } widths[] = {
            {1, 0, 65536 / 288}, {1, 65536 / 144, 65536 / 144}, {0, 0, 0}, {6, -4, 65536 / 288}};
        for (const Width &w : widths) {
            WordPropList one;
            Word_propListInit(&one);
            WordBorder line{w.style, 1, w.width, 0};
            ASSERT_EQ(Word_borderToProps(&line, 3, &one, r), 0);
            int32_t shown = -1;
            for (uint32_t i = 0; i < one.count; i++)
                if (r->load->values[one.indices[i]].id == 19)
                    shown = int32_t(uint32_t(r->load->values[one.indices[i]].payload));
            EXPECT_EQ(shown, w.shown) << int(w.style) << " " << w.width;
            Word_propListClear(&one);
        }
        Word_propListClear(&borders);
        Word_propListClear(&a);
        Word_propListClear(&b);
    });
}

TEST_F(WordConvertTest, ColoursAndShading)
{
    EXPECT_EQ(Word_colourForIco(6), 0xFF0000FFu); // red
    EXPECT_EQ(Word_colourForIco(2), 0xFFFF0000u); // blue
    EXPECT_EQ(Word_colourForIco(0), Word_colourForIco(1));
    EXPECT_EQ(Word_colourForIco(99), Word_colourForIco(1));
    uint32_t f = 0, b = 0;
    Word_shadingWeights(2, &f, &b);
    EXPECT_EQ(f, 50u);
    EXPECT_EQ(b, 950u);
    Word_shadingWeights(11, &f, &b);
    EXPECT_EQ(f, 750u);
    Word_shadingWeights(1, &f, &b);
    EXPECT_EQ(f, 1000u);
    EXPECT_EQ(b, 0u);
    EXPECT_EQ(Word_blendColours(0xFF0000FFu, 0xFFFFFFFFu, 500, 500, 1), 0xFF7F7FFEu);
    EXPECT_EQ(Word_blendColours(0xFF0000FFu, 0xFF000000u, 1000, 0, 0), 0xFF555555u);
    WordTap tap;
    Word_clearTap(&tap);
    EXPECT_EQ(Word_cellShadingColour(&tap, 0), 0x00FFFFFFu); // transparent
    tap.rgshd[1] = WordShd{8, 1, 0};
    EXPECT_EQ(Word_cellShadingColour(&tap, 1), 0xFFFFFFFFu);
    run([&] {
        const uint32_t two[] = {2, 0, 0xFF0000FFu, 255, 0xFFFF0000u};
        const uint32_t three[] = {3, 0, 0xFF000000u, 128, 0xFF808080u, 255, 0xFFFFFFFFu};
        PixelBuf *buf = nullptr;
        ASSERT_EQ(Word_paletteMode(&buf, two, 0), 0);
        EXPECT_EQ(buf->width, 2);
        PixelBuf_destroy(buf);
        ASSERT_EQ(Word_paletteMode(&buf, two, 1), 0);
        EXPECT_EQ(buf->width, 256);
        PixelBuf_destroy(buf);
        ASSERT_EQ(Word_paletteMode(&buf, three, 0), 0);
        EXPECT_EQ(buf->width, 256);
        PixelBuf_destroy(buf);
    });
    EXPECT_EQ(Word_idTable(0), 0x2A0Cu);
    EXPECT_EQ(Word_idTableFind(0x0858), 256u);
    EXPECT_EQ(Word_idTableFind(0x1234), 0u);
}

} // namespace

// The Word writer: documents loaded, saved and loaded again keep their
// text and structure; an edit survives the save; saving over the opened
// file replaces it only when the save succeeded; the other storages of the
// source are copied byte for byte; and the writer's records (file
// information block, formatted disk pages, bin tables) have their layout.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/stylerule.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "office/ole2/oleprobe.h"
#include "office/ole2/ole.h"
#include "office/ole2/olewriter.h"
#include "office/pack/pack.h"
#include "platform/api/request.h"
#include "platform/url/file.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"
#include "tests/document/edr_fixture.h"
#include "tests/support/scratch_files.h"
#include "word/reader/build.h"
#include "word/reader/paralist.h"
#include "word/reader/word.h"
#include "word/writer/writer.h"

namespace {

using TestFiles::exists;
using TestFiles::newFileUrl;
using TestFiles::readAll;
using TestFiles::writeAll;

int loadWord(EngineContext *ctx, VfsHandle *stream, Edr_Doc *doc, Edr_Node *root)
{
    return Word_loadDocument(ctx, nullptr, nullptr, stream, doc, root);
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

uint32_t elementOf(Edr_Node *n)
{
    return Edr_Node_type(n) == Edr_NodeType_group ? Edr_Node_group(n)->element : 0;
}

// The text of a paragraph; that of its text boxes is listed apart.
void textOf(Edr_Node *node, std::string *out)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (elementOf(c) == WordClass_textBox)
            continue;
        if (Edr_Node_type(c) == Edr_NodeType_group)
            textOf(c, out);
        else if (Edr_Node_type(c) == Edr_NodeType_text) {
            const Edr_TextNode *t = Edr_Node_textPayload(c);
            for (uint32_t i = 0; i < t->length; i++)
                addUtf8(out, t->chars[i]);
        }
    }
}

void outline(Edr_Node *node, std::vector<std::string> *out);

// The text boxes under a node (those of a paragraph's floating shapes):
// a line for each, then its paragraphs.
void boxesOf(Edr_Node *node, std::vector<std::string> *out)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (elementOf(c) == WordClass_textBox) {
            out->push_back("box");
            outline(c, out);
            out->push_back("box end");
        } else if (Edr_Node_type(c) == Edr_NodeType_group) {
            boxesOf(c, out);
        }
    }
}

// The document's structure: one line per paragraph with its text, and a
// line for each section, table, row and cell that begins, and for each
// text box with its paragraphs after the paragraph that holds it.
void outline(Edr_Node *node, std::vector<std::string> *out)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        switch (elementOf(c)) {
        case WordClass_paragraph: {
            std::string s;
            textOf(c, &s);
            // A paragraph's lone no-break space is the reader's mark of an
            // empty paragraph.
            out->push_back("p " + (s == "\xC2\xA0" ? std::string() : s));
            boxesOf(c, out);
            continue;
        }
        case WordClass_section: out->push_back("section"); break;
        case WordClass_columnSection: out->push_back("section in columns"); break;
        case WordClass_table: out->push_back("table"); break;
        case WordClass_tableRow: out->push_back("row"); break;
        case WordClass_tableCell: out->push_back("cell"); break;
        case WordClass_textBox: continue;
        default: break;
        }
        if (Edr_Node_type(c) == Edr_NodeType_group)
            outline(c, out);
    }
}

// The look of the paragraphs and runs, in tree order: for each paragraph
// its alignment, indents and spacing, for each run its font, size, colour,
// weight, slant and underline, and for each field its code.
void looks(Edr_Doc *doc, Edr_Node *node, std::vector<std::string> *out)
{
    static constexpr uint32_t paraIds[] = {79, 54, 52, 81, 51, 53};
    static constexpr uint32_t runIds[] = {37, 38, 29, 43, 41, 95, 80, 86, 148};
    StyleRule *classRule = WordWriter_findStyleRule(doc, WordClass_textGroup);
    StylePropItem *defaultFont = classRule ? StyleRule_findProp(classRule, 37) : nullptr;
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        uint32_t kind = elementOf(c);
        if (Edr_Node_type(c) != Edr_NodeType_group)
            continue;
        const uint32_t *ids = kind == WordClass_paragraph   ? paraIds
                              : kind == WordClass_textGroup ? runIds
                                                            : nullptr;
        size_t n = kind == WordClass_paragraph ? std::size(paraIds) : std::size(runIds);
        const uint32_t *key = Edr_Node_group(c)->ids;
        StyleRule *rule =
            key && *key >= Word_firstStyleId ? WordWriter_findStyleRule(doc, *key) : nullptr;
        // An inline picture is saved as a picture character without the
        // shape field around it: the runs of such a field are left out.
        bool shape = false;
        for (StylePropItem *p = rule ? rule->firstProp : nullptr; p; p = p->next)
            if (p->value.id == 148 && p->value.type == PropType_ustr && p->value.payload &&
                Ustr_str(reinterpret_cast<const char16_t *>(p->value.payload), u"SHAPE"))
                shape = true;
        if (ids && !shape) {
            std::string line = kind == WordClass_paragraph ? "p" : "r";
            for (size_t i = 0; i < n; i++)
                for (StylePropItem *p = rule ? rule->firstProp : nullptr; p; p = p->next) {
                    if (p->value.id != ids[i])
                        continue;
                    // The default font named or left to the default is
                    // the same look.
                    if (ids[i] == 37 && defaultFont && Prop_equal(&p->value, &defaultFont->value))
                        continue;
                    line += " " + std::to_string(ids[i]) + "=";
                    if (p->value.type == PropType_ustr) {
                        // White space around a field code does not count.
                        const char16_t *t = reinterpret_cast<const char16_t *>(p->value.payload);
                        uint32_t from = 0, to = t ? p->value.payload2 : 0;
                        while (ids[i] == 148 && from < to && t[from] <= u' ')
                            from++;
                        while (ids[i] == 148 && to > from && t[to - 1] <= u' ')
                            to--;
                        for (uint32_t k = from; k < to; k++)
                            addUtf8(&line, t[k]);
                    } else {
                        line += std::to_string(p->value.type) + ":" +
                                std::to_string(int64_t(p->value.payload));
                    }
                }
            // Neighbouring runs of one look may come back as one run.
            if (kind != WordClass_textGroup || out->empty() || out->back() != line)
                out->push_back(line);
        }
        looks(doc, c, out);
    }
}

void shapes(Edr_Doc *doc, Edr_Node *node, std::vector<std::string> *out);

// The header and footer stories of each section: their text (text boxes
// included) and floating shapes by kind.
void headerStories(Edr_Doc *doc, Edr_Node *node, std::vector<std::string> *out)
{
    static constexpr uint32_t props[6] = {116, 117, 118, 119, 120, 121};
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        uint32_t kind = elementOf(c);
        if (kind != WordClass_section && kind != WordClass_columnSection)
            continue;
        const uint32_t *key = Edr_Node_group(c)->ids;
        StyleRule *rule =
            key && *key >= Word_firstStyleId ? WordWriter_findStyleRule(doc, *key) : nullptr;
        for (uint32_t id : props) {
            StylePropItem *p = rule ? StyleRule_findProp(rule, id) : nullptr;
            std::string line = "section " + std::to_string(id) + ":";
            if (p && Prop_getInt(&p->value)) {
                Edr_Node *group = nullptr;
                if (Edr_Doc_getKeyedGroup(doc, intptr_t(Prop_getInt(&p->value)), id <= 118 ? 0 : 1,
                                          &group) == 0 &&
                    group) {
                    std::vector<std::string> paras;
                    outline(group, &paras);
                    shapes(doc, group, &paras);
                    for (const std::string &para : paras)
                        line += " " + para;
                    Edr_Node_release(doc, group);
                }
            }
            out->push_back(line);
        }
    }
}

// The floating shapes (picture groups in a group without kind), in tree
// order: shape id, rectangle, references, wrapping side and wrapping.
void shapes(Edr_Doc *doc, Edr_Node *node, std::vector<std::string> *out)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (Edr_Node_type(c) != Edr_NodeType_group)
            continue;
        if (elementOf(c) == WordClass_picture && elementOf(node) == 0) {
            const uint32_t *key = Edr_Node_group(c)->ids;
            StyleRule *rule =
                key && *key >= Word_firstStyleId ? WordWriter_findStyleRule(doc, *key) : nullptr;
            std::string line = "shape";
            for (uint32_t id : {146u, 45u, 84u, 90u, 44u, 141u, 142u, 140u}) {
                StylePropItem *p = rule ? StyleRule_findProp(rule, id) : nullptr;
                line += " " + std::to_string(id) + "=" +
                        (p ? std::to_string(p->value.type) + ":" +
                                 std::to_string(int64_t(p->value.payload))
                           : "-");
            }
            StyleRule *wrap = nullptr;
            Edr_Doc_readLock(doc);
            EXPECT_EQ(Edr_Node_addRefLocked(doc, c), 0);
            Edr_Doc_readUnlock(doc);
            EXPECT_EQ(Edr_Node_getPropList2(doc, c, &wrap), 0);
            Edr_Node_release(doc, c);
            StylePropItem *p = wrap ? StyleRule_findProp(wrap, 139) : nullptr;
            line += " wrap=" + (p ? std::to_string(p->value.type) : std::string("-"));
            StyleRule_destroy(wrap);
            out->push_back(line);
        }
        shapes(doc, c, out);
    }
}

Edr_Node *findText(Edr_Node *node)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (Edr_Node_type(c) == Edr_NodeType_text && Edr_Node_textPayload(c)->length > 1)
            return c;
        if (Edr_Node_type(c) == Edr_NodeType_group)
            if (Edr_Node *t = findText(c))
                return t;
    }
    return nullptr;
}

const char *const roundTripFixtures[] = {
    "runs",        "sections",    "links",          "word6",       "pieces",
    "fields",      "lists",       "table",          "mono",        "drawings",
    "headerboxes", "word6-lists", "word6-1251",     "word6-1250",  "word6-1253",
    "word6-fonts", "word6-mac",   "word6-sections", "colsections", "colfirst"};

class WordWriterTest : public EdrFixture {
  protected:
    std::string dir;

    void SetUp() override
    {
        EdrFixture::SetUp();
        ASSERT_EQ(AlienFile_initLayer(ctx()), 0);
        dir = TestFiles::makeScratchDir("vexlan-word");
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override
    {
        AlienFile_finiLayer(ctx());
        TestFiles::removeScratchDir(dir);
        EdrFixture::TearDown();
    }

    std::string path(const std::string &name) const
    {
        return dir + "/" + name;
    }

    // Loads the file at p into a new document whose URL is the file's.
    int load(const std::string &p, Edr_Doc **out)
    {
        return TestFiles::loadDocument(ctx(), p, loadWord, out);
    }

    int save(Edr_Doc *doc, const std::string &p)
    {
        Url *url = newFileUrl(p);
        int err = Edr_Doc_callA(doc, url);
        Url_free(url);
        return err;
    }

    std::vector<std::string> outlineOf(Edr_Doc *doc)
    {
        std::vector<std::string> out;
        outline(Edr_Doc_root(doc), &out);
        return out;
    }

    // Copies a fixture into the scratch directory.
    std::string copyFixture(const std::string &name)
    {
        std::string copied = TestFiles::copyFixture(dir, "word", name);
        EXPECT_FALSE(readAll(copied).empty()) << name;
        return copied;
    }
};

TEST_F(WordWriterTest, SavedDocumentsReloadWithTheSameTextAndStructure)
{
    for (const char *name : roundTripFixtures) {
        SCOPED_TRACE(name);
        std::string source = copyFixture(std::string(name) + ".doc");
        run([&] {
            Edr_Doc *doc = nullptr;
            ASSERT_EQ(load(source, &doc), 0);
            std::vector<std::string> before = outlineOf(doc);
            std::vector<std::string> lookBefore, lookAfter;
            looks(doc, Edr_Doc_root(doc), &lookBefore);
            std::vector<std::string> headersBefore, headersAfter;
            headerStories(doc, Edr_Doc_root(doc), &headersBefore);
            std::vector<std::string> shapesBefore, shapesAfter;
            shapes(doc, Edr_Doc_root(doc), &shapesBefore);
            ASSERT_EQ(save(doc, path(std::string(name) + "-saved.doc")), 0);
            Edr_Doc_release(doc);
            EXPECT_FALSE(exists(path(std::string(name) + "-saved.doc.tmp")));
            Edr_Doc *again = nullptr;
            ASSERT_EQ(load(path(std::string(name) + "-saved.doc"), &again), 0);
            EXPECT_EQ(outlineOf(again), before) << name;
            looks(again, Edr_Doc_root(again), &lookAfter);
            headerStories(again, Edr_Doc_root(again), &headersAfter);
            EXPECT_EQ(headersAfter, headersBefore) << name;
            shapes(again, Edr_Doc_root(again), &shapesAfter);
            EXPECT_EQ(shapesAfter, shapesBefore) << name;
            if (std::string(name) == "headerboxes") {
                // A text box and a shape in the header, a text box in the body.
                std::string all;
                for (const std::string &line : headersAfter)
                    all += line + "\n";
                EXPECT_NE(all.find(" box p Header box text. box end shape 146="), std::string::npos)
                    << all;
                all.clear();
                for (const std::string &line : outlineOf(again))
                    all += line + "\n";
                EXPECT_NE(all.find("box\np Body box text.\nbox end\n"), std::string::npos) << all;
            }
            if (std::string(name) == "drawings") {
                // The fixture's rectangle and text frame float; the frame's
                // text is in its box.
                EXPECT_EQ(shapesBefore.size(), 2u);
                std::string all;
                for (const std::string &line : outlineOf(again))
                    all += line + "\n";
                EXPECT_NE(all.find("box\np Text inside the frame.\nbox end\n"), std::string::npos)
                    << all;
            }
            if (std::string(name) == "sections") {
                std::string all;
                for (const std::string &line : headersAfter)
                    all += line + "\n";
                EXPECT_NE(all.find(" p "), std::string::npos)
                    << all; // the fixture has headers and footers
            }
            for (size_t i = 0; i < lookBefore.size() || i < lookAfter.size(); i++) {
                std::string a = i < lookBefore.size() ? lookBefore[i] : "(none)";
                std::string b = i < lookAfter.size() ? lookAfter[i] : "(none)";
                if (a != b) {
                    ADD_FAILURE() << name << ": look " << i << " was\n  " << a << "\nand is\n  "
                                  << b;
                    break;
                }
            }
            // The engine's own output saves and reloads the same way.
            ASSERT_EQ(save(again, path(std::string(name) + "-twice.doc")), 0);
            Edr_Doc_release(again);
            ASSERT_EQ(load(path(std::string(name) + "-twice.doc"), &again), 0);
            EXPECT_EQ(outlineOf(again), before);
            shapesAfter.clear();
            shapes(again, Edr_Doc_root(again), &shapesAfter);
            EXPECT_EQ(shapesAfter, shapesBefore) << name;
            Edr_Doc_release(again);
        });
    }
}

TEST_F(WordWriterTest, TablesInsideCellsAreSavedAsTheCellsParagraphs)
{
    // nested.doc: a table in a cell of the outer table's second row, and a
    // third in its cell. The saved file keeps the outer table's rows and
    // cells; the nested tables' text stays in the cell that held them.
    std::string source = copyFixture("nested.doc");
    run([&] {
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(load(source, &doc), 0);
        ASSERT_EQ(save(doc, path("nested-saved.doc")), 0);
        Edr_Doc_release(doc);
        Edr_Doc *again = nullptr;
        ASSERT_EQ(load(path("nested-saved.doc"), &again), 0);
        std::string all;
        for (const std::string &line : outlineOf(again))
            all += line + "|";
        EXPECT_EQ(all, "section|p Before the table.|table|row|cell|p A1|cell|p B1|"
                       "row|cell|p A2|p i1|p i2|p i3|p i4|p d1|p i4 end|p after inner|cell|p B2|"
                       "row|cell|p A3|cell|p B3|p After the table.|");
        Edr_Doc_release(again);
    });
}

// Saved files open in LibreOffice, catdoc and antiword and keep the
// source's other storages (tests/word/writer_tools_check.py; the check
// fails when a tool is missing).
TEST_F(WordWriterTest, SavedFilesOpenInOtherReaders)
{
    std::string saved = path("saved");
    ASSERT_EQ(mkdir(saved.c_str(), 0700), 0);
    for (const char *name : roundTripFixtures) {
        SCOPED_TRACE(name);
        std::string source = copyFixture(std::string(name) + ".doc");
        run([&] {
            Edr_Doc *doc = nullptr;
            ASSERT_EQ(load(source, &doc), 0);
            if (std::string(name) == "runs") {
                Edr_Node *old = findText(Edr_Doc_root(doc));
                ASSERT_NE(old, nullptr);
                std::string before;
                const Edr_TextNode *t = Edr_Node_textPayload(old);
                for (uint32_t i = 0; i < t->length; i++)
                    addUtf8(&before, t->chars[i]);
                const char16_t edit[] = u"A changed paragraph";
                Edr_Node *node = nullptr;
                ASSERT_EQ(Edr_Node_addRefLocked(doc, old), 0);
                ASSERT_EQ(Edr_Node_createText(doc, old, Edr_Insert_replace, &node, edit,
                                              uint32_t(Ustr_len(edit))),
                          0);
                Edr_Node_dropRefLocked(doc, old);
                Edr_Node_release(doc, node);
                writeAll(saved + "/runs.edit", before + "\nA changed paragraph\n");
            }
            ASSERT_EQ(save(doc, saved + "/" + name + ".doc"), 0);
            Edr_Doc_release(doc);
        });
    }
    std::string command = "/usr/bin/python3 " + std::string(VEXLAN_FIXTURES) +
                          "/../word/writer_tools_check.py " + saved + " " + VEXLAN_FIXTURES +
                          "/word";
    EXPECT_EQ(std::system(command.c_str()), 0);
}

TEST_F(WordWriterTest, LoadedDocumentsGetTheSaveHookUnlessProtected)
{
    for (const char *name : {"pieces.doc", "protected.doc"}) {
        SCOPED_TRACE(name);
        std::string source = copyFixture(name);
        run([&] {
            Edr_Doc *doc = nullptr;
            ASSERT_EQ(load(source, &doc), 0);
            bool isProtected = std::string(name) == "protected.doc";
            EXPECT_EQ(Edr_Doc_hasCallbackA(doc), isProtected ? 0 : 1);
            EXPECT_EQ(doc->callbackA == Word_saveDocument, !isProtected);
            Edr_Doc_release(doc);
        });
    }
}

TEST_F(WordWriterTest, AnEditedParagraphIsSavedAndReread)
{
    std::string source = copyFixture("runs.doc");
    run([&] {
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(load(source, &doc), 0);
        Edr_Node *old = findText(Edr_Doc_root(doc));
        ASSERT_NE(old, nullptr);
        const char16_t edit[] = u"Edited line\r\nwith a \x13 control";
        Edr_Node *node = nullptr;
        // The tree holds no reference: the replaced node needs one.
        ASSERT_EQ(Edr_Node_addRefLocked(doc, old), 0);
        ASSERT_EQ(Edr_Node_createText(doc, old, Edr_Insert_replace, &node, edit,
                                      uint32_t(Ustr_len(edit))),
                  0);
        Edr_Node_dropRefLocked(doc, old);
        Edr_Node_release(doc, node);
        std::vector<std::string> before = outlineOf(doc);
        ASSERT_EQ(save(doc, path("edited.doc")), 0);
        Edr_Doc_release(doc);
        ASSERT_EQ(load(path("edited.doc"), &doc), 0);
        std::vector<std::string> after = outlineOf(doc);
        Edr_Doc_release(doc);
        ASSERT_EQ(after.size(), before.size());
        std::string all;
        for (const std::string &line : after)
            all += line + "\n";
        // The line end becomes a line break and the field character a
        // space: neither can open a paragraph or a field.
        EXPECT_NE(all.find("Edited line"), std::string::npos);
        EXPECT_NE(all.find("with a   control"), std::string::npos) << all;
    });
}

TEST_F(WordWriterTest, SavingOverTheOpenedFileReplacesIt)
{
    std::string source = copyFixture("fields.doc");
    std::string original = readAll(source);
    run([&] {
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(load(source, &doc), 0);
        std::vector<std::string> before = outlineOf(doc);
        ASSERT_EQ(save(doc, source), 0);
        EXPECT_FALSE(exists(source + ".tmp"));
        EXPECT_NE(readAll(source), original);
        // The document still reads its own file: saved once more.
        ASSERT_EQ(save(doc, source), 0);
        Edr_Doc_release(doc);
        ASSERT_EQ(load(source, &doc), 0);
        EXPECT_EQ(outlineOf(doc), before);
        Edr_Doc_release(doc);
    });
}

TEST_F(WordWriterTest, AFailedSaveLeavesTheSourceUntouched)
{
    std::string source = copyFixture("sections.doc");
    std::string original = readAll(source);
    run([&] {
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(load(source, &doc), 0);
        // The temporary file cannot be made: a directory holds its name.
        ASSERT_EQ(mkdir((source + ".tmp").c_str(), 0700), 0);
        EXPECT_NE(save(doc, source), 0);
        EXPECT_EQ(readAll(source), original);
        ASSERT_EQ(rmdir((source + ".tmp").c_str()), 0);
        // A target in a directory that does not exist.
        EXPECT_NE(save(doc, path("missing/dir/out.doc")), 0);
        EXPECT_EQ(readAll(source), original);
        // A full disk at points through the save, and a read-only folder
        // (injected, so that it holds for the tests' user too).
        const int64_t rooms[] = {0, 1, 511, 512, 4096};
        for (int64_t room : rooms) {
            AlienFile_injectFullDisk(ctx(), room);
            EXPECT_EQ(save(doc, source), Res_fileWrite) << room;
            AlienFile_injectFullDisk(ctx(), -1);
            ASSERT_EQ(readAll(source), original) << room;
            EXPECT_FALSE(exists(source + ".tmp")) << room;
        }
        AlienFile_injectReadOnly(ctx(), 1);
        EXPECT_NE(save(doc, source), 0);
        AlienFile_injectReadOnly(ctx(), 0);
        EXPECT_EQ(readAll(source), original);
        EXPECT_FALSE(exists(source + ".tmp"));
        Edr_Doc_release(doc);
    });
    // Memory running out at every allocation of the save in turn, for a
    // document with sections, headers and footers and for one with text
    // boxes, floating shapes and their drawing data. A failure the save
    // gets round must still give a whole file.
    for (const char *name : {"sections.doc", "drawings.doc"}) {
        SCOPED_TRACE(name);
        source = copyFixture(name);
        original = readAll(source);
        run([&] {
            Edr_Doc *doc = nullptr;
            ASSERT_EQ(load(source, &doc), 0);
            std::vector<std::string> before = outlineOf(doc);
            uint64_t n = 1;
            for (; n < 100000; n++) {
                Mem_failAfter(n);
                int err = save(doc, source);
                bool reached = Mem_failPending() == 0;
                Mem_failAfter(0);
                if (!reached) {
                    EXPECT_EQ(err, 0);
                    break;
                }
                if (err) {
                    ASSERT_EQ(readAll(source), original) << n;
                    ASSERT_FALSE(exists(source + ".tmp")) << n << " err " << err;
                } else {
                    Edr_Doc *again = nullptr;
                    ASSERT_EQ(load(source, &again), 0) << n;
                    EXPECT_EQ(outlineOf(again), before) << n;
                    Edr_Doc_release(again);
                    original = readAll(source);
                }
            }
            EXPECT_GT(n, 10u);
            Edr_Doc_release(doc);
        });
    }
}

// A compound file with mono.doc's streams and an embedded object's
// storage: class ids, an inner "Data" stream and an empty stream.
std::string withObjectStorage(EngineContext *ctx, const std::string &scratch,
                              const std::string &source)
{
    OleHandle *in = nullptr;
    Url *inUrl = nullptr, *outUrl = nullptr;
    inUrl = newFileUrl(source);
    outUrl = newFileUrl(scratch);
    EXPECT_EQ(Ole_openUrl(ctx, inUrl, &in, Vfs_modeRead | Vfs_modeSeekable), 0);
    OleHandle *out = nullptr;
    EXPECT_EQ(OleWriter_create(ctx, outUrl, &out, 0), 0);
    EXPECT_EQ(WordSave_copyStorage(in, 0, out, 0), 0);
    // The copy leaves out the streams the writer makes: put them back.
    for (const char16_t *name : {u"WordDocument", u"1Table", u"Data"}) {
        OleStream *from = nullptr, *to = nullptr;
        uint32_t id = 0;
        if (Ole_streamOpenByName(in, &from, 0, name) != 0)
            continue;
        EXPECT_EQ(OleWriter_addStream(out, 0, name, &id), 0);
        EXPECT_EQ(Ole_streamOpen(out, &to, id), 0);
        std::string bytes(size_t(Ole_streamSize(from)), '\0');
        size_t got = 0;
        EXPECT_EQ(Ole_streamRead(from, bytes.size(), &got, bytes.data()), 0);
        EXPECT_EQ(OleWriter_streamWrite(to, bytes.data(), uint32_t(bytes.size())), 0);
        Ole_streamClose(&from);
        Ole_streamClose(&to);
    }
    const uint8_t clsid[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    uint32_t pool = 0, object = 0, id = 0;
    EXPECT_EQ(OleWriter_addStorage(out, 0, u"Objects", nullptr, &pool), 0);
    EXPECT_EQ(OleWriter_addStorage(out, pool, u"_1234", clsid, &object), 0);
    EXPECT_EQ(OleWriter_addStream(out, object, u"Data", &id), 0);
    OleStream *s = nullptr;
    EXPECT_EQ(Ole_streamOpen(out, &s, id), 0);
    std::string payload(5000, 'x');
    EXPECT_EQ(OleWriter_streamWrite(s, payload.data(), uint32_t(payload.size())), 0);
    Ole_streamClose(&s);
    EXPECT_EQ(OleWriter_addStream(out, object, u"Empty", &id), 0);
    EXPECT_EQ(OleWriter_flush(out), 0);
    Ole_closeFile(&out);
    Ole_close(&in);
    Url_free(inUrl);
    Url_free(outUrl);
    return scratch;
}

// Every entry below the root: path, type, class id and the stream bytes.
std::map<std::string, std::string> listing(EngineContext *ctx, const std::string &p)
{
    std::map<std::string, std::string> out;
    Url *url = nullptr;
    url = newFileUrl(p);
    OleHandle *h = nullptr;
    EXPECT_EQ(Ole_openUrl(ctx, url, &h, Vfs_modeRead | Vfs_modeSeekable), 0);
    Url_free(url);
    if (!h)
        return out;
    std::map<uint32_t, std::string> names;
    for (OleDirEntry *e = h->entries; e; e = e->next) {
        std::string name;
        for (const char16_t *c = e->name; *c; c++)
            addUtf8(&name, *c);
        names[e->id] = name;
    }
    for (OleDirEntry *e = h->entries; e; e = e->next) {
        if (e->id == 0)
            continue;
        std::string full = names[e->id];
        for (uint32_t parent = e->parentId, guard = 0; parent && guard < 64; guard++) {
            full = names[parent] + "/" + full;
            OleDirEntry *pe = nullptr;
            if (Ole_entryFindById(h->entries, parent, &pe) != 0)
                break;
            parent = pe->parentId;
        }
        std::string value =
            std::to_string(e->type) + ":" + std::string(reinterpret_cast<char *>(e->classId), 16);
        if (e->type == OleEntry_stream) {
            OleStream *s = nullptr;
            EXPECT_EQ(Ole_streamOpen(h, &s, e->id), 0);
            std::string bytes(size_t(Ole_streamSize(s)), '\0');
            size_t got = 0;
            if (!bytes.empty()) {
                EXPECT_EQ(Ole_streamRead(s, bytes.size(), &got, bytes.data()), 0);
            }
            Ole_streamClose(&s);
            value += ":" + bytes;
        }
        out[full] = value;
    }
    Ole_close(&h);
    return out;
}

TEST_F(WordWriterTest, OtherStoragesAndStreamsAreCopiedWithTheirClassIds)
{
    std::string fixture = copyFixture("mono.doc");
    run([&] {
        std::string source = withObjectStorage(ctx(), path("object.doc"), fixture);
        std::map<std::string, std::string> before = listing(ctx(), source);
        ASSERT_EQ(before.count("Objects/_1234/Data"), 1u);
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(load(source, &doc), 0);
        ASSERT_EQ(save(doc, path("object-saved.doc")), 0);
        Edr_Doc_release(doc);
        std::map<std::string, std::string> after = listing(ctx(), path("object-saved.doc"));
        for (const auto &[name, value] : before) {
            if (name == "WordDocument" || name == "1Table" || name == "Data")
                continue;
            SCOPED_TRACE(name);
            ASSERT_EQ(after.count(name), 1u);
            EXPECT_TRUE(after[name] == value);
        }
        EXPECT_EQ(after.count("1Table"), 1u);
        EXPECT_EQ(after.count("Data"), 1u);
        EXPECT_EQ(after.count("0Table"), 0u);
    });
}

TEST_F(WordWriterTest, HostileAndOddDocumentsNeverCrashTheSave)
{
    // Damaged copies of a fixture that still load are saved and reloaded.
    std::string bytes = readAll(std::string(VEXLAN_FIXTURES) + "/word/table.doc");
    ASSERT_FALSE(bytes.empty());
    uint32_t seed = 12345;
    for (int round = 0; round < 40; round++) {
        std::string damaged = bytes;
        for (int i = 0; i < 24; i++) {
            seed = seed * 1103515245u + 12345u;
            size_t at = 512 + (seed >> 8) % (damaged.size() - 512);
            damaged[at] = char(seed >> 24);
        }
        std::string p = path("odd" + std::to_string(round) + ".doc");
        writeAll(p, damaged);
        run([&] {
            Edr_Doc *doc = nullptr;
            if (load(p, &doc) != 0)
                return;
            int err = save(doc, path("odd-saved.doc"));
            Edr_Doc_release(doc);
            if (err == 0) {
                ASSERT_EQ(load(path("odd-saved.doc"), &doc), 0) << round;
                Edr_Doc_release(doc);
            }
        });
    }
}

// ------------------------------------------------------------ records

class WordWriterRecordsTest : public WordWriterTest {
  protected:
    // A writer over a new compound file with its three streams.
    void withWriter(std::function<void(WordWriter *)> fn)
    {
        run([&] {
            WordWriter w{};
            WordWriter_initFib(&w);
            w.ctx = ctx();
            Url *url = newFileUrl(path("records.doc"));
            ASSERT_EQ(OleWriter_create(ctx(), url, &w.out, 0), 0);
            Url_free(url);
            uint32_t id = 0;
            ASSERT_EQ(OleWriter_addStream(w.out, 0, u"WordDocument", &id), 0);
            ASSERT_EQ(Ole_streamOpen(w.out, &w.docStream, id), 0);
            ASSERT_EQ(OleWriter_addStream(w.out, 0, u"Data", &id), 0);
            ASSERT_EQ(Ole_streamOpen(w.out, &w.dataStream, id), 0);
            fn(&w);
            WordWriter_freeState(&w);
            Ole_streamClose(&w.docStream);
            Ole_streamClose(&w.dataStream);
            Ole_closeFile(&w.out);
        });
    }
};

uint32_t u16at(const uint8_t *b, uint32_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8;
}

uint32_t u32at(const uint8_t *b, uint32_t at)
{
    return u16at(b, at) | u16at(b, at + 2) << 16;
}

TEST_F(WordWriterRecordsTest, SectionPropertiesBecomeSprms)
{
    auto length = [](uint32_t id, int32_t twips) {
        Prop p;
        Prop_zero(&p);
        Prop_setLength(&p, id, int32_t(int64_t(twips) * 65536 / 1440));
        return p;
    };
    auto keyword = [](uint32_t id, uint16_t kw) {
        Prop p;
        Prop_zero(&p);
        Prop_setType(&p, id, kw);
        return p;
    };
    struct Case {
        Prop prop;
        int header;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {length(44, 16838), 0, {0x20, 0xB0, 0xC6, 0x41}},
        {length(90, 11906), 0, {0x1F, 0xB0, 0x82, 0x2E}},
        {length(51, 1440), 0, {0x23, 0x90, 0xA0, 0x05}},
        {length(51, 720), 1, {0x17, 0xB0, 0xD0, 0x02}},
        {length(53, 720), 1, {0x18, 0xB0, 0xD0, 0x02}},
        {keyword(123, 154), 0, {0x0E, 0x30, 0x01}},
        {keyword(123, 55), 0, {0x0E, 0x30, 0x00}},
        // Two operand bytes, so that the sprms after it stay aligned.
        {keyword(33, 118), 0, {0x33, 0x50, 0x01, 0x00}},
        {keyword(44, 40), 0, {}}, // a length property without a length
        {keyword(7, 40), 0, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.prop.id);
        WordBuf buf{};
        ASSERT_EQ(WordProps_convertSectionProp(&c.prop, &buf, c.header), 0);
        EXPECT_EQ(std::vector<uint8_t>(buf.data, buf.data + buf.length), c.bytes);
        WordBuf_free(&buf);
    }
}

TEST_F(WordWriterRecordsTest, BorderPropertiesGatherInOneBrc)
{
    WordWriter w{};
    WordStyleSlot slot{};
    Prop width, style, colour;
    Prop_zero(&width);
    Prop_zero(&style);
    Prop_zero(&colour);
    Prop_setLength(&width, 18, 65536 / 72); // one point: eight eighths
    Prop_setType(&style, 14, 60);           // double
    const uint8_t red[4] = {0xFF, 0, 0, 0xFF};
    Prop_setColour(&colour, 8, red);
    WordBuf para{};
    for (const Prop *p : {&colour, &style, &width})
        ASSERT_EQ(WordProps_convertStyleProp(&w, &slot, p, &para), 0);
    EXPECT_EQ(para.length, 0u);
    ASSERT_EQ(slot.count, 1u);
    EXPECT_EQ(slot.items[0].sprm, 0x6424);
    uint32_t brc = 0;
    Pack_read(slot.items[0].operand, "l", &brc);
    // Width, line style (once, in its own byte) and colour.
    EXPECT_EQ(brc, 8u | 3u << 8 | 6u << 16);
    Mem_free(slot.items);
    WordBuf_free(&para);
}

TEST_F(WordWriterRecordsTest, ColourPaletteIndexes)
{
    const uint8_t red[4] = {0xFF, 0, 0, 0xFF}, grey[4] = {0xC0, 0xC0, 0xC0, 0xFF},
                  odd[4] = {1, 2, 3, 0xFF}, automatic[4] = {0xFF, 0xFF, 0xFF, 0};
    EXPECT_EQ(Word_colourToIco(red), 6u);
    EXPECT_EQ(Word_colourToIco(grey), 16u);
    EXPECT_EQ(Word_colourToIco(automatic), 0u);
    EXPECT_EQ(Word_colourToIco(odd), 17u);
}

TEST_F(WordWriterRecordsTest, FileInformationBlockFieldsSitAtTheirOffsets)
{
    withWriter([&](WordWriter *w) {
        w->fib.fcMin = 1024;
        w->fib.fcMac = 1538;
        w->fib.cbMac = 4097;
        w->fib.ccpText = 257;
        w->fib.ccpMore[1] = 3;
        w->fib.pnChpFirst = 4;
        w->fib.cpnBteChp = 1;
        w->fib.pnPapFirst = 5;
        w->fib.cpnBtePap = 2;
        w->fib.pairs[33] = WordFcLcb{0x123, 21};
        w->fib.pairs[31] = WordFcLcb{0x456, 500};
        uint8_t b[1024];
        WordWriter_packFib(w, b);
        struct Field {
            uint32_t offset;
            uint32_t width;
            uint32_t value;
        };
        const Field fields[] = {
            {0x00, 2, 0xA5EC},
            {0x02, 2, 194},
            {0x04, 2, 0x204D},
            {0x06, 2, 0x0409},
            {0x0A, 2, 0x1200},
            {0x0C, 2, 191},
            {0x12, 1, 0},
            {0x13, 1, 0x30},
            {0x18, 4, 1024},
            {0x1C, 4, 1538},
            {0x20, 2, 14},
            {0x22, 2, 0x6154},
            {0x24, 2, 0x736D},
            {0x26, 2, 0x6B69},
            {0x28, 2, 0x3234},
            {0x3C, 2, 0x0409},
            {0x3E, 2, 22},
            {0x40, 4, 4097},
            {0x4C, 4, 257},
            {0x54, 4, 3},
            {0x6C, 4, 0xFFFFF},
            {0x70, 4, 4},
            {0x74, 4, 1},
            {0x78, 4, 0xFFFFF},
            {0x7C, 4, 5},
            {0x80, 4, 2},
            {0x84, 4, 0xFFFFF},
            {0x98, 2, 108},
            {0x9A + 33 * 8, 4, 0x123},
            {0x9E + 33 * 8, 4, 21},
            {0x9A + 31 * 8, 4, 0x456},
            {0x9E + 31 * 8, 4, 500},
            {0x3FA, 2, 2},
            {0x3FC, 2, 0xD9},
        };
        for (const Field &f : fields) {
            SCOPED_TRACE(f.offset);
            uint32_t v = f.width == 1   ? b[f.offset]
                         : f.width == 2 ? u16at(b, f.offset)
                                        : u32at(b, f.offset);
            EXPECT_EQ(v, f.value);
        }
        for (uint32_t i = 898; i < 1018; i++)
            EXPECT_EQ(b[i], 0) << i;
    });
}

TEST_F(WordWriterRecordsTest, FirstFreePageFollowsTheText)
{
    const uint32_t cases[][2] = {{1024, 1024}, {1536, 1536}, {1538, 2048}, {1025, 1536}};
    for (const auto &c : cases)
        EXPECT_EQ(WordWriter_firstFreePage(c[0]), c[1]) << c[0];
}

TEST_F(WordWriterRecordsTest, IdenticalCharacterRunsShareOneStoredChpx)
{
    withWriter([&](WordWriter *w) {
        w->firstFreePage = 1536;
        const uint8_t bold[3] = {0x35, 0x08, 0x01};
        const uint8_t italic[3] = {0x36, 0x08, 0x01};
        ASSERT_EQ(WordFkp_addChpx(w, 1024, 1030, 3, bold), 0);
        ASSERT_EQ(WordFkp_addChpx(w, 1030, 1040, 3, bold), 0);
        ASSERT_EQ(WordFkp_addChpx(w, 1040, 1050, 3, italic), 0);
        ASSERT_EQ(WordFkp_addChpx(w, 1050, 1060, 0, nullptr), 0);
        const uint8_t *page = w->chpPage;
        EXPECT_EQ(page[511], 4);
        const uint32_t fcs[5] = {1024, 1030, 1040, 1050, 1060};
        for (uint32_t i = 0; i < 5; i++)
            EXPECT_EQ(u32at(page, 4 * i), fcs[i]);
        const uint8_t *rgb = page + 20;
        EXPECT_EQ(rgb[0], rgb[1]);
        EXPECT_NE(rgb[2], rgb[0]);
        EXPECT_EQ(rgb[3], 0);
        EXPECT_EQ(page[rgb[0] * 2], 3);
        EXPECT_EQ(memcmp(page + rgb[0] * 2 + 1, bold, 3), 0);
        EXPECT_EQ(memcmp(page + rgb[2] * 2 + 1, italic, 3), 0);
        EXPECT_EQ((rgb[2] * 2) % 2, 0);
        EXPECT_EQ(w->fib.pnChpFirst, 3);
        EXPECT_EQ(w->chpBins.count, 1u);
    });
}

TEST_F(WordWriterRecordsTest, LargeParagraphExceptionsMoveToTheDataStream)
{
    withWriter([&](WordWriter *w) {
        w->firstFreePage = 1024;
        const uint8_t phe[12] = {};
        for (uint32_t cb : {488u, 489u}) {
            SCOPED_TRACE(cb);
            std::vector<uint8_t> papx(cb, 0);
            papx[0] = 7; // the style index
            for (uint32_t i = 2; i < cb; i++)
                papx[i] = uint8_t(i);
            uint32_t dataBefore = uint32_t(Ole_streamSize(w->dataStream));
            memset(w->papPage, 0, 512);
            w->papPn = 0;
            ASSERT_EQ(WordFkp_addPapx(w, 1024, 1026, phe, cb, papx.data()), 0);
            const uint8_t *page = w->papPage;
            uint32_t at = page[8] * 2u;
            if (cb == 488) {
                EXPECT_EQ(page[at], 0);
                EXPECT_EQ(page[at + 1], 244);
                EXPECT_EQ(memcmp(page + at + 2, papx.data(), cb), 0);
                EXPECT_EQ(Ole_streamSize(w->dataStream), dataBefore);
            } else {
                // Eight bytes: the style index and sprmPHugePapx with the
                // offset of the moved bytes in "Data".
                EXPECT_EQ(page[at], 0);
                EXPECT_EQ(page[at + 1], 4);
                EXPECT_EQ(u16at(page, at + 2), 7u);
                EXPECT_EQ(u16at(page, at + 4), 0x6646u);
                uint32_t offset = u32at(page, at + 6);
                EXPECT_EQ(offset, dataBefore + (dataBefore & 1));
                // The u16 length and the bytes after the style index.
                EXPECT_EQ(Ole_streamSize(w->dataStream), offset + 2 + cb - 2);
            }
        }
    });
}

TEST_F(WordWriterRecordsTest, FullPagesContinuePastBothKindsOfPage)
{
    withWriter([&](WordWriter *w) {
        w->firstFreePage = 1024;
        const uint8_t phe[12] = {};
        // A character page first: the first paragraph page comes after it.
        ASSERT_EQ(WordFkp_addChpx(w, 1024, 1026, 0, nullptr), 0);
        uint8_t papx[2] = {0, 0};
        ASSERT_EQ(WordFkp_addPapx(w, 1024, 1026, phe, 2, papx), 0);
        EXPECT_EQ(w->chpPn, 2u);
        EXPECT_EQ(w->papPn, 3u);
        // Distinct paragraph runs fill the paragraph page; the next page is
        // one past the larger page number.
        uint32_t fc = 1026;
        std::vector<uint8_t> big(40, 1);
        for (uint32_t i = 0; w->papPn == 3 && i < 100; i++, fc += 2) {
            big[2] = uint8_t(i);
            ASSERT_EQ(WordFkp_addPapx(w, fc, fc + 2, phe, uint32_t(big.size()), big.data()), 0);
        }
        EXPECT_EQ(w->papPn, 4u);
        EXPECT_EQ(w->fib.cpnBtePap, 2u);
        ASSERT_EQ(w->papBins.count, 2u);
        EXPECT_EQ(w->papBins.pns[0], 3u);
        EXPECT_EQ(w->papBins.pns[1], 4u);
        // Then a full character page goes to page 5.
        for (uint32_t i = 0; w->chpPn == 2 && i < 200; i++, fc += 2) {
            uint8_t sprm[3] = {0x43, 0x4A, uint8_t(i)};
            ASSERT_EQ(WordFkp_addChpx(w, fc, fc + 2, 3, sprm), 0);
        }
        EXPECT_EQ(w->chpPn, 5u);
    });
}

TEST_F(WordWriterRecordsTest, BinTablesJoinRunsOfOnePage)
{
    WordOutBins bins{};
    ASSERT_EQ(WordBins_add(&bins, 10, 10, 3), 0);
    EXPECT_EQ(bins.count, 0u);
    ASSERT_EQ(WordBins_add(&bins, 10, 20, 3), 0);
    ASSERT_EQ(WordBins_add(&bins, 20, 30, 3), 0);
    ASSERT_EQ(WordBins_add(&bins, 30, 40, 4), 0);
    ASSERT_EQ(bins.count, 2u);
    WordBuf buf{};
    ASSERT_EQ(WordBins_serialize(&bins, &buf), 0);
    ASSERT_EQ(buf.length, 20u);
    const uint32_t expect[5] = {10, 30, 40, 3, 4};
    for (uint32_t i = 0; i < 5; i++)
        EXPECT_EQ(u32at(buf.data, 4 * i), expect[i]);
    WordBuf_free(&buf);
    WordBins_free(&bins);
}

TEST_F(WordWriterRecordsTest, FieldEndsAskForTheirResultToBeUpdated)
{
    WordFieldPlc plc{};
    ASSERT_EQ(WordFieldPlc_add(&plc, 5, 0x13, 33), 0);
    ASSERT_EQ(WordFieldPlc_add(&plc, 9, 0x14, 0), 0);
    ASSERT_EQ(WordFieldPlc_add(&plc, 12, 0x15, 0x40), 0);
    WordBuf buf{};
    ASSERT_EQ(WordFieldPlc_serialize(&plc, &buf), 0);
    ASSERT_EQ(buf.length, 4u * 4 + 2 * 3);
    EXPECT_EQ(u32at(buf.data, 12), 13u);
    const uint8_t flds[6] = {0x13, 33, 0x14, 0, 0x15, 0x44};
    EXPECT_EQ(memcmp(buf.data + 16, flds, 6), 0);
    WordBuf_free(&buf);
    WordFieldPlc_free(&plc);
}

TEST_F(WordWriterRecordsTest, StylesAreNamedByTheIndexTheyWereWrittenAt)
{
    withWriter([&](WordWriter *w) {
        Edr_Doc *doc = nullptr;
        Edr_Node *root = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, &root), 0);
        w->doc = doc;
        uint32_t id = 0;
        ASSERT_EQ(OleWriter_addStream(w->out, 0, u"1Table", &id), 0);
        ASSERT_EQ(Ole_streamOpen(w->out, &w->tableStream, id), 0);
        Request *request = nullptr;
        ASSERT_EQ(Request_new(ctx(), 2, &request), 0);
        ASSERT_EQ(Edr_Doc_addRequest(doc, request), 0);
        // Keys far from the fixed slots, with a gap and a rule without
        // properties between them: the indexes still run 15, 16.
        struct Rule {
            uint32_t key;
            bool centred;
        };
        for (Rule r : {Rule{Word_firstStyleId + 4, true}, Rule{Word_firstStyleId + 6, false},
                       Rule{Word_firstStyleId + 9, false}}) {
            StyleRule *rule = nullptr;
            ASSERT_EQ(StyleRule_create(&rule), 0);
            ASSERT_EQ(StyleRule_addMatch10(rule, r.key), 0);
            if (r.key != Word_firstStyleId + 6) {
                Prop p;
                Prop_zero(&p);
                Prop_setType(&p, r.centred ? 79 : 43, r.centred ? 45 : 40);
                ASSERT_EQ(StyleRule_appendProp(rule, &p), 0);
            }
            Request_addItem(request, &rule);
            StyleRule_destroy(rule);
        }
        ASSERT_EQ(WordStyles_writeSheet(w), 0);
        WordStyleSlot *first = WordStyles_find(w, Word_firstStyleId + 4);
        WordStyleSlot *second = WordStyles_find(w, Word_firstStyleId + 9);
        ASSERT_NE(first, nullptr);
        ASSERT_NE(second, nullptr);
        EXPECT_EQ(first->istd, 15u);
        EXPECT_EQ(second->istd, 16u);
        EXPECT_EQ(WordStyles_find(w, Word_firstStyleId + 6), nullptr);
        // The bold style's run modifier is kept for its runs.
        ASSERT_EQ(second->count, 1u);
        EXPECT_EQ(second->items[0].sprm, 0x0835);
        EXPECT_EQ(second->items[0].operand[0], 1);
        EXPECT_EQ(w->fib.pairs[1].fc, 0);
        EXPECT_EQ(w->fib.pairs[0].lcb, w->fib.pairs[1].lcb);
        EXPECT_EQ(Ole_streamSize(w->tableStream), w->fib.pairs[1].lcb);
        Ole_streamClose(&w->tableStream);
        Request_release(request);
        Edr_Doc_release(doc);
    });
}

TEST_F(WordWriterTest, AnEmptyDocumentIsAValidFile)
{
    run([&] {
        Edr_Doc *doc = nullptr;
        Edr_Node *root = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, &root), 0);
        Url *target = newFileUrl(path("empty.doc"));
        ASSERT_EQ(Word_saveDocument(doc, target), 0);
        Url_free(target);
        Edr_Doc_release(doc);
        std::string bytes = readAll(path("empty.doc"));
        ASSERT_FALSE(bytes.empty());
        ASSERT_EQ(load(path("empty.doc"), &doc), 0);
        Edr_Doc_release(doc);
        std::map<std::string, std::string> entries = listing(ctx(), path("empty.doc"));
        ASSERT_EQ(entries.count("WordDocument"), 1u);
        const std::string &wd = entries["WordDocument"];
        const uint8_t *fib = reinterpret_cast<const uint8_t *>(wd.data()) + wd.find(':', 2) + 1;
        EXPECT_EQ(u32at(fib, 0x18), 1024u); // fcMin
        EXPECT_EQ(u32at(fib, 0x1C), 1024u); // fcMac
        EXPECT_EQ(u32at(fib, 0x4C), 0u);    // ccpText
    });
}

// ------------------------------------------------------------ list tables

// A list level for the list tests: decimal "%1." unless told otherwise.
WordParaListLevel *testLevel(int32_t start, uint8_t nfc = 0, const char16_t *text = u"\x0000.")
{
    WordParaListLevel *l = WordListLevel_createDefault();
    if (!l)
        return nullptr;
    l->iStartAt = start;
    l->nfc = nfc;
    l->rgbxchNums[0] = 1;
    l->textLength = uint16_t(text[0] == 0 ? 2 : Ustr_len(text));
    l->text = static_cast<char16_t *>(Mem_malloc(l->textLength * sizeof(char16_t)));
    if (l->text)
        memcpy(l->text, text, l->textLength * sizeof(char16_t));
    return l;
}

// A paragraph's list record: list lsid with one level at ilvl.
WordParaList *testList(uint32_t lsid, uint32_t ilvl, WordParaListLevel *level)
{
    WordParaList *list = static_cast<WordParaList *>(Mem_calloc(1, sizeof(WordParaList)));
    if (!list) {
        WordListLevel_free(level);
        return nullptr;
    }
    list->flags = WordParaList_created;
    list->lsid = lsid;
    list->tplc = 0x11223344;
    for (uint16_t &istd : list->rgistd)
        istd = 0x0FFF;
    list->levels[ilvl] = level;
    return list;
}

// The list tables of a saved file, parsed as a Word 97 reader parses
// them; every count and length must agree with what follows it.
struct ParsedLevel {
    int32_t start;
    uint32_t nfc;
    std::u16string text;
};
struct ParsedLfoLevel {
    int32_t start;
    uint32_t flags;
    bool hasLevel;
    ParsedLevel level;
};
struct ParsedLfo {
    uint32_t lsid;
    uint32_t clfolvl;
    std::vector<ParsedLfoLevel> levels;
};
struct ParsedLists {
    std::vector<uint32_t> lsids;
    std::vector<std::vector<ParsedLevel>> levels;
    std::vector<ParsedLfo> lfos;
    std::string names;
};

bool parseLevel(const std::string &t, uint32_t *at, ParsedLevel *out)
{
    const uint8_t *b = reinterpret_cast<const uint8_t *>(t.data());
    if (*at + 30 > t.size())
        return false;
    out->start = int32_t(u32at(b, *at));
    out->nfc = b[*at + 4];
    uint32_t chpx = b[*at + 24], papx = b[*at + 25];
    uint32_t textAt = *at + 28 + chpx + papx;
    if (textAt + 2 > t.size())
        return false;
    uint32_t n = u16at(b, textAt);
    if (textAt + 2 + 2 * n > t.size())
        return false;
    out->text.clear();
    for (uint32_t i = 0; i < n; i++)
        out->text += char16_t(u16at(b, textAt + 2 + 2 * i));
    *at = textAt + 2 + 2 * n;
    return true;
}

::testing::AssertionResult parseLists(const std::string &wd, const std::string &table,
                                      ParsedLists *out)
{
    const uint8_t *fib = reinterpret_cast<const uint8_t *>(wd.data());
    const uint8_t *b = reinterpret_cast<const uint8_t *>(table.data());
    auto pair = [&](uint32_t i, uint32_t *fc, uint32_t *lcb) {
        *fc = u32at(fib, 0x9A + 8 * i);
        *lcb = u32at(fib, 0x9E + 8 * i);
        return uint64_t(*fc) + *lcb <= table.size();
    };
    uint32_t fc = 0, lcb = 0;
    if (!pair(73, &fc, &lcb) || lcb < 2)
        return ::testing::AssertionFailure() << "no PlfLst";
    uint32_t count = u16at(b, fc);
    if (lcb != 2 + 28 * count)
        return ::testing::AssertionFailure()
               << "PlfLst length " << lcb << " for " << count << " lists";
    uint32_t at = fc + lcb;
    for (uint32_t i = 0; i < count; i++) {
        out->lsids.push_back(u32at(b, fc + 2 + 28 * i));
        out->levels.emplace_back();
        for (uint32_t k = 0; k < 9; k++) {
            ParsedLevel l;
            if (!parseLevel(table, &at, &l))
                return ::testing::AssertionFailure()
                       << "list " << i << " level " << k << " runs past the stream";
            out->levels.back().push_back(l);
        }
    }
    if (!pair(74, &fc, &lcb) || lcb < 4)
        return ::testing::AssertionFailure() << "no PlfLfo";
    if (fc != at)
        return ::testing::AssertionFailure() << "PlfLfo at " << fc << ", the levels end at " << at;
    uint32_t lfoCount = u32at(b, fc);
    at = fc + 4 + 16 * lfoCount;
    for (uint32_t i = 0; i < lfoCount; i++) {
        ParsedLfo lfo;
        lfo.lsid = u32at(b, fc + 4 + 16 * i);
        lfo.clfolvl = b[fc + 4 + 16 * i + 12];
        if (at + 4 > table.size() || u32at(b, at) != 0xFFFFFFFFu)
            return ::testing::AssertionFailure() << "override " << i << " lacks its 0xFFFFFFFF";
        at += 4;
        for (uint32_t k = 0; k < lfo.clfolvl; k++) {
            ParsedLfoLevel l{};
            if (at + 8 > table.size())
                return ::testing::AssertionFailure()
                       << "override " << i << " level " << k << " runs past";
            l.start = int32_t(u32at(b, at));
            l.flags = b[at + 4];
            at += 8;
            l.hasLevel = (l.flags & 0x20) != 0;
            if (l.hasLevel && !parseLevel(table, &at, &l.level))
                return ::testing::AssertionFailure()
                       << "override " << i << " level " << k << " runs past";
            lfo.levels.push_back(l);
        }
        out->lfos.push_back(lfo);
    }
    if (at != fc + lcb)
        return ::testing::AssertionFailure()
               << "PlfLfo parses to " << at - fc << " bytes, its length is " << lcb;
    if (!pair(91, &fc, &lcb))
        return ::testing::AssertionFailure() << "no SttbListNames";
    out->names = table.substr(fc, lcb);
    return ::testing::AssertionSuccess();
}

// The list paragraphs of a document: lsid, level number, number format,
// number text and start of each, in tree order.
void listParagraphs(Edr_Doc *doc, Edr_Node *node, std::vector<std::string> *out)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (elementOf(c) == WordClass_paragraph) {
            const WordParaList *list = Word_paraListOf(doc, c);
            const WordParaListLevel *l = Word_paraListFirstLevel(list);
            std::string s = "p";
            if (l) {
                uint32_t k = 0;
                while (list->levels[k] != l)
                    k++;
                s += " list " + std::to_string(list->lsid) + " level " + std::to_string(k) +
                     " nfc " + std::to_string(l->nfc) + " start " + std::to_string(l->iStartAt) +
                     " text";
                for (uint32_t i = 0; i < l->textLength; i++)
                    s += " " + std::to_string(l->text[i]);
            }
            out->push_back(s);
        }
        if (Edr_Node_type(c) == Edr_NodeType_group)
            listParagraphs(doc, c, out);
    }
}

TEST_F(WordWriterRecordsTest, ListLevelsCompareByWhatDiffers)
{
    run([&] {
        struct Case {
            const char *what;
            std::function<void(WordParaListLevel *)> change;
            int expected;
        };
        static const uint8_t bold[3] = {0x35, 0x08, 0x01};
        const Case cases[] = {
            {"nothing", [](WordParaListLevel *) {}, 0},
            {"start", [](WordParaListLevel *l) { l->iStartAt = 5; }, 1},
            {"format", [](WordParaListLevel *l) { l->nfc = 4; }, 2},
            {"number text", [](WordParaListLevel *l) { l->text[1] = u')'; }, 2},
            {"follow", [](WordParaListLevel *l) { l->ixchFollow = 1; }, 2},
            {"indent", [](WordParaListLevel *l) { l->dxaIndent = 360; }, 2},
            {"number look",
             [](WordParaListLevel *l) {
                 l->grpprlChpx = static_cast<uint8_t *>(Mem_malloc(3));
                 memcpy(l->grpprlChpx, bold, 3);
                 l->cbGrpprlChpx = 3;
             },
             2},
        };
        for (const Case &c : cases) {
            SCOPED_TRACE(c.what);
            WordParaListLevel *a = testLevel(1);
            WordParaListLevel *b = testLevel(1);
            ASSERT_NE(a, nullptr);
            ASSERT_NE(b, nullptr);
            c.change(b);
            EXPECT_EQ(WordListLevel_compare(a, b), c.expected);
            EXPECT_EQ(WordListLevel_compare(b, a), c.expected);
            WordListLevel_free(a);
            WordListLevel_free(b);
        }
    });
}

TEST_F(WordWriterRecordsTest, ListRecordsHaveTheirLayout)
{
    run([&] {
        // LVL: 28 fixed bytes, the paragraph modifiers, the character
        // modifiers, then the counted number text.
        WordParaListLevel *l = testLevel(3, 4, u"\x0000)");
        ASSERT_NE(l, nullptr);
        l->flags = 0x05;
        l->ixchFollow = 1;
        l->dxaSpace = 360;
        l->dxaIndent = -360;
        static const uint8_t papx[6] = {0x0F, 0x84, 0xD0, 0x02, 0x11, 0x84};
        static const uint8_t chpx[3] = {0x35, 0x08, 0x01};
        l->grpprlPapx = static_cast<uint8_t *>(Mem_malloc(6));
        memcpy(l->grpprlPapx, papx, 6);
        l->cbGrpprlPapx = 6;
        l->grpprlChpx = static_cast<uint8_t *>(Mem_malloc(3));
        memcpy(l->grpprlChpx, chpx, 3);
        l->cbGrpprlChpx = 3;
        WordBuf buf{};
        ASSERT_EQ(WordListLevel_serialize(l, &buf), 0);
        ASSERT_EQ(buf.length, 30u + 6 + 3 + 4);
        const uint8_t *b = buf.data;
        EXPECT_EQ(u32at(b, 0), 3u);
        EXPECT_EQ(b[4], 4);
        EXPECT_EQ(b[5], 0x05);
        EXPECT_EQ(b[6], 1); // rgbxchNums[0]
        EXPECT_EQ(b[15], 1);
        EXPECT_EQ(u32at(b, 16), 360u);
        EXPECT_EQ(u32at(b, 20), uint32_t(-360));
        EXPECT_EQ(b[24], 3); // cbGrpprlChpx
        EXPECT_EQ(b[25], 6); // cbGrpprlPapx
        EXPECT_EQ(memcmp(b + 28, papx, 6), 0);
        EXPECT_EQ(memcmp(b + 34, chpx, 3), 0);
        EXPECT_EQ(u16at(b, 37), 2u);
        EXPECT_EQ(u16at(b, 39), 0u);
        EXPECT_EQ(u16at(b, 41), uint32_t(u')'));
        WordBuf_free(&buf);
        // LSTF: lsid, tplc, nine style indexes, flags.
        WordParaList *list = testList(0xABCD, 0, l);
        ASSERT_NE(list, nullptr);
        uint8_t lstf[28];
        WordList_serialize(list, lstf);
        EXPECT_EQ(u32at(lstf, 0), 0xABCDu);
        EXPECT_EQ(u32at(lstf, 4), 0x11223344u);
        for (uint32_t k = 0; k < 9; k++)
            EXPECT_EQ(u16at(lstf, 8 + 2 * k), 0x0FFFu);
        EXPECT_EQ(lstf[26], WordParaList_created);
        Word_paraListFree(list);
        // SttbListNames: extended strings, the count, no extra data, one
        // empty name per list.
        WordBuf names{};
        ASSERT_EQ(WordListTables_names(2, &names), 0);
        const uint8_t expected[10] = {0xFF, 0xFF, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
        ASSERT_EQ(names.length, 10u);
        EXPECT_EQ(memcmp(names.data, expected, 10), 0);
        WordBuf_free(&names);
    });
}

// Paragraphs name an override of their list: the plain one while their
// level is the list's, one with a start number for a restart, one with a
// level of its own for a different format; an override that already says
// the same is reused.
TEST_F(WordWriterRecordsTest, ListParagraphsShareOverridesThatSayTheSame)
{
    withWriter([&](WordWriter *w) {
        struct Step {
            const char *what;
            uint32_t lsid;
            uint32_t ilvl;
            int32_t start;
            uint8_t nfc;
            uint32_t ilfo;
        };
        const Step steps[] = {
            {"first paragraph defines level 1", 7, 0, 1, 0, 1},
            {"same level", 7, 0, 1, 0, 1},
            {"level 2 defined by its first paragraph", 7, 1, 1, 4, 1},
            {"restart at 5", 7, 0, 5, 0, 2},
            {"the same restart again", 7, 0, 5, 0, 2},
            {"another format", 7, 0, 1, 2, 3},
            {"that format again", 7, 0, 1, 2, 3},
            {"back to the list's level", 7, 0, 1, 0, 1},
            {"another list", 9, 0, 1, 0, 4},
        };
        for (const Step &s : steps) {
            SCOPED_TRACE(s.what);
            WordParaList *list = testList(s.lsid, s.ilvl, testLevel(s.start, s.nfc));
            ASSERT_NE(list, nullptr);
            uint32_t ilvl = 99, ilfo = 99;
            ASSERT_EQ(WordListTables_addParagraph(w, list, nullptr, 0, nullptr, 0, &ilvl, &ilfo),
                      0);
            EXPECT_EQ(ilvl, s.ilvl);
            EXPECT_EQ(ilfo, s.ilfo);
            Word_paraListFree(list);
        }
        ASSERT_EQ(w->lists.listCount, 2u);
        ASSERT_EQ(w->lists.lfoCount, 4u);
        const WordOutLfo *restart = w->lists.lfos[1];
        ASSERT_NE(restart->levels[0], nullptr);
        EXPECT_EQ(restart->levels[0]->flags, WordLfoLevel_startAt);
        EXPECT_EQ(restart->levels[0]->iStartAt, 5);
        const WordOutLfo *format = w->lists.lfos[2];
        ASSERT_NE(format->levels[0], nullptr);
        EXPECT_EQ(format->levels[0]->flags, WordLfoLevel_formatting);
        ASSERT_NE(format->levels[0]->level, nullptr);
        EXPECT_EQ(format->levels[0]->level->nfc, 2);
        // A record without a level is refused.
        WordParaList *empty = testList(7, 0, nullptr);
        uint32_t ilvl = 0, ilfo = 0;
        EXPECT_EQ(WordListTables_addParagraph(w, empty, nullptr, 0, nullptr, 0, &ilvl, &ilfo),
                  Res_wordBadListIndex);
        Word_paraListFree(empty);
    });
}

// The written tables parse as a reader parses them: nine levels a list,
// missing levels from the source's list or the defaults, overrides
// completed to nine levels each carrying its level with fFormatting set.
TEST_F(WordWriterRecordsTest, ListTablesAreCompletedAndParse)
{
    withWriter([&](WordWriter *w) {
        uint32_t id = 0;
        ASSERT_EQ(OleWriter_addStream(w->out, 0, u"1Table", &id), 0);
        ASSERT_EQ(Ole_streamOpen(w->out, &w->tableStream, id), 0);
        // The source's list 7 defines levels 1 and 3.
        WordParaList *source = testList(7, 0, testLevel(1));
        ASSERT_NE(source, nullptr);
        source->levels[2] = testLevel(1, 2, u"\x0002]");
        WordParaList *sources[1] = {source};
        WordRootData root{};
        root.lists = sources;
        root.listCount = 1;
        w->rootData = &root;
        // Paragraphs of list 7 at level 1, one restarted at 4; list 8 has
        // no source.
        const struct {
            uint32_t lsid;
            int32_t start;
        } paragraphs[] = {{7, 1}, {7, 4}, {8, 1}};
        for (const auto &p : paragraphs) {
            WordParaList *list = testList(p.lsid, 0, testLevel(p.start));
            uint32_t ilvl = 0, ilfo = 0;
            ASSERT_EQ(WordListTables_addParagraph(w, list, nullptr, 0, nullptr, 0, &ilvl, &ilfo),
                      0);
            Word_paraListFree(list);
        }
        ASSERT_EQ(WordListTables_write(w), 0);
        Ole_streamClose(&w->tableStream);
        Ole_streamClose(&w->docStream);
        Ole_streamClose(&w->dataStream);
        w->rootData = nullptr;
        Word_paraListFree(source);
        // The FIB's pairs, as the parser reads them.
        uint8_t fib[1024];
        WordWriter_packFib(w, fib);
        std::string wd(reinterpret_cast<char *>(fib), 1024);
        ASSERT_EQ(OleWriter_flush(w->out), 0);
        Ole_closeFile(&w->out);
        std::map<std::string, std::string> entries = listing(ctx(), path("records.doc"));
        ASSERT_EQ(entries.count("1Table"), 1u);
        std::string table = entries["1Table"].substr(19);
        ParsedLists parsed;
        ASSERT_TRUE(parseLists(wd, table, &parsed));
        ASSERT_EQ(parsed.lsids, (std::vector<uint32_t>{7, 8}));
        const std::vector<ParsedLevel> &seven = parsed.levels[0];
        EXPECT_EQ(seven[0].text, std::u16string(u"\x0000.", 2));
        EXPECT_EQ(seven[2].nfc, 2u); // from the source
        EXPECT_EQ(seven[2].text, std::u16string(u"\x0002]", 2));
        for (uint32_t k : {1u, 3u, 8u}) {
            SCOPED_TRACE(k);
            EXPECT_EQ(seven[k].start, 1); // defaults
            EXPECT_TRUE(seven[k].text.empty());
        }
        EXPECT_TRUE(parsed.levels[1][5].text.empty());
        ASSERT_EQ(parsed.lfos.size(), 3u);
        EXPECT_EQ(parsed.lfos[0].clfolvl, 0u);
        EXPECT_EQ(parsed.lfos[2].lsid, 8u);
        const ParsedLfo &restart = parsed.lfos[1];
        EXPECT_EQ(restart.lsid, 7u);
        ASSERT_EQ(restart.clfolvl, 9u);
        for (uint32_t k = 0; k < 9; k++) {
            SCOPED_TRACE(k);
            EXPECT_EQ(restart.levels[k].flags & 0x0F, k);
            EXPECT_TRUE(restart.levels[k].hasLevel);
            EXPECT_EQ(restart.levels[k].flags & 0x40, 0u);
        }
        EXPECT_EQ(restart.levels[0].flags & 0x10, 0x10u);
        EXPECT_EQ(restart.levels[0].start, 4);
        EXPECT_EQ(restart.levels[0].level.start, 4);
        EXPECT_EQ(restart.levels[2].level.nfc, 2u);
        EXPECT_EQ(parsed.names, std::string("\xFF\xFF\x02\x00\x00\x00\x00\x00\x00\x00", 10));
    });
}

// Saved list documents keep their lists as lists: the numbers come from
// the written tables, not from text, and every list paragraph reloads
// with its list, level, format, number text and start.
TEST_F(WordWriterTest, ListParagraphsKeepTheirListsThroughASave)
{
    for (const char *name : {"lists", "word6-lists"}) {
        SCOPED_TRACE(name);
        std::string source = copyFixture(std::string(name) + ".doc");
        run([&] {
            Edr_Doc *doc = nullptr;
            ASSERT_EQ(load(source, &doc), 0);
            std::vector<std::string> before, after;
            listParagraphs(doc, Edr_Doc_root(doc), &before);
            std::string saved = path(std::string(name) + "-saved.doc");
            ASSERT_EQ(save(doc, saved), 0);
            Edr_Doc_release(doc);
            ASSERT_EQ(load(saved, &doc), 0);
            listParagraphs(doc, Edr_Doc_root(doc), &after);
            Edr_Doc_release(doc);
            EXPECT_EQ(after, before);
            size_t numbered = 0;
            for (const std::string &p : before)
                numbered += p.size() > 1;
            EXPECT_GE(numbered, 3u);
            std::map<std::string, std::string> entries = listing(ctx(), saved);
            std::string wd = entries["WordDocument"].substr(19);
            std::string table = entries["1Table"].substr(19);
            ParsedLists parsed;
            ASSERT_TRUE(parseLists(wd, table, &parsed));
            for (const ParsedLfo &lfo : parsed.lfos)
                EXPECT_TRUE(lfo.clfolvl == 0 || lfo.clfolvl == 9) << lfo.clfolvl;
            // The text holds no number: the first list paragraph's text
            // begins at its words.
            std::u16string text;
            size_t ccpText = u32at(reinterpret_cast<const uint8_t *>(wd.data()), 0x4C);
            for (size_t i = 1024; i + 1 < wd.size() && i < 1024 + 2 * ccpText; i += 2)
                text += char16_t(uint8_t(wd[i]) | uint8_t(wd[i + 1]) << 8);
            if (std::string(name) == "lists") {
                EXPECT_EQ(text.find(u"1.\tone"), std::u16string::npos);
                EXPECT_NE(text.find(u"\rone\r"), std::u16string::npos);
            }
        });
    }
}

} // namespace

// ------------------------------------------------------------ drawings

TEST_F(WordWriterRecordsTest, ShapeFlagsFollowTheirKeywords)
{
    struct Case {
        uint32_t horizontal, vertical, wrapSide, wrap;
        uint32_t flags;
    };
    // bx bits 1-2, by bits 3-4, wr bits 5-8, wrk bits 9-12, below bit 14.
    const Case cases[] = {
        {220, 220, 215, 213, 1u << 5}, // page, page, both sides, top and bottom
        {219, 219, 216, 130, 1u << 1 | 1u << 3 | 2u << 5 | 1u << 9}, // margin, margin, left, square
        {223, 221, 218, 210,
         2u << 1 | 2u << 3 | 4u << 5 | 3u << 9}, // column, paragraph, largest, tight
        {220, 220, 217, 214, 5u << 5 | 2u << 9}, // through
        {220, 220, 0, 211, 3u << 5 | 1u << 14},  // behind the text
        {220, 220, 0, 212, 3u << 5},             // in front of the text
        {0, 0, 0, 0, 3u << 5},                   // no rule: in front, page
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.horizontal) + " " + std::to_string(c.vertical) + " " +
                     std::to_string(c.wrapSide) + " " + std::to_string(c.wrap));
        EXPECT_EQ(WordWriter_fspaFlags(c.horizontal, c.vertical, c.wrapSide, c.wrap), c.flags);
    }
}

namespace {

// The paragraph whose own text ends with text (after its number, in a
// list), or null.
Edr_Node *findParagraph(Edr_Node *node, const std::string &text)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (elementOf(c) == WordClass_paragraph) {
            std::string s;
            textOf(c, &s);
            if (s.size() >= text.size() &&
                s.compare(s.size() - text.size(), text.size(), text) == 0)
                return c;
        }
        if (Edr_Node_type(c) == Edr_NodeType_group)
            if (Edr_Node *p = findParagraph(c, text))
                return p;
    }
    return nullptr;
}

Edr_Node *findBox(Edr_Node *node)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (elementOf(c) == WordClass_textBox)
            return c;
        if (Edr_Node_type(c) == Edr_NodeType_group)
            if (Edr_Node *b = findBox(c))
                return b;
    }
    return nullptr;
}

// An FSPA read back: shape id, rectangle, flags.
struct Anchor {
    uint32_t cp;
    uint32_t spid;
    int32_t rect[4];
    uint32_t flags;
};

std::vector<Anchor> anchorsOf(const std::string &wd, const std::string &table, uint32_t pair)
{
    const uint8_t *fib = reinterpret_cast<const uint8_t *>(wd.data());
    uint32_t fc = u32at(fib, 0x9A + 8 * pair), lcb = u32at(fib, 0x9A + 8 * pair + 4);
    std::vector<Anchor> out;
    if (!lcb || fc + lcb > table.size() || (lcb - 4) % 30)
        return out;
    const uint8_t *t = reinterpret_cast<const uint8_t *>(table.data()) + fc;
    uint32_t n = (lcb - 4) / 30;
    for (uint32_t i = 0; i < n; i++) {
        Anchor a{};
        a.cp = u32at(t, 4 * i);
        const uint8_t *f = t + 4 * (n + 1) + 26 * i;
        a.spid = u32at(f, 0);
        for (uint32_t k = 0; k < 4; k++)
            a.rect[k] = int32_t(u32at(f, 4 + 4 * k));
        a.flags = u16at(f, 20);
        out.push_back(a);
    }
    return out;
}

} // namespace

// The floating shapes and the text box of the drawing fixture: the text
// box's edited text is its own story after the main text, with its tables;
// the shapes are anchored at U+0008 characters with the source's ids and
// rectangles; the drawing data is copied.
TEST_F(WordWriterTest, TextBoxStoriesAndShapeAnchorsAreWritten)
{
    std::string source = copyFixture("drawings.doc");
    run([&] {
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(load(source, &doc), 0);
        Edr_Node *box = findBox(Edr_Doc_root(doc));
        ASSERT_NE(box, nullptr);
        Edr_Node *old = findText(box);
        ASSERT_NE(old, nullptr);
        const char16_t edit[] = u"Edited frame text";
        Edr_Node *node = nullptr;
        ASSERT_EQ(Edr_Node_addRefLocked(doc, old), 0);
        ASSERT_EQ(Edr_Node_createText(doc, old, Edr_Insert_replace, &node, edit,
                                      uint32_t(Ustr_len(edit))),
                  0);
        Edr_Node_dropRefLocked(doc, old);
        Edr_Node_release(doc, node);
        std::string saved = path("drawings-saved.doc");
        ASSERT_EQ(save(doc, saved), 0);
        Edr_Doc_release(doc);

        std::map<std::string, std::string> entries = listing(ctx(), saved);
        std::string wd = entries["WordDocument"].substr(19);
        std::string table = entries["1Table"].substr(19);
        const uint8_t *fib = reinterpret_cast<const uint8_t *>(wd.data());
        uint32_t ccpText = u32at(fib, 0x4C), ccpTxbx = u32at(fib, 0x64), fcMac = u32at(fib, 0x1C);
        auto chars = [&](uint32_t cp, uint32_t n) {
            std::u16string s;
            for (uint32_t i = 0; i < n; i++)
                s += char16_t(u16at(fib, 1024 + 2 * (cp + i)));
            return s;
        };
        // The box's text, its paragraph mark, the box's mark, the story's
        // mark; then one more mark after all stories.
        EXPECT_EQ(chars(ccpText, ccpTxbx + 1), u"Edited frame text\r\r\r\r");
        EXPECT_EQ(ccpTxbx, 20u);
        EXPECT_EQ(u32at(fib, 0x68), 0u); // no header text boxes
        EXPECT_EQ(fcMac, 1024 + 2 * (ccpText + ccpTxbx + 1));

        // The text-box table: CPs 0, the box's end, the story's end; an
        // FTXBXS naming the box's shape, then the last one.
        uint32_t fc = u32at(fib, 0x9A + 8 * 56), lcb = u32at(fib, 0x9A + 8 * 56 + 4);
        ASSERT_EQ(lcb, 3 * 4 + 2 * 22u);
        ASSERT_LE(fc + lcb, table.size());
        const uint8_t *t = reinterpret_cast<const uint8_t *>(table.data()) + fc;
        EXPECT_EQ(u32at(t, 0), 0u);
        EXPECT_EQ(u32at(t, 4), 19u);
        EXPECT_EQ(u32at(t, 8), 20u);
        EXPECT_EQ(u32at(t, 12), 1u);               // a chain of one box
        EXPECT_EQ(u16at(t, 20), 0u);               // not reusable
        EXPECT_EQ(u32at(t, 26), 1027u);            // the frame's shape
        EXPECT_EQ(u32at(t, 12 + 22), 0xFFFFFFFFu); // the last entry
        // The break table: the same CPs, the box's index, then 0xFFFF.
        fc = u32at(fib, 0x9A + 8 * 75);
        lcb = u32at(fib, 0x9A + 8 * 75 + 4);
        ASSERT_EQ(lcb, 3 * 4 + 2 * 6u);
        t = reinterpret_cast<const uint8_t *>(table.data()) + fc;
        EXPECT_EQ(u32at(t, 4), 19u);
        EXPECT_EQ(u16at(t, 12), 0u);
        EXPECT_EQ(u16at(t, 18), 0xFFFFu);
        EXPECT_EQ(u32at(fib, 0x9A + 8 * 58 + 4), 0u); // no header text-box tables

        // The anchors: U+0008 in the main text, the source's shape ids and
        // rectangles, the main text's length last.
        std::string src = readAll(source);
        std::map<std::string, std::string> srcEntries = listing(ctx(), source);
        std::vector<Anchor> theirs =
            anchorsOf(srcEntries["WordDocument"].substr(19), srcEntries["1Table"].substr(19), 40);
        std::vector<Anchor> mine = anchorsOf(wd, table, 40);
        ASSERT_EQ(mine.size(), 2u);
        fc = u32at(fib, 0x9A + 8 * 40);
        EXPECT_EQ(u32at(reinterpret_cast<const uint8_t *>(table.data()) + fc, 8), ccpText);
        for (const Anchor &a : mine) {
            SCOPED_TRACE(a.spid);
            EXPECT_EQ(chars(a.cp, 1), u"\x08");
            bool found = false;
            for (const Anchor &b : theirs)
                if (b.spid == a.spid) {
                    found = true;
                    for (uint32_t k = 0; k < 4; k++)
                        EXPECT_EQ(a.rect[k], b.rect[k]) << k;
                }
            EXPECT_TRUE(found);
            // Wrapped around (2): the fixture's shapes are "parallel".
            EXPECT_EQ((a.flags >> 5) & 15, 2u);
        }
        EXPECT_EQ(mine[0].spid, 1026u);
        EXPECT_EQ(mine[1].spid, 1027u);
        EXPECT_EQ(u32at(fib, 0x9A + 8 * 41 + 4), 0u); // no header anchors

        // The drawing data: a drawing group container at its place.
        fc = u32at(fib, 0x9A + 8 * 50);
        lcb = u32at(fib, 0x9A + 8 * 50 + 4);
        ASSERT_GT(lcb, 8u);
        ASSERT_LE(fc + lcb, table.size());
        EXPECT_EQ(u16at(reinterpret_cast<const uint8_t *>(table.data()) + fc, 2), 0xF000u);
        // cbMac is the length of "WordDocument" plus one.
        EXPECT_EQ(u32at(fib, 0x40), wd.size() + 1);

        // The edit comes back in the box.
        ASSERT_EQ(load(saved, &doc), 0);
        std::string all;
        for (const std::string &line : outlineOf(doc))
            all += line + "\n";
        EXPECT_NE(all.find("box\np Edited frame text\nbox end\n"), std::string::npos) << all;
        Edr_Doc_release(doc);
    });
}

// Without a source file to copy the drawing from, a floating shape and its
// text box are left out and the rest of the document is saved.
TEST_F(WordWriterTest, ShapesWithoutTheirSourceFileAreLeftOut)
{
    std::string source = copyFixture("drawings.doc");
    run([&] {
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(load(source, &doc), 0);
        std::vector<std::string> before = outlineOf(doc);
        ASSERT_EQ(remove(source.c_str()), 0);
        int err = save(doc, path("drawings-saved.doc"));
        Edr_Doc_release(doc);
        if (err)
            return; // a save that needs its source may refuse: nothing to check
        ASSERT_EQ(load(path("drawings-saved.doc"), &doc), 0);
        std::vector<std::string> after = outlineOf(doc);
        Edr_Doc_release(doc);
        std::vector<std::string> kept;
        bool inBox = false;
        for (const std::string &line : before) {
            if (line == "box")
                inBox = true;
            else if (line == "box end")
                inBox = false;
            else if (!inBox)
                kept.push_back(line);
        }
        EXPECT_EQ(after, kept);
    });
}

// A list paragraph that ends in a page break writes no mark: its run goes
// on into the next paragraph, which carries the list as well, so that the
// paragraph keeps its list when read back.
TEST_F(WordWriterTest, AListParagraphEndingInAPageBreakKeepsItsList)
{
    std::string source = copyFixture("lists.doc");
    run([&] {
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(load(source, &doc), 0);
        Edr_Node *para = findParagraph(Edr_Doc_root(doc), "three a");
        ASSERT_NE(para, nullptr);
        ASSERT_NE(findParagraph(Edr_Doc_root(doc), "Bullets:"), nullptr);
        auto listOf = [&](Edr_Doc *d, Edr_Node *p) {
            const WordParaList *list = Word_paraListOf(d, p);
            const WordParaListLevel *l = Word_paraListFirstLevel(list);
            std::string s = "none";
            if (l) {
                uint32_t k = 0;
                while (list->levels[k] != l)
                    k++;
                s = std::to_string(list->lsid) + " level " + std::to_string(k);
            }
            return s;
        };
        std::string before = listOf(doc, para);
        ASSERT_NE(before, "none");
        ASSERT_EQ(listOf(doc, findParagraph(Edr_Doc_root(doc), "Bullets:")), "none");
        Edr_Doc_readLock(doc);
        ASSERT_EQ(Edr_Node_addRefLocked(doc, para), 0);
        Edr_Doc_readUnlock(doc);
        Edr_Node *brk = nullptr;
        ASSERT_EQ(Edr_Node_createGroup(doc, para, Edr_Insert_lastChild, 0, &brk), 0);
        ASSERT_EQ(Word_nodeSetStyle(doc, brk, WordClass_pageBreak, 0), 0);
        Edr_Node_release(doc, brk);
        Edr_Node_release(doc, para);
        std::string saved = path("lists-break.doc");
        ASSERT_EQ(save(doc, saved), 0);
        Edr_Doc_release(doc);
        std::map<std::string, std::string> entries = listing(ctx(), saved);
        std::string wd = entries["WordDocument"].substr(19);
        std::u16string text;
        for (size_t i = 1024;
             i + 1 < wd.size() &&
             i < 1024 + 2 * size_t(u32at(reinterpret_cast<const uint8_t *>(wd.data()), 0x4C));
             i += 2)
            text += char16_t(uint8_t(wd[i]) | uint8_t(wd[i + 1]) << 8);
        EXPECT_NE(text.find(u"three a\fBullets:\r"), std::u16string::npos);
        ASSERT_EQ(load(saved, &doc), 0);
        para = findParagraph(Edr_Doc_root(doc), "three a");
        ASSERT_NE(para, nullptr);
        EXPECT_EQ(listOf(doc, para), before);
        Edr_Doc_release(doc);
    });
}

namespace {

// The images of the drawing data's picture store: for each FBSE its bytes
// in the "WordDocument" stream where it points.
std::vector<std::string> storedImages(const std::string &wd, const std::string &table)
{
    const uint8_t *fib = reinterpret_cast<const uint8_t *>(wd.data());
    uint32_t fc = u32at(fib, 0x9A + 8 * 50), lcb = u32at(fib, 0x9A + 8 * 50 + 4);
    std::vector<std::string> out;
    if (!lcb || fc + lcb > table.size())
        return out;
    const uint8_t *d = reinterpret_cast<const uint8_t *>(table.data()) + fc;
    for (uint32_t at = 0; at + 44 <= lcb; at++) {
        if (u16at(d, at + 2) != 0xF007 || u32at(d, at + 4) < 36)
            continue;
        uint32_t size = u32at(d, at + 8 + 20), delay = u32at(d, at + 8 + 28);
        if (uint64_t(delay) + size <= wd.size())
            out.push_back(wd.substr(delay, size));
    }
    return out;
}

} // namespace

// A floating picture's image lives in the source's "WordDocument" where
// the drawing data's picture store points: the save moves it into its own
// "WordDocument" and points the store there.
TEST_F(WordWriterTest, AFloatingPictureKeepsItsImage)
{
    std::string source = copyFixture("headerboxes.doc");
    run([&] {
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(load(source, &doc), 0);
        std::string saved = path("headerboxes-saved.doc");
        ASSERT_EQ(save(doc, saved), 0);
        Edr_Doc_release(doc);
        std::map<std::string, std::string> theirs = listing(ctx(), source);
        std::map<std::string, std::string> mine = listing(ctx(), saved);
        std::vector<std::string> before =
            storedImages(theirs["WordDocument"].substr(19), theirs["1Table"].substr(19));
        std::vector<std::string> after =
            storedImages(mine["WordDocument"].substr(19), mine["1Table"].substr(19));
        ASSERT_EQ(before.size(), 1u);
        EXPECT_GT(before[0].size(), 100u);
        EXPECT_EQ(after, before);
    });
}

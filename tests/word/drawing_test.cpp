// Word drawings in the tree: floating shapes at their anchors with their
// position, size and wrap, a text frame's story inside its shape, text
// flow and the size limit of text boxes, inline pictures (an OfficeArt
// picture, a one-bit bitmap of mapping mode 99 and one whose extents are
// refused), and the small services: the anchor lookup, the field tables
// per sub-document, the bitmap size check and the story depth bound.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/stylerule.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "graphics/image.h"
#include "graphics/pixelbuf.h"
#include "document/edr/attach.h"
#include "platform/api/request.h"
#include "platform/vfs/vfs.h"
#include "tests/document/edr_fixture.h"
#include "word/reader/build.h"
#include "word/reader/drawing.h"
#include "word/reader/word.h"

namespace {

std::string readFixture(const std::string &name)
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/word/" + name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

uint32_t elementOf(Edr_Node *n)
{
    return Edr_Node_type(n) == Edr_NodeType_group ? Edr_Node_group(n)->element : 0;
}

void textOf(Edr_Node *node, std::string *out, bool boxes)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (Edr_Node_type(c) == Edr_NodeType_group) {
            if (boxes || elementOf(c) != WordClass_textBox)
                textOf(c, out, boxes);
        } else if (Edr_Node_type(c) == Edr_NodeType_text) {
            const Edr_TextNode *t = Edr_Node_textPayload(c);
            for (uint32_t i = 0; i < t->length; i++)
                *out += t->chars[i] < 0x80 ? char(t->chars[i]) : ' ';
        }
    }
}

void collectClass(Edr_Node *node, uint32_t cls, std::vector<Edr_Node *> *out)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (elementOf(c) == cls)
            out->push_back(c);
        if (Edr_Node_type(c) == Edr_NodeType_group)
            collectClass(c, cls, out);
    }
}

void collectType(Edr_Node *node, uint32_t type, std::vector<Edr_Node *> *out)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (Edr_Node_type(c) == type)
            out->push_back(c);
        if (Edr_Node_type(c) == Edr_NodeType_group)
            collectType(c, type, out);
    }
}

// The properties of the style rules a group's style ids select.
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

int32_t twips(int32_t v)
{
    return int32_t(int64_t(v) * 65536 / 1440);
}

void poke32(std::string &file, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        file[at + i] = char(v >> (8 * i));
}

// File offsets inside drawings.doc (its table stream lives in the mini
// stream; each patched field lies inside one 64-byte sector).
constexpr size_t textBoxFspa = 3871;     // the text frame's anchor (spid 1027)
constexpr size_t textBoxFlowProp = 3285; // its property 135 entry, value 0

class WordDrawingTest : public EdrFixture {
  protected:
    void loadBytes(const std::string &file, std::function<void(Edr_Doc *, Edr_Node *, int)> check)
    {
        ASSERT_FALSE(file.empty());
        run([&] {
            // An image store: pictures are opened at load.
            ASSERT_EQ(ImageStore_acquire(ctx(), ImageStore_noWorkers, Pixel_format565), 0);
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
            ImageStore_release(ctx());
        });
    }
};

TEST_F(WordDrawingTest, FloatingShapesTakeTheirAnchorsPositionSizeAndWrap)
{
    loadBytes(readFixture("drawings.doc"), [&](Edr_Doc *doc, Edr_Node *root, int err) {
        ASSERT_EQ(err, 0);
        // Committed shapes: the rectangle and the text frame; the two
        // pictures' shapes gave their look to the inline pictures.
        std::vector<Edr_Node *> shapes;
        collectClass(root, WordClass_picture, &shapes);
        std::vector<Edr_Node *> anchored;
        for (Edr_Node *s : shapes) {
            auto p = propsOf(doc, s);
            if (p.count(141))
                anchored.push_back(s);
        }
        ASSERT_EQ(anchored.size(), 2u);
        struct Want {
            uint32_t spid;
            int32_t left, top, right, bottom;
        } wants[] = {{1026, 5669, 8, 7936, 1133}, {1027, 567, 567, 3968, 1700}};
        for (size_t i = 0; i < 2; i++) {
            SCOPED_TRACE(i);
            auto p = propsOf(doc, anchored[i]);
            EXPECT_EQ(p[146].payload, wants[i].spid);
            EXPECT_EQ(p[141].type, 223u); // horizontal reference 2: the column
            EXPECT_EQ(p[142].type, 221u); // vertical reference 2
            EXPECT_EQ(int32_t(p[45].payload), twips(wants[i].left));
            EXPECT_EQ(int32_t(p[84].payload), twips(wants[i].top));
            EXPECT_EQ(int32_t(p[90].payload), twips(wants[i].right) - twips(wants[i].left));
            EXPECT_EQ(int32_t(p[44].payload), twips(wants[i].bottom) - twips(wants[i].top));
            EXPECT_EQ(p[140].type, 215u); // wrap side 0: both sides
            // The shape's paths lie inside its group, and the group inside
            // an outer group in the paragraph's text.
            std::vector<Edr_Node *> paths;
            collectType(anchored[i], Edr_NodeType_path, &paths);
            EXPECT_FALSE(paths.empty());
            Edr_Node *outer = Edr_Node_parent(anchored[i]);
            ASSERT_NE(outer, nullptr);
            EXPECT_EQ(elementOf(Edr_Node_parent(outer)), uint32_t(WordClass_textGroup));
        }
    });
}

TEST_F(WordDrawingTest, TextFrameStoryFlowsIntoItsShape)
{
    loadBytes(readFixture("drawings.doc"), [&](Edr_Doc *doc, Edr_Node *root, int err) {
        ASSERT_EQ(err, 0);
        std::vector<Edr_Node *> boxes;
        collectClass(root, WordClass_textBox, &boxes);
        ASSERT_EQ(boxes.size(), 1u);
        std::string text;
        textOf(boxes[0], &text, true);
        EXPECT_EQ(text, "Text inside the frame.");
        std::vector<Edr_Node *> paras;
        collectClass(boxes[0], WordClass_paragraph, &paras);
        EXPECT_EQ(paras.size(), 1u);
        // The box belongs to the text frame's shape (spid 1027), with the
        // frame's size (its insets are 0) and the story's text id.
        Edr_Node *shape = Edr_Node_parent(boxes[0]);
        ASSERT_NE(shape, nullptr);
        EXPECT_EQ(propsOf(doc, shape)[146].payload, 1027u);
        auto p = propsOf(doc, boxes[0]);
        EXPECT_EQ(p[151].payload, 0x10000u);
        EXPECT_EQ(p[146].payload, 1027u);
        EXPECT_EQ(int32_t(p[90].payload), twips(3968) - twips(567));
        EXPECT_EQ(int32_t(p[44].payload), twips(1700) - twips(567));
        EXPECT_EQ(p.count(134), 0u);
        // The story stays out of the body text.
        std::string body;
        textOf(root, &body, false);
        EXPECT_EQ(body.find("Text inside the frame"), std::string::npos);
    });
}

TEST_F(WordDrawingTest, TextBoxInATableCellLeavesTheTableWhole)
{
    // The box's story is read while the table is open: its paragraphs,
    // outside any table, must not finish (and free) the body's table.
    loadBytes(readFixture("tablebox.doc"), [&](Edr_Doc *, Edr_Node *root, int err) {
        ASSERT_EQ(err, 0);
        std::vector<Edr_Node *> boxes;
        collectClass(root, WordClass_textBox, &boxes);
        ASSERT_EQ(boxes.size(), 1u);
        std::string text;
        textOf(boxes[0], &text, true);
        EXPECT_EQ(text, "Box text.");
        std::vector<Edr_Node *> tables, rows;
        collectClass(root, WordClass_table, &tables);
        collectClass(root, WordClass_tableRow, &rows);
        EXPECT_EQ(tables.size(), 1u);
        EXPECT_EQ(rows.size(), 2u);
        std::string body;
        textOf(root, &body, false);
        for (const char *part : {"Before the table.", "Cell one holds a box.", "Cell two.",
                                 "Cell three.", "Cell four.", "After the table."})
            EXPECT_NE(body.find(part), std::string::npos) << part;
    });
}

TEST_F(WordDrawingTest, TextFlowTwoTurnsTheBoxAndSwapsItsSides)
{
    std::string file = readFixture("drawings.doc");
    ASSERT_EQ(file.substr(textBoxFlowProp, 6), std::string("\x87\x00\x00\x00\x00\x00", 6));
    file[textBoxFlowProp] = char(0x88); // property 136, text flow
    poke32(file, textBoxFlowProp + 2, 2);
    loadBytes(file, [&](Edr_Doc *doc, Edr_Node *root, int err) {
        ASSERT_EQ(err, 0);
        std::vector<Edr_Node *> boxes;
        collectClass(root, WordClass_textBox, &boxes);
        ASSERT_EQ(boxes.size(), 1u);
        auto p = propsOf(doc, boxes[0]);
        EXPECT_EQ(int32_t(p[90].payload), twips(1700) - twips(567));
        EXPECT_EQ(int32_t(p[44].payload), twips(3968) - twips(567));
        ASSERT_EQ(p.count(134), 1u);
        // The inverse of a turn by -90 degrees.
        const Matrix *m = reinterpret_cast<const Matrix *>(p[134].payload);
        ASSERT_NE(m, nullptr);
        Matrix want;
        Matrix_setIdentity(&want);
        Matrix_rotation(&want, 90 * 65536);
        EXPECT_EQ(memcmp(m, &want, sizeof want), 0);
        std::string text;
        textOf(boxes[0], &text, true);
        EXPECT_EQ(text, "Text inside the frame.");
    });
}

TEST_F(WordDrawingTest, BoxesWiderThan22InchesGetNoText)
{
    for (int32_t inches : {22, 23}) {
        SCOPED_TRACE(inches);
        std::string file = readFixture("drawings.doc");
        ASSERT_EQ(uint8_t(file[textBoxFspa]), 0x03u);
        poke32(file, textBoxFspa + 12, uint32_t(567 + inches * 1440));
        loadBytes(file, [&](Edr_Doc *, Edr_Node *root, int err) {
            ASSERT_EQ(err, 0);
            std::vector<Edr_Node *> boxes;
            collectClass(root, WordClass_textBox, &boxes);
            EXPECT_EQ(boxes.size(), inches <= 22 ? 1u : 0u);
        });
    }
}

TEST_F(WordDrawingTest, InlinePicturesBecomeImageGroups)
{
    loadBytes(readFixture("drawings.doc"), [&](Edr_Doc *doc, Edr_Node *root, int err) {
        ASSERT_EQ(err, 0);
        // The PNG: one image node, placed through its shape in the
        // paragraph that holds it.
        std::vector<Edr_Node *> images;
        collectType(root, Edr_NodeType_image, &images);
        EXPECT_EQ(images.size(), 1u);
        // The WMF: one metafile drawing. Its blip is the second of a blip
        // store whose count says 1, read by the container's length.
        std::vector<Edr_Node *> metafiles;
        collectType(root, Edr_NodeType_drawList, &metafiles);
        EXPECT_EQ(metafiles.size(), 1u);
        // Both pictures' OfficeArt records name no picture of their own:
        // their groups keep no style and an empty text, and their look
        // (inline, property 139 = 74) goes to the shape drawn before them.
        std::vector<Edr_Node *> paras;
        collectClass(root, WordClass_paragraph, &paras);
        ASSERT_EQ(paras.size(), 6u); // the frame's paragraph among them
        std::vector<Edr_Node *> groups;
        collectType(paras[5], Edr_NodeType_group, &groups);
        std::vector<uintptr_t> positions;
        for (Edr_Node *g : groups) {
            auto p = propsOf(doc, g);
            if (p.count(139) && p[139].type == 74)
                positions.push_back(p[146].payload);
        }
        // Each look on the picture group and on the shape's group, with
        // the picture's position in the "Data" stream.
        EXPECT_EQ(positions, (std::vector<uintptr_t>{0, 0, 120, 120}));
    });
}

TEST_F(WordDrawingTest, ObjectPreviewTakesThePicturesOwnBlipWhateverNumberItNames)
{
    // objectpreview.doc: an embedded object whose preview is an inline
    // OfficeArt picture with one blip after its shape, the shape naming
    // blip 3. The preview is drawn from that blip, in the picture group
    // that carries the object's field.
    std::string file = readFixture("objectpreview.doc");
    loadBytes(file, [&](Edr_Doc *doc, Edr_Node *root, int err) {
        ASSERT_EQ(err, 0);
        std::vector<Edr_Node *> images;
        collectType(root, Edr_NodeType_image, &images);
        ASSERT_EQ(images.size(), 1u);
        Edr_Node *picture = images[0];
        while (picture && elementOf(picture) != uint32_t(WordClass_picture))
            picture = Edr_Node_parent(picture);
        ASSERT_NE(picture, nullptr);
        auto p = propsOf(doc, picture);
        EXPECT_EQ(p[149].payload, 58u) << "the object's field type";
    });
}

TEST_F(WordDrawingTest, MonochromeBitmapsAndRefusedExtents)
{
    // mono.doc: the first picture a 20 x 20 bitmap of mode 99 (a black
    // frame and diagonal on white), the second a mode 99 header with
    // negative extents, which is refused and leaves no picture.
    loadBytes(readFixture("mono.doc"), [&](Edr_Doc *doc, Edr_Node *root, int err) {
        ASSERT_EQ(err, 0);
        std::vector<Edr_Node *> pictures;
        collectType(root, Edr_NodeType_picture, &pictures);
        ASSERT_EQ(pictures.size(), 1u);
        Edr_Node *group = Edr_Node_parent(pictures[0]);
        auto p = propsOf(doc, group);
        EXPECT_EQ(p[34].type, 175u);
        EXPECT_EQ(p[146].payload, 0u);
        EXPECT_EQ(elementOf(Edr_Node_parent(group)), uint32_t(WordClass_textGroup));
        const Edr_PictureNode *pic =
            static_cast<const Edr_PictureNode *>(Edr_Node_payloadOrNull(pictures[0]));
        ASSERT_NE(pic, nullptr);
        EXPECT_EQ(pic->record->words[2], 1);
        EXPECT_EQ(int32_t(pic->record->words[0]), int32_t(p[90].payload));
        void *data = nullptr;
        ASSERT_EQ(Edr_Node_getPrivate(doc, pictures[0], &data), 0);
        const PixelBuf *pixels = static_cast<const PixelBuf *>(data);
        ASSERT_NE(pixels, nullptr);
        EXPECT_EQ(pixels->width, 20);
        EXPECT_EQ(pixels->height, 20);
        EXPECT_EQ(pixels->format, uint32_t(Pixel_format565));
        EXPECT_EQ(pixels->scale, 96);
        auto at = [&](int x, int y) {
            const uint8_t *q = pixels->pixels + size_t(y) * pixels->stride + 2 * size_t(x);
            return uint16_t(q[0] | (q[1] << 8));
        };
        for (int y = 0; y < 20; y++)
            for (int x = 0; x < 20; x++) {
                bool black = x == 0 || x == 19 || y == 0 || y == 19 || x == y;
                ASSERT_EQ(at(x, y), black ? 0u : 0xFFFFu) << x << "," << y;
            }
    });
}

TEST(WordPictureCheck, MonoBitmapDataMustHoldItsExtents)
{
    struct Case {
        int16_t x, y;
        uint32_t length;
        int want;
    } cases[] = {
        {20, 20, 50, Res_ok},               // 400 bits exactly
        {20, 20, 49, Res_wordShortPicture}, // one byte short
        {9, 1, 2, Res_ok},                  // a part byte at the end
        {9, 1, 1, Res_wordShortPicture},
        {0, 0, 0, Res_ok},
        {-8, 4, 100, Res_wordShortPicture}, // negative extents
        {8, -4, 100, Res_wordShortPicture},
        {32767, 32767, 1000, Res_wordShortPicture}, // huge extents, little data
    };
    for (const Case &c : cases) {
        WordPicf picf{};
        picf.mode = 99;
        picf.xExt = c.x;
        picf.yExt = c.y;
        EXPECT_EQ(Word_monoBitmapCheck(&picf, c.length), c.want)
            << c.x << "x" << c.y << " in " << c.length;
    }
}

// A reader with a load record and the drawings state, without a file.
struct BareReader {
    WordReader *r = nullptr;
    BareReader()
    {
        EXPECT_EQ(Word_readerNew(&r), 0);
        r->load = static_cast<WordLoad *>(Mem_calloc(1, sizeof(WordLoad)));
        r->load->drawings = static_cast<WordDrawings *>(Mem_calloc(1, sizeof(WordDrawings)));
        r->fib.wIdent = Word_identWord97;
    }
    ~BareReader()
    {
        for (uint32_t i = 0; i < 7; i++)
            Mem_free(r->load->fieldTables[i]);
        Word_drawingsFree(r);
        Mem_free(r->load);
        r->load = nullptr;
        Word_readerFree(r);
    }
};

// A plex of cps.size() - 1 elements of size bytes, each filled with its index.
uint8_t *plexBytes(const std::vector<uint32_t> &cps, uint32_t size)
{
    size_t n = cps.size() - 1;
    uint8_t *b = static_cast<uint8_t *>(Mem_calloc(1, cps.size() * 4 + n * size + 1));
    for (size_t i = 0; i < cps.size(); i++)
        for (int k = 0; k < 4; k++)
            b[4 * i + k] = uint8_t(cps[i] >> (8 * k));
    for (size_t i = 0; i < n; i++)
        memset(b + cps.size() * 4 + i * size, int(i + 1), size);
    return b;
}

TEST_F(WordDrawingTest, AnchorLookupByCpInterval)
{
    run([&] {
        BareReader br;
        WordReader *r = br.r;
        r->subdocStart[1] = 100;
        r->subdocStart[2] = 100;
        r->subdocStart[3] = 200;
        WordPlex &main = r->load->drawings->anchors[0];
        main.bytes = plexBytes({10, 20, 40}, Word_fspaBytes);
        main.count = 2;
        main.elementBytes = Word_fspaBytes;
        struct Case {
            uint32_t subdoc, cp;
            int want;
            uint8_t fill; // the element's bytes
        } cases[] = {
            {0, 10, Res_ok, 1},
            {0, 19, Res_ok, 1},
            {0, 20, Res_ok, 2},
            {0, 39, Res_ok, 2},
            {0, 40, Res_wordNoShapeAnchor, 0}, // the last CP closes the table
            {0, 9, Res_wordNoShapeAnchor, 0},
            {2, 110, Res_wordNoShapeAnchor, 0}, // the header table is empty
            {1, 110, Res_wordNoShapes, 0},      // footnotes hold no shapes
            {6, 10, Res_wordNoShapes, 0},
        };
        for (const Case &c : cases) {
            r->subdoc = c.subdoc;
            WordFspa f{};
            EXPECT_EQ(Word_findShapeAnchor(c.cp, &f, r), c.want) << c.subdoc << ":" << c.cp;
            if (c.want == Res_ok) {
                EXPECT_EQ(f.spid, uint32_t(c.fill) * 0x01010101u);
            }
        }
        r->subdoc = 0;
    });
}

TEST_F(WordDrawingTest, FieldDescriptorsPerSubdocument)
{
    run([&] {
        BareReader br;
        WordReader *r = br.r;
        for (uint32_t k = 1; k <= 8; k++)
            r->subdocStart[k] = 100 * k;
        // The text-box table (index 5) holds descriptors at 3 and 7 of its
        // sub-document; the main text's table at 5.
        r->load->fieldTables[5] = plexBytes({3, 7, 9}, 2);
        r->load->fieldCounts[5] = 2;
        r->load->fieldTables[0] = plexBytes({5, 6}, 2);
        r->load->fieldCounts[0] = 1;
        uint8_t fld[2] = {};
        EXPECT_EQ(Word_fieldAt(603, 6, fld, r), Res_ok);
        EXPECT_EQ(fld[0], 1);
        EXPECT_EQ(Word_fieldAt(607, 6, fld, r), Res_ok);
        EXPECT_EQ(fld[0], 2);
        EXPECT_EQ(Word_fieldAt(604, 6, fld, r), Res_wordNoFieldAtCp);
        EXPECT_EQ(Word_fieldAt(609, 6, fld, r), Res_wordNoFieldAtCp); // the closing CP
        EXPECT_EQ(Word_fieldAt(5, 0, fld, r), Res_ok);
        EXPECT_EQ(Word_fieldAt(703, 7, fld, r), Res_wordNoFieldAtCp); // header text boxes: no table
        EXPECT_EQ(Word_fieldAt(303, 3, fld, r), Res_wordBadSubdoc);   // the macro text has none
        EXPECT_EQ(Word_fieldAt(3, 8, fld, r), Res_wordBadSubdoc);
    });
}

TEST_F(WordDrawingTest, TextBoxStoriesByTheirTable)
{
    run([&] {
        BareReader br;
        WordReader *r = br.r;
        for (uint32_t k = 1; k <= 8; k++)
            r->subdocStart[k] = 100 * k;
        WordPlex &boxes = r->load->drawings->textBoxes[0];
        boxes.bytes = plexBytes({0, 12, 30, 40}, Word_txbxBytes);
        boxes.count = 3;
        boxes.elementBytes = Word_txbxBytes;
        uint32_t start = 0, end = 0;
        r->subdoc = 0;
        EXPECT_EQ(Word_textBoxRange(1, 0, r, &start, &end), Res_ok);
        EXPECT_EQ(start, 612u);
        EXPECT_EQ(end, 630u);
        EXPECT_EQ(Word_textBoxRange(3, 0, r, &start, &end), Res_wordNoStory);
        EXPECT_EQ(Word_textBoxRange(0xFFFFFFFFu, 0, r, &start, &end),
                  Res_wordNoStory); // a text id of 0
        r->subdoc = 2;
        EXPECT_EQ(Word_textBoxRange(0, 0, r, &start, &end),
                  Res_wordNoStory); // no header text boxes
        // A story that runs past its sub-document is refused.
        Word_plexFree(&boxes);
        boxes.bytes = plexBytes({0, 150}, Word_txbxBytes);
        boxes.count = 1;
        r->subdoc = 0;
        EXPECT_EQ(Word_textBoxRange(0, 0, r, &start, &end), Res_wordNoStory);
    });
}

TEST_F(WordDrawingTest, DrawnObjectsOfWord6FilesEmitNothing)
{
    run([&] {
        // Special character 8 of a Word 6/95 file names no OfficeArt shape: the
        // run is left as it is, whatever anchors the reader holds.
        BareReader br;
        WordReader *r = br.r;
        r->fib.wIdent = Word_identWord6;
        WordPlex &main = r->load->drawings->anchors[0];
        main.bytes = plexBytes({0, 40}, Word_fspaBytes);
        main.count = 1;
        main.elementBytes = Word_fspaBytes;
        WordNodeBuilder builder{};
        builder.reader = r;
        WordSectionContext section{};
        section.builder = &builder;
        WordParaState para{};
        para.section = &section;
        WordRunState run{};
        run.para = &para;
        EXPECT_EQ(Word_placeDrawnObject(&run, 0), Res_ok);
        EXPECT_EQ(run.textGroup, nullptr);
        EXPECT_EQ(para.pendingShape.outer, nullptr);
    });
}

TEST_F(WordDrawingTest, NestedStoriesStopWithTheirOwnError)
{
    run([&] {
        // A story whose picture's shape holds a text box of the same story
        // nests without end; the depth is bounded before any text is read.
        BareReader br;
        WordReader *r = br.r;
        WordSectionContext section{};
        r->load->drawings->section = &section;
        r->load->drawings->storyDepth = 64;
        EXPECT_EQ(Word_emitStoryRange(0, 10, nullptr, r), Res_wordTextBoxTooDeep);
        r->load->drawings->storyDepth = 0;
        r->load->drawings->section = nullptr;
    });
}

} // namespace

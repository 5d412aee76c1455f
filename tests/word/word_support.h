// Test support for the Word table tests: Word files opened from memory,
// the reader's load steps for the tables in the load sequence's order, a
// dump of the tables in the form of the fixtures' .expect files, and small
// builders of FIBs and table streams for hand-made files.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset.h"
#include "office/ole2/oleprobe.h"
#include "office/ole2/ole.h"
#include "platform/vfs/vfs.h"
#include "tests/support/heap_fixture.h"
#include "tests/word/cfb_build.h"
#include "word/reader/word.h"

inline std::string wordFixture(const std::string &name)
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/word/" + name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void put16(std::string &b, size_t at, uint32_t v)
{
    cfbPut16(b, at, v);
}

inline void put32(std::string &b, size_t at, uint32_t v)
{
    cfbPut32(b, at, v);
}

inline std::string le16(uint32_t v)
{
    std::string s(2, '\0');
    put16(s, 0, v);
    return s;
}

inline std::string le32(uint32_t v)
{
    std::string s(4, '\0');
    put32(s, 0, v);
    return s;
}

inline std::string bytes(std::initializer_list<int> v)
{
    std::string s;
    for (int c : v)
        s += char(c);
    return s;
}

// The load steps that read the tables, in the load sequence's order.
inline int loadTables(WordReader *r)
{
    int err = Word_readHeaderTable(r);
    if (err == Res_ok)
        err = Word_readSections(r);
    if (err == Res_ok)
        err = Word_readPieceTable(r);
    if (err == Res_ok)
        err = Word_readBookmarks(r);
    if (err == Res_ok)
        err = Word_readBinTables(r);
    if (err == Res_ok)
        err = Word_readStyleSheet(r);
    return err;
}

inline std::string escText(const std::u16string &s)
{
    std::string out;
    char buf[16];
    for (char16_t c : s) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += char(c);
        } else if (c < 0x100) {
            snprintf(buf, sizeof buf, "\\x%02x", unsigned(c));
            out += buf;
        } else {
            snprintf(buf, sizeof buf, "\\u%04x", unsigned(c));
            out += buf;
        }
    }
    return out;
}

// The text of [start, end) through the piece table.
inline std::u16string readText(WordReader *r, uint32_t start, uint32_t end)
{
    std::u16string out;
    for (uint32_t cp = start; cp < end; cp++) {
        uint32_t fc = 0, is16 = 0;
        if (Word_cpToFc(cp, &fc, &is16, r) != Res_ok)
            return out + u"<no piece>";
        uint8_t b[2] = {};
        size_t got = 0;
        if (Ole_streamReadAt(r->docStream, fc, is16 ? 2 : 1, &got, b) != Res_ok)
            return out + u"<read error>";
        if (is16) {
            out += char16_t(b[0] | (b[1] << 8));
        } else {
            uint8_t u[2];
            size_t consumed = 0, produced = 0;
            if (r->fib.wIdent == Word_identWord97)
                (void)Charset_win1252ToUtf16(r->ctx, b, 1, u, 2, &consumed, &produced, nullptr);
            else
                (void)Charset_latin1ToUtf16(r->ctx, b, 1, u, 2, &consumed, &produced, nullptr);
            char16_t c;
            memcpy(&c, u, 2);
            out += c;
        }
    }
    return out;
}

inline uint32_t popcount(uint32_t v)
{
    uint32_t n = 0;
    for (; v; v &= v - 1)
        n++;
    return n;
}

// The reader's tables in the .expect form.
inline std::vector<std::string> dumpTables(WordReader *r)
{
    std::vector<std::string> lines;
    char buf[256];
    const WordFib &f = r->fib;
    auto add = [&](const std::string &s) { lines.push_back(s); };
    snprintf(buf, sizeof buf, "fib ident 0x%04x", f.wIdent), add(buf);
    snprintf(buf, sizeof buf, "fib nFib %u", f.nFib), add(buf);
    snprintf(buf, sizeof buf, "fib flags 0x%04x", f.flags), add(buf);
    snprintf(buf, sizeof buf, "fib fcMin %u", f.fcMin), add(buf);
    snprintf(buf, sizeof buf, "fib fcMac %u", f.fcMac), add(buf);
    snprintf(buf, sizeof buf, "fib ccp0 %u", f.ccpText), add(buf);
    for (int i = 0; i < 7; i++)
        snprintf(buf, sizeof buf, "fib ccp%d %d", i + 1, f.ccpMore[i]), add(buf);
    for (uint32_t k = 0; k < Word_fcLcbCount; k++)
        if (f.pairs[k].fc || f.pairs[k].lcb)
            snprintf(buf, sizeof buf, "pair %u %d %u", k, f.pairs[k].fc, f.pairs[k].lcb), add(buf);
    for (uint32_t i = 0; i < r->pieceCount; i++)
        snprintf(buf, sizeof buf, "piece %u %u %u %u %u", i, r->pieceCps[i], r->pieceCps[i + 1],
                 r->pieces[i].fc, r->pieces[i].prm),
            add(buf);
    for (uint32_t i = 0; i < r->sectionCount; i++) {
        const WordSection &s = r->sections[i];
        std::string hex = "-";
        if (s.sepx) {
            hex.clear();
            uint32_t n = 2 + uint32_t(s.sepx[0] | (s.sepx[1] << 8));
            for (uint32_t k = 0; k < n; k++)
                snprintf(buf, sizeof buf, "%02x", s.sepx[k]), hex += buf;
        }
        snprintf(buf, sizeof buf, "section %u %u %u ", i, s.start, s.end), add(buf + hex);
    }
    for (uint32_t i = 0; i < r->stshi.cstd && r->stsh; i++) {
        const WordStyleEntry *e = i < r->styleCount ? &r->styles[i] : nullptr;
        if (!e || !e->defined) {
            snprintf(buf, sizeof buf, "style %u -", i), add(buf);
            continue;
        }
        std::u16string name = e->name ? std::u16string(e->name + 1, e->name[0]) : u"";
        snprintf(buf, sizeof buf, "style %u %u %u %u ", i, e->sti, e->sgc, e->istdBase),
            add(buf + escText(name));
    }
    // Headers and footers: Word 6 files count their stories as the
    // sections are built, from the separators flagged in the document
    // properties and each section's story flags.
    if (f.wIdent == Word_identWord6) {
        uint8_t dop[2] = {};
        size_t got = 0;
        if (f.pairs[WordPair_dop].lcb >= 2)
            (void)Ole_streamReadAt(r->tableStream, uint32_t(f.pairs[WordPair_dop].fc), 2, &got,
                                   dop);
        r->hddStoryCounter = uint16_t(popcount(uint32_t(dop[1] >> 5)));
    }
    for (uint32_t s = 0; s < r->sectionCount; s++) {
        WordSep sep;
        Word_defaultSep(&sep);
        EXPECT_EQ(Word_readSectionProps(r->sections[s].start, &sep, r), Res_ok);
        r->sectGrpfIhdt = sep.grpfIhdt;
        for (uint32_t kind = 0; kind < 6; kind++) {
            uint32_t start = 0, end = 0;
            EXPECT_EQ(Word_headerRange(s, kind, &start, &end, r), Res_ok);
            snprintf(buf, sizeof buf, "header %u %u %u %u", s, kind, start, end), add(buf);
        }
        r->hddStoryCounter = uint16_t(r->hddStoryCounter + popcount(sep.grpfIhdt & 0x3Fu));
    }
    for (uint32_t i = 0; r->bookmarks && i < r->bookmarks->count; i++) {
        const WordBookmark &b = r->bookmarks->entries[i];
        std::u16string name;
        for (const char16_t *p = b.name; *p; p++)
            name += *p;
        snprintf(buf, sizeof buf, " %u %u", b.start, b.end);
        add("bookmark " + escText(name) + buf);
    }
    for (uint32_t cp = 0; cp < f.ccpText;) {
        uint32_t end = 0;
        int err = Word_nextParaEnd(cp, &end, r);
        if (err != Res_ok) {
            snprintf(buf, sizeof buf, "para <error %d at %u>", err, cp), add(buf);
            break;
        }
        add("para " + escText(readText(r, cp, end)));
        cp = end;
    }
    return lines;
}

inline std::vector<std::string> expectLines(const std::string &name)
{
    std::vector<std::string> lines;
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/word/" + name + ".expect");
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// A test with a heap and a Word reader over a file in memory.
class WordTest : public LeakCheckedContextTest<(32u << 20)> {
  public:
    VfsHandle *stream = nullptr;
    WordReader *reader = nullptr;

    void TearDown() override
    {
        closeDoc();
        LeakCheckedContextTest<(32u << 20)>::TearDown();
    }

    void closeDoc()
    {
        Word_readerFree(reader);
        reader = nullptr;
        if (stream)
            Vfs_close(stream);
        stream = nullptr;
    }

    // Opens a compound file and its Word streams; the result of the open.
    int openDoc(const std::string &file)
    {
        closeDoc();
        uint8_t *copy = static_cast<uint8_t *>(Mem_malloc(file.size() ? file.size() : 1));
        EXPECT_NE(copy, nullptr);
        memcpy(copy, file.data(), file.size());
        uint32_t accepted = 0;
        EXPECT_EQ(Vfs_openMemory(ctx, copy, file.size(), 1, Vfs_modeRead | Vfs_modeSeekable,
                                 &stream, &accepted),
                  Res_ok);
        EXPECT_EQ(Word_readerNew(&reader), Res_ok);
        reader->ctx = ctx;
        int err = Ole_openStream(stream, &reader->ole);
        if (err == Res_ok)
            err = Word_openStreams(reader);
        return err;
    }

    // Opens "WordDocument" and "1Table" (and "Data" when given).
    int openStreams(const std::string &doc, const std::string &table,
                    const std::string &data = std::string())
    {
        std::vector<CfbStream> s = {{u"WordDocument", doc}, {u"1Table", table}};
        if (!data.empty())
            s.push_back({u"Data", data});
        return openDoc(Cfb_build(s));
    }
};

// A Word 97 FIB (898 bytes) with fWhichTblStm and the given pairs, text
// counts and bin page counts.
struct Fib97 {
    std::string b = std::string(898, '\0');
    Fib97()
    {
        put16(b, 0, Word_identWord97);
        put16(b, 2, 193);
        put16(b, 0xA, Word_flagWhichTblStm);
        put16(b, 0x98, 93);
    }
    Fib97 &flags(uint32_t v)
    {
        put16(b, 0xA, v);
        return *this;
    }
    Fib97 &fc(uint32_t fcMin, uint32_t fcMac)
    {
        put32(b, 0x18, fcMin);
        put32(b, 0x1C, fcMac);
        return *this;
    }
    Fib97 &ccp(uint32_t k, uint32_t v)
    {
        put32(b, 0x4C + 4 * k, v);
        return *this;
    }
    Fib97 &pair(uint32_t k, uint32_t fc, uint32_t lcb)
    {
        put32(b, 0x9A + 8 * k, fc);
        put32(b, 0x9A + 8 * k + 4, lcb);
        return *this;
    }
    Fib97 &cpnBte(uint32_t chp, uint32_t pap)
    {
        put32(b, 0x74, chp);
        put32(b, 0x80, pap);
        return *this;
    }
};

// A Word 6 FIB (682 bytes); pairs by index through the Word 6 layout.
struct Fib6 {
    std::string b = std::string(682, '\0');
    Fib6()
    {
        put16(b, 0, Word_identWord6);
        put16(b, 2, 101);
    }
    Fib6 &fc(uint32_t fcMin, uint32_t fcMac)
    {
        put32(b, 0x18, fcMin);
        put32(b, 0x1C, fcMac);
        return *this;
    }
    Fib6 &ccp(uint32_t k, uint32_t v)
    {
        put32(b, 0x34 + 4 * k, v);
        return *this;
    }
    Fib6 &pair(uint32_t k, uint32_t fc, uint32_t lcb)
    {
        // Pairs 0-37 only (what the hand-made files need).
        put32(b, 0x58 + 8 * k, fc);
        put32(b, 0x58 + 8 * k + 4, lcb);
        return *this;
    }
};

// A document stream: the FIB, then bytes up to at, then data.
inline std::string placeAt(std::string doc, size_t at, const std::string &data)
{
    if (doc.size() < at + data.size())
        doc.resize(at + data.size(), '\0');
    doc.replace(at, data.size(), data);
    return doc;
}

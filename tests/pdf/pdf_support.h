// Test support for the PDF reader: a byte stream over bytes held by the
// test (refilled in chunks of a chosen size, so that every read path is
// taken), a PDF writer with classic cross-reference tables, the fixtures
// of tests/fixtures/pdf, and a short text form of objects for assertions.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/result.h"
#include "core/stream/bytestream.h"
#include "pdf/document.h"
#include "pdf/lexer.h"
#include "pdf/obj.h"

// A seekable byte stream over a string the test keeps alive; each refill
// hands out at most chunk bytes.
struct TestByteStream {
    ByteStream base;
    const std::string *data;
    size_t at;
    size_t chunk;

    static int getByte(ByteStream *s)
    {
        TestByteStream *t = reinterpret_cast<TestByteStream *>(s);
        if (t->at >= t->data->size())
            return ByteStream_end;
        size_t n = std::min(t->chunk, t->data->size() - t->at);
        const uint8_t *p = reinterpret_cast<const uint8_t *>(t->data->data()) + t->at;
        t->at += n;
        s->readPtr = p + 1;
        s->end = p + n;
        return p[0];
    }
    static int seek(ByteStream *s, uint64_t position)
    {
        TestByteStream *t = reinterpret_cast<TestByteStream *>(s);
        t->at = size_t(std::min<uint64_t>(position, t->data->size()));
        s->readPtr = s->end = nullptr;
        return Res_ok;
    }
    static int control(ByteStream *s, uint32_t op, void *arg)
    {
        TestByteStream *t = reinterpret_cast<TestByteStream *>(s);
        if (op != ByteStream_opPosition)
            return Res_byteStreamNoControl;
        *static_cast<uint64_t *>(arg) = t->at - uint64_t(s->end - s->readPtr);
        return Res_ok;
    }

    void init(const std::string *bytes, size_t chunkSize = 4096)
    {
        base = ByteStream{};
        base.getByte = getByte;
        base.seek = seek;
        base.control = control;
        base.length = bytes->size();
        data = bytes;
        at = 0;
        chunk = chunkSize ? chunkSize : 1;
    }
};

// Builds a PDF file: objects {number: body} in order, one classic
// cross-reference section, a trailer with the extra text given.
inline std::string pdfFile(const std::map<uint32_t, std::string> &objects,
                           const std::string &trailer = " /Root 1 0 R",
                           const std::string &header = "%PDF-1.4\n")
{
    std::string d = header;
    std::map<uint32_t, size_t> offsets;
    for (auto &[n, body] : objects) {
        offsets[n] = d.size();
        d += std::to_string(n) + " 0 obj\n" + body + "\nendobj\n";
    }
    uint32_t size = objects.empty() ? 1 : objects.rbegin()->first + 1;
    size_t xref = d.size();
    d += "xref\n0 " + std::to_string(size) + "\n";
    char line[32];
    for (uint32_t n = 0; n < size; n++) {
        auto it = offsets.find(n);
        if (it == offsets.end())
            snprintf(line, sizeof line, "%010d %05d f \n", 0, n ? 0 : 65535);
        else
            snprintf(line, sizeof line, "%010zu 00000 n \n", it->second);
        d += line;
    }
    d += "trailer\n<< /Size " + std::to_string(size) + trailer + " >>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
    return d;
}

// A catalogue, a page tree of count pages and the objects given.
inline std::map<uint32_t, std::string> pdfObjects(std::map<uint32_t, std::string> extra = {},
                                                  int count = 1)
{
    std::map<uint32_t, std::string> o = {
        {1, "<< /Type /Catalog /Pages 2 0 R >>"},
        {2, "<< /Type /Pages /Kids [] /Count " + std::to_string(count) + " >>"},
    };
    for (auto &[n, body] : extra)
        o[n] = body;
    return o;
}

inline std::string pdfFixturePath(const std::string &name)
{
    return std::string(VEXLAN_FIXTURES) + "/pdf/" + name;
}

inline std::string readPdfFixture(const std::string &name)
{
    std::ifstream in(pdfFixturePath(name), std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// One line of tests/fixtures/pdf/manifest.txt.
struct PdfFixtureCase {
    std::string file;
    int result;
    std::string password; // "" for none
};

inline std::vector<PdfFixtureCase> pdfFixtureCases()
{
    std::vector<PdfFixtureCase> cases;
    std::istringstream lines(readPdfFixture("manifest.txt"));
    std::string file, password;
    int result;
    while (lines >> file >> result >> password)
        cases.push_back({file, result, password == "-" ? "" : password});
    EXPECT_GT(cases.size(), 15u);
    return cases;
}

// A short text form of an object: "int 3", "float -0.5", "string a(b)",
// "name AB", "array [int 1, int 2]", "dict {A: int 1}", "stream {..} @off",
// "ref 1 0", "unresolved 1 0", "keyword RG", "bool 1", "null".
inline std::string describe(const PdfObj *obj)
{
    if (!obj)
        return "none";
    char buf[64];
    switch (obj->type) {
    case PdfObj_null: return "null";
    case PdfObj_bool: return std::string("bool ") + (obj->value.i ? "1" : "0");
    case PdfObj_int: return "int " + std::to_string(obj->value.i);
    case PdfObj_real: snprintf(buf, sizeof buf, "float %g", double(obj->value.f)); return buf;
    case PdfObj_string:
        return "string " +
               std::string(reinterpret_cast<const char *>(PdfString_bytes(obj->value.str)),
                           obj->value.str->length);
    case PdfObj_name: return std::string("name ") + obj->value.name;
    case PdfObj_array: {
        std::string s = "array [";
        PdfArray *a = obj->value.arr;
        for (uint32_t i = 0; a && i < a->count; i++)
            s += (i ? ", " : "") + describe(&PdfArray_items(a)[i]);
        return s + "]";
    }
    case PdfObj_dict:
    case PdfObj_stream: {
        PdfDict *t = obj->type == PdfObj_dict ? obj->value.dict : obj->value.stream->dict;
        std::string s = obj->type == PdfObj_dict ? "dict {" : "stream {";
        for (uint32_t i = 0; t && i < t->count; i++)
            s += std::string(i ? ", " : "") + PdfDict_entries(t)[i].key + ": " +
                 describe(&PdfDict_entries(t)[i].value);
        s += "}";
        if (obj->type == PdfObj_stream)
            s += " @" + std::to_string(obj->value.stream->offset);
        return s;
    }
    case PdfObj_indirect:
        return "ref " + std::to_string(obj->value.entry->number) + " " +
               std::to_string(obj->value.entry->generation);
    case PdfObj_unresolved:
        return "unresolved " + std::to_string(obj->value.ref->number) + " " +
               std::to_string(obj->value.ref->generation);
    case PdfObj_keyword: return std::string("keyword ") + PdfLex_keywords[obj->value.i];
    default: return "type " + std::to_string(obj->type);
    }
}

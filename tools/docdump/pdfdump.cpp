// docdump's PDF options: open a file with the PDF reader alone and print
// objects the way qpdf's --show-object does, or the cross-reference
// entries, so that the reader's view of a file can be compared with
// qpdf's.
//
// The dump runs on the application thread. A password question of the
// reader is answered by a listener on the engine's event processor: with
// the --password text the first time, and cancelled after that (so a wrong
// password ends the open instead of asking for ever).
#include "tools/docdump/pdfdump.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/eventproc.h"
#include "document/edr/docmsg.h"
#include "core/task/lock.h"
#include "core/text/charset.h"
#include "pdf/document.h"
#include "pdf/lexer.h"
#include "pdf/obj.h"
#include "pdf/filter.h"
#include "pdf/resources/pdfstream.h"
#include "pdf/security.h"
#include "platform/api/engine.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"

namespace {

// ---------------------------------------------------------------- printing

std::string formatFloat(float f)
{
    char buf[64];
    snprintf(buf, sizeof buf, "%.6f", double(f));
    std::string s = buf;
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0')
            s.pop_back();
        if (s.back() == '.')
            s.pop_back();
    }
    if (s == "-0")
        s = "0";
    return s;
}

// qpdf writes a string in hexadecimal when it holds a control character
// other than the five with escapes, or when more than a fifth of it is
// outside printable ASCII.
bool useHex(const uint8_t *b, size_t n)
{
    size_t nonAscii = 0;
    for (size_t i = 0; i < n; i++) {
        uint8_t c = b[i];
        if (c >= 32 && c <= 126)
            continue;
        if (c >= 24)
            nonAscii++;
        else if (c != '\n' && c != '\r' && c != '\t' && c != '\b' && c != '\f')
            return true;
    }
    return 5 * nonAscii > n;
}

std::string formatString(const PdfString *s)
{
    const uint8_t *b = PdfString_bytes(s);
    size_t n = s->length;
    std::string out;
    char buf[8];
    if (useHex(b, n)) {
        out = "<";
        for (size_t i = 0; i < n; i++) {
            snprintf(buf, sizeof buf, "%02x", b[i]);
            out += buf;
        }
        return out + ">";
    }
    out = "(";
    for (size_t i = 0; i < n; i++) {
        uint8_t c = b[i];
        switch (c) {
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '(': out += "\\("; break;
        case ')': out += "\\)"; break;
        case '\\': out += "\\\\"; break;
        default:
            if ((c >= 32 && c <= 126) || c >= 160) {
                out += char(c);
            } else {
                snprintf(buf, sizeof buf, "\\%03o", c);
                out += buf;
            }
        }
    }
    return out + ")";
}

std::string formatName(const char *name)
{
    std::string out = "/";
    char buf[8];
    for (const uint8_t *p = reinterpret_cast<const uint8_t *>(name); *p; p++) {
        uint8_t c = *p;
        if (c < 33 || c > 126 || strchr("()<>[]{}/%", c)) {
            snprintf(buf, sizeof buf, "#%02x", c);
            out += buf;
        } else {
            out += char(c);
        }
    }
    return out;
}

std::string formatValue(PdfDoc *doc, PdfObj *obj);

// A dictionary's entries, sorted by their written keys; entries that are
// null (or refer to nothing) are left out, as qpdf does.
std::string formatTable(PdfDoc *doc, PdfDict *table)
{
    std::vector<std::pair<std::string, PdfObj *>> entries;
    for (uint32_t i = 0; table && i < table->count; i++) {
        PdfDictEntry *e = &PdfDict_entries(table)[i];
        PdfObj *resolved = &e->value;
        if (Pdf_Obj_resolve(doc, &resolved) != Res_ok || !resolved || resolved->type == PdfObj_null)
            continue;
        std::string key = formatName(e->key);
        if (std::none_of(entries.begin(), entries.end(), [&](auto &p) { return p.first == key; }))
            entries.emplace_back(key, &e->value);
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    std::string out = "<< ";
    for (auto &e : entries)
        out += e.first + " " + formatValue(doc, e.second) + " ";
    return out + ">>";
}

std::string formatValue(PdfDoc *doc, PdfObj *obj)
{
    if (!obj)
        return "null";
    char buf[64];
    switch (obj->type) {
    case PdfObj_bool: return obj->value.i ? "true" : "false";
    case PdfObj_int: snprintf(buf, sizeof buf, "%d", obj->value.i); return buf;
    case PdfObj_real: return formatFloat(obj->value.f);
    case PdfObj_string: return formatString(obj->value.str);
    case PdfObj_name: return formatName(obj->value.name);
    case PdfObj_array: {
        std::string out = "[ ";
        PdfArray *a = obj->value.arr;
        for (uint32_t i = 0; a && i < a->count; i++)
            out += formatValue(doc, &PdfArray_items(a)[i]) + " ";
        return out + "]";
    }
    case PdfObj_dict: return formatTable(doc, obj->value.dict);
    case PdfObj_stream: return formatTable(doc, obj->value.stream->dict);
    case PdfObj_indirect:
        snprintf(buf, sizeof buf, "%u %u R", obj->value.entry->number,
                 unsigned(obj->value.entry->generation));
        return buf;
    case PdfObj_unresolved:
        snprintf(buf, sizeof buf, "%u %u R", obj->value.ref->number, obj->value.ref->generation);
        return buf;
    case PdfObj_keyword:
        return obj->value.i >= 0 && obj->value.i < int32_t(PdfLex_keywordCount)
                   ? PdfLex_keywords[obj->value.i]
                   : "BROKEN";
    default: return "null";
    }
}

// ---------------------------------------------------------------- the dump

struct Asker {
    const PdfDumpOptions *options;
    EngineContext *context;
    int asked;
};

// Answers the reader's password question: the given password once, then
// "cancelled".
void onQuestion(EngineContext *, EventProcMsg *msg, void *arg, int *)
{
    EventProcKind2Msg *m = static_cast<EventProcKind2Msg *>(msg->payload);
    if (!m || m->type != PdfSec_questionType)
        return;
    Asker *a = static_cast<Asker *>(arg);
    char16_t **answer = static_cast<char16_t **>(m->subject);
    int32_t *result = static_cast<int32_t *>(m->detail[0]);
    if (a->options->havePassword && a->asked++ == 0 &&
        Charset_toUstr(a->context, a->options->password.c_str(), answer, 1) == Res_ok) {
        *result = PdfSec_answerOk;
    } else {
        *result = PdfSec_answerCancel;
    }
    Sem_signal(static_cast<Sem *>(m->object));
}

// The entry that decides object number, as a reference would find it.
PdfXrefEntry *entryOf(PdfDoc *doc, long long number)
{
    if (number < 0 || number > static_cast<long long>(UINT32_MAX))
        return nullptr;
    return Pdf_Xref_find(doc, uint32_t(number), -1);
}

std::string showNumbered(PdfDoc *doc, long long number)
{
    PdfXrefEntry *e = entryOf(doc, number);
    if (!e || !(e->flags & PdfXref_inUse))
        return "null\n";
    PdfObj ref{PdfObj_indirect, {}, nullptr};
    ref.value.entry = e;
    PdfObj *obj = &ref;
    int err = Pdf_Obj_resolve(doc, &obj);
    if (err != Res_ok) {
        char buf[64];
        snprintf(buf, sizeof buf, "error %d\n", err);
        return buf;
    }
    return PdfDump_showObject(doc, obj) + "\n";
}

// The decoded data of stream object number: 0 or the reader's error.
int dumpStream(PdfDoc *doc, long long number, std::string *out)
{
    PdfXrefEntry *e = entryOf(doc, number);
    if (!e || !(e->flags & PdfXref_inUse))
        return Res_pdfNoStream;
    PdfObj ref{PdfObj_indirect, {}, nullptr};
    ref.value.entry = e;
    uint8_t *block = nullptr;
    size_t size = 0;
    int err = Pdf_Stream_readToMemory(doc, &ref, &block, &size);
    if (err == Res_ok && size)
        out->append(reinterpret_cast<const char *>(block), size);
    Mem_free(block);
    return err;
}

std::string listXref(PdfDoc *doc)
{
    std::vector<uint32_t> numbers;
    for (PdfXrefSubsection *s = doc->xrefHead; s; s = s->next)
        for (uint32_t i = 0; i < s->count; i++)
            numbers.push_back(s->first + i);
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    std::string out;
    char buf[96];
    for (uint32_t n : numbers) {
        PdfXrefEntry *e = Pdf_Xref_find(doc, n, -1);
        if (e->flags & PdfXref_inUse)
            snprintf(buf, sizeof buf, "%u/%u: uncompressed; offset = %llu\n", n,
                     unsigned(e->generation), static_cast<unsigned long long>(e->offset));
        else
            snprintf(buf, sizeof buf, "%u/%u: free\n", n, unsigned(e->generation));
        out += buf;
    }
    return out;
}

} // namespace

std::string PdfDump_showObject(PdfDoc *doc, PdfObj *obj)
{
    if (obj && obj->type == PdfObj_stream)
        return "Object is stream.  Dictionary:\n" + formatValue(doc, obj);
    return formatValue(doc, obj);
}

void PdfDump_run(EngineInstance *instance, const std::string &path, const PdfDumpOptions &options,
                 PdfDumpResult *result)
{
    EngineContext *ctx = instance->context;
    Asker asker{&options, ctx, 0};
    int err = EventProc_addListener(ctx, ctx->eventProc, 2, onQuestion, &asker);
    Url *url = err == Res_ok ? Url_newFromCstr(path.c_str()) : nullptr;
    VfsHandle *handle = nullptr;
    if (err == Res_ok && !url)
        err = Res_noMemory;
    uint32_t accepted = 0;
    if (err == Res_ok)
        err = Vfs_open(ctx, url, Vfs_modeRead | Vfs_modeSeekable, &handle, &accepted);
    Url_free(url);
    PdfDoc *doc = nullptr;
    if (err == Res_ok) {
        err = Pdf_openDocument(ctx, &doc, handle, nullptr, 0);
        if (err != Res_ok)
            (void)Vfs_close(handle); // a close failure leaves nothing to undo here
    }
    if (err == Res_ok) {
        if (options.xref)
            result->output += listXref(doc);
        // Several objects are each headed by a "%% object N" line, as in
        // the files of qpdf's answers, so that one run can show them all.
        for (long long n : options.objects) {
            if (options.objects.size() > 1)
                result->output += "%% object " + std::to_string(n) + "\n";
            result->output += showNumbered(doc, n);
        }
        for (long long n : options.streams) {
            result->streamError = dumpStream(doc, n, &result->output);
            if (result->streamError) {
                result->streamNumber = n;
                break;
            }
        }
        Pdf_closeDocument(doc, nullptr);
    }
    // Not listening any more is all that matters.
    (void)EventProc_removeListener(ctx->eventProc, 2, onQuestion, &asker);
    result->error = err;
    result->done = 1;
}

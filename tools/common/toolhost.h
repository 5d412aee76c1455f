// What the command-line tools over the headless host share: driving the
// engine's timer until a condition holds, spotting the open-failure and
// out-of-memory alerts, hearing the translation's failure report,
// explaining why a path could not be loaded, passing on the document's
// warnings, reading the heap size option, and file URLs of paths.
#pragma once

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <strings.h>

#include <sys/stat.h>
#include <unistd.h>

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/task/eventproc.h"
#include "document/edr/docmsg.h"
#include "core/result.h"
#include "host/headless/headless.h"
#include "office/powerpoint/ppt.h"
#include "pdf/document.h"
#include "platform/api/appqueue.h"
#include "platform/api/engine.h"
#include "spreadsheet/reader/biff.h"
#include "spreadsheet/reader/excelopen.h"

namespace toolhost {

// Timer firings allowed for one wait before a tool gives up.
constexpr int fireLimit = 200000;
// The host alert of a document that could not be opened or read.
constexpr int32_t alertOpenFailed = 0x10002;
// The host alert of an open that ran out of engine memory.
constexpr int32_t alertNoMemory = 0x10006;

// Fires the engine timer until done() or the limit; false when it gave up
// or the engine went away.
template <typename Done> bool drive(HostContext *host, Done done)
{
    for (int i = 0; i < fireLimit && !done(); i++) {
        if (!host->instance)
            return false;
        if (!Headless_fireTimer(host))
            usleep(1000);
    }
    return done();
}

inline bool alertSeen(HostContext *host, int32_t code)
{
    for (int i = 0; i < Headless_alertCount(host); i++)
        if (Headless_alert(host, i) == code)
            return true;
    return false;
}

// The load-status alerts of a translation that failed: nothing took the
// file (0x10000), no data (0x10001), refused (0x10004).
constexpr int32_t alertNothingTookIt = 0x10000;
constexpr int32_t alertNoData = 0x10001;
constexpr int32_t alertRefused = 0x10004;

inline bool openAlertSeen(HostContext *host)
{
    return alertSeen(host, alertOpenFailed) || alertSeen(host, alertNoMemory) ||
           alertSeen(host, alertNothingTookIt) || alertSeen(host, alertNoData) ||
           alertSeen(host, alertRefused);
}

// The engine ran out of memory somewhere on the way (opening, translating
// a page, laying out): what was loaded is then short of the document, and
// a tool must not present it as the whole.
inline bool outOfMemory(HostContext *host)
{
    return alertSeen(host, alertNoMemory);
}

// What the tools say when the engine's heap was too small.
constexpr const char *noMemoryAdvice =
    "the engine ran out of memory (a larger --heap MiB may help)";

// The largest heap the --heap option takes, in MiB.
constexpr long maxHeapMiB = 65536;

// Reads the value of --heap: a whole number of MiB from 1 to maxHeapMiB.
// *bytes receives the size in bytes; false for anything else.
inline bool parseHeapMiB(const char *text, size_t *bytes)
{
    char *end = nullptr;
    errno = 0;
    long v = strtol(text, &end, 10);
    if (!*text || *end || errno || v < 1 || v > maxHeapMiB)
        return false;
    *bytes = size_t(v) << 20;
    return true;
}

// On the application thread: documents opened afterwards load page by
// page, as the viewer's single-page loading does (the "page.on.demand"
// setting of the document model).
struct PageOnDemandCall {
    int done;
};

inline void setPageOnDemand(EngineInstance *instance, void *arg)
{
    PageOnDemandCall *call = static_cast<PageOnDemandCall *>(arg);
    EngineContext *ctx = instance ? instance->context : nullptr;
    if (ctx && ctx->config)
        Config_setIntA(ctx, ctx->config, u"eDR", "page.on.demand", 1, 0);
    call->done = 1;
}

// Switches page-by-page loading on for the documents the tool opens: a
// plain text counts its pages and builds the first, a PDF translates its
// first page, and every other page is built when it is asked for. False
// when the engine did not take the call.
inline bool usePagesOnDemand(HostContext *host)
{
    PageOnDemandCall call{};
    if (!host->instance || App_postCall(host->instance, setPageOnDemand, &call, nullptr) != 0)
        return false;
    return drive(host, [&] { return call.done != 0; });
}

// Why a path cannot be loaded, as far as the file system tells.
inline std::string reasonFor(const char *path)
{
    struct stat st;
    if (stat(path, &st) != 0)
        return strerror(errno);
    if (S_ISDIR(st.st_mode))
        return "it is a directory";
    if (access(path, R_OK) != 0)
        return strerror(errno);
    return "the engine could not read it as a document";
}

// The first failure report of a translation: its kind and the engine's
// error code.
struct LoadReport {
    int seen;
    int32_t kind;
    int32_t code;
    int listening;
    int done;
};

inline void onLoadReport(EngineContext *, EventProcMsg *msg, void *context, int *)
{
    LoadReport *r = static_cast<LoadReport *>(context);
    const EventProcDocMsg *m = static_cast<const EventProcDocMsg *>(msg->payload);
    if (msg->kind != 0 || !m || r->seen)
        return;
    r->seen = 1;
    r->kind = m->code;
    r->code = int32_t(m->word);
}

// On the application thread: starts or stops listening for reports.
inline void toggleLoadReports(EngineInstance *instance, void *arg)
{
    LoadReport *r = static_cast<LoadReport *>(arg);
    EngineContext *ctx = instance ? instance->context : nullptr;
    if (ctx && ctx->eventProc) {
        if (!r->listening)
            r->listening = EventProc_addListener(ctx, ctx->eventProc, 0, onLoadReport, r) == 0;
        else if (EventProc_removeListener(ctx->eventProc, 0, onLoadReport, r) == 0)
            r->listening = 0;
    }
    r->done = 1;
}

// Starts (or, when listening, stops) hearing the failure report of the
// next translation; false when the engine did not take the call.
inline bool listenForLoadReport(HostContext *host, LoadReport *report)
{
    report->done = 0;
    if (!host->instance || App_postCall(host->instance, toggleLoadReports, report, nullptr) != 0)
        return false;
    return drive(host, [&] { return report->done != 0; });
}

// Whether an engine error is the image store's or a picture decoder's:
// the picture's data are damaged, cut short or of a kind no decoder reads.
inline bool isPictureError(int32_t code)
{
    struct Range {
        int32_t first, last;
    };
    static constexpr Range ranges[] = {
        {0x1C00, 0x1C15}, // image store and codec interface
        {0x1E00, 0x1E07}, // BMP
        {0x1F00, 0x1F02}, // WBMP
        {0x2201, 0x2207}, // GIF
        {0x2301, 0x2302}, // JPEG
        {0x2701, 0x2705}, // PNG
    };
    for (const Range &r : ranges)
        if (code >= r.first && code <= r.last)
            return true;
    return false;
}

// Whether an engine error says that the document is encrypted: a Word file
// with its encryption flag, a workbook with a FILEPASS record or an
// encrypted presentation. None of these readers takes a password.
inline bool isEncryptedError(int32_t code)
{
    return code == Res_wordEncrypted || code == Excel_errEncrypted || code == Res_pptEncrypted;
}

// "error N" with the result code's name when the engine's list has it
// ("error 5973 pdfEncryption"), for messages that report an engine error.
inline std::string errorLabel(int32_t code)
{
    std::string label = "error " + std::to_string(code);
    if (const char *name = Result_name(code))
        label += std::string(" ") + name;
    return label;
}

// errorLabel followed by what the code means, for a message that has no
// other words for the failure ("error 13 notFound: not found").
inline std::string errorMeaning(int32_t code)
{
    std::string label = errorLabel(code);
    const char *text = Result_text(code);
    const char *name = Result_name(code);
    if (text && (!name || strcmp(text, name) != 0))
        label += std::string(": ") + text;
    return label;
}

// Why an open failed: memory, what the document's reader said, or what
// the file system tells.
inline std::string openFailure(HostContext *host, const char *path,
                               const LoadReport *report = nullptr)
{
    if (alertSeen(host, alertNoMemory))
        return noMemoryAdvice;
    if (report && report->seen) {
        if (const char *text = Pdf_errorText(report->code))
            return std::string(text) + " (" + errorLabel(report->code) + ")";
        if (isEncryptedError(report->code))
            return "the document is encrypted (" + errorLabel(report->code) + ")";
        if (const char *text = Excel_openErrorText(report->code))
            return std::string("the document is ") + text + " (" + errorLabel(report->code) + ")";
        // A Word file of a version the reader does not read (Word for
        // Windows 1 or 2, or an unknown version word).
        if (report->code == Res_wordNotWord)
            return "unsupported format: a Word file older than Word 6 (" +
                   errorLabel(report->code) + ")";
        if (isPictureError(report->code)) {
            char code[16];
            snprintf(code, sizeof code, "%#x", unsigned(report->code));
            return std::string("damaged or unsupported picture (error ") + code + ")";
        }
    }
    return reasonFor(path);
}

// Prints each warning line the engine wrote to its debug channel ("PDF
// warning: TEXT") to stderr as "TOOL: warning: TEXT", once each.
inline void printWarnings(HostContext *host, const char *tool)
{
    static constexpr char prefix[] = "PDF warning: ";
    const char *text = Headless_debugText(host);
    std::string seen;
    for (const char *p = text ? strstr(text, prefix) : nullptr; p; p = strstr(p, prefix)) {
        p += sizeof prefix - 1;
        const char *end = strchr(p, '\n');
        std::string line(p, end ? size_t(end - p) : strlen(p));
        if (seen.find("\n" + line + "\n") == std::string::npos) {
            fprintf(stderr, "%s: warning: %s\n", tool, line.c_str());
            seen += "\n" + line + "\n";
        }
    }
}

// The file a command-line argument names: a path as it is, or a file URL
// ("file:///dir/a%20b.doc", "file://localhost/...") as the path it stands
// for, its %XX escapes decoded. An argument that is not a file URL, or one
// whose escapes are broken, is taken as a path.
inline std::string localPath(const char *arg)
{
    static constexpr char scheme[] = "file://";
    if (strncasecmp(arg, scheme, sizeof scheme - 1) != 0)
        return arg;
    const char *p = arg + sizeof scheme - 1;
    if (!strncasecmp(p, "localhost/", 10))
        p += 9;
    if (*p != '/')
        return arg;
    std::string path;
    for (; *p; p++) {
        if (*p != '%') {
            path += *p;
            continue;
        }
        auto hex = [](char c) {
            if (c >= '0' && c <= '9')
                return c - '0';
            if (c >= 'a' && c <= 'f')
                return c - 'a' + 10;
            return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        };
        int hi = hex(p[1]), lo = hi < 0 ? -1 : hex(p[2]);
        if (hi < 0 || lo < 0 || (hi == 0 && lo == 0))
            return arg;
        path += char(hi << 4 | lo);
        p += 2;
    }
    return path;
}

// The absolute path as a file URL of the file system's root.
inline std::string fileUrl(const char *path)
{
    std::string absolute = path;
    if (path[0] != '/') {
        char cwd[PATH_MAX];
        if (getcwd(cwd, sizeof cwd))
            absolute = std::string(cwd) + "/" + path;
    }
    return "file://root" + absolute;
}

} // namespace toolhost

// Opening large documents page by page: docrender draws page 1 and the last
// page of PDFs of 14, 140 and 1,400 pages (a 14-page paper of text pages,
// repeated) and of plain texts of 1, 10 and 100 MB, each as a whole process
// with the engine's default heap. The files are written to a temporary
// folder first and removed at the end.
//
// Counters, per kind: the seconds of each drawing (first_N, last_N, N the
// page count or the megabytes), the peak resident memory of the process
// that drew the largest document's last page (peak_MiB: the engine heap's
// touched part, the program and its libraries), and the two ratios whose
// goals the page-by-page loading keeps:
//   first_ratio = page 1 of the largest / page 1 of the smallest (goal < 3)
//   last_ratio  = last page of the largest / its page 1 (goal < 5)
// BM_LargePdfFlat draws the same papers written with every page in the
// root's one Kids array (as some office suites write them), and times
// docdump's page-by-page print of the 1,400-page file in both shapes:
// dump_flat_s, dump_nested_s and dump_ratio = flat / nested (goal: near 1,
// as a page's lookup costs the same whatever its number).
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char **environ;

namespace {

constexpr int paperPages = 14;
constexpr int pdfSizes[] = {14, 140, 1400};
constexpr int textMiB[] = {1, 10, 100};

// A PDF of `pages` letter pages of body text in Times-Roman: a 14-page
// paper repeated. Each repetition has its own page tree node and its pages
// their own content streams, as a file joined from copies would; flat puts
// every page in the root's Kids instead.
std::string largeDocPaperPdf(int pages, bool flat = false)
{
    std::vector<std::string> objects; // object i + 1
    auto add = [&objects](const std::string &text) {
        objects.push_back(text);
        return int(objects.size());
    };
    add("<< /Type /Catalog /Pages 2 0 R >>");
    add(""); // the root of the page tree, filled in last
    int font = add("<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman >>");
    std::string kids;
    int papers = (pages + paperPages - 1) / paperPages;
    char line[160];
    for (int paper = 0; paper < papers; paper++) {
        int node = flat ? 2 : add(""); // this paper's page tree node
        int count = std::min(paperPages, pages - paper * paperPages);
        std::string paperKids;
        for (int p = 0; p < count; p++) {
            std::string content = "BT /F1 10 Tf 12 TL 72 720 Td\n";
            for (int l = 0; l < 52; l++) {
                snprintf(line, sizeof line,
                         "(Page %d, line %d: the quick brown fox jumps over the lazy dog again and "
                         "again.) '\n",
                         paper * paperPages + p + 1, l + 1);
                content += line;
            }
            content += "ET\n";
            int stream = add("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" +
                             content + "endstream");
            int page = add("<< /Type /Page /Parent " + std::to_string(node) +
                           " 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 " +
                           std::to_string(font) + " 0 R >> >> /Contents " + std::to_string(stream) +
                           " 0 R >>");
            paperKids += std::to_string(page) + " 0 R ";
        }
        if (flat) {
            kids += paperKids;
            continue;
        }
        objects[size_t(node - 1)] = "<< /Type /Pages /Parent 2 0 R /Kids [" + paperKids +
                                    "] /Count " + std::to_string(count) + " >>";
        kids += std::to_string(node) + " 0 R ";
    }
    objects[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>";
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); i++) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t off : offsets) {
        snprintf(line, sizeof line, "%010zu 00000 n \n", off);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

// Paragraphs of words of varied length, blank lines between them, up to
// exactly `bytes`.
bool largeDocWriteText(const std::string &path, size_t bytes)
{
    static const char *const words[] = {"the",      "of",     "and",  "to",   "in",     "a",
                                        "is",       "that",   "for",  "it",   "as",     "was",
                                        "with",     "be",     "by",   "on",   "not",    "this",
                                        "document", "viewer", "page", "heap", "layout", "engine"};
    std::string block;
    unsigned seed = 7;
    while (block.size() < (1u << 20)) {
        seed = seed * 1103515245u + 12345u;
        int n = 20 + int((seed >> 16) % 100);
        for (int i = 0; i < n; i++) {
            seed = seed * 1103515245u + 12345u;
            block += words[(seed >> 16) % (sizeof words / sizeof *words)];
            block += i + 1 < n ? ' ' : '\n';
        }
        block += '\n';
    }
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = true;
    for (size_t left = bytes; ok && left;) {
        size_t n = std::min(left, block.size());
        ok = fwrite(block.data(), 1, n, f) == n;
        left -= n;
    }
    return fclose(f) == 0 && ok;
}

bool largeDocWriteFile(const std::string &path, const std::string &bytes)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

struct LargeDocFixture {
    std::string dir;
    std::vector<std::string> files;
    bool ok = false;

    LargeDocFixture()
    {
        const char *tmp = getenv("TMPDIR");
        std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/largedoc_bench.XXXXXX";
        if (!mkdtemp(tmpl.data()))
            return;
        dir = tmpl;
        ok = true;
        for (int pages : pdfSizes) {
            files.push_back(pdfPath(pages));
            ok = ok && largeDocWriteFile(files.back(), largeDocPaperPdf(pages));
            files.push_back(flatPdfPath(pages));
            ok = ok && largeDocWriteFile(files.back(), largeDocPaperPdf(pages, true));
        }
        for (int mib : textMiB) {
            files.push_back(textPath(mib));
            ok = ok && largeDocWriteText(files.back(), size_t(mib) << 20);
        }
    }
    ~LargeDocFixture()
    {
        for (const std::string &f : files)
            unlink(f.c_str());
        unlink((dir + "/page.png").c_str());
        if (!dir.empty())
            rmdir(dir.c_str());
    }
    std::string pdfPath(int pages) const
    {
        return dir + "/paper-" + std::to_string(pages) + ".pdf";
    }
    std::string flatPdfPath(int pages) const
    {
        return dir + "/flat-" + std::to_string(pages) + ".pdf";
    }
    std::string textPath(int mib) const
    {
        return dir + "/text-" + std::to_string(mib) + "mb.txt";
    }
};

LargeDocFixture &largeDocFixture()
{
    static LargeDocFixture f;
    return f;
}

struct LargeDocRun {
    bool ok = false;
    double seconds = 0;
    double peakMiB = 0;
    std::string out; // what docrender printed on stderr
};

// Runs docrender on page `page` of path as a whole process: its time, its
// peak resident memory and its messages.
LargeDocRun largeDocRun(const char *const argv[]);

LargeDocRun largeDocRender(const std::string &path, long page)
{
    const std::string png = largeDocFixture().dir + "/page.png";
    std::string pageText = std::to_string(page);
    const char *argv[] = {VEXLAN_DOCRENDER, path.c_str(), "--page",    pageText.c_str(), "--size",
                          "612x792",        "--out",      png.c_str(), nullptr};
    return largeDocRun(argv);
}

// Runs docdump on path (the tree printed to /dev/null).
LargeDocRun largeDocDump(const std::string &path)
{
    const char *argv[] = {VEXLAN_DOCDUMP, path.c_str(), nullptr};
    return largeDocRun(argv);
}

// Runs argv as a whole process: its time, its peak resident memory and the
// start of its messages.
LargeDocRun largeDocRun(const char *const argv[])
{
    LargeDocRun r;
    const std::string errPath = largeDocFixture().dir + "/stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int rc = posix_spawn(&pid, argv[0], &actions, nullptr, const_cast<char **>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return r;
    int status = 0;
    struct rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid)
        return r;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.peakMiB = double(usage.ru_maxrss) / 1024.0;
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (FILE *f = fopen(errPath.c_str(), "rb")) {
        char buf[512];
        size_t n = fread(buf, 1, sizeof buf, f);
        r.out.assign(buf, n);
        fclose(f);
    }
    unlink(errPath.c_str());
    return r;
}

// The page count docrender reports for a page past the end ("page N of C").
long largeDocPageCount(const std::string &path)
{
    LargeDocRun r = largeDocRender(path, 100000000);
    size_t at = r.out.rfind(" of ");
    return at == std::string::npos ? 0 : strtol(r.out.c_str() + at + 4, nullptr, 10);
}

// Draws page 1 and the last page of each of the three documents, in a
// round per iteration; the counters are the means over the rounds.
void largeDocMeasure(benchmark::State &state, const std::vector<std::string> &paths,
                     const char *const labels[3])
{
    if (!largeDocFixture().ok) {
        state.SkipWithError("cannot write the documents");
        return;
    }
    long counts[3];
    for (int i = 0; i < 3; i++) {
        counts[i] = largeDocPageCount(paths[size_t(i)]);
        if (counts[i] < 1) {
            state.SkipWithError(
                ("docrender could not count the pages of " + paths[size_t(i)]).c_str());
            return;
        }
    }
    double first[3] = {}, last[3] = {}, peak = 0;
    int64_t rounds = 0;
    for (auto _ : state) {
        double total = 0;
        for (int i = 0; i < 3; i++) {
            LargeDocRun a = largeDocRender(paths[size_t(i)], 1);
            LargeDocRun b = largeDocRender(paths[size_t(i)], counts[i]);
            if (!a.ok || !b.ok) {
                state.SkipWithError(("docrender failed: " + (a.ok ? b.out : a.out)).c_str());
                return;
            }
            first[i] += a.seconds;
            last[i] += b.seconds;
            total += a.seconds + b.seconds;
            if (i == 2)
                peak = std::max(peak, std::max(a.peakMiB, b.peakMiB));
        }
        rounds++;
        state.SetIterationTime(total);
    }
    if (!rounds)
        return;
    for (int i = 0; i < 3; i++) {
        state.counters[std::string("first_") + labels[i] + "_s"] = first[i] / double(rounds);
        state.counters[std::string("last_") + labels[i] + "_s"] = last[i] / double(rounds);
    }
    state.counters["pages_largest"] = double(counts[2]);
    state.counters["first_ratio"] = first[2] / first[0];
    state.counters["last_ratio"] = last[2] / first[2];
    state.counters["peak_MiB"] = peak;
}

void BM_LargePdf(benchmark::State &state)
{
    static const char *const labels[3] = {"14p", "140p", "1400p"};
    LargeDocFixture &f = largeDocFixture();
    largeDocMeasure(state, {f.pdfPath(14), f.pdfPath(140), f.pdfPath(1400)}, labels);
}
BENCHMARK(BM_LargePdf)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_LargePdfFlat(benchmark::State &state)
{
    static const char *const labels[3] = {"14p", "140p", "1400p"};
    LargeDocFixture &f = largeDocFixture();
    largeDocMeasure(state, {f.flatPdfPath(14), f.flatPdfPath(140), f.flatPdfPath(1400)}, labels);
    if (state.error_occurred())
        return;
    LargeDocRun flat = largeDocDump(f.flatPdfPath(1400));
    LargeDocRun nested = largeDocDump(f.pdfPath(1400));
    if (!flat.ok || !nested.ok) {
        state.SkipWithError(("docdump failed: " + (flat.ok ? nested.out : flat.out)).c_str());
        return;
    }
    state.counters["dump_flat_s"] = flat.seconds;
    state.counters["dump_nested_s"] = nested.seconds;
    state.counters["dump_ratio"] = flat.seconds / nested.seconds;
}
BENCHMARK(BM_LargePdfFlat)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_LargeText(benchmark::State &state)
{
    static const char *const labels[3] = {"1MB", "10MB", "100MB"};
    LargeDocFixture &f = largeDocFixture();
    largeDocMeasure(state, {f.textPath(1), f.textPath(10), f.textPath(100)}, labels);
}
BENCHMARK(BM_LargeText)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

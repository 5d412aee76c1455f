// PDF page rendering against the usual command-line renderers: page 1 of a
// path-heavy file (50,000 line and curve segments in filled and stroked
// paths) drawn to a PNG by docrender, pdftoppm and mutool draw at 96
// pixels per inch, each timed as a whole process in the same run. The goal
// is docrender at most pdftoppm's time; the counters give each tool's
// seconds per page and docrender's ratio to both references.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// A 612 x 792 page of 2,500 closed shapes of 20 segments each, filled and
// stroked in turn, in one content stream.
std::string pathHeavyPdf()
{
    std::string content;
    unsigned seed = 12345;
    auto next = [&seed](int range) {
        seed = seed * 1103515245u + 12345u;
        return int((seed >> 16) % unsigned(range));
    };
    char buf[96];
    for (int shape = 0; shape < 2500; shape++) {
        int x = next(560) + 20, y = next(740) + 20;
        snprintf(buf, sizeof buf, "%d.%d %d.%d %d.%d rg %d %d m\n", next(10) / 10, next(10),
                 next(10) / 10, next(10), next(10) / 10, next(10), x, y);
        content += buf;
        for (int seg = 0; seg < 19; seg++) {
            int dx = next(41) - 20, dy = next(41) - 20;
            if (seg % 4 == 3)
                snprintf(buf, sizeof buf, "%d %d %d %d %d %d c\n", x + dy, y + dx, x - dx, y + dy,
                         x + dx, y - dy);
            else
                snprintf(buf, sizeof buf, "%d %d l\n", x + dx, y + dy);
            content += buf;
        }
        content += shape % 3 == 0 ? "h S\n" : shape % 3 == 1 ? "h f\n" : "h B*\n";
    }
    std::string pdf = "%PDF-1.4\n";
    std::string objects[4] = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
    };
    size_t offsets[4];
    for (int i = 0; i < 4; i++) {
        offsets[i] = pdf.size();
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    size_t xref = pdf.size();
    pdf += "xref\n0 5\n0000000000 65535 f \n";
    for (size_t off : offsets) {
        snprintf(buf, sizeof buf, "%010zu 00000 n \n", off);
        pdf += buf;
    }
    pdf += "trailer\n<< /Size 5 /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

struct Fixture {
    std::string dir;
    std::string pdf;
    bool ok = false;

    Fixture()
    {
        char tmpl[] = "/tmp/pdf_render_bench.XXXXXX";
        if (!mkdtemp(tmpl))
            return;
        dir = tmpl;
        pdf = dir + "/paths.pdf";
        FILE *f = fopen(pdf.c_str(), "wb");
        if (!f)
            return;
        std::string bytes = pathHeavyPdf();
        ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        ok = fclose(f) == 0 && ok;
    }
    ~Fixture()
    {
        if (dir.empty())
            return;
        for (const char *name : {"/paths.pdf", "/docrender.png", "/pdftoppm.png", "/mutool.png"})
            unlink((dir + name).c_str());
        rmdir(dir.c_str());
    }
};

Fixture &fixture()
{
    static Fixture f;
    return f;
}

// Seconds the command took as a whole process; negative when it failed.
double timeCommand(const std::string &command)
{
    auto start = std::chrono::steady_clock::now();
    int rc = std::system((command + " >/dev/null 2>&1").c_str());
    auto end = std::chrono::steady_clock::now();
    return rc == 0 ? std::chrono::duration<double>(end - start).count() : -1.0;
}

void BM_PathHeavyPage(benchmark::State &state)
{
    Fixture &f = fixture();
    if (!f.ok) {
        state.SkipWithError("cannot write the fixture");
        return;
    }
    const std::string ours = std::string(VEXLAN_DOCRENDER) + " " + f.pdf +
                             " --page 1 --size 816x1056 --scale 1 --out " + f.dir +
                             "/docrender.png";
    const std::string poppler =
        "pdftoppm -r 96 -png -singlefile -f 1 -l 1 " + f.pdf + " " + f.dir + "/pdftoppm";
    const std::string mupdf = "mutool draw -r 96 -o " + f.dir + "/mutool.png " + f.pdf + " 1";
    double sums[3] = {0, 0, 0};
    int64_t runs = 0;
    for (auto _ : state) {
        const std::string *commands[3] = {&ours, &poppler, &mupdf};
        double times[3] = {0, 0, 0};
        for (int i = 0; i < 3; i++) {
            double t = timeCommand(*commands[i]);
            if (t < 0) {
                state.SkipWithError(i == 0   ? "docrender failed"
                                    : i == 1 ? "pdftoppm failed or is missing"
                                             : "mutool failed or is missing");
                return;
            }
            times[i] = t;
            sums[i] += t;
        }
        runs++;
        state.SetIterationTime(times[0]);
    }
    if (!runs)
        return;
    state.counters["docrender_s"] = sums[0] / double(runs);
    state.counters["pdftoppm_s"] = sums[1] / double(runs);
    state.counters["mutool_s"] = sums[2] / double(runs);
    state.counters["vs_pdftoppm"] = sums[0] / sums[1];
    state.counters["vs_mutool"] = sums[0] / sums[2];
}
BENCHMARK(BM_PathHeavyPage)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace

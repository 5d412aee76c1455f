// Replays fuzz inputs without libFuzzer: every file named on the command
// line, or found directly inside a directory named there, is fed once to
// the target that the program's name chooses (fuzz_<target>). A crash or
// sanitizer report fails the run.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_targets.h"

static bool runFile(const FuzzTarget *target, const std::string &path)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) {
        fprintf(stderr, "cannot open %s\n", path.c_str());
        return false;
    }
    std::vector<uint8_t> bytes;
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        bytes.insert(bytes.end(), buf, buf + n);
    fclose(f);
    target->run(bytes.data(), bytes.size());
    return true;
}

int main(int argc, char **argv)
{
    const FuzzTarget *target = FuzzTarget_fromProgram(argv[0]);
    if (!target)
        return 2;
    int files = 0;
    for (int i = 1; i < argc; i++) {
        struct stat st;
        if (stat(argv[i], &st) != 0) {
            fprintf(stderr, "no such input: %s\n", argv[i]);
            return 1;
        }
        if (!S_ISDIR(st.st_mode)) {
            if (!runFile(target, argv[i]))
                return 1;
            files++;
            continue;
        }
        DIR *d = opendir(argv[i]);
        if (!d)
            return 1;
        std::vector<std::string> names;
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.')
                names.push_back(std::string(argv[i]) + "/" + e->d_name);
        closedir(d);
        for (const std::string &p : names) {
            if (!runFile(target, p))
                return 1;
            files++;
        }
    }
    printf("replayed %d inputs\n", files);
    return files > 0 ? 0 : 1;
}

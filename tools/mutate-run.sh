#!/usr/bin/env bash
# Mutation runner: throws mutated real files at docdump and docrender of a
# sanitizer build and groups what goes wrong.
#
#   tools/mutate-run.sh [-n N] [-t SECONDS] [-b BUILD_DIR] [-o OUT_DIR] [-s SEED] FOLDER...
#
# Every file under the FOLDERs gets N mutants (default 20, made by
# tools/mutate.py: bit flips, byte runs, truncation, chunk duplication and
# length/count fields of the known formats set to 0, 1, 0x7FFFFFFF,
# 0xFFFFFFFF). Each mutant is run through `docdump FILE` and `docrender
# FILE --page 1 --size 160x120 --out ...` (when docdump opened it), each
# under a time limit of SECONDS (default 20), JOBS at once (default 3). A zip archive is opened
# through its first member ("book.zip/member").
#
# A run fails when the sanitizer reports (the report's kind and the first
# frame in the project's code make the group), when the tool dies of a
# signal, or when it runs out of time; a clean refusal (status 1) is not a
# failure. The summary lists mutants per format, then each group with its
# count and one input that shows it, with the report kept beside it in
# OUT_DIR/failures/. The exit status is 1 when anything failed.
set -u

root=$(cd "$(dirname "$0")/.." && pwd)
count=20
limit=20
build="$root/build/fz"
out="${TMPDIR:-/tmp}/vexlan-mutate-run"
seed=""
folders=()
while [ $# -gt 0 ]; do
    case "$1" in
    -n) count=$2; shift 2 ;;
    -t) limit=$2; shift 2 ;;
    -b) build=$2; shift 2 ;;
    -o) out=$2; shift 2 ;;
    -s) seed=$2; shift 2 ;;
    -h|--help) sed -n 2,22p "$0"; exit 0 ;;
    -*) echo "mutate-run: unknown option $1" >&2; exit 2 ;;
    *) folders+=("$1"); shift ;;
    esac
done
jobs=${JOBS:-3}
if [ ${#folders[@]} -eq 0 ]; then
    sed -n 2,22p "$0" >&2
    exit 2
fi
docdump=$(find "$build" -name docdump -type f -perm -u+x | head -1)
docrender=$(find "$build" -name docrender -type f -perm -u+x | head -1)
if [ -z "$docdump" ] || [ -z "$docrender" ]; then
    echo "mutate-run: docdump or docrender missing under $build" >&2
    exit 2
fi

rm -rf "$out"
mkdir -p "$out/mutants" "$out/results" "$out/failures"
find -L "${folders[@]}" -type f -size +0 ! -name '*.md' ! -name '*.py' | sort > "$out/sources"
tr '\n' '\0' < "$out/sources" |
    xargs -0 python3 "$root/tools/mutate.py" ${seed:+--seed "$seed"} "$count" "$out/mutants" \
    > "$out/mutants.txt" || exit 2

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1:handle_abort=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# One run: prints "RESULT<TAB>tool<TAB>class<TAB>signature<TAB>file".
run_tool() {
    local tool=$1 file=$2 log=$3
    shift 3
    timeout -s KILL "$limit" "$@" > /dev/null 2> "$log"
    local rc=$?
    local class="" sig=""
    if grep -q 'ERROR: AddressSanitizer\|ERROR: LeakSanitizer\|runtime error:' "$log"; then
        class=sanitizer
        local kind frame
        kind=$(grep -m1 -o 'ERROR: [A-Za-z]*Sanitizer: [a-z-]*\|runtime error: [a-z ]*' "$log" |
               sed 's/^ERROR: //' | cut -c1-60)
        [ -z "$kind" ] && kind=$(grep -m1 -o 'runtime error: .*' "$log" | cut -c1-60)
        # The first frame in the project's own code names the place.
        frame=$(grep -E '^ *#[0-9]+ ' "$log" | grep -v -E 'libsanitizer|compiler-rt|/usr/|libc\.so|Mem_|mem\.cpp' |
                grep -m1 -o ' in [^ ]* [^ ]*' | sed 's/^ in //; s/:[0-9]*$//' | sed 's|.*/wt/[^/]*/||')
        [ -z "$frame" ] && frame=$(grep -m1 -o '[a-z/]*\.cpp:[0-9]*' "$log" | sed 's/:[0-9]*$//')
        sig="$kind @ $frame"
    elif [ $rc -eq 137 ]; then
        class=timeout
        sig="over ${limit}s"
    elif [ $rc -gt 128 ]; then
        class=signal
        sig="signal $((rc - 128))"
    elif [ $rc -ne 0 ] && [ $rc -ne 1 ]; then
        class=status
        sig="exit $rc"
    fi
    if [ -n "$class" ]; then
        printf 'FAIL\t%s\t%s\t%s\t%s\n' "$tool" "$class" "$sig" "$file"
        return 2
    fi
    rm -f "$log"
    printf 'OK\t%s\t\t\t%s\n' "$tool" "$file"
    return $rc
}

run_mutant() {
    local file=$1
    local base
    base=$(basename "$file")
    local open=$file
    case "$file" in
    *.zip)
        local member
        member=$(python3 -c 'import sys, zipfile
try:
    n = [i.filename for i in zipfile.ZipFile(sys.argv[1]).infolist() if not i.filename.endswith("/")]
    print(n[0] if n else "")
except Exception:
    print("")' "$file")
        [ -n "$member" ] && open="$file/$member"
        ;;
    esac
    # A file docdump refuses (or fails on) is refused by docrender too: only
    # an opened one is drawn.
    run_tool docdump "$file" "$out/results/$base.docdump.log" "$docdump" "$open" || return 0
    run_tool docrender "$file" "$out/results/$base.docrender.log" "$docrender" "$open" \
        --page 1 --size 160x120 --out "$out/results/$base.png"
    rm -f "$out/results/$base.png"
}

export -f run_tool run_mutant
export out limit docdump docrender
cut -f1 "$out/mutants.txt" | xargs -P "$jobs" -I{} bash -c 'run_mutant "$1"' _ {} > "$out/runs.txt"

# Summary.
echo "mutate-run: $(wc -l < "$out/sources") sources, $(wc -l < "$out/mutants.txt") mutants, ${limit}s limit (results under $out)"
echo "mutants per format:"
cut -f1 "$out/mutants.txt" | sed 's/.*\.m[0-9]*\.\{0,1\}//' | tr 'A-Z' 'a-z' |
    sed 's/^$/(none)/' | sort | uniq -c | sort -rn | sed 's/^/  /'
fails=$(grep -c '^FAIL' "$out/runs.txt")
echo "failed runs: $fails of $(wc -l < "$out/runs.txt")"
if [ "$fails" -gt 0 ]; then
    echo "groups (count, class, signature, one input):"
    grep '^FAIL' "$out/runs.txt" | awk -F'\t' '{k = $3 "\t" $4; n[k]++; if (!(k in ex)) ex[k] = $2 " " $5}
        END {for (k in n) printf "%6d  %s\t%s\n", n[k], k, ex[k]}' | sort -rn | tee "$out/groups.txt"
    # Keep one input and its report per group.
    while IFS=$'\t' read -r _ tool class sig file; do
        key=$(printf '%s %s' "$class" "$sig" | md5sum | cut -c1-10)
        [ -e "$out/failures/$key" ] && continue
        mkdir -p "$out/failures/$key"
        cp "$file" "$out/failures/$key/"
        cp "$out/results/$(basename "$file").$tool.log" "$out/failures/$key/" 2>/dev/null
        printf '%s\t%s\t%s\n' "$class" "$sig" "$tool" > "$out/failures/$key/group"
        grep -aF "$file" "$out/mutants.txt" | cut -f2 >> "$out/failures/$key/group"
    done < <(grep '^FAIL' "$out/runs.txt")
    exit 1
fi
exit 0

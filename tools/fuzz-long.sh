#!/usr/bin/env bash
# Long fuzzing campaign over the libFuzzer targets of a clang build made with
# VEXLAN_FUZZ=ON (and, for real findings, VEXLAN_SANITIZE=ON).
#
#   tools/fuzz-long.sh [-t SECONDS] [-T SECONDS] [-b BUILD_DIR] [-o OUT_DIR] [--no-merge] [TARGET...]
#
# Each target (all fuzz_* binaries of the build when none is named; a name is
# given without its "fuzz_" prefix) runs for SECONDS (default 600) with
# -use_value_profile=1, a time-out per input of -T SECONDS (default 25; an
# input running longer is a finding), its committed corpus under
# tests/fuzz/corpus/<name>/ and, where the format has keywords, a
# dictionary from tests/fuzz/dict/.
# New inputs go to a scratch folder; at the end they are merged into the
# committed corpus with -merge=1, which keeps only the inputs that reach
# new edges (hit counts are not told apart here, so the folder grows by a
# small minimised set ready to commit).
# JOBS targets run at once (default: nproc).
# A line per target gives its executions, coverage at start and end, the
# number of inputs merged and its findings (crash, leak, timeout, oom
# files, kept under OUT_DIR/<name>/). The exit status is 1 when any target
# found something.
set -u

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=600
limit=25
build="$root/build/fz"
out="${TMPDIR:-/tmp}/vexlan-fuzz-long"
merge=1
targets=()
while [ $# -gt 0 ]; do
    case "$1" in
    -t) seconds=$2; shift 2 ;;
    -T) limit=$2; shift 2 ;;
    -b) build=$2; shift 2 ;;
    -o) out=$2; shift 2 ;;
    --no-merge) merge=0; shift ;;
    -h|--help) sed -n 2,20p "$0"; exit 0 ;;
    -*) echo "fuzz-long: unknown option $1" >&2; exit 2 ;;
    *) targets+=("${1#fuzz_}"); shift ;;
    esac
done
jobs=${JOBS:-$(nproc)}

bindir="$build/tests/fuzz"
[ -d "$bindir" ] || bindir="$build"
if [ ${#targets[@]} -eq 0 ]; then
    for f in "$bindir"/fuzz_*; do
        [ -x "$f" ] && targets+=("$(basename "$f" | sed 's/^fuzz_//')")
    done
fi
if [ ${#targets[@]} -eq 0 ]; then
    echo "fuzz-long: no fuzz_* binaries under $bindir (configure with VEXLAN_FUZZ=ON)" >&2
    exit 2
fi
mkdir -p "$out"

# The dictionary of a target: by format, where the format has keywords.
dict_of() {
    local d="$root/tests/fuzz/dict"
    case "$1" in
    pdf_*|pslexer|base14) echo "$d/pdf.dict" ;;
    css_parse) echo "$d/css.dict" ;;
    html_load|charset_detect|charset_decode) echo "$d/html.dict" ;;
    biff|biff_roundtrip|chart) echo "$d/biff.dict" ;;
    httpdate|cookie_files|set_cookie) echo "$d/httpdate.dict" ;;
    formula|formula_eval|ptg) echo "$d/formula.dict" ;;
    numfmt|numberformat) echo "$d/numfmt.dict" ;;
    url_parse|mime_parse) echo "$d/url.dict" ;;
    ole2|oleprobe) echo "$d/ole2.dict" ;;
    zip) echo "$d/zip.dict" ;;
    png) echo "$d/png.dict" ;;
    gif) echo "$d/gif.dict" ;;
    jpeg) echo "$d/jpeg.dict" ;;
    truetype|embedded_truetype|fontcollection) echo "$d/truetype.dict" ;;
    cmap|tounicode) echo "$d/cmap.dict" ;;
    *) ;;
    esac
}

run_one() {
    local name=$1
    local bin="$bindir/fuzz_$name"
    local dir="$out/$name"
    local corpus="$root/tests/fuzz/corpus/$name"
    rm -rf "$dir"
    mkdir -p "$dir/new" "$dir/findings" "$corpus"
    if [ ! -x "$bin" ]; then
        echo "missing" > "$dir/status"
        return
    fi
    local args=(-max_total_time="$seconds" -use_value_profile=1 -timeout="$limit"
                -rss_limit_mb=2048 -print_final_stats=1
                -artifact_prefix="$dir/findings/")
    local dict
    dict=$(dict_of "$name")
    [ -n "$dict" ] && [ -f "$dict" ] && args+=(-dict="$dict")
    # Keep fuzzing after a finding: -fork would need more processes than a
    # job's share, so the run is restarted until its time is used up.
    local start end left
    start=$(date +%s)
    end=$((start + seconds))
    : > "$dir/log"
    while :; do
        left=$((end - $(date +%s)))
        [ "$left" -gt 5 ] || break
        args[0]=-max_total_time=$left
        nice -n 5 "$bin" "${args[@]}" "$dir/new" "$corpus" >> "$dir/log" 2>&1
        # A clean end means the time is used up; after a finding, go on.
        [ $? -eq 0 ] && break
        # A finding at start-up (a committed input fails) would repeat forever.
        [ $(( $(date +%s) - start )) -lt 3 ] && [ -z "$(ls "$dir/new")" ] && break
    done
    local before=0
    before=$(find "$corpus" -type f | wc -l)
    if [ "$merge" = 1 ] && [ -n "$(ls "$dir/new")" ]; then
        nice -n 5 "$bin" -merge=1 -use_counters=0 -timeout="$limit" -rss_limit_mb=2048 \
            ${dict:+-dict="$dict"} "$corpus" "$dir/new" > "$dir/merge.log" 2>&1
    fi
    local after
    after=$(find "$corpus" -type f | wc -l)
    echo "$((after - before))" > "$dir/merged"
    echo "done" > "$dir/status"
}

report() {
    local name=$1 dir="$out/$1"
    if [ "$(cat "$dir/status" 2>/dev/null)" = missing ]; then
        printf '%-22s binary missing\n' "$name"
        return
    fi
    local execs cov0 cov1 ft1 merged findings
    execs=$(grep -h 'stat::number_of_executed_units' "$dir/log" | awk '{s += $2} END {print s + 0}')
    cov0=$(grep -m1 -o 'INITED cov: [0-9]*' "$dir/log" | awk '{print $3}')
    cov1=$(grep -o ' cov: [0-9]* ft: [0-9]*' "$dir/log" | tail -1 | awk '{print $2}')
    ft1=$(grep -o ' cov: [0-9]* ft: [0-9]*' "$dir/log" | tail -1 | awk '{print $4}')
    merged=$(cat "$dir/merged" 2>/dev/null || echo 0)
    findings=$(find "$dir/findings" -type f | wc -l)
    printf '%-22s execs %10s  cov %6s -> %-6s ft %-7s merged %4s  findings %s\n' \
        "$name" "$execs" "${cov0:-?}" "${cov1:-?}" "${ft1:-?}" "$merged" "$findings"
    find "$dir/findings" -type f | sed 's/^/    /'
}

export -f run_one dict_of
export root seconds limit out merge bindir
printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one "$1"' _ {}

status=0
echo "fuzz-long: ${#targets[@]} targets, ${seconds}s each, $jobs at once (logs under $out)"
for name in "${targets[@]}"; do
    report "$name"
    [ -n "$(find "$out/$name/findings" -type f 2>/dev/null)" ] && status=1
done
exit $status

#!/usr/bin/python3
"""Runs layout_bench and times PIL drawing the glyph boxes of the same text
page in the same run, then prints the ratios against the goals:
    drawing a full text page at 1240 x 1754 within 2x of PIL,
    laying out the 1 MB text at most 3x measuring its characters once,
and the pages per second of both drawers.

The page is the first of the benchmark's text (the same generator): lines
of 40 to 80 characters, words of five letters, wrapped at the last space
before the 66 characters the page's width holds, 75 lines to the page,
every letter a hollow box of half an em by five eighths of an em (the box
font), 8 points at the page's fitted resolution (1754 / 12 pixels per
inch), 1.25-inch and 1-inch margins.

Usage (needs python3-pil, the system Python has it):
    /usr/bin/python3 bench/render_vs_pil.py [path/to/layout_bench]
Exit status 1 when a goal is missed.
"""
import json
import os
import subprocess
import sys
import time

from PIL import Image, ImageDraw

WIDTH, HEIGHT = 1240, 1754
PPI = min(WIDTH / (541983 / 65536), HEIGHT / 12.0)
EM = 7281 / 65536 * PPI
ADVANCE = EM * 12744 / 16384
PITCH = 8735 / 65536 * PPI
ASCENT = 6370 / 65536 * PPI
PER_LINE = 66
LINES = 75
here = os.path.dirname(os.path.abspath(__file__))


def sample_lines():
    state, out = 12345, []
    while len(out) < LINES:
        state = (state * 1103515245 + 12345) & 0xFFFFFFFF
        length = 40 + (state >> 8) % 41
        line = "".join(" " if i % 6 == 5 else chr(ord("a") + (state >> (i % 16)) % 26)
                       for i in range(length))
        while len(line) > PER_LINE:
            cut = line.rfind(" ", 0, PER_LINE + 1)
            cut = cut if cut > 0 else PER_LINE
            out.append(line[:cut])
            line = line[cut:].lstrip(" ")
        out.append(line)
    return out[:LINES]


def boxes():
    out = []
    for i, line in enumerate(sample_lines()):
        base = 1.0 * PPI + i * PITCH + ASCENT
        for k, c in enumerate(line):
            if c == " ":
                continue
            x = 1.25 * PPI + k * ADVANCE
            out.append((x + EM * 256 / 2048, base - EM * 1280 / 2048,
                        x + EM * 1280 / 2048, base))
    return out


def time_pil(rects):
    best = float("inf")
    for _ in range(5):
        reps, start = 0, time.perf_counter()
        while True:
            img = Image.new("RGB", (WIDTH, HEIGHT), (255, 255, 255))
            draw = ImageDraw.Draw(img)
            for r in rects:
                draw.rectangle(r, outline=(0, 0, 0))
            reps += 1
            elapsed = time.perf_counter() - start
            if elapsed > 0.3:
                break
        best = min(best, elapsed / reps)
    return best * 1e3  # milliseconds


def main():
    bench = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "build", "normal", "bench",
                                                               "layout_bench")
    out = subprocess.run([bench, "--benchmark_format=json", "--benchmark_repetitions=3",
                          "--benchmark_report_aggregates_only=true", "--benchmark_min_time=0.2"],
                         check=True, capture_output=True, text=True)
    results = {}
    for b in json.loads(out.stdout)["benchmarks"]:
        if b.get("aggregate_name", "median") == "median":
            results[b["run_name"].split("/")[0]] = b["real_time"]
    rects = boxes()
    pil = time_pil(rects)
    render = results["BM_RenderTextPage"]
    layout, measure = results["BM_LayoutText"], results["BM_MeasureText"]
    print("glyph boxes on the page: %d" % len(rects))
    print("page drawing: ours %.2f ms (%.0f pages/s), PIL %.2f ms (%.0f pages/s), ratio %.2f (goal 2)"
          % (render, 1e3 / render, pil, 1e3 / pil, render / pil))
    print("1 MB text: layout %.1f ms, measuring %.1f ms, ratio %.2f (goal 3)"
          % (layout, measure, layout / measure))
    ok = render / pil <= 2 and layout / measure <= 3
    print("goals met" if ok else "goals missed")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())

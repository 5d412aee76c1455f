#!/usr/bin/python3
"""Runs glyph_bench's text page and times PIL's ImageDraw.text on the same
lines with the same font file and pixel size in the same run, then prints
the ratios against the goals: within 1.5x of PIL with the engine's glyph
caches cold, faster than PIL with them warm.

The page: 50 lines of 100 characters of DejaVu Sans (the benchmark's own
character generator), at 12 and 24 pixels, into a 1600 x 1600 picture.

Usage (needs python3-pil, the system Python has it):
    /usr/bin/python3 bench/glyph_vs_pil.py [path/to/glyph_bench]
Exit status 1 when a goal is missed.
"""
import json
import os
import subprocess
import sys
import time

from PIL import Image, ImageDraw, ImageFont

FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
here = os.path.dirname(os.path.abspath(__file__))


def lines():
    out = []
    for l in range(50):
        s = ""
        for i in range(100):
            k = ((l * 100 + i) * 2654435761 & 0xFFFFFFFF) >> 20
            s += " " if k % 6 == 0 else chr(ord("!") + k % 94)
        out.append(s)
    return out


def pil_page(px, text):
    font = ImageFont.truetype(FONT, px)
    image = Image.new("L", (1600, 1600), 255)
    draw = ImageDraw.Draw(image)
    best = None
    for _ in range(5):
        t0 = time.perf_counter()
        for l, line in enumerate(text):
            draw.text((4, (l + 1) * px * 5 // 4), line, font=font, fill=0, anchor="ls")
        t = time.perf_counter() - t0
        best = t if best is None else min(best, t)
    return best * 1000


def main():
    bench = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "build", "normal", "bench", "glyph_bench")
    out = subprocess.run([bench, "--benchmark_filter=TextPage", "--benchmark_format=json",
                          "--benchmark_repetitions=3", "--benchmark_report_aggregates_only=true",
                          "--benchmark_min_time=0.2"], check=True, capture_output=True, text=True)
    results = {}
    for b in json.loads(out.stdout)["benchmarks"]:
        if b.get("aggregate_name") == "median":
            results[b["run_name"]] = b["real_time"]
    text = lines()
    failed = False
    for px in (12, 24):
        pil = pil_page(px, text)
        cold = results["BM_TextPage/%d/0" % px]
        warm = results["BM_TextPage/%d/1" % px]
        ok_cold, ok_warm = cold <= 1.5 * pil, warm < pil
        failed |= not (ok_cold and ok_warm)
        print("%2d px: PIL %.2f ms, engine cold %.2f ms (%.2fx, goal 1.5x: %s), warm %.2f ms (%.2fx, goal < 1x: %s)"
              % (px, pil, cold, cold / pil, "met" if ok_cold else "MISSED",
                 warm, warm / pil, "met" if ok_warm else "MISSED"))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

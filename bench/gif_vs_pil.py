#!/usr/bin/python3
"""Runs gif_bench and times PIL opening and loading every frame of the same
GIFs in the same run, then prints the ratios against the goal: decoding
every frame at most 1.0x PIL's time.

The files are written here with PIL into a temporary directory handed to
gif_bench through GIF_BENCH_DIR: "anim.gif", 48 frames of 320 x 240 with
partial frames and transparency, and "still.gif", one 1600 x 1200 frame.

Usage (needs python3-pil, the system Python has it):
    /usr/bin/python3 bench/gif_vs_pil.py [path/to/gif_bench]
Exit status 1 when the goal is missed.
"""
import json
import os
import subprocess
import sys
import tempfile
import time

from PIL import Image, ImageDraw

here = os.path.dirname(os.path.abspath(__file__))


def make_files(work):
    frames = []
    for i in range(48):
        im = Image.new("RGB", (320, 240), (i * 5 % 256, 80, 160))
        d = ImageDraw.Draw(im)
        for k in range(12):
            x = (i * 7 + k * 29) % 300
            d.ellipse((x, k * 18, x + 40, k * 18 + 30), fill=((k * 40) % 256, (i * 9) % 256, 200))
        frames.append(im.convert("P", palette=Image.ADAPTIVE, colors=255))
    frames[0].save(os.path.join(work, "anim.gif"), save_all=True, append_images=frames[1:], duration=40, loop=0,
                   optimize=False, disposal=1)
    big = Image.new("RGB", (1600, 1200))
    d = ImageDraw.Draw(big)
    for k in range(400):
        x, y = (k * 97) % 1500, (k * 61) % 1100
        d.rectangle((x, y, x + 100, y + 80), fill=((k * 13) % 256, (k * 29) % 256, (k * 7) % 256))
    big.convert("P", palette=Image.ADAPTIVE, colors=256).save(os.path.join(work, "still.gif"))


def pil_time(path, repeats=10):
    best = None
    for _ in range(repeats):
        t = time.perf_counter()
        im = Image.open(path)
        for i in range(getattr(im, "n_frames", 1)):
            im.seek(i)
            im.load()
        t = time.perf_counter() - t
        best = t if best is None or t < best else best
    return best * 1000.0


def main():
    binary = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "build", "normal", "bench", "gif_bench")
    work = tempfile.mkdtemp()
    make_files(work)
    env = dict(os.environ, GIF_BENCH_DIR=work)
    out = subprocess.run([binary, "--benchmark_format=json", "--benchmark_min_time=0.5"], check=True,
                         capture_output=True, text=True, env=env).stdout
    ours = {b["name"]: b["real_time"] for b in json.loads(out)["benchmarks"]}
    ok = True
    for name, file in (("BM_GifAnimated", "anim.gif"), ("BM_GifLargeStill", "still.gif")):
        pil = pil_time(os.path.join(work, file))
        ratio = ours[name] / pil
        good = ratio <= 1.0
        ok = ok and good
        print("%-18s engine %8.3f ms  PIL %8.3f ms  ratio %.2f  %s" % (name, ours[name], pil, ratio,
                                                                    "ok" if good else "MISSED (goal 1.0)"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())

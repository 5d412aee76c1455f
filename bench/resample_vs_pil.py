#!/usr/bin/python3
"""Runs resample_bench and times PIL on the same pictures in the same run,
then prints the ratios against the goals: resampling (1024 x 1024 to
256 x 256 and back up from 256 x 256) within 1.5x of PIL's bicubic resize,
and the four quarter turns (clockwise, anticlockwise, half turn,
transpose) within 1.5x of PIL's transpose. Format 0 is compared with PIL's
mode "L" and format 4 with mode "RGB" (PIL has no 5-6-5 mode).

Usage (needs python3-pil, the system Python has it):
    /usr/bin/python3 bench/resample_vs_pil.py [path/to/resample_bench]
Exit status 1 when a goal is missed.
"""
import json
import os
import random
import subprocess
import sys
import time

from PIL import Image

here = os.path.dirname(os.path.abspath(__file__))


def picture(size, mode):
    rnd = random.Random(11)
    channels = 1 if mode == "L" else 3
    return Image.frombytes(mode, (size, size), bytes(rnd.getrandbits(8) for _ in range(size * size * channels)))


def best_time(fn):
    best = float("inf")
    for _ in range(5):
        reps, start = 0, time.perf_counter()
        while True:
            fn()
            reps += 1
            elapsed = time.perf_counter() - start
            if elapsed > 0.2:
                break
        best = min(best, elapsed / reps)
    return best * 1e6  # microseconds


TURNS = {
    "cw": Image.Transpose.ROTATE_270,
    "acw": Image.Transpose.ROTATE_90,
    "half": Image.Transpose.ROTATE_180,
    "transpose": Image.Transpose.TRANSPOSE,
}


def main():
    bench = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "build", "normal", "bench", "resample_bench")
    out = subprocess.run([bench, "--benchmark_format=json", "--benchmark_repetitions=3",
                          "--benchmark_report_aggregates_only=true", "--benchmark_min_time=0.1"],
                         check=True, capture_output=True, text=True)
    ours = {}
    for b in json.loads(out.stdout)["benchmarks"]:
        if b.get("aggregate_name", "median") == "median":
            ours[b["run_name"].split("/iterations:")[0]] = b["real_time"]
    ok = True
    print("%-22s %10s %10s %8s" % ("case", "ours us", "PIL us", "ratio"))
    for fmt, mode in (("f0", "L"), ("f4", "RGB")):
        small, large = picture(256, mode), picture(1024, mode)
        cases = [
            ("resample/reduce_" + fmt, lambda: large.resize((256, 256), Image.Resampling.BICUBIC)),
            ("resample/enlarge_" + fmt, lambda: small.resize((1024, 1024), Image.Resampling.BICUBIC)),
        ]
        for name, op in TURNS.items():
            cases.append(("turn/%s_%s" % (name, fmt), lambda op=op: large.transpose(op)))
        for name, fn in cases:
            pil = best_time(fn)
            ratio = ours[name] / pil
            ok &= ratio <= 1.5
            print("%-22s %10.1f %10.1f %8.2f" % (name, ours[name], pil, ratio))
    rnd = random.Random(86)
    for name, mode, channels in (("cubic/grey", "L", 1), ("cubic/rgba", "RGBA", 4)):
        big = Image.frombytes(mode, (2048, 1536), rnd.randbytes(2048 * 1536 * channels))
        pil = best_time(lambda: big.resize((640, 480), Image.Resampling.BICUBIC))
        ratio = ours[name] / pil
        ok &= ratio <= 1.5
        print("%-22s %10.1f %10.1f %8.2f" % (name, ours[name], pil, ratio))
    print("goals met" if ok else "goals missed")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())

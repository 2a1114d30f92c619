#!/usr/bin/env python3
"""The GLES 1.x layer against OpenGL ES 1.x: the same pictures drawn both ways.

Environment (set by CTest): STILL_GLES1, STILL_GLES2 (the two builds of
scene_still), IMAGE_COMPARE, OUT (a folder for the pictures).

Both builds draw the lighting and line patterns and the show at three song
positions on one frame clock; each pair must agree within the tolerance
below. Both run on Mesa's llvmpipe, so the only differences left are where
the layer draws differently by design: 3-pixel lines as two triangles rather
than by the line rasteriser (a pixel more or less at line ends and joints),
and depth ties where an outline lies exactly on its petal's edge. Measured
here: mean difference at most 0.26 (of 255), at most 0.16 % of the pixels
off by more than 48. A wrong light, matrix, material or line width moves
whole surfaces or every outline, several percent of the picture.
"""
import os
import subprocess
import sys

OUT = os.environ["OUT"]
JOBS = ["lighting", "lines", "20000", "45000", "100000"]
MAX_MEAN = "0.6"     # of 255
MAX_OVER = "0.005"   # share of pixels off by more than 48


def run(program, tag):
    args = [os.environ[program]] + [f"{j}:{os.path.join(OUT, f'{j}-{tag}.png')}" for j in JOBS]
    p = subprocess.run(args, capture_output=True, text=True, timeout=600)
    if p.returncode != 0:
        print(f"FAIL: {program} exited {p.returncode}: {p.stderr.strip()}")
        sys.exit(1)


def main():
    os.makedirs(OUT, exist_ok=True)
    run("STILL_GLES1", "gles1")
    run("STILL_GLES2", "gles2")
    failed = False
    for j in JOBS:
        a = os.path.join(OUT, f"{j}-gles1.png")
        b = os.path.join(OUT, f"{j}-gles2.png")
        p = subprocess.run([os.environ["IMAGE_COMPARE"], a, b, "--max-mean", MAX_MEAN,
                            "--max-over", MAX_OVER], capture_output=True, text=True)
        print(f"{j}: {p.stdout.strip()} {p.stderr.strip()}")
        if p.returncode != 0:
            failed = True
    if failed:
        print("FAIL: the layer's pictures differ from OpenGL ES 1.x beyond the tolerance")
        sys.exit(1)


main()

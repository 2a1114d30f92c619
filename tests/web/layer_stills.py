#!/usr/bin/env python3
"""The GLES 1.x layer against OpenGL ES 1.x: the same pictures drawn both ways.

Environment (set by CTest): KESTOVAR, KESTOVAR_GLES2 (the demo drawing
through libGLESv1_CM, and through the layer on OpenGL ES 2.0),
PATTERNS_GLES1, PATTERNS_GLES2 (the two builds of layer_patterns),
IMAGE_COMPARE, OUT (a folder for the pictures).

Both demos make stills of the show at three song positions
(`--still T:FILE.png --size 640x480`), both pattern programs draw the
lighting and line patterns; each pair must agree within the tolerance below.
Both run on Mesa's llvmpipe, so the only differences left are where the
layer draws differently by design: 3-pixel lines as two triangles rather
than by the line rasteriser (a pixel more or less at line ends and joints),
and depth ties where an outline lies exactly on its petal's edge. Measured
here: mean difference at most 0.30 (of 255, the still at 45 s), at most
0.18 % of the pixels off by more than 48. A wrong light, matrix, material or
line width moves whole surfaces or every outline: lines drawn 1 pixel wide
give a mean of 0.70 to 6.9 on the stills and 1.97 (1.3 % of the pixels) on
the line pattern; GL_NORMALIZE ignored gives 8.8 and 10.9 on the stills at
45 s and 100 s.
"""
import os
import subprocess
import sys

OUT = os.environ["OUT"]
STILLS = ["20", "45", "100"]  # seconds
PATTERNS = ["lighting", "lines"]
MAX_MEAN = "0.6"     # of 255
MAX_OVER = "0.005"   # share of pixels off by more than 48


def path(job, tag):
    return os.path.join(OUT, f"{job}-{tag}.png")


def run(args):
    p = subprocess.run(args, capture_output=True, text=True, timeout=600)
    if p.returncode != 0:
        print(f"FAIL: {args[0]} exited {p.returncode}: {p.stderr.strip()}")
        sys.exit(1)


def main():
    os.makedirs(OUT, exist_ok=True)
    for program, tag in (("KESTOVAR", "gles1"), ("KESTOVAR_GLES2", "gles2")):
        stills = [a for t in STILLS for a in ("--still", f"{t}:{path(t, tag)}")]
        run([os.environ[program], "--size", "640x480", "--fps", "60"] + stills)
    for program, tag in (("PATTERNS_GLES1", "gles1"), ("PATTERNS_GLES2", "gles2")):
        run([os.environ[program]] + [f"{j}:{path(j, tag)}" for j in PATTERNS])
    failed = False
    for j in PATTERNS + STILLS:
        p = subprocess.run([os.environ["IMAGE_COMPARE"], path(j, "gles1"), path(j, "gles2"),
                            "--max-mean", MAX_MEAN, "--max-over", MAX_OVER],
                           capture_output=True, text=True)
        print(f"{j}: {p.stdout.strip()} {p.stderr.strip()}")
        if p.returncode != 0:
            failed = True
    if failed:
        print("FAIL: the layer's pictures differ from OpenGL ES 1.x beyond the tolerance")
        sys.exit(1)


main()

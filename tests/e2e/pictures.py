"""Reading PNG pictures of the show and measuring what they show; shared by
the end-to-end tests of the live show and of the capture."""
import subprocess


def load(png):
    """(width, height, rgb bytes) of a picture, through ImageMagick."""
    size = subprocess.run(["identify", "-format", "%w %h", png], capture_output=True,
                          check=True).stdout.split()
    rgb = subprocess.run(["convert", png, "-depth", "8", "rgb:-"], capture_output=True,
                         check=True).stdout
    return int(size[0]), int(size[1]), rgb


def measure(w, h, rgb):
    """Statistics of the 640x480-shaped viewport centred in the picture."""
    vw = min(w, h * 4 // 3)
    x0, x1 = (w - vw) // 2, (w + vw) // 2

    def px(x, y):
        i = (y * w + x) * 3
        return rgb[i], rgb[i + 1], rgb[i + 2]

    # The background is the median grey of the viewport's four corners; a
    # trace or petal crossing one of them does not move it.
    c = max(4, h // 36)
    corner = []
    for cx, cy in ((x0 + c // 4, c // 4), (x1 - c - c // 4, c // 4),
                   (x0 + c // 4, h - c - c // 4), (x1 - c - c // 4, h - c - c // 4)):
        corner += [sum(px(cx + a, cy + b)) / 3 for a in range(c) for b in range(c)]
    background = sorted(corner)[len(corner) // 2]
    dark = tinted = neutral = n = 0
    for y in range(0, h, 2):
        for x in range(x0, x1, 2):
            r, g, b = px(x, y)
            v = (r + g + b) / 3
            n += 1
            dark += v < 40
            tinted += b - r >= 10
            neutral += 40 < v < 200 and max(r, g, b) - min(r, g, b) <= 4
    # Outside the viewport: the pillarbox bars, never drawn into.
    bars = [sum(px(x, y)) for y in range(0, h, 7) for x in list(range(0, x0, 5)) +
            list(range(x1, w, 5))]
    # The trace is a 3-pixel line: its pixel count grows with the height.
    return dict(background=background, dark=dark / n, tinted=tinted / n, neutral=neutral,
                bars_max=max(bars) if bars else 0, scale=h / 720)


# What the show must show at a moment, by bar: the background grey, petals
# black while unlit or blue-tinted once lit, and the scope trace, the only
# neutral mid-grey in the picture. The background and the lighting glide
# frame by frame: only a picture taken at a known frame count (a still) may
# be held to them; the trace follows the bar alone.
EXPECT = {
    5.5: dict(bg=229, lit=False, scope=True),
    20.5: dict(bg=249, lit=True, scope=True),
    43.5: dict(bg=0, lit=True, scope=True),
    50.5: dict(bg=249, lit=True, scope=False),
}


def check(name, m, e, glide=True):
    """Failure messages for a measured picture against one EXPECT entry;
    with glide=False only what follows the bar at once is checked."""
    bad = []
    if e["scope"] and m["neutral"] < 100 * m["scale"]:
        bad.append("%s: no scope trace (%d neutral grey pixels)" % (name, m["neutral"]))
    if not e["scope"] and m["neutral"] > 20 * m["scale"]:
        bad.append("%s: a scope trace where none belongs (%d pixels)" % (name, m["neutral"]))
    if m["bars_max"] > 0:
        bad.append("%s: something was drawn outside the viewport" % name)
    if not glide:
        return bad
    if abs(m["background"] - e["bg"]) > 6:
        bad.append("%s: background %.1f, expected grey %d" % (name, m["background"], e["bg"]))
    if e["lit"] and m["tinted"] < 0.05:
        bad.append("%s: no lit petals (%.4f of the viewport tinted)" % (name, m["tinted"]))
    if not e["lit"] and (m["tinted"] > 0.001 or m["dark"] < 0.2):
        bad.append("%s: petals are not black (tinted %.4f, dark %.3f)" % (name, m["tinted"],
                                                                         m["dark"]))
    return bad


def bar_frame(bar):
    """Audio frame at which the scene reaches a (fractional) bar: bar n
    begins 0.3 beat after the song's bar line, at 125 bpm."""
    return int((4 * bar + 0.3) * 0.48 * 44100)


def bar_seconds(bar):
    return (4 * bar + 0.3) * 0.48

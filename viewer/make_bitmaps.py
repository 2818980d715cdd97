#!/usr/bin/python3
"""Draws the viewer's pictures: the thirteen 24-bit bitmaps and the application icon.

    make_bitmaps.py OUTPUT_DIR

Every picture is drawn at four times its size and scaled down, which smooths its edges.
The pictures whose owners blit them with a transparent colour keep that colour in their
corners: the leaves take their top-left pixel (a background close to the dialog's, so
that the smoothed edges blend in), the date buttons black.
"""
import math
import os
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageFont

SCALE = 4
FONT_FILES = [
    "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf",
    "/usr/share/fonts/truetype/fonts-japanese-gothic.ttf",
]

# The main dialog's palette: a pale green wash, the product's green accents.
BG_TOP = (250, 253, 247)
BG_BOTTOM = (226, 240, 218)
LEAF_BACKDROP = (241, 248, 236)
GREEN_DARK = (52, 124, 22)
GREEN = (104, 197, 65)
GREEN_LIGHT = (176, 229, 120)

# The live plot's default colours on consumer models (plan 1, plan 2, other plans).
PLOT_PLAN1 = (63, 209, 255)
PLOT_PLAN2 = (166, 255, 59)
PLOT_OTHER = (255, 174, 201)


def font(size):
    for path in FONT_FILES:
        if os.path.exists(path):
            return ImageFont.truetype(path, size)
    raise SystemExit("make_bitmaps: no Japanese font (fonts-ipafont-gothic)")


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def vertical_gradient(size, top, bottom):
    w, h = size
    img = Image.new("RGB", size)
    draw = ImageDraw.Draw(img)
    for y in range(h):
        draw.line([(0, y), (w, y)], fill=mix(top, bottom, y / max(1, h - 1)))
    return img


def finish(img, size):
    """Scales a picture drawn at SCALE times down to size, 24-bit."""
    return img.resize(size, Image.LANCZOS).convert("RGB")


def leaf_polygon(cx, cy, length, width, angle):
    """The outline of a leaf: two arcs meeting at a pointed tip, rotated by angle."""
    points = []
    steps = 60
    for i in range(steps + 1):
        t = i / steps
        x = -length / 2 + length * t
        y = -width / 2 * math.sin(math.pi * t) ** 0.8
        points.append((x, y))
    for i in range(steps, -1, -1):
        t = i / steps
        x = -length / 2 + length * t
        y = width / 2 * math.sin(math.pi * t) ** 0.9
        points.append((x, y))
    ca, sa = math.cos(angle), math.sin(angle)
    return [(cx + x * ca - y * sa, cy + x * sa + y * ca) for x, y in points]


def rotate(cx, cy, x, y, angle):
    ca, sa = math.cos(angle), math.sin(angle)
    return (cx + x * ca - y * sa, cy + x * sa + y * ca)


def draw_leaf(img, cx, cy, length, width, angle, light, dark, vein, shade=True):
    """A leaf with a light-to-dark body, a stem, a midrib and side veins."""
    w, h = img.size
    mask = Image.new("L", (w, h), 0)
    ImageDraw.Draw(mask).polygon(leaf_polygon(cx, cy, length, width, angle), fill=255)
    body = Image.new("RGB", (w, h))
    bd = ImageDraw.Draw(body)
    # Light from the upper left: a radial blend from light to dark across the leaf.
    lx, ly = rotate(cx, cy, -length * 0.15, -width * 0.35, angle)
    radius = length * 0.9
    for r in range(int(radius), 0, -2):
        bd.ellipse([lx - r, ly - r, lx + r, ly + r], fill=mix(light, dark, r / radius))
    if shade:
        shadow = mask.filter(ImageFilter.GaussianBlur(length * 0.04))
        offset = Image.new("L", (w, h), 0)
        offset.paste(shadow, (int(length * 0.03), int(length * 0.05)))
        img.paste(mix(dark, (0, 0, 0), 0.5), (0, 0), offset.point(lambda v: v * 35 // 100))
    img.paste(body, (0, 0), mask)
    draw = ImageDraw.Draw(img)
    # Stem and midrib.
    base = rotate(cx, cy, -length / 2, 0, angle)
    stem = rotate(cx, cy, -length / 2 - length * 0.12, width * 0.06, angle)
    tip = rotate(cx, cy, length * 0.42, 0, angle)
    draw.line([stem, base], fill=vein, width=max(1, int(length * 0.05)))
    draw.line([base, tip], fill=vein, width=max(1, int(length * 0.03)))
    # Side veins, curving towards the tip.
    for i in range(1, 6):
        t = -0.4 + i * 0.15
        for side in (-1, 1):
            start = rotate(cx, cy, length * t, 0, angle)
            end = rotate(cx, cy, length * (t + 0.14), side * width * 0.36 * math.sin(math.pi * (t + 0.5)), angle)
            draw.line([start, end], fill=vein, width=max(1, int(length * 0.018)))


def background(path):
    size = (1040, 520)
    big = (size[0] * 2, size[1] * 2)
    img = vertical_gradient(big, BG_TOP, BG_BOTTOM)
    draw = ImageDraw.Draw(img, "RGBA")
    # Soft light from the upper left.
    for r in range(900, 0, -30):
        draw.ellipse([-r, -r, r, r], fill=(255, 255, 255, 6))
    # Gentle waves across the bottom.
    for k, alpha in ((0, 36), (1, 26), (2, 18)):
        pts = []
        for x in range(0, big[0] + 20, 20):
            y = big[1] * (0.80 + 0.05 * k) + 26 * math.sin(x / 260.0 + k * 1.3)
            pts.append((x, y))
        pts += [(big[0], big[1]), (0, big[1])]
        draw.polygon(pts, fill=(120, 190, 90, alpha))
    # A spray of faint leaves in the lower right corner.
    motif = Image.new("RGB", big, (0, 0, 0))
    leaves = [(1860, 860, 300, 130, -0.6), (1700, 930, 240, 100, -1.2), (1960, 700, 220, 95, -0.2),
              (1560, 990, 180, 80, -1.6), (1980, 960, 160, 70, 0.4)]
    for cx, cy, ln, wd, ang in leaves:
        draw_leaf(motif, cx, cy, ln, wd, ang, (255, 255, 255), (200, 200, 200), (120, 120, 120), shade=False)
    tint = Image.new("RGB", big, (110, 180, 80))
    img.paste(tint, (0, 0), motif.convert("L").point(lambda v: v * 22 // 255))
    img.resize(size, Image.LANCZOS).convert("RGB").save(path, "BMP")


def banner(path):
    size = (215, 40)
    s = SCALE
    w, h = size[0] * s, size[1] * s
    img = Image.new("RGB", (w, h), LEAF_BACKDROP)
    mask = Image.new("L", (w, h), 0)
    ImageDraw.Draw(mask).rounded_rectangle([2 * s, 2 * s, w - 2 * s, h - 2 * s], radius=9 * s, fill=255)
    body = vertical_gradient((w, h), (132, 210, 86), (48, 138, 28))
    img.paste(body, (0, 0), mask)
    draw = ImageDraw.Draw(img, "RGBA")
    # A glossy band on the upper half.
    gloss = Image.new("L", (w, h), 0)
    ImageDraw.Draw(gloss).rounded_rectangle([4 * s, 3 * s, w - 4 * s, h // 2], radius=8 * s, fill=70)
    img.paste((255, 255, 255), (0, 0), Image.composite(gloss, Image.new("L", (w, h), 0), mask))
    draw.rounded_rectangle([2 * s, 2 * s, w - 2 * s, h - 2 * s], radius=9 * s, outline=(36, 104, 18), width=s)
    draw_leaf(img, 22 * s, 20 * s, 26 * s, 13 * s, -0.7, (230, 255, 200), (150, 220, 100), (60, 140, 30),
              shade=False)
    title = font(17 * s)
    draw.text((40 * s, 5 * s), "QUO Viewer", font=title, fill=(255, 255, 255))
    small = font(8 * s)
    draw.text((42 * s, 25 * s), "消費電力モニター", font=small, fill=(232, 250, 220))
    finish(img, size).save(path, "BMP")


def legend(path):
    size = (230, 126)
    s = SCALE
    w, h = size[0] * s, size[1] * s
    img = Image.new("RGB", (w, h), (255, 255, 255))
    draw = ImageDraw.Draw(img)
    draw.rounded_rectangle([s, s, w - s, h - s], radius=6 * s, fill=(255, 255, 255), outline=(170, 205, 150),
                           width=s)
    # A small plot: black area, green grid, the line in the plan colours.
    px0, py0, px1, py1 = 10 * s, 8 * s, 220 * s, 64 * s
    draw.rectangle([px0, py0, px1, py1], fill=(0, 0, 0))
    for x in range(px0, px1, 15 * s):
        draw.line([(x, py0), (x, py1)], fill=(0, 50, 0), width=s)
    for y in range(py1, py0, -12 * s):
        draw.line([(px0, y), (px1, y)], fill=(0, 80, 0), width=s)
    values = [30, 32, 31, 34, 33, 38, 44, 46, 45, 43, 26, 22, 21, 23, 22, 20, 21, 36, 39, 37, 38]
    colours = [PLOT_PLAN1] * 7 + [PLOT_OTHER] * 4 + [PLOT_PLAN2] * 7 + [PLOT_PLAN1] * 3
    step = (px1 - px0) / (len(values) - 1)
    pts = [(px0 + i * step, py1 - (v - 10) * (py1 - py0 - 6 * s) / 40) for i, v in enumerate(values)]
    for i in range(len(pts) - 1):
        draw.line([pts[i], pts[i + 1]], fill=colours[i + 1], width=2 * s)
    text = font(10 * s)
    rows = [(PLOT_PLAN1, "Velio"), (PLOT_PLAN2, "QUO"), (PLOT_OTHER, "他の電源プラン")]
    y = 70 * s
    for colour, label in rows:
        draw.rounded_rectangle([12 * s, y + 3 * s, 30 * s, y + 9 * s], radius=2 * s, fill=colour,
                               outline=mix(colour, (0, 0, 0), 0.35), width=s)
        draw.text((36 * s, y), label, font=text, fill=(50, 50, 50))
        y += 14 * s
    note = font(9 * s)
    draw.text((108 * s, 72 * s), "線の色は測定時の", font=note, fill=(80, 80, 80))
    draw.text((108 * s, 86 * s), "電源プランを", font=note, fill=(80, 80, 80))
    draw.text((108 * s, 100 * s), "表します", font=note, fill=(80, 80, 80))
    finish(img, size).save(path, "BMP")


def leaf_icon(path, green):
    size = (43, 43)
    s = SCALE
    w, h = size[0] * s, size[1] * s
    img = Image.new("RGB", (w, h), LEAF_BACKDROP)
    if green:
        light, dark, vein = (190, 240, 120), (46, 140, 26), (32, 100, 16)
    else:
        light, dark, vein = (226, 226, 226), (150, 150, 150), (118, 118, 118)
    draw_leaf(img, 22 * s, 22 * s, 38 * s, 20 * s, -0.85, light, dark, vein)
    out = finish(img, size)
    out.putpixel((0, 0), LEAF_BACKDROP)
    out.save(path, "BMP")


def round_button(path, state):
    """A round date button: normal, pressed, focus (hover) or disabled. Its face stays
    plain: the button draws its caption ("前日", "翌日", ...) over the middle."""
    size = (34, 34)
    s = SCALE
    w, h = size[0] * s, size[1] * s
    img = Image.new("RGB", (w, h), (0, 0, 0))
    faces = {
        "normal": ((150, 222, 104), (58, 150, 30)),
        "pressed": ((60, 140, 30), (120, 200, 80)),
        "focus": ((190, 245, 140), (84, 180, 48)),
        "disabled": ((226, 226, 226), (170, 170, 170)),
    }
    top, bottom = faces[state]
    mask = Image.new("L", (w, h), 0)
    ImageDraw.Draw(mask).ellipse([1 * s, 1 * s, w - 1 * s, h - 1 * s], fill=255)
    img.paste(vertical_gradient((w, h), top, bottom), (0, 0), mask)
    draw = ImageDraw.Draw(img, "RGBA")
    ring = (40, 104, 18) if state != "disabled" else (140, 140, 140)
    draw.ellipse([1 * s, 1 * s, w - 1 * s, h - 1 * s], outline=ring, width=s + s // 2)
    if state != "pressed":
        draw.ellipse([6 * s, 3 * s, w - 6 * s, h // 2], fill=(255, 255, 255, 70))
    out = finish(img, size)
    # Everything outside the circle is exactly the transparent colour, black.
    cut = mask.resize(size, Image.LANCZOS).point(lambda v: 255 if v > 40 else 0)
    black = Image.new("RGB", size, (0, 0, 0))
    Image.composite(out, black, cut).save(path, "BMP")


def icon(path):
    s = 8
    img = Image.new("RGBA", (32 * s, 32 * s), (0, 0, 0, 0))
    base = Image.new("RGB", img.size, (0, 0, 0))
    mask = Image.new("L", img.size, 0)
    ImageDraw.Draw(mask).ellipse([s, s, 31 * s, 31 * s], fill=255)
    base.paste(vertical_gradient(img.size, (140, 215, 90), (40, 128, 24)), (0, 0), mask)
    draw_leaf(base, 16 * s, 16 * s, 24 * s, 12 * s, -0.8, (255, 255, 255), (214, 244, 190), (70, 150, 40),
              shade=False)
    img.paste(base, (0, 0), mask)
    img.resize((32, 32), Image.LANCZOS).save(path, sizes=[(16, 16), (32, 32), (48, 48)])


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    background(os.path.join(out, "bmp140_background.bmp"))
    banner(os.path.join(out, "bmp155_banner.bmp"))
    legend(os.path.join(out, "bmp157_legend.bmp"))
    leaf_icon(os.path.join(out, "bmp160_leaf_green.bmp"), True)
    leaf_icon(os.path.join(out, "bmp161_leaf_gray.bmp"), False)
    for name, ids in (("previous", (169, 170, 171, 172)), ("following", (179, 154, 174, 175))):
        for bid, state in zip(ids, ("normal", "pressed", "focus", "disabled")):
            round_button(os.path.join(out, "bmp%d_%s_%s.bmp" % (bid, name, state)), state)
    icon(os.path.join(out, "quoviewer.ico"))


if __name__ == "__main__":
    main()

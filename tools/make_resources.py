#!/usr/bin/python3
"""Writes the program's two pictures into resources/.

background.bmp  740 x 480, 24-bit: a grey embossed tile texture with the captions
                "Source:" and "Destination:" in black bold type along the top.
program.ico     one 32 x 32, 16-colour image: a disc with a film strip across it.

The outputs are committed; the build uses them as they are. Run this by hand with
/usr/bin/python3 from anywhere after changing it. Every run writes the same bytes.
"""

import os
import struct

from PIL import Image, ImageDraw, ImageFont

RESOURCES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"

WIDTH, HEIGHT = 740, 480
TILE = 20  # 740 x 480 holds 37 x 24 whole tiles

# The two lists of the window sit below these captions, so the ink of each
# caption must cover exactly these columns (first, last), and rows TEXT_TOP..TEXT_BOTTOM.
CAPTIONS = [("Source:", 12, 123), ("Destination:", 409, 587)]
TEXT_TOP, TEXT_BOTTOM = 12, 37


def tile_pixel(x, y):
    """Grey of the tile texture at (x, y): raised tiles, each with a sunken centre."""
    tx, ty = x % TILE, y % TILE
    if tx == 0 or ty == 0:
        return 188  # lit top and left edges of the raised tile
    if tx == TILE - 1 or ty == TILE - 1:
        return 128  # shaded bottom and right edges
    inner = 6 <= tx <= TILE - 7 and 6 <= ty <= TILE - 7
    if inner and (tx == 6 or ty == 6):
        return 140  # the sunken centre is shaded at its top and left...
    if inner and (tx == TILE - 7 or ty == TILE - 7):
        return 180  # ...and lit at its bottom and right
    return 156 if inner else 162


def caption_mask(text, width, height):
    """The caption as a 1-bit mask whose ink spans exactly `width` columns.

    The text is drawn large, cut to its ink columns and to a band shared by both
    captions (so they sit on one baseline), then scaled with NEAREST, which keeps
    the first and last ink columns at the edges of the result.
    """
    font = ImageFont.truetype(FONT, 240)
    ascent, descent = font.getmetrics()
    big = Image.new("L", (font.getbbox(text)[2] + 40, ascent + descent), 0)
    ImageDraw.Draw(big).text((20, ascent), text, fill=255, font=font, anchor="ls")
    big = big.point(lambda v: 255 if v >= 128 else 0)
    left, _, right, _ = big.getbbox()
    # Band from the top of the tallest letters ("d", "t") to just below the baseline.
    top = ascent + font.getbbox("dt", anchor="ls")[1]
    bottom = ascent + font.getbbox("So", anchor="ls")[3]
    return big.crop((left, top, right, bottom)).resize((width, height), Image.NEAREST)


def make_background():
    img = Image.new("L", (WIDTH, HEIGHT))
    img.putdata([tile_pixel(x, y) for y in range(HEIGHT) for x in range(WIDTH)])
    img = img.convert("RGB")
    for text, first, last in CAPTIONS:
        mask = caption_mask(text, last - first + 1, TEXT_BOTTOM - TEXT_TOP + 1)
        img.paste((0, 0, 0), (first, TEXT_TOP), mask.convert("1"))
    return img


def bmp_bytes(img):
    """24-bit BI_RGB bottom-up BMP with a 40-byte info header."""
    width, height = img.size
    stride = (width * 3 + 3) & ~3
    rgb = img.tobytes()
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytearray(rgb[y * width * 3:(y + 1) * width * 3])
        row[0::3], row[2::3] = row[2::3], row[0::3]  # RGB -> BGR
        rows.append(bytes(row) + b"\0" * (stride - width * 3))
    pixels = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + pixels


# The classic 16-colour palette; index 0 (black) also stands under transparent pixels.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, SILVER, GREY, YELLOW, BLUE, AQUA, WHITE = 0, 7, 8, 11, 12, 14, 15
TRANSPARENT = 16  # drawing value for "no pixel"; becomes AND mask 1 over index 0


def icon_pixels():
    """32 x 32 palette indices: a silver disc with a film strip across its lower half."""
    img = Image.new("L", (32, 32), TRANSPARENT)
    draw = ImageDraw.Draw(img)
    draw.ellipse((1, 1, 30, 30), fill=SILVER, outline=GREY)
    draw.arc((4, 4, 27, 27), 200, 250, fill=WHITE)
    draw.arc((6, 6, 25, 25), 290, 330, fill=AQUA)
    draw.ellipse((11, 11, 20, 20), fill=GREY, outline=GREY)
    draw.ellipse((13, 13, 18, 18), fill=TRANSPARENT, outline=BLACK)
    # Film strip: black band, white sprocket holes, yellow-blue frames.
    draw.rectangle((0, 20, 31, 29), fill=BLACK)
    for x in range(1, 32, 4):
        draw.point([(x, 21), (x + 1, 21), (x, 28), (x + 1, 28)], fill=WHITE)
    for x in (2, 12, 22):
        draw.rectangle((x, 23, x + 7, 26), fill=BLUE)
        draw.rectangle((x + 1, 25, x + 6, 26), fill=YELLOW)
    return list(img.getdata())


def ico_bytes(pixels):
    """An .ico holding one 32 x 32 4-bit image: header, palette, XOR rows, AND rows."""
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    xor, andmask = b"", b""
    for y in range(31, -1, -1):  # rows bottom-up
        row = pixels[y * 32:(y + 1) * 32]
        colours = [0 if p == TRANSPARENT else p for p in row]
        xor += bytes((colours[i] << 4) | colours[i + 1] for i in range(0, 32, 2))
        bits = 0
        for p in row:
            bits = (bits << 1) | (p == TRANSPARENT)
        andmask += bits.to_bytes(4, "big")
    info = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, 4, 0, len(xor) + len(andmask), 0, 0, 0, 0)
    image = info + palette + xor + andmask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", 32, 32, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    with open(os.path.join(RESOURCES, "background.bmp"), "wb") as f:
        f.write(bmp_bytes(make_background()))
    with open(os.path.join(RESOURCES, "program.ico"), "wb") as f:
        f.write(ico_bytes(icon_pixels()))


if __name__ == "__main__":
    main()

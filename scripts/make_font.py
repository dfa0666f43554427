#!/usr/bin/env python3
"""Converts an 8x16 PSF console font into the video BIOS's 256-glyph font,
ordered as code page 437, written as a C++ initializer list.

Each glyph comes from the first font given that has it. Used once to make
sim/bios/font8x16.inc (committed); the build does not run it:
    python3 scripts/make_font.py /usr/share/consolefonts/Uni2-VGA16.psf.gz \
        /usr/share/consolefonts/FullGreek-VGA16.psf.gz > sim/bios/font8x16.inc
Needs Debian's console-setup-linux for the fonts.
"""
import gzip
import struct
import sys

# Code page 437's pictures for the control codes 0x00-0x1F and for 0x7F.
CONTROL_PICTURES = (
    "\u0020\u263A\u263B\u2665\u2666\u2663\u2660\u2022\u25D8\u25CB\u25D9\u2642\u2640\u266A\u266B\u263C"
    "\u25BA\u25C4\u2195\u203C\u00B6\u00A7\u25AC\u21A8\u2191\u2193\u2192\u2190\u221F\u2194\u25B2\u25BC")
HOUSE = "\u2302"

# Glyphs that fonts often carry under a neighbouring code point.
ALTERNATIVES = {
    "\u25BA": "\u25B6", "\u25C4": "\u25C0", "\u00A0": " ", "\u03B2": "\u00DF",
    "\u00B5": "\u03BC", "\u2126": "\u03A9", "\u2208": "\u03B5",
}


def cp437(code):
    if code < 0x20:
        return CONTROL_PICTURES[code]
    if code == 0x7F:
        return HOUSE
    return bytes([code]).decode("cp437")


def read_psf(path):
    data = gzip.open(path).read() if path.endswith(".gz") else open(path, "rb").read()
    if data[:2] == b"\x36\x04":  # PSF1
        mode, height = data[2], data[3]
        count = 512 if mode & 1 else 256
        glyphs = [data[4 + i * height:4 + (i + 1) * height] for i in range(count)]
        table = {}
        if mode & 2:
            pos = 4 + count * height
            for i in range(count):
                while True:
                    (u,) = struct.unpack_from("<H", data, pos)
                    pos += 2
                    if u == 0xFFFF:
                        break
                    if u != 0xFFFE:
                        table.setdefault(chr(u), i)
        return height, 8, glyphs, table
    if data[:4] == b"\x72\xb5\x4a\x86":  # PSF2
        _, _, hdr, flags, count, size, height, width = struct.unpack_from("<8I", data, 0)
        glyphs = [data[hdr + i * size:hdr + (i + 1) * size] for i in range(count)]
        table = {}
        if flags & 1:
            pos = hdr + count * size
            for i in range(count):
                end = data.index(b"\xff", pos)
                for seq in data[pos:end].split(b"\xfe")[:1]:
                    for ch in seq.decode("utf-8"):
                        table.setdefault(ch, i)
                pos = end + 1
        return height, width, glyphs, table
    sys.exit("not a PSF font: " + path)


def main():
    fonts = []
    for path in sys.argv[1:]:
        height, width, glyphs, table = read_psf(path)
        if height != 16 or width != 8:
            sys.exit("%s: need an 8x16 font, got %dx%d" % (path, width, height))
        fonts.append((glyphs, table))
    missing = []
    out = []
    for code in range(256):
        ch = cp437(code)
        glyph = None
        for glyphs, table in fonts:
            index = table.get(ch, table.get(ALTERNATIVES.get(ch, ""), None))
            if index is not None:
                glyph = glyphs[index]
                break
        if glyph is None:
            missing.append("0x%02X" % code)
            glyph = bytes(16)
        if code == 0:
            glyph = bytes(16)  # character 0 is blank on a PC
        out.append(glyph)
    if missing:
        print("missing glyphs: " + " ".join(missing), file=sys.stderr)
    print("// 8x16 glyphs 0x00-0xFF in code page 437 order, 16 rows of 8 dots each,")
    print("// top row first, bit 7 the leftmost dot. Made by scripts/make_font.py from")
    print("// Debian's console-setup fonts %s." % ", ".join(a.rsplit("/", 1)[-1] for a in sys.argv[1:]))
    for code, glyph in enumerate(out):
        print("/* 0x%02X */ %s," % (code, ", ".join("0x%02X" % b for b in glyph)))


main()

#!/usr/bin/python3
"""Makes the report font "Belmorand Report Sans" from Debian's DejaVu Sans.

    /usr/bin/python3 fonts/make_fonts.py [OUTDIR]

Writes BelmorandReportSans.ttf, BelmorandReportSans-Bold.ttf and LICENSE
into OUTDIR (default: this folder), from DejaVu Sans and DejaVu Sans Bold of
fonts-dejavu-core (FONTS_DIR overrides where they are read). The same input
gives the same bytes: the files in the repository are this script's output.

What differs from DejaVu Sans, and why:
- Only the characters a report prints: Latin-1, Latin Extended-A, general
  punctuation, the euro sign and every character of the report's fixed
  texts. Other scripts come from the system's fonts, as any missing
  character does.
- No hinting instructions, only a control program that says so. A PDF
  carries outlines only, and Qt loads every glyph it embeds hinted: through
  FreeType's interpreter, which then runs for nothing, or, for a font without
  any program, through FreeType's auto-hinter, which costs as much.
- A name table of the identifying records, the copyright and a pointer to
  the licence: Qt copies this table into every PDF.
- A glyph of its own for the tab. Qt draws a tab the font lacks with the
  blank's glyph, and its PDF text map then names that glyph by the lowest
  character leading to it, U+0009: every blank of a report would read as a
  tab.
- The Windows character map as a plain table of glyph numbers (format 6)
  instead of segments (format 4). For the PDF's text map Qt looks up all
  65 536 code points in each embedded font, in the font's last Unicode map,
  the Windows one; a direct index costs FreeType a fraction of a segment
  search. The Unicode platform's map keeps the usual segments.
- Renamed, as the Bitstream Vera and Arev licences require of modified fonts.
"""

import os
import pathlib
import re
import sys

from fontTools import subset
from fontTools.ttLib import TTFont, newTable
from fontTools.ttLib.tables._c_m_a_p import CmapSubtable
from fontTools.ttLib.tables._g_l_y_f import Glyph
from fontTools.ttLib.tables.ttProgram import Program

FAMILY = "Belmorand Report Sans"
VERSION = "Version 2.37; Belmorand subset 1"
FACES = [
    # source file, style, PostScript name, target file
    ("DejaVuSans.ttf", "Regular", "BelmorandReportSans", "BelmorandReportSans.ttf"),
    ("DejaVuSans-Bold.ttf", "Bold", "BelmorandReportSans-Bold", "BelmorandReportSans-Bold.ttf"),
]
RANGES = [
    (0x0020, 0x007E),  # Basic Latin
    (0x00A0, 0x00FF),  # Latin-1 Supplement
    (0x0100, 0x017F),  # Latin Extended-A
    (0x2000, 0x206F),  # General Punctuation
    (0x20AC, 0x20AC),  # euro sign
]
TAB = 0x09
# PUSHB[1] 1 1, INSTCTRL: hinting off (the instruction control's bit 0).
NO_HINTING = bytes([0xB1, 0x01, 0x01, 0x8E])
LICENCE_NOTE = ("Modified from DejaVu Sans 2.37 under the Bitstream Vera and Arev fonts "
                "licences; their full text is in the LICENSE file that comes with this font.")
REPORT_SOURCES = pathlib.Path(__file__).resolve().parent.parent / "report"
STRING_LITERAL = re.compile(r'"(?:[^"\\\n]|\\.)*"')

# Windows platform, Unicode BMP, US English: all a current system reads.
WINDOWS, UNICODE_BMP, ENGLISH = 3, 1, 0x409


def report_characters():
    """Every character outside ASCII in the string literals of the report's code."""
    found = set()
    for source in sorted(REPORT_SOURCES.glob("*.cpp")):
        for literal in STRING_LITERAL.findall(source.read_text(encoding="utf-8")):
            found.update(ord(c) for c in literal if ord(c) > 0x7F)
    return found


def wanted_characters():
    characters = report_characters()
    for first, last in RANGES:
        characters.update(range(first, last + 1))
    return characters


def subset_options():
    options = subset.Options()
    options.hinting = False
    options.legacy_kern = True  # Qt kerns unshaped text with the 'kern' table
    options.notdef_outline = True
    options.name_IDs = []  # rebuilt below
    options.drop_tables += ["FFTM", "MATH", "gasp"]
    options.recalc_timestamp = False
    return options


def add_tab_glyph(font):
    """A blank glyph of the blank's width for U+0009."""
    space = font.getBestCmap()[0x20]
    order = font.getGlyphOrder() + ["tab"]
    font.setGlyphOrder(order)
    glyph = Glyph()
    glyph.numberOfContours = 0
    font["glyf"].glyphs["tab"] = glyph
    font["glyf"].glyphOrder = order
    font["hmtx"].metrics["tab"] = (font["hmtx"][space][0], 0)
    for table in font["cmap"].tables:
        if table.isUnicode():
            table.cmap[TAB] = "tab"
    os2 = font["OS/2"]
    os2.usFirstCharIndex = min(os2.usFirstCharIndex, TAB)


def direct_character_map(font):
    """The Windows Unicode subtable as format 6: first code, count, glyphs."""
    for index, table in enumerate(font["cmap"].tables):
        if (table.platformID, table.platEncID) == (WINDOWS, UNICODE_BMP):
            direct = CmapSubtable.newSubtable(6)
            direct.platformID, direct.platEncID, direct.language = WINDOWS, UNICODE_BMP, 0
            direct.cmap = dict(table.cmap)
            font["cmap"].tables[index] = direct


def switch_hinting_off(font):
    """The control value program that tells every rasteriser not to hint."""
    prep = newTable("prep")
    prep.program = Program()
    prep.program.fromBytecode(NO_HINTING)
    font["prep"] = prep
    font["maxp"].maxStackElements = 2
    font["maxp"].maxSizeOfInstructions = 0


def rename(font, style, postscript, copyright_notice):
    full = FAMILY if style == "Regular" else f"{FAMILY} {style}"
    records = {
        0: copyright_notice,
        1: FAMILY,
        2: style,
        3: f"{postscript} {VERSION}",
        4: full,
        5: VERSION,
        6: postscript,
        13: LICENCE_NOTE,
    }
    name = newTable("name")
    name.names = []
    for name_id, text in records.items():
        name.setName(text, name_id, WINDOWS, UNICODE_BMP, ENGLISH)
    font["name"] = name


def make_face(source_dir, out_dir, characters, face):
    source, style, postscript, target = face
    font = TTFont(os.path.join(source_dir, source), recalcTimestamp=False)
    copyright_notice = font["name"].getName(0, WINDOWS, UNICODE_BMP, ENGLISH).toUnicode()
    licence = font["name"].getName(13, WINDOWS, UNICODE_BMP, ENGLISH).toUnicode()
    subsetter = subset.Subsetter(subset_options())
    subsetter.populate(unicodes=characters)
    subsetter.subset(font)
    add_tab_glyph(font)
    switch_hinting_off(font)
    direct_character_map(font)
    rename(font, style, postscript, copyright_notice.strip())
    font.save(os.path.join(out_dir, target))
    return licence


def licence_text(licence):
    faces = ", ".join(face[3] for face in FACES)
    return (f"{FAMILY} ({faces})\n\n"
            "These fonts are a modified subset of DejaVu Sans and DejaVu Sans Bold 2.37,\n"
            "made by fonts/make_fonts.py of Belmorand: fewer characters, no hinting\n"
            "instructions, a glyph for the tab, a shorter name table, and renamed as\n"
            "the licences below require. Belmorand's changes are in the public domain,\n"
            "like DejaVu's. The licence of the original fonts, from the fonts themselves:\n\n"
            + licence.replace("\r\n", "\n").rstrip() + "\n")


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    source_dir = os.environ.get("FONTS_DIR", "/usr/share/fonts/truetype/dejavu")
    os.makedirs(out_dir, exist_ok=True)
    characters = wanted_characters()
    licences = {make_face(source_dir, out_dir, characters, face) for face in FACES}
    if len(licences) != 1:
        sys.exit("make_fonts.py: the two faces carry different licences")
    with open(os.path.join(out_dir, "LICENSE"), "w", encoding="utf-8", newline="\n") as out:
        out.write(licence_text(licences.pop()))


if __name__ == "__main__":
    main()

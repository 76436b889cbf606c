#!/usr/bin/env python3
"""Writes the seed corpus of both fuzz targets: python3 fuzz/make_seeds.py

Each seed is UTF-16LE key units; the conversion target's seeds start with
two bytes of narrow buffer size. The seeds cover the keypad, silent
letters, every Windows-1252 high byte, unmappable and astral characters,
unpaired surrogates, an early terminator and a long string.
"""
import pathlib
import struct

HERE = pathlib.Path(__file__).resolve().parent

KEY_STRINGS = {
    "keypad": "0123456789*#ABCD",
    "one-hash": "1#",
    "silent": "abc xyz",
    "empty": "",
    "latin1": "".join(chr(c) for c in range(0xA0, 0x100)),
    "cp1252-high": "\u20ac\u201a\u0192\u201e\u2026\u2020\u2021\u02c6\u2030\u0160\u2039\u0152\u017d"
                   "\u2018\u2019\u201c\u201d\u2022\u2013\u2014\u02dc\u2122\u0161\u203a\u0153\u017e\u0178",
    "c1-controls": "\x80\x81\x8d\x8f\x90\x9d\x9f",
    "unmappable": "\u0100\u4e2d\uffff\ufffe",
    "astral": "1\U0001F600#",
    "long": "123A456B789C*0#D" * 64,
    # Near the 4096 units that the fuzzing runs allow.
    "longest": ("0123456789*#ABCD" + "x\u00e9\u20ac?") * 200,
}
# Units that are not valid UTF-16 on their own.
UNIT_SEQUENCES = {
    "unpaired-high": [0x31, 0xD800, 0x32],
    "unpaired-low": [0xDC00, 0x23],
    "reversed-pair": [0xDE00, 0xD83D, 0x35],
    "early-terminator": [0x31, 0x32, 0x00, 0x33, 0x34],
}


def units_of(text):
    data = text.encode("utf-16-le")
    return list(struct.unpack("<%dH" % (len(data) // 2), data))


def pack(units):
    return struct.pack("<%dH" % len(units), *units)


def main():
    seeds = {name: units_of(text) for name, text in KEY_STRINGS.items()}
    seeds.update(UNIT_SEQUENCES)
    call_dir = HERE / "corpus" / "WaveCreateFuzzer"
    conversion_dir = HERE / "corpus" / "AnsiFromWideFuzzer"
    for folder in (call_dir, conversion_dir):
        folder.mkdir(parents=True, exist_ok=True)
    for name, units in seeds.items():
        (call_dir / name).write_bytes(pack(units))
        # Room for everything, and a buffer that cuts the string short.
        (conversion_dir / name).write_bytes(pack([len(units) + 1] + units))
        (conversion_dir / (name + "-cut")).write_bytes(pack([max(len(units) // 2, 1)] + units))


if __name__ == "__main__":
    main()

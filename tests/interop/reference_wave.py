#!/usr/bin/python3
"""A second, independent writer of the module's WAVE files.

Written from the file format alone, sharing no code with the module, so that
byte-for-byte agreement between the two means something. Standard library
only: math.sin is the C library's sin, as in the module.

    reference_wave.py KEYS OUTPUT.wav     write the file for KEYS
    reference_wave.py --sha256 KEYS...    print "DIGEST KEYS-AS-JSON" lines,
                                          the format of golden.sha256
"""
import functools
import hashlib
import json
import math
import struct
import sys

SAMPLE_RATE_HZ = 8000
TONE_SAMPLES = 2000          # 250 ms
PAUSE_SAMPLES = 2000         # 250 ms
SILENCE_LEVEL = 128
AMPLITUDE = 63.0
TWO_PI = 6.283185307179586
SECONDS_PER_SAMPLE = 0.000125

ROW_HZ = (697, 770, 852, 941)
COLUMN_HZ = (1209, 1336, 1477, 1633)
KEYPAD_ROWS = ("123A", "456B", "789C", "*0#D")

# Bytes that Windows-1252 gives its C1 control units, which Python's codec
# leaves undefined.
WINDOWS_1252_C1_UNITS = (0x81, 0x8D, 0x8F, 0x90, 0x9D)


def key_frequencies(key_byte):
    """(low, high) in hertz, or (0, 0) for a byte that is not a key."""
    for row, keys in enumerate(KEYPAD_ROWS):
        column = keys.encode("ascii").find(bytes([key_byte]))
        if column >= 0:
            return ROW_HZ[row], COLUMN_HZ[column]
    return 0, 0


@functools.lru_cache(maxsize=None)
def tone_samples(key_byte):
    low_hz, high_hz = key_frequencies(key_byte)
    step_low = (low_hz * TWO_PI) * SECONDS_PER_SAMPLE
    step_high = (high_hz * TWO_PI) * SECONDS_PER_SAMPLE
    samples = bytearray()
    for i in range(TONE_SAMPLES):
        x = float(i)
        s = math.sin(x * step_high) + math.sin(x * step_low)
        samples.append(SILENCE_LEVEL + int(s * AMPLITUDE))
    return bytes(samples)


def utf16_units(text):
    encoded = text.encode("utf-16-le", "surrogatepass")
    return struct.unpack("<%dH" % (len(encoded) // 2), encoded)


def windows_1252_byte(unit):
    if unit in WINDOWS_1252_C1_UNITS:
        return unit
    try:
        return chr(unit).encode("cp1252")[0]
    except UnicodeEncodeError:
        return ord("?")


def narrow_keys(text):
    return bytes(windows_1252_byte(unit) for unit in utf16_units(text))


def wave_header(data_bytes):
    return (b"RIFF" + struct.pack("<I", data_bytes + 36) + b"WAVE"
            + b"fmt " + struct.pack("<IHHIIHH", 16, 1, 1, SAMPLE_RATE_HZ, SAMPLE_RATE_HZ, 1, 8)
            + b"data" + struct.pack("<I", data_bytes))


def wave_bytes(text):
    pause = bytes([SILENCE_LEVEL]) * PAUSE_SAMPLES
    slots = b"".join(tone_samples(key) + pause for key in narrow_keys(text))
    return wave_header(len(slots)) + slots


def main(argv):
    if len(argv) >= 2 and argv[1] == "--sha256":
        for text in argv[2:]:
            digest = hashlib.sha256(wave_bytes(text)).hexdigest()
            print(digest, json.dumps(text, ensure_ascii=False))
        return 0
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    with open(argv[2], "wb") as output:
        output.write(wave_bytes(argv[1]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

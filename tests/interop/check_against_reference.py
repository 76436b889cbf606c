#!/usr/bin/python3
"""Holds the dtmfwave host's files to the independent reference writer.

    check_against_reference.py bytes  DTMFWAVE WORKDIR
        byte-exact agreement on a spread of key strings, and every file
        readable by Python's wave module
    check_against_reference.py golden DTMFWAVE WORKDIR GOLDEN_FILE
        the stored digests match both the host's files and the reference's
"""
import hashlib
import json
import os
import subprocess
import sys
import wave

import reference_wave

SIXTEEN_KEYS = "123A456B789C*0#D"
KEY_STRINGS = [
    "",
    "1",
    SIXTEEN_KEYS,           # keys 5 and 8 hold the three samples on a truncation boundary
    "0123456789#*",
    "abcd E-+ ",            # lower case, other letters and punctuation are silent
    "é€ü",                  # one Windows-1252 byte each
    "\u0081\u008d\u008f\u0090\u009d\u0080",  # C1 units: one silent slot each
    "Ł中Ω",                 # outside Windows-1252: '?'
    "1\U0001F600#",         # astral: two '?' slots, one per surrogate
    SIXTEEN_KEYS * 10 + "x9",
]
# The first samples of keys "1" and "D" as the format documents them; they
# check the reference itself before it judges anything.
DOCUMENTED_FIRST_SAMPLES = {
    "1": [128, 212, 243, 209, 140, 90, 85, 111],
    "D": [128, 230, 225, 137, 83, 104, 129, 99],
}
HEADER_BYTES = 44
SLOT_BYTES = 4000


def host_write(dtmfwave, keys, path):
    result = subprocess.run([dtmfwave, "--", keys, path], capture_output=True)
    if result.returncode != 0:
        raise AssertionError("dtmfwave %r failed (%d): %s" % (keys, result.returncode, result.stderr))
    with open(path, "rb") as output:
        return output.read()


def first_difference(a, b):
    return next((i for i, (x, y) in enumerate(zip(a, b)) if x != y), min(len(a), len(b)))


def wave_module_problems(path, expected_slots, raw):
    with wave.open(path, "rb") as reader:
        shape = (reader.getnchannels(), reader.getsampwidth(), reader.getframerate(), reader.getnframes())
        frames = reader.readframes(reader.getnframes())
    expected_shape = (1, 1, 8000, expected_slots * SLOT_BYTES)
    problems = []
    if shape != expected_shape:
        problems.append("wave module reads %r, expected %r" % (shape, expected_shape))
    if frames != raw[HEADER_BYTES:]:
        problems.append("wave module's frames differ from the data bytes")
    return problems


def check_bytes(dtmfwave, workdir):
    failures = []
    for key, samples in DOCUMENTED_FIRST_SAMPLES.items():
        if list(reference_wave.tone_samples(ord(key))[:8]) != samples:
            failures.append("reference disagrees with the documented samples of %r" % key)
    for index, keys in enumerate(KEY_STRINGS):
        path = os.path.join(workdir, "keys%d.wav" % index)
        actual = host_write(dtmfwave, keys, path)
        expected = reference_wave.wave_bytes(keys)
        if actual != expected:
            failures.append("%r: %d bytes, reference %d, first difference at byte %d"
                            % (keys, len(actual), len(expected), first_difference(actual, expected)))
        slots = len(reference_wave.narrow_keys(keys))
        failures += ["%r: %s" % (keys, p) for p in wave_module_problems(path, slots, actual)]
    return failures


def golden_entries(golden_file):
    with open(golden_file, encoding="utf-8") as lines:
        for line in lines:
            if line.strip() and not line.startswith("#"):
                digest, keys = line.rstrip("\n").split(" ", 1)
                yield digest, json.loads(keys)


def check_golden(dtmfwave, workdir, golden_file):
    failures = []
    entries = list(golden_entries(golden_file))
    if len(entries) < 5:
        failures.append("only %d golden digests in %s" % (len(entries), golden_file))
    for index, (digest, keys) in enumerate(entries):
        host_file = host_write(dtmfwave, keys, os.path.join(workdir, "golden%d.wav" % index))
        host_digest = hashlib.sha256(host_file).hexdigest()
        reference_digest = hashlib.sha256(reference_wave.wave_bytes(keys)).hexdigest()
        if host_digest != digest:
            failures.append("%r: module file %s, golden %s" % (keys, host_digest, digest))
        if reference_digest != digest:
            failures.append("%r: reference %s, golden %s" % (keys, reference_digest, digest))
    return failures


def main(argv):
    mode, dtmfwave, workdir = argv[1:4]
    os.makedirs(workdir, exist_ok=True)
    failures = check_bytes(dtmfwave, workdir) if mode == "bytes" else check_golden(dtmfwave, workdir, argv[4])
    for failure in failures:
        print("FAIL:", failure)
    print("%s: %d failure(s)" % (mode, len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

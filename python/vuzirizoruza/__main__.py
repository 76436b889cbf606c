"""python3 -m vuzirizoruza KEYS OUTPUT.wav: the dtmfwave host's command line,
for wherever the binding is installed and the host is not.

It writes one file (or, for OUTPUT.wav '-', the WAVE data to standard
output) and exits as the host does: 0 when the file was written, 1 with one
line naming the path and the reason when it was not, 2 for a usage error.
The host's batch mode and its note about silent characters are the host's
alone.
"""

import argparse
import os
import shutil
import sys
import tempfile

from . import __version__, create

EXIT_SUCCESS = 0
EXIT_FAILURE = 1
EXIT_USAGE = 2
STANDARD_OUTPUT = "-"

DESCRIPTION = """\
Writes the DTMF tones of KEYS to OUTPUT.wav: a RIFF WAVE file, 8000 Hz, 8-bit
unsigned PCM, mono. Every character is a 500 ms slot, 250 ms of its tone pair
and 250 ms of silence. 0-9, *, # and A-D sound; any other character is a
silent slot. OUTPUT.wav '-' is standard output."""

EPILOG = """\
An earlier file at OUTPUT.wav is kept when the new one cannot be written.
Exit status: 0 when the file was written, 1 when it could not be, 2 for a
usage error."""


def parser():
    result = argparse.ArgumentParser(prog="python3 -m vuzirizoruza", description=DESCRIPTION, epilog=EPILOG,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    result.add_argument("keys", metavar="KEYS", help="the keys, UTF-8; '--' before KEYS that start with '-'")
    result.add_argument("output", metavar="OUTPUT.wav", help="the file to write, or '-' for standard output")
    result.add_argument("-V", "--version", action="version", version="%(prog)s " + __version__)
    return result


def is_utf8(text):
    # Bytes of the command line that are not UTF-8 reach Python as lone
    # surrogates; the module would take them for other keys or another path.
    try:
        text.encode("utf-8")
    except UnicodeEncodeError:
        return False
    return True


def standard_output_write(keys):
    # The module writes a file; standard output gets its bytes, header first.
    with tempfile.TemporaryDirectory(prefix="vuzirizoruza-") as folder:
        temporary = os.path.join(folder, "stdout.wav")
        create(keys, temporary)
        with open(temporary, "rb") as wave:
            shutil.copyfileobj(wave, sys.stdout.buffer)
        sys.stdout.buffer.flush()


def main(argv=None):
    arguments = parser()
    options = arguments.parse_args(argv)
    prog = arguments.prog
    if not is_utf8(options.keys):
        print("%s: KEYS is not valid UTF-8" % prog, file=sys.stderr)
        return EXIT_USAGE
    if not options.output or not is_utf8(options.output):
        print("%s: OUTPUT.wav must be a non-empty UTF-8 path" % prog, file=sys.stderr)
        return EXIT_USAGE
    to_standard_output = options.output == STANDARD_OUTPUT
    shown = "<stdout>" if to_standard_output else options.output
    if to_standard_output and sys.stdout.isatty():
        print("%s: not writing WAVE data to a terminal; redirect standard output or name a file" % prog,
              file=sys.stderr)
        return EXIT_FAILURE
    try:
        if to_standard_output:
            standard_output_write(options.keys)
        else:
            create(options.keys, options.output)
    except OSError as error:
        print("%s: cannot write '%s': %s" % (prog, shown, error.strerror or error), file=sys.stderr)
        if isinstance(error, BrokenPipeError):
            # Python would report the pipe once more when it flushes
            # standard output at exit.
            os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return EXIT_FAILURE
    return EXIT_SUCCESS


if __name__ == "__main__":
    sys.exit(main())

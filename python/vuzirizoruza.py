"""Python binding for the VuzirizORURUZA module, through ctypes.

    import vuzirizoruza
    vuzirizoruza.create("123A#", "tones.wav")

The module takes null-terminated UTF-16 strings whatever the size of the
platform's wchar_t, so both arguments are encoded here by hand rather than
passed as ctypes.c_wchar_p, which is 32 bits wide on Linux.
"""

import ctypes
import ctypes.util
import os
import sys

__all__ = ["create", "load", "RESULT", "MAX_KEYS"]

# The value the call returns on every return.
RESULT = 999
# The longest key string, in narrow characters, one file can hold.
MAX_KEYS = 536870

_library = None


def _candidates():
    explicit = os.environ.get("VUZIRIZORURUZA_LIBRARY")
    if explicit:
        yield explicit
        return
    if sys.platform == "win32":
        yield "VUZIRIZORURUZA.dll"
    else:
        yield "libVuzirizORURUZA.so.1"
        found = ctypes.util.find_library("VuzirizORURUZA")
        if found:
            yield found


def load(path=None):
    """Loads the shared library, from path, from $VUZIRIZORURUZA_LIBRARY, or
    by its installed name; returns the ctypes handle."""
    global _library
    if path is None and _library is not None:
        return _library
    errors = []
    for candidate in [path] if path else _candidates():
        try:
            library = ctypes.CDLL(candidate, use_errno=True)
            break
        except OSError as error:
            errors.append(str(error))
    else:
        raise OSError("cannot load the VuzirizORURUZA module: " + "; ".join(errors))
    library.DTMFWaveCreate.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
    library.DTMFWaveCreate.restype = ctypes.c_int32
    if path is None:
        _library = library
    return library


def _utf16z(text):
    # surrogatepass keeps lone surrogates as the units they are; the module
    # itself decides what they mean (a '?' slot in keys, no file in a path).
    return text.encode("utf-16-le", "surrogatepass") + b"\0\0"


def create(keys, path, library=None):
    """Writes the DTMF tones of keys to the WAVE file at path.

    keys is a str (or None for a file with no slots), path a str or
    os.PathLike. Raises OSError with the module's errno when the file could
    not be written; the module then leaves nothing at path."""
    library = library or load()
    path = os.fspath(path)
    if isinstance(path, bytes):
        path = os.fsdecode(path)
    ctypes.set_errno(0)
    result = library.DTMFWaveCreate(None if keys is None else _utf16z(keys), _utf16z(path))
    reason = ctypes.get_errno()
    if result != RESULT:
        raise RuntimeError("DTMFWaveCreate returned %d, not %d" % (result, RESULT))
    if reason != 0:
        raise OSError(reason, os.strerror(reason), path)

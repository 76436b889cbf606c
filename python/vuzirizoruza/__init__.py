"""Python binding for the VuzirizORURUZA module: DTMF tones to WAVE files.

    import vuzirizoruza
    vuzirizoruza.create("123A#", "tones.wav")

or, from a shell, python3 -m vuzirizoruza 123A# tones.wav (see
python3 -m vuzirizoruza --help).

The file is a RIFF WAVE file of 8000 samples per second, 8-bit unsigned
PCM, one channel: a 44-byte header, then one 500 ms slot (4000 bytes) for
every character of the keys, 250 ms of the key's pair of DTMF tones and
250 ms of silence. The keys 0-9, *, # and A-D sound with the standard
frequency pairs; every other character is a silent slot. The keys are
converted to Windows-1252 first (on Windows, to the system's ANSI code
page), one slot for each byte: a character it cannot encode is one silent
slot, a character outside the Basic Multilingual Plane two. At most
MAX_KEYS bytes fit one file.

An existing file is replaced, and keeps its owner, group, permissions,
ACLs and the extended attributes the caller may set. When the file cannot
be written, create() raises OSError with the reason and the path; the
earlier file at the path is then kept as it was, and nothing is left
behind: no part of the new file and no temporary file.

The module takes null-terminated UTF-16 strings whatever the size of the
platform's wchar_t, so both arguments are encoded here by hand rather than
passed as ctypes.c_wchar_p, which is 32 bits wide on Linux.

The library is looked for in this order: the path given to load(), the
copy installed inside this package by `pip install`, then (for a source
tree) $VUZIRIZORURUZA_LIBRARY, and finally the system's library search path
(where Debian's python3-vuzirizoruza finds the module of libvuzirizoruza1).
"""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
from typing import Iterator, Optional, Union

__all__ = ["create", "load", "RESULT", "MAX_KEYS", "__version__"]

try:
    from ._version import __version__
except ImportError:  # a source tree, not an installed package
    __version__ = "0+unknown"

# The value the call returns on every return.
RESULT = 999
# The longest key string, in narrow characters, one file can hold.
MAX_KEYS = 536870

StrPath = Union[str, "os.PathLike[str]"]

_WINDOWS = sys.platform == "win32"
_LIBRARY_NAME = "VUZIRIZORURUZA.dll" if _WINDOWS else "libVuzirizORURUZA.so.1"

_library: Optional[ctypes.CDLL] = None


def _candidates() -> Iterator[str]:
    # pip install puts the module and its class library beside this file,
    # and that copy, made for this package, comes first; the module finds
    # the class library beside itself.
    bundled = os.path.join(os.path.dirname(os.path.abspath(__file__)), _LIBRARY_NAME)
    if os.path.exists(bundled):
        yield bundled
        return
    explicit = os.environ.get("VUZIRIZORURUZA_LIBRARY")
    if explicit:
        yield explicit
        return
    yield _LIBRARY_NAME
    found = ctypes.util.find_library("VuzirizORURUZA")
    if found:
        yield found


def load(path: Optional[StrPath] = None) -> ctypes.CDLL:
    """Loads the shared library, from path, from this package, from
    $VUZIRIZORURUZA_LIBRARY, or by its installed name; returns the ctypes
    handle."""
    global _library
    if path is None and _library is not None:
        return _library
    errors = []
    for candidate in [os.fspath(path)] if path is not None else _candidates():
        try:
            # Windows reports the module's failures in the thread's last-error
            # code; errno there belongs to whichever C runtime the DLL uses.
            library = ctypes.CDLL(candidate, use_errno=True, use_last_error=_WINDOWS)
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


def _utf16z(text: str, what: str) -> bytes:
    # A NUL would end the string early: the module would write other keys,
    # or another file. open() refuses such a path the same way.
    if "\0" in text:
        raise ValueError("embedded null character in " + what)
    # surrogatepass keeps lone surrogates as the units they are; the module
    # itself decides what they mean (a '?' slot in keys, no file in a path).
    return text.encode("utf-16-le", "surrogatepass") + b"\0\0"


def create(keys: Optional[str], path: StrPath, library: Optional[ctypes.CDLL] = None) -> None:
    """Writes the DTMF tones of keys to the WAVE file at path.

    keys is a str (or None for a file with no slots), path a str, bytes or
    os.PathLike. The file, in the format the module's documentation gives
    (help(vuzirizoruza)), is complete when the call returns; an existing
    file is replaced.

    Raises OSError with the reason (errno, or the Windows error on Windows)
    and the path when the file could not be written: the earlier file at
    path is then kept as it was, and no temporary file is left. Raises
    TypeError for arguments of other types and ValueError for a NUL in
    either."""
    if keys is not None and not isinstance(keys, str):
        raise TypeError("keys must be str or None, not " + type(keys).__name__)
    target = os.fspath(path)
    if isinstance(target, bytes):
        target = os.fsdecode(target)
    encoded_keys = None if keys is None else _utf16z(keys, "keys")
    encoded_path = _utf16z(target, "path")
    library = library or load()
    if _WINDOWS:
        ctypes.set_last_error(0)
    ctypes.set_errno(0)
    result = library.DTMFWaveCreate(encoded_keys, encoded_path)
    if _WINDOWS:
        code = ctypes.get_last_error()
        if result != RESULT:
            raise RuntimeError("DTMFWaveCreate returned %d, not %d" % (result, RESULT))
        if code != 0:
            # The fourth argument makes OSError map the Win32 code to errno.
            raise OSError(0, ctypes.FormatError(code), target, code)
        return
    reason = ctypes.get_errno()
    if result != RESULT:
        raise RuntimeError("DTMFWaveCreate returned %d, not %d" % (result, RESULT))
    if reason != 0:
        raise OSError(reason, os.strerror(reason), target)

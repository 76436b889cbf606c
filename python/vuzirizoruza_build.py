"""The build backend of the vuzirizoruza package (PEP 517), with the native
module inside the wheel.

`pip install .`, in python/ or at the top of the tree, calls build_wheel
here: CMake configures the tree, builds the module and its class library
and installs their Runtime component into a staging folder; the two
libraries go into the package beside the binding, which loads them from
there. The backend needs nothing beyond the standard library, CMake and a
C++ compiler, so the install works offline, with or without build
isolation, in a bare virtual environment (which has no `wheel` package).
"""

import base64
import hashlib
import os
import re
import shutil
import subprocess
import sys
import sysconfig
import tempfile
import zipfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
TOP = HERE.parent
NAME = "vuzirizoruza"

SUMMARY = "DTMF tones to 8-bit PCM WAVE files, through the VuzirizORURUZA module"
DESCRIPTION = """\
vuzirizoruza.create(keys, path) writes the DTMF tones of a keypad string to a
RIFF WAVE file: 8000 Hz, 8-bit unsigned PCM, mono, one 500 ms slot per
character; python3 -m vuzirizoruza KEYS OUTPUT.wav does the same from a shell.
The native module is built from the source tree and carried inside the package.
"""
CLASSIFIERS = [
    "License :: OSI Approved :: MIT License",
    "Programming Language :: Python :: 3",
    "Topic :: Communications :: Telephony",
    "Topic :: Multimedia :: Sound/Audio",
    "Typing :: Typed",
]


def project_version():
    # The public header is the version's one source, for CMake as for pip.
    header = TOP / "dtmf" / "DTMFWave.h"
    text = header.read_text(encoding="utf-8")
    parts = []
    for part in ("MAJOR", "MINOR", "PATCH", "TWEAK"):
        match = re.search(r"^#define DTMFWAVE_VERSION_%s +([0-9]+)$" % part, text, re.MULTILINE)
        if not match:
            raise RuntimeError("no '#define DTMFWAVE_VERSION_%s <number>' in %s" % (part, header))
        parts.append(match.group(1))
    return ".".join(parts)


def platform_tag():
    # ctypes needs no particular Python ABI, only the platform's.
    return "py3-none-" + re.sub(r"[^A-Za-z0-9]", "_", sysconfig.get_platform())


def native_library_names():
    if sys.platform == "win32":
        return ["VUZIRIZORURUZA.dll", "VuzClassLibrary.dll"]
    # The sonames: the names the module is loaded by and links against.
    return ["libVuzirizORURUZA.so.1", "libVuzClassLibrary.so.1"]


def run(command):
    print("vuzirizoruza_build: " + " ".join(command), file=sys.stderr, flush=True)
    try:
        subprocess.run(command, check=True, stdout=sys.stderr)
    except FileNotFoundError:
        raise RuntimeError("vuzirizoruza_build: %s not found; the package builds its native module "
                           "with CMake 3.21 or newer and a C++20 compiler (or set $CMAKE)" % command[0])


def native_build(work):
    """Builds the module and its class library; returns the folder holding them."""
    cmake = os.environ.get("CMAKE", "cmake")
    build = work / "cmake"
    staging = work / "staging"
    jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 1))
    run([cmake, "-S", str(TOP), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release", "-DBUILD_TESTING=OFF",
         "-DCMAKE_INSTALL_LIBDIR=lib", "-DCMAKE_INSTALL_BINDIR=bin"])
    run([cmake, "--build", str(build), "--config", "Release", "--target", "VuzirizORURUZA",
         "--parallel", jobs])
    # The installed copies, not the build tree's: they carry the run path
    # that finds the class library beside the module, and no debug data.
    run([cmake, "--install", str(build), "--config", "Release", "--component", "Runtime",
         "--prefix", str(staging), "--strip"])
    return staging / ("bin" if sys.platform == "win32" else "lib")


def metadata(version):
    lines = [
        "Metadata-Version: 2.1",
        "Name: " + NAME,
        "Version: " + version,
        "Summary: " + SUMMARY,
        "Author: The VuzirizORURUZA developers",
        "License: MIT",
        "Requires-Python: >=3.8",
    ]
    lines += ["Classifier: " + classifier for classifier in CLASSIFIERS]
    lines += ["Description-Content-Type: text/plain", "", DESCRIPTION]
    return "\n".join(lines)


class WheelWriter:
    """A wheel is a zip with a RECORD of every file's hash and size."""

    def __init__(self, path):
        self.zip = zipfile.ZipFile(path, "w", compression=zipfile.ZIP_DEFLATED)
        self.records = []

    def add(self, name, data):
        data = self._store(name, data)
        digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
        self.records.append("%s,sha256=%s,%d" % (name, digest, len(data)))

    def close(self, record_name):
        # RECORD names itself without a hash.
        self.records.append(record_name + ",,")
        self._store(record_name, "\n".join(self.records) + "\n")
        self.zip.close()

    def _store(self, name, data):
        if isinstance(data, str):
            data = data.encode("utf-8")
        # A fixed date and mode: the same tree gives the same wheel.
        info = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
        info.external_attr = 0o644 << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        self.zip.writestr(info, data)
        return data


def get_requires_for_build_wheel(config_settings=None):
    return []


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    version = project_version()
    tag = platform_tag()
    dist_info = "%s-%s.dist-info" % (NAME, version)
    wheel_name = "%s-%s-%s.whl" % (NAME, version, tag)
    work = Path(tempfile.mkdtemp(prefix="vuzirizoruza-build-"))
    try:
        library_dir = native_build(work)
        wheel = WheelWriter(Path(wheel_directory) / wheel_name)
        for source in sorted((HERE / NAME).iterdir()):
            if source.is_file() and source.suffix in (".py", ".typed") and source.name != "_version.py":
                wheel.add(NAME + "/" + source.name, source.read_bytes())
        wheel.add(NAME + "/_version.py",
                  '"""The CMake project version this package was built from."""\n\n'
                  "__version__ = %r\n" % version)
        for library in native_library_names():
            # read_bytes follows the soname link to the versioned file; a
            # wheel holds no symbolic links.
            wheel.add(NAME + "/" + library, (library_dir / library).read_bytes())
        license_text = (TOP / "LICENSE").read_bytes()
        wheel.add(NAME + "/LICENSE", license_text)
        wheel.add(dist_info + "/LICENSE", license_text)
        wheel.add(dist_info + "/METADATA", metadata(version))
        wheel.add(dist_info + "/WHEEL", "Wheel-Version: 1.0\nGenerator: vuzirizoruza_build\n"
                  "Root-Is-Purelib: false\nTag: %s\n" % tag)
        wheel.add(dist_info + "/top_level.txt", NAME + "\n")
        wheel.close(dist_info + "/RECORD")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return wheel_name

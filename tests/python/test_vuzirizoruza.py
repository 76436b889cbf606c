"""The ctypes binding, end to end: files read back with the wave module."""

import errno
import os
import pathlib
import subprocess
import sys
import tempfile
import unittest
import wave

PACKAGE_PARENT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", "python"))
sys.path.insert(0, PACKAGE_PARENT)
import vuzirizoruza  # noqa: E402

SLOT_FRAMES = 4000


def read_wave(path):
    with wave.open(path, "rb") as reader:
        params = (reader.getnchannels(), reader.getsampwidth(), reader.getframerate())
        return params, reader.readframes(reader.getnframes())


class BindingTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)

    def path(self, name):
        return os.path.join(self.folder.name, name)

    def test_files_read_back_with_the_wave_module(self):
        cases = {"1#": 2, "": 0, None: 0, "abc": 3, "é€": 2, "\U0001F600": 2, "\ud800": 1, "9" * 150: 150}
        for keys, slots in cases.items():
            with self.subTest(keys=keys):
                target = self.path("out.wav")
                vuzirizoruza.create(keys, target)
                params, frames = read_wave(target)
                self.assertEqual(params, (1, 1, 8000))
                self.assertEqual(len(frames), slots * SLOT_FRAMES)
                for slot in range(slots):
                    start = slot * SLOT_FRAMES
                    self.assertEqual(frames[start], 128)
                    self.assertEqual(set(frames[start + 2000:start + SLOT_FRAMES]), {128})

    def test_sounding_and_silent_slots_differ(self):
        target = self.path("mixed.wav")
        vuzirizoruza.create("1a", pathlib.Path(target))
        _, frames = read_wave(target)
        self.assertGreater(len(set(frames[:2000])), 100)
        self.assertEqual(set(frames[SLOT_FRAMES:]), {128})

    def test_failures_raise_with_the_reason_and_leave_nothing(self):
        missing = self.path("no/such/folder/out.wav")
        with self.assertRaises(OSError) as raised:
            vuzirizoruza.create("1", missing)
        self.assertEqual(raised.exception.errno, errno.ENOENT)

        existing = self.path("kept.wav")
        with open(existing, "wb") as old:
            old.write(b"keep me")
        with self.assertRaises(OSError) as raised:
            vuzirizoruza.create("1" * (vuzirizoruza.MAX_KEYS + 1), existing)
        self.assertEqual(raised.exception.errno, errno.EFBIG)
        with open(existing, "rb") as old:
            self.assertEqual(old.read(), b"keep me")

        with self.assertRaises(OSError) as raised:
            vuzirizoruza.create("1", self.path("bad\udc00.wav"))
        self.assertEqual(raised.exception.errno, errno.EILSEQ)
        self.assertEqual(os.listdir(self.folder.name), ["kept.wav"])

    def test_bad_arguments_are_refused_before_the_call(self):
        target = self.path("never.wav")
        for keys in (b"1#", 1, ["1"]):
            with self.subTest(keys=keys), self.assertRaises(TypeError):
                vuzirizoruza.create(keys, target)
        with self.assertRaises(TypeError):
            vuzirizoruza.create("1", 3.5)
        # A NUL would cut the string short: other keys, or another file.
        with self.assertRaises(ValueError):
            vuzirizoruza.create("1\0" + "2", target)
        with self.assertRaises(ValueError):
            vuzirizoruza.create("1", target + "\0.other")
        self.assertEqual(os.listdir(self.folder.name), [])

    def run_module(self, *arguments):
        environment = dict(os.environ, PYTHONPATH=PACKAGE_PARENT)
        return subprocess.run([sys.executable, "-m", "vuzirizoruza", *arguments], cwd=self.folder.name,
                              env=environment, stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def test_the_command_line_exits_as_the_host_does(self):
        written = self.run_module("1a#", "out.wav")
        self.assertEqual((written.returncode, written.stderr), (0, b""))
        _, frames = read_wave(self.path("out.wav"))
        self.assertEqual(len(frames), 3 * SLOT_FRAMES)

        piped = self.run_module("1a#", "-")
        self.assertEqual(piped.returncode, 0)
        with open(self.path("out.wav"), "rb") as file:
            self.assertEqual(piped.stdout, file.read())

        missing = os.path.join("no", "such", "out.wav")
        failed = self.run_module("1", missing)
        self.assertEqual(failed.returncode, 1)
        message = failed.stderr.decode()
        self.assertEqual(message.count("\n"), 1, message)
        self.assertIn(missing, message)
        self.assertIn(os.strerror(errno.ENOENT), message)

        for arguments in ((), ("1",), ("1", "a.wav", "extra"), ("--no-such-option", "1", "a.wav"),
                          ("1\udcff", "a.wav"), ("1", "")):
            with self.subTest(arguments=arguments):
                self.assertEqual(self.run_module(*arguments).returncode, 2)
        self.assertEqual(sorted(os.listdir(self.folder.name)), ["out.wav"])

        helped = self.run_module("-h")
        self.assertEqual(helped.returncode, 0)
        self.assertIn(b"KEYS OUTPUT.wav", helped.stdout)


if __name__ == "__main__":
    unittest.main()

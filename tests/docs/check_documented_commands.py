"""Holds README.md and docs/*.md to what the build tree does.

- console blocks are transcripts: each runs in an empty folder, '$ ' lines
  as commands, and the lines after each must be what it prints (standard
  output and error together);
- the README's c, cpp and python examples compile, write call.wav with the
  host's bytes, and fail with a message naming call.wav when it cannot be
  written;
- relative links, scripts/ commands, VUZ_ options and the ZIPs' version
  name things that exist.

Blocks marked sh are commands, not transcripts, and are not run here.
"""

import argparse
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

MARKER = "@@docs-check-command-done@@"
EXAMPLE_KEYS = "555*0#"
EXAMPLE_OUTPUT = "call.wav"

failures = []


def fail(where, message):
    failures.append(f"{where}: {message}")
    print(f"FAIL: {where}: {message}")


def fenced_blocks(text):
    """Yields (language, body, first line number) of every fenced block,
    indented ones in lists included, with the fence's indent taken off."""
    lines = text.splitlines()
    i = 0
    while i < len(lines):
        opening = re.match(r"^(\s*)```(\w*)\s*$", lines[i])
        if not opening:
            i += 1
            continue
        indent, language = opening.group(1), opening.group(2)
        body = []
        start = i + 1
        i += 1
        while i < len(lines) and lines[i].strip() != "```":
            line = lines[i]
            body.append(line[len(indent):] if line.startswith(indent) else line.lstrip())
            i += 1
        yield language, "\n".join(body) + "\n", start + 1
        i += 1


def prose(text):
    """The text outside fenced blocks, where links mean something."""
    return re.sub(r"^\s*```.*?^\s*```\s*$", "", text, flags=re.M | re.S)


def heading_anchors(text):
    # GitHub's anchors: lower case, punctuation dropped, spaces as hyphens.
    anchors = set()
    for heading in re.findall(r"^#+\s+(.*?)\s*$", prose(text), flags=re.M):
        anchors.add(re.sub(r"[^\w\- ]", "", heading.lower()).replace(" ", "-"))
    return anchors


def check_references(pages, source, version):
    # Where options and variables are defined and read; the pages
    # themselves do not count.
    tree_files = [os.path.join(source, name) for name in ("CMakeLists.txt", "CMakePresets.json")]
    for top in ("cmake", "scripts", "platform", "dtmf", "module", "cli", "tests", "python", "fuzz", "bench"):
        for folder, _, files in os.walk(os.path.join(source, top)):
            tree_files += [os.path.join(folder, name) for name in files if not name.endswith(".md")]
    tree_text = []
    for path in tree_files:
        with open(path, encoding="utf-8", errors="replace") as f:
            tree_text.append(f.read())
    tree_text = "\n".join(tree_text)

    for page, text in pages.items():
        here = os.path.dirname(os.path.join(source, page))
        for target in sorted(set(re.findall(r"\]\(([^)\s]+)\)", prose(text)))):
            if re.match(r"^[a-z]+:", target):
                continue
            path, _, anchor = target.partition("#")
            resolved = os.path.normpath(os.path.join(here, path)) if path else os.path.join(source, page)
            if not os.path.exists(resolved):
                fail(page, f"the link {target} names no file")
            elif anchor and resolved.endswith(".md"):
                with open(resolved, encoding="utf-8") as f:
                    if anchor not in heading_anchors(f.read()):
                        fail(page, f"the link {target} names no heading")
        for script in sorted(set(re.findall(r"\bscripts/[\w.-]+\.(?:sh|py)\b", text))):
            if not os.path.isfile(os.path.join(source, script)):
                fail(page, f"{script} does not exist")
        for name in sorted(set(re.findall(r"\bVUZ_[A-Z0-9_]+\b", text))):
            if not re.search(r"\b" + name + r"\b", tree_text):
                fail(page, f"{name} is used nowhere in the tree")
        for named in re.findall(r"VuzirizORURUZA-(\d+(?:\.\d+)+)-win", text):
            if named != version:
                fail(page, f"a ZIP named for version {named}, not {version}")


def transcript(body):
    """[(command, expected output lines)] of a console block."""
    steps = []
    for line in body.splitlines():
        if line.startswith("$ "):
            steps.append((line[2:], []))
        elif steps:
            steps[-1][1].append(line.rstrip())
        elif line.strip():
            return None
    return steps


def check_transcript(where, body, environment, work):
    steps = transcript(body)
    if not steps:
        fail(where, "a console block must start with a '$ ' command")
        return
    folder = tempfile.mkdtemp(dir=work)
    # One shell for the block, so that $? and variables carry from one
    # command to the next as they do for a user; each command's status is
    # put back after its marker.
    script = "exec 2>&1\n" + "".join(
        f"{command}\n__status=$?; printf '\\n{MARKER}\\n'; (exit $__status)\n" for command, _ in steps)
    run = subprocess.run(["bash", "-c", script], cwd=folder, env=environment, stdout=subprocess.PIPE,
                         stdin=subprocess.DEVNULL, timeout=300)
    outputs = run.stdout.decode("utf-8", "replace").split(f"\n{MARKER}\n")
    if len(outputs) != len(steps) + 1:
        fail(where, f"the shell ended after {len(outputs) - 1} of {len(steps)} commands: {outputs[-1]!r}")
    for (command, expected), output in zip(steps, outputs):
        got = [line.rstrip() for line in output.splitlines()]
        if got != expected:
            fail(where, f"$ {command}\n  documented: {expected}\n  printed:    {got}")


def example_run(where, command, environment, work):
    """Runs an example program in a fresh folder, then again where call.wav
    is a folder; returns the first folder."""
    written = tempfile.mkdtemp(dir=work)
    run = subprocess.run(command, cwd=written, env=environment, capture_output=True, timeout=120)
    if run.returncode != 0:
        fail(where, f"exits with {run.returncode}: {run.stderr.decode(errors='replace')}")
    refused = tempfile.mkdtemp(dir=work)
    os.mkdir(os.path.join(refused, EXAMPLE_OUTPUT))
    run = subprocess.run(command, cwd=refused, env=environment, capture_output=True, timeout=120)
    if run.returncode == 0 or EXAMPLE_OUTPUT.encode() not in run.stderr:
        fail(where, f"does not report a call.wav it cannot write (status {run.returncode}, "
                    f"stderr {run.stderr.decode(errors='replace')!r})")
    return written


def example_command(where, language, body, args, folder):
    """Writes the example into folder and builds it; returns the command
    that runs it, or None when it cannot be run."""
    if language == "python":
        source = os.path.join(folder, "app.py")
        with open(source, "w", encoding="utf-8") as f:
            f.write(body)
        return [args.python, source]
    includes = [f"-I{directory}" for directory in args.include.split("|") if directory]
    source = os.path.join(folder, "app.c" if language == "c" else "app.cpp")
    with open(source, "w", encoding="utf-8") as f:
        f.write(body)
    compiler, standard = (args.cc, "-std=c11") if language == "c" else (args.cxx, "-std=c++17")
    program = os.path.join(folder, "app")
    # Instrumented like the module it links, or the sanitizer runtime
    # would not come first.
    sanitize = [f"-fsanitize={args.sanitize}"] if args.sanitize else []
    build = [compiler, standard, "-Wall", "-Wextra", "-Werror", *sanitize, *includes, source, args.library,
             f"-Wl,-rpath,{os.path.dirname(args.library)}", "-o", program]
    compiled = subprocess.run(build, capture_output=True, text=True)
    if compiled.returncode != 0:
        fail(where, f"does not compile: {shlex.join(build)}\n{compiled.stderr}")
        return None
    return [program]


def check_examples(blocks, args, environment, work, reference):
    for language in ("c", "cpp", "python"):
        found = [(body, line) for lang, body, line in blocks if lang == language]
        if len(found) != 1:
            fail("README.md", f"{len(found)} {language} examples, where one is expected")
            continue
        body, line = found[0]
        where = f"README.md:{line} ({language} example)"
        failed_before = len(failures)
        command = example_command(where, language, body, args, tempfile.mkdtemp(dir=work))
        if command is None:
            continue
        run_environment = dict(environment)
        if language == "python" and args.sanitize:
            # The interpreter is not instrumented: the module's sanitizer
            # runtime has to be loaded first, as the python suite does it.
            runtime = "libtsan.so" if "thread" in args.sanitize else "libasan.so"
            found_runtime = subprocess.run([args.cc, f"-print-file-name={runtime}"], capture_output=True, text=True)
            run_environment["LD_PRELOAD"] = found_runtime.stdout.strip()
            run_environment["ASAN_OPTIONS"] = run_environment.get("ASAN_OPTIONS", "") + ":detect_leaks=0"
        written = example_run(where, command, run_environment, work)
        output = os.path.join(written, EXAMPLE_OUTPUT)
        if not os.path.exists(output):
            fail(where, "writes no call.wav")
        else:
            with open(output, "rb") as f, open(reference, "rb") as g:
                if f.read() != g.read():
                    fail(where, f"call.wav is not what dtmfwave '{EXAMPLE_KEYS}' call.wav writes")
        if len(failures) == failed_before:
            print(f"ok: {where}")


def main():
    parser = argparse.ArgumentParser()
    for option in ("source", "dtmfwave", "library", "include", "cc", "cxx", "python", "version", "work"):
        parser.add_argument("--" + option, required=True)
    parser.add_argument("--sanitize", default="")
    # Files the pages name that another change brings: while they are
    # missing, what needs them is named as not run.
    args = parser.parse_args()

    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    pages = {}
    for page in ["README.md"] + sorted("docs/" + name for name in os.listdir(os.path.join(args.source, "docs"))
                                       if name.endswith(".md")):
        with open(os.path.join(args.source, page), encoding="utf-8") as f:
            pages[page] = f.read()

    environment = dict(os.environ)
    environment["PATH"] = os.path.dirname(args.dtmfwave) + os.pathsep + environment.get("PATH", "")
    environment["PYTHONPATH"] = os.path.join(args.source, "python")
    environment["VUZIRIZORURUZA_LIBRARY"] = args.library
    environment["PYTHONDONTWRITEBYTECODE"] = "1"
    environment["LC_ALL"] = "C.UTF-8"

    check_references(pages, args.source, args.version)
    transcripts = 0
    for page, text in pages.items():
        for language, body, line in fenced_blocks(text):
            if language == "console":
                transcripts += 1
                check_transcript(f"{page}:{line}", body, environment, args.work)
    print(f"{transcripts} transcripts run")

    reference = os.path.join(args.work, "reference.wav")
    subprocess.run([args.dtmfwave, "-q", EXAMPLE_KEYS, reference], check=True)
    check_examples(list(fenced_blocks(pages["README.md"])), args, environment, args.work, reference)

    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

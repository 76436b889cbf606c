#!/usr/bin/env bash
# The checks that read the code instead of running it, each with zero
# findings allowed:
#   - every C and C++ file of the tree is formatted as .clang-format says;
#   - clang-tidy (the checks in .clang-tidy) and cppcheck (warning,
#     performance, portability) over the sources of the library, its
#     platform layers and dtmfwave, as the build tree compiles them.
# A deliberate exception is suppressed where it stands, with its reason.
#
#   scripts/static-checks.sh [BUILD]   BUILD: a configured Linux tree (build)
#
# The tree needs a compilation database: scripts/test.sh configures it with
# -DCMAKE_EXPORT_COMPILE_COMMANDS=ON, and this script does the same to a
# tree that lacks one.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
vuz_install_packages clang-format-14 clang-tidy-14 cppcheck git python3

build=${1:-build}
failed=0

echo "== clang-format"
git ls-files -z '*.c' '*.cpp' '*.h' '*.hpp' \
  | xargs -0 clang-format-14 --dry-run -Werror --ferror-limit=1 || {
  echo "error: the files above are not formatted; run: git ls-files '*.c' '*.cpp' '*.h' '*.hpp' | xargs clang-format-14 -i" >&2
  failed=1
}

if [ ! -f "$build/compile_commands.json" ]; then
  cmake -S . -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
fi
# The library, its platform layers and the host; the tests, benchmarks and
# fuzzers are code of another kind, held to their own checks.
checked=$(mktemp -d)
trap 'rm -rf "$checked"' EXIT
python3 - "$build/compile_commands.json" "$PWD" "$checked" <<'EOF'
import json, os, sys
database, root, out = sys.argv[1:]
kept = [entry for entry in json.load(open(database))
        if os.path.relpath(entry["file"], root).split(os.sep)[0] in ("cli", "dtmf", "module", "platform")]
if not kept:
    sys.exit("error: no library or host source in " + database)
json.dump(kept, open(os.path.join(out, "compile_commands.json"), "w"))
with open(os.path.join(out, "files"), "w") as files:
    files.write("\n".join(sorted({entry["file"] for entry in kept})) + "\n")
EOF

echo "== clang-tidy, $(wc -l <"$checked/files") files"
xargs -P"$(nproc)" -n1 clang-tidy-14 -p "$checked" --quiet <"$checked/files" 2>/dev/null || failed=1

echo "== cppcheck"
cppcheck --project="$checked/compile_commands.json" --enable=warning,performance,portability \
  --inline-suppr --error-exitcode=1 --quiet -j"$(nproc)" || failed=1

if [ "$failed" -ne 0 ]; then
  echo "error: the static checks found the problems above" >&2
  exit 1
fi
echo "== static checks passed"

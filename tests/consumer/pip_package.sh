#!/usr/bin/env bash
# Installs the Python package as a user would, with pip into fresh virtual
# environments and nothing fetched: from python/ without build isolation,
# and from the top of a copy of the tree with it. From an unrelated folder,
# with no library path set, the binding must find the module it carries and
# write the build tree's bytes.
# Usage: pip_package.sh SOURCE_DIR REFERENCE_DTMFWAVE VERSION
set -euo pipefail
source_dir=$1 reference=$2 version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python=/usr/bin/python3
keys='123A456B789C*0#Dx'
status=0
fail() { echo "FAIL: $*"; status=1; }

# A copy, so that whatever the build leaves behind stays out of the tree.
mkdir "$work/src"
tar -C "$source_dir" --exclude='./build*' --exclude=./.git -cf - . | tar -C "$work/src" -xf -
"$reference" -q "$keys" "$work/reference.wav"
mkdir "$work/elsewhere"

install_and_use() {  # install_and_use NAME PIP_ARGUMENTS...
  local name=$1 venv=$work/$1
  shift
  "$python" -m venv "$venv"
  if ! "$venv/bin/pip" install --no-index --quiet "$@" >"$work/$name.log" 2>&1; then
    cat "$work/$name.log"
    fail "$name: pip install failed"
    return
  fi
  (cd "$work/elsewhere" && env -u VUZIRIZORURUZA_LIBRARY -u LD_LIBRARY_PATH -u PYTHONPATH \
    "$venv/bin/python" - "$keys" "$work/$name.wav" "$version" <<'PY'
import os, sys
import vuzirizoruza
keys, target, version = sys.argv[1:]
package = os.path.dirname(vuzirizoruza.__file__)
assert package.startswith(sys.prefix), package
assert vuzirizoruza.__version__ == version, vuzirizoruza.__version__
assert os.path.isfile(os.path.join(package, "py.typed"))
vuzirizoruza.create(keys, target)
PY
  ) || fail "$name: the installed package did not write the file"
  cmp -s "$work/reference.wav" "$work/$name.wav" && echo "ok: $name" || fail "$name: differs from the build tree's output"
}

install_and_use from-python-folder --no-build-isolation "$work/src/python"
install_and_use from-top "$work/src"
exit $status

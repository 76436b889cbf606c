#!/usr/bin/env bash
# Runs the whole test suite under AddressSanitizer + UndefinedBehaviorSanitizer
# (with the file-operation fault seam built in) and under ThreadSanitizer,
# then each libFuzzer target for VUZ_FUZZ_SECONDS (default 60). Any sanitizer
# report, failed test or fuzzer crash fails the run.
#
#   scripts/test-reliability.sh              everything
#   VUZ_FUZZ_SECONDS=10 scripts/test-reliability.sh
#   VUZ_RELIABILITY_STEPS="asan fuzz" scripts/test-reliability.sh
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
vuz_install_packages cmake make g++ clang-14 libclang-rt-14-dev libgtest-dev libgmock-dev \
  libsndfile1-dev sndfile-programs multimon-ng sox libspandsp-dev python3 binutils acl attr

fuzz_seconds=${VUZ_FUZZ_SECONDS:-60}
steps=${VUZ_RELIABILITY_STEPS:-asan tsan fuzz}
jobs=$(nproc)
started=$SECONDS

# Hosts that are not instrumented themselves (the Python interpreter, the
# installed-tree consumers) load the instrumented module only when the
# sanitizer runtime is preloaded; they run apart from the rest, and without
# leak checks, which would report the interpreter's own memory.
run_suite() {
  local build=$1 runtime=$2 preloaded=$3
  ctest --test-dir "$build" --output-on-failure -j"$jobs" -E "$preloaded"
  LD_PRELOAD="$(gcc -print-file-name="$runtime")" ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" \
    ctest --test-dir "$build" --output-on-failure -j"$jobs" -R "$preloaded"
}

configure_and_build() {
  local build=$1; shift
  cmake -S . -B "$build" -DBUILD_TESTING=ON "$@" >/dev/null
  cmake --build "$build" -j"$jobs"
}

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

if [[ " $steps " == *" asan "* ]]; then
  echo "== AddressSanitizer + UndefinedBehaviorSanitizer, with the fault seam"
  configure_and_build build-rel-asan -DVUZ_SANITIZE=address,undefined -DVUZ_FAULT_INJECTION=ON
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 run_suite build-rel-asan libasan.so '^(python\.|consumer\.)'
fi

if [[ " $steps " == *" tsan "* ]]; then
  echo "== ThreadSanitizer"
  configure_and_build build-rel-tsan -DVUZ_SANITIZE=thread
  run_suite build-rel-tsan libtsan.so '^python\.'
fi

if [[ " $steps " == *" fuzz "* ]]; then
  echo "== libFuzzer, ${fuzz_seconds} s a target"
  build=build-rel-fuzz
  CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -DBUILD_TESTING=ON -DVUZ_BUILD_FUZZERS=ON \
    -DVUZ_SANITIZE=address,undefined >/dev/null
  cmake --build "$build" -j"$jobs" --target WaveCreateFuzzer AnsiFromWideFuzzer
  for target in WaveCreateFuzzer AnsiFromWideFuzzer; do
    # New inputs go to a scratch folder; the committed seeds stay as they are.
    scratch=$(mktemp -d)
    log="$build/fuzz/$target.log"
    # Up to 4096 UTF-16 units: a 16 MB file at most.
    if ! "$build/fuzz/$target" -max_total_time="$fuzz_seconds" -max_len=8192 -timeout=30 \
        -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$build/fuzz/$target-" \
        "$scratch" "fuzz/corpus/$target" >"$log" 2>&1; then
      tail -n 40 "$log"
      rm -rf "$scratch"
      echo "error: $target failed; the input that did it is in $build/fuzz/$target-*" >&2
      exit 1
    fi
    rm -rf "$scratch"
    echo "$target: $(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}') executions," \
      "$(grep -E '^Done' "$log")"
  done
fi

echo "== reliability suite passed in $((SECONDS - started)) s"

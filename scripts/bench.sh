#!/usr/bin/env bash
# Builds the benchmarks and times the module beside SpanDSP's dtmf_tx, a
# plain scalar writer and the floor (the finished bytes written from memory),
# all in one run with the repetitions interleaved, then prints the ratio
# table. Needs libbenchmark-dev and libspandsp-dev.
#   scripts/bench.sh [Google Benchmark flags...]
# The build goes to $VUZ_BENCH_BUILD_DIR (default: build-bench).
set -euo pipefail

source_dir=$(cd "$(dirname "$0")/.." && pwd)
. "$source_dir/scripts/deps.sh"
vuz_install_packages cmake make g++ pkg-config libbenchmark-dev libspandsp-dev
build_dir=${VUZ_BENCH_BUILD_DIR:-"$source_dir/build-bench"}

cmake -S "$source_dir" -B "$build_dir" -DVUZ_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build_dir" --target vuz_bench -j2 >/dev/null

exec "$build_dir/bench/vuz_bench" --benchmark_repetitions=7 \
  --benchmark_enable_random_interleaving=true --benchmark_min_time=0.2 "$@"

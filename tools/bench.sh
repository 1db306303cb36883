#!/bin/sh
# Builds optimised zvtape and the benchmarks in their own folder and prints
# the table of docs/performance.md. Arguments go to zvbench: --quick for a
# smoke check, --verbose for every run's rates, --help for the rest.
#
#   tools/bench.sh            the whole table (about 3 minutes on 2 cores)
#   tools/bench.sh --quick    a smaller run that only shows that it all works
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZV_BENCH_BUILD_DIR:-"$root/build-bench"}
generator=
if command -v ninja >/dev/null 2>&1; then generator="-G Ninja"; fi
# shellcheck disable=SC2086
cmake -S "$root" -B "$build" $generator -DCMAKE_BUILD_TYPE=Release -DZV_BUILD_BENCH=ON -DZV_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target zvbench >/dev/null
exec "$build/bench/zvbench" "$@"

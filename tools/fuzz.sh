#!/bin/bash
# Builds the libFuzzer targets of fuzz/ with clang and runs each one for a
# bounded time on its committed seed corpus.
#
#   tools/fuzz.sh [seconds-per-target] [target ...]     (default 60 s, every target)
#
# New inputs found on the way go to a scratch corpus (the committed one stays
# as it is); a crash, leak, sanitizer report or timeout stops that target,
# leaves the input in build-fuzz/findings/ and makes the script fail.
# Replay one input: build-fuzz/fuzz/<target> build-fuzz/findings/<file>
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_options fuzz_options_file fuzz_dsc fuzz_vbus fuzz_number fuzz_dump)
build=${ZV_FUZZ_BUILD:-$root/build-fuzz}
cxx=${ZV_FUZZ_CXX:-$(command -v clang++-14 || command -v clang++)}
if [ -z "$cxx" ]; then
  echo "tools/fuzz.sh: clang++ is needed (Debian: apt-get install clang-14 libclang-rt-14-dev)" >&2
  exit 2
fi

set -e
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=None \
  -DCMAKE_CXX_FLAGS="-O1 -gline-tables-only" \
  -DZV_BUILD_FUZZ=ON -DZV_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target "${targets[@]}"
set +e

mkdir -p "$build/findings"
failed=()
for target in "${targets[@]}"; do
  scratch=$(mktemp -d)
  echo "== $target: ${seconds} s"
  # Detected leaks count as findings; one slow input (10 s) is a finding too.
  "$build/fuzz/$target" "$scratch" "$root/fuzz/corpus/$target" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
    -artifact_prefix="$build/findings/$target-" -print_final_stats=1 2>"$build/findings/$target.log"
  status=$?
  grep -E '^(stat::number_of_executed_units|stat::new_units_added)' "$build/findings/$target.log" | tr '\n' ' '
  echo
  if [ $status -ne 0 ]; then
    failed+=("$target")
    grep -E 'ERROR|SUMMARY|runtime error|Test unit written' "$build/findings/$target.log" | head -20
  fi
  rm -rf "$scratch"
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzzing found problems in: ${failed[*]} (logs and inputs in $build/findings/)" >&2
  exit 1
fi
echo "fuzzing: no findings"

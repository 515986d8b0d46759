#!/usr/bin/env bash
# Builds the fuzz targets with Clang (libFuzzer, ASan, UBSan), replays their
# seeds and regression inputs, then fuzzes each for a bounded time. Fails on
# any finding; the input that caused it is left in build-fuzz/findings/ and
# belongs in fuzz/regressions/<target>/ once fixed.
# Usage: scripts/fuzz.sh [seconds-per-target [target...]]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
shift || true
targets=("$@")
dir=build-fuzz

cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 -DQUILLBROOK_FUZZ=ON >/dev/null
# The target list and UBSAN_OPTIONS, as fuzz/CMakeLists.txt defines them.
source "$dir/fuzz_settings.sh"
[ "${#targets[@]}" -gt 0 ] || targets=("${fuzz_targets[@]}")
cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)" --target "${targets[@]}"

selected=$(IFS='|'; echo "${targets[*]}")
ctest --test-dir "$dir" --output-on-failure -R "^fuzz_replay\.($selected)\$"

mkdir -p "$dir/findings"
for target in "${targets[@]}"; do
  # A scratch corpus, so that what the fuzzer adds stays out of the source tree.
  corpus="$dir/corpus/$target"
  mkdir -p "$corpus"
  echo "== fuzzing $target for ${seconds}s"
  # A slow input is a finding: the targets that expand their input
  # (fuzz/repeated_input.h) reach 1 MiB, which every linear reading does in
  # well under a second even with the sanitizers, and a reading that costs the
  # square of the length does in minutes.
  "$dir/$target" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$dir/findings/$target-" "$corpus" "fuzz/corpus/$target" 2>"$dir/$target.log" || {
      grep -A30 -E "ERROR|runtime error|property broken" "$dir/$target.log" | head -60
      echo "$target: finding kept in $dir/findings/" >&2
      exit 1
    }
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$dir/$target.log" | tr '\n' ' '
  echo
done

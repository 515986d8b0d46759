#!/usr/bin/env bash
# The JSON pass-through of a 1 MiB answer: ours (Google Benchmark) beside
# `jq -S .` on the same bytes. Usage: bench/compare_jq.sh [build-dir]
set -euo pipefail
build="${1:-build}"
sample="$(mktemp)"
trap 'rm -f "$sample" "$sample.times"' EXIT
"$build/json_passthrough_bench" --write-sample "$sample"
bytes=$(wc -c < "$sample")
"$build/json_passthrough_bench" --benchmark_filter=ParseThenWrite
hyperfine -N --style none --warmup 3 --runs 20 --export-json "$sample.times" "jq -S . $sample" >/dev/null
seconds=$(jq '.results[0].median' "$sample.times")
awk -v b="$bytes" -v s="$seconds" 'BEGIN { printf "jq -S . : %.1f MB/s (median of 20 runs, whole process)\n", b / s / 1e6 }'

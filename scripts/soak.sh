#!/usr/bin/env bash
# Soak: one `quillbrook-cli mcp` process serves 100,000 small tool calls and
# 2,000 near-1 MiB answers; its open descriptors at the end must equal those
# after the warm-up (the first tenth), and its resident memory must not rise
# steadily over the rest (bench/mcp_soak.cpp says how that is read). Bounded
# counts, not timed. Where the build has the development agent, its soak
# follows: memory after a burst of large requests, processor time while it is
# out of descriptors (bench/dev_agent_soak.cpp).
# Usage: scripts/soak.sh [build-dir [small-calls [large-calls]]]
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
cmake --build "$dir" --target soaks
"$dir/mcp_soak" "$dir/quillbrook-cli" "${2:-100000}" "${3:-2000}"
if [ -x "$dir/dev_agent_soak" ]; then
  "$dir/dev_agent_soak"
fi

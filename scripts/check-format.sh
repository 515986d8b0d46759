#!/usr/bin/env bash
# Checks that the C++ sources under src/, tests/, fuzz/ and bench/ follow
# .clang-format, with Debian's clang-format; lists every file that does not.
# Fix one with `clang-format -i FILE`.
set -euo pipefail
cd "$(dirname "$0")/.."

format=${CLANG_FORMAT:-clang-format}
command -v "$format" >/dev/null || { echo "check-format: $format not found (apt-get install clang-format)" >&2; exit 1; }

mapfile -t files < <(git ls-files -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' \
                                     'fuzz/*.cpp' 'fuzz/*.h' 'bench/*.cpp' 'bench/*.h')
# One clang-format per file, as many at once as there are cores.
mapfile -t unformatted < <(printf '%s\0' "${files[@]}" |
  xargs -0 -n 8 -P "$(nproc 2>/dev/null || echo 2)" sh -c \
    'for file; do "$0" --dry-run --Werror "$file" >/dev/null 2>&1 || echo "$file"; done' "$format")
if [ "${#unformatted[@]}" -gt 0 ]; then
  printf 'not formatted: %s\n' "${unformatted[@]}" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files formatted"

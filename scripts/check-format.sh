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
unformatted=()
for file in "${files[@]}"; do
  "$format" --dry-run --Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
done
if [ "${#unformatted[@]}" -gt 0 ]; then
  printf 'not formatted: %s\n' "${unformatted[@]}" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files formatted"

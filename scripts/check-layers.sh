#!/usr/bin/env bash
# Checks that every #include "..." under src/ points down the layer table in
# scripts/layers.txt, or stays in its own folder: none points up, and none
# crosses between the client and the development agent beyond json/ and
# util/. Lists every include that does not.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A below=()
while read -r layer lower; do
  [[ -z $layer || $layer == \#* ]] && continue
  below[$layer]=$lower
done <scripts/layers.txt

# Every layer a file of $1 may include: itself and all below it.
reachable() {
  local -A seen=()
  local queue=("$1") layer next
  while [ "${#queue[@]}" -gt 0 ]; do
    layer=${queue[0]}
    queue=("${queue[@]:1}")
    [ -z "${seen[$layer]:-}" ] || continue
    seen[$layer]=1
    for next in ${below[$layer]:-}; do queue+=("$next"); done
  done
  echo "${!seen[@]}"
}

declare -A allowed=()
for layer in "${!below[@]}"; do
  allowed[$layer]=" $(reachable "$layer") "
done

# folder_of PATH sets `folder` to the folder of a path relative to src/, "."
# for a file at the top (without a subshell: this runs for every include).
folder_of() {
  if [[ $1 == */* ]]; then folder=${1%/*}; else folder=.; fi
}

violations=()
checked=0
declare -A unknown_reported=()
while IFS= read -r include; do
  file=${include%%:*}
  included=${include#*\"}
  included=${included%%\"*}
  folder_of "${file#src/}"
  including=$folder
  if [ -z "${allowed[$including]:-}" ]; then
    [ -n "${unknown_reported[$including]:-}" ] || violations+=("$file: its folder $including is not in scripts/layers.txt")
    unknown_reported[$including]=1
    continue
  fi
  checked=$((checked + 1))
  # Quoted includes are found beside the file first, then from src/.
  if [ -e "${file%/*}/$included" ] && [ "$including" != . ]; then
    folder_of "$including/$included"
  else
    folder_of "$included"
  fi
  [[ ${allowed[$including]} == *" $folder "* ]] ||
    violations+=("$file includes \"$included\": $including may not include $folder")
done < <(git ls-files -z -- 'src/*.cpp' 'src/*.h' 'src/*.c' |
  xargs -0 grep -H -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' || true)

if [ "${#violations[@]}" -gt 0 ]; then
  printf 'layers: %s\n' "${violations[@]}" >&2
  exit 1
fi
echo "check-layers: $checked includes point down the layers of scripts/layers.txt"

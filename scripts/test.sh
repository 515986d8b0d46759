#!/usr/bin/env bash
# Builds everything and runs every test: first the format and layer checks, then a
# release build, an ASan/UBSan build and a Clang 19 build against libc++ (the
# C++ library of macOS); then packages the release build, installs the package
# on this machine, checks it and removes it; then the soak on the release build
# and the fuzz targets (Clang, libFuzzer) for a bounded minute each. Name steps
# to run only those, e.g. `scripts/test.sh fuzz`.
# QUILLBROOK_SKIP_INSTALL=1 skips installing the packages, for machines that
# have everything already.
set -euo pipefail
cd "$(dirname "$0")/.."

steps=("$@")
[ "${#steps[@]}" -gt 0 ] || steps=(format release asan libcxx package soak fuzz client-only macos)

[ "${QUILLBROOK_SKIP_INSTALL:-}" = 1 ] || scripts/install-deps.sh

build_and_test() {
  local variant=$1 dir="build-test-$1"
  local flags=(-DCMAKE_BUILD_TYPE=Release)
  [ "$variant" = asan ] && flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLBROOK_SANITIZE=ON -DQUILLBROOK_BENCHMARKS=OFF)
  echo "== $variant build"
  if [ "$variant" = libcxx ]; then
    # Only the standard variables, as someone building for libc++ would set them.
    CC=clang-19 CXX=clang++-19 CXXFLAGS=-stdlib=libc++ LDFLAGS=-stdlib=libc++ \
      cmake -S . -B "$dir" -G Ninja >/dev/null
  else
    cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
  fi
  cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)"
  echo "== $variant tests"
  ctest --test-dir "$dir" --output-on-failure -j 2
}

for step in "${steps[@]}"; do
  case $step in
    format)
      echo "== format"
      scripts/check-format.sh
      scripts/check-layers.sh
      ;;
    release | asan | libcxx) build_and_test "$step" ;;
    package) scripts/package-test.sh build-test-release ;;
    soak)
      echo "== soak"
      cmake -S . -B build-test-release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
      scripts/soak.sh build-test-release
      ;;
    fuzz)
      echo "== fuzz"
      scripts/fuzz.sh 60
      ;;
    # The client without GMime, from the release tarball through the Homebrew formula.
    client-only) scripts/client-only-test.sh build-test-client ;;
    # The universal macOS binary, cross-built with zig, and what it links.
    macos) scripts/cross-macos.sh build-test-macos ;;
    *) echo "unknown step: $step (format, release, asan, libcxx, package, soak, fuzz, client-only, macos)" >&2; exit 64 ;;
  esac
done

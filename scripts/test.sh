#!/usr/bin/env bash
# Builds everything and runs every test: first the format and layer checks, then a
# release build, an ASan/UBSan build and a Clang 19 build against libc++ (the
# C++ library of macOS); then packages the release build, installs the package
# on this machine, checks it and removes it; then the soak on the release build
# and the fuzz targets (Clang, libFuzzer) for 35 seconds each. Name steps
# to run only those, e.g. `scripts/test.sh fuzz`.
# QUILLBROOK_SKIP_INSTALL=1 skips installing the packages, for machines that
# have everything already. At the end, also after a failure, a table gives
# each step's wall time.
set -euo pipefail
cd "$(dirname "$0")/.."

steps=("$@")
[ "${#steps[@]}" -gt 0 ] || steps=(format release asan libcxx package soak fuzz client-only macos)

step_names=()
step_seconds=()
current_step=""
step_started=0
start_step() {
  current_step=$1
  step_started=$SECONDS
}
end_step() {
  [ -n "$current_step" ] || return 0
  step_names+=("$current_step")
  step_seconds+=($((SECONDS - step_started)))
  current_step=""
}
print_step_times() {
  local status=$? failed=$current_step
  end_step
  [ -z "$failed" ] || step_names[-1]="$failed (failed)"
  echo "== wall time"
  printf '%-22s %7s\n' step seconds
  local i
  for i in "${!step_names[@]}"; do
    printf '%-22s %7d\n' "${step_names[$i]}" "${step_seconds[$i]}"
  done
  printf '%-22s %7d\n' total "$SECONDS"
  return "$status"
}
trap print_step_times EXIT

if [ "${QUILLBROOK_SKIP_INSTALL:-}" != 1 ]; then
  start_step install-deps
  scripts/install-deps.sh
  end_step
fi

# Every build compiles through ccache where it is installed (the macOS one
# sets it up itself), so that a translation unit two steps compile alike,
# such as the client's in the release and the client-only builds, is
# compiled once, and a rerun compiles only what changed. The base directory
# makes the paths in each compile command relative to its build directory, and
# leaving the working directory out of the hash lets a build with debug
# information (ASan, fuzzing) reuse what a clone elsewhere compiled.
if command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
fi

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
  [ "$variant" = release ] && export QUILLBROOK_REQUIRE_REAL_MAIL=1
  ctest --test-dir "$dir" --output-on-failure -j 2
}

for step in "${steps[@]}"; do
  start_step "$step"
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
      # Every target, about five minutes in all.
      scripts/fuzz.sh 35
      ;;
    # The client without GMime, from the release tarball through the Homebrew formula.
    client-only) scripts/client-only-test.sh build-test-client ;;
    # The universal macOS binary, cross-built with zig, and what it links.
    macos) scripts/cross-macos.sh build-test-macos ;;
    *) echo "unknown step: $step (format, release, asan, libcxx, package, soak, fuzz, client-only, macos)" >&2; exit 64 ;;
  esac
  end_step
done

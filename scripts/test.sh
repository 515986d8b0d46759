#!/usr/bin/env bash
# Builds everything and runs every test: once as a release build, once under
# AddressSanitizer and UndefinedBehaviorSanitizer; then packages the release
# build, installs the package on this machine, checks it and removes it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

for variant in release asan; do
  dir="build-test-$variant"
  flags=(-DCMAKE_BUILD_TYPE=Release)
  [ "$variant" = asan ] && flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLBROOK_SANITIZE=ON -DQUILLBROOK_BENCHMARKS=OFF)
  echo "== $variant build"
  cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
  cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)"
  echo "== $variant tests"
  ctest --test-dir "$dir" --output-on-failure -j 2
done

scripts/package-test.sh build-test-release

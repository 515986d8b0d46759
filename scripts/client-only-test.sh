#!/usr/bin/env bash
# The client alone, as a machine without GMime builds it (a Mac, above all):
# pkg-config finds nothing, a plain configure says so in one line and leaves
# the development agent out; then the release tarball is built and installed
# the way the Homebrew formula does it, the formula's own test runs against
# the result, and the client's tests run on that build.
# Usage: scripts/client-only-test.sh [WORK-DIRECTORY]
set -euo pipefail
cd "$(dirname "$0")/.."
work=${1:-build-test-client}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

echo "== client-only: the release tarball"
cmake -S . -B build-test-release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
# The target's last line is the tarball's sha256 and path.
checksum_line=$(cmake --build build-test-release --target dist | tail -n 1)
echo "$checksum_line"
tarball=${checksum_line##* }

# From here on no pkg-config package exists, GMime's and GLib's included.
no_packages=$(mktemp -d)
trap 'rm -rf -- "$no_packages"' EXIT
export PKG_CONFIG_LIBDIR=$no_packages PKG_CONFIG_PATH=

echo "== client-only: configuring without GMime"
rm -rf "$work"
configure_log=$(cmake -S . -B "$work/fallback" -G Ninja -DCMAKE_BUILD_TYPE=Release 2>&1)
notice="GMime 3, SQLite 3 or toml++ not found: building quillbrook-cli alone, without quillbrook-dev-agent"
grep -qxF "$notice" <<<"$configure_log" || fail "configuring did not say: $notice"
! grep -q 'quillbrook-dev-agent' "$work/fallback/build.ninja" || fail "the fallback build still makes the development agent"

echo "== client-only: the Homebrew formula"
ruby -c packaging/homebrew/quillbrook-cli.rb
CMAKE_GENERATOR=Ninja CMAKE_BUILD_PARALLEL_LEVEL=2 \
  ruby tests/install/homebrew_formula_check.rb packaging/homebrew/quillbrook-cli.rb "$tarball" "$work/formula" ||
  fail "the formula check"

build=$(echo "$work"/formula/quillbrook-cli-*/build)
if [ -d "$build" ]; then
  ! grep -Eiq 'gmime|glib|sqlite' "$build/compile_commands.json" "$build/build.ninja" ||
    fail "the client-only build names GMime, GLib or SQLite"
  echo "== client-only tests"
  ctest --test-dir "$build" --output-on-failure -j 2 || fail "ctest"
fi

[ "$failures" -eq 0 ] && echo "client-only build as expected"
exit $((failures > 0))

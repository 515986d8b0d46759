#!/usr/bin/env bash
# Installs what building, testing and packaging need, from Debian's packages and the npm
# registry. Safe to run again: it installs only what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake ninja-build ccache g++ pkg-config
  libcli11-dev nlohmann-json3-dev libboost1.81-dev libfast-float-dev libgmime-3.0-dev libsqlite3-dev
  libtomlplusplus-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  jq hyperfine socat
  clang-14 libclang-rt-14-dev clang-format
  clang-19 libc++-19-dev libc++abi-19-dev googletest
  help2man man-db bsdextrautils bash-completion zsh fish
  dpkg-dev file
  # the development agent's end-to-end test against a real IMAP server and sync tools
  dovecot-imapd isync offlineimap python3
  # the release tarball, the Homebrew formula check and the macOS cross build
  git ruby llvm-19
)
# Node.js may come from elsewhere with npm bundled; take Debian's only when absent.
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The MCP interoperability test drives the server with three MCP clients
# (tests/interop); the benchmark's reference server is written with the
# official TypeScript SDK (bench/sdk_reference); the MCP bundle is checked with
# the pinned packer (packaging/mcpb).
if command -v npm >/dev/null 2>&1; then
  npm ci --prefix tests/interop --no-audit --no-fund --loglevel=error
  npm ci --prefix bench/sdk_reference --no-audit --no-fund --loglevel=error
  npm ci --prefix packaging/mcpb --no-audit --no-fund --loglevel=error
fi

#!/bin/sh
# Checks an MCP bundle as the release does: the packer's own validation of its
# manifest, a repack with the packer (pinned in package-lock.json here), the
# binary at mode 0755, and one MCP session with the binary inside it, started as
# its manifest says (tests/interop/bundle_session.mjs).
# Exits 77, which ctest counts as skipped, where Node.js or the packer is not
# installed (npm ci --prefix packaging/mcpb).
# Usage: packaging/mcpb/check-bundle.sh BUNDLE.mcpb VERSION
set -eu
[ $# -eq 2 ] || { echo "usage: check-bundle.sh BUNDLE.mcpb VERSION" >&2; exit 64; }
here=$(cd "$(dirname "$0")" && pwd)
bundle=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
mcpb=$here/node_modules/.bin/mcpb
if ! command -v node >/dev/null 2>&1 || [ ! -x "$mcpb" ]; then
  echo "SKIPPED: Node.js or the MCP bundle packer is missing; run: npm ci --prefix packaging/mcpb"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$bundle")

mode=$(stat -c %a "$work/unpacked/server/quillbrook-cli" 2>/dev/null || stat -f %Lp "$work/unpacked/server/quillbrook-cli")
[ "$mode" = 755 ] || { echo "FAIL: server/quillbrook-cli has mode $mode, not 755"; exit 1; }
"$mcpb" validate "$work/unpacked/manifest.json"
"$mcpb" pack "$work/unpacked" "$work/repacked.mcpb" >/dev/null
echo "ok - the packer packs the bundle's contents"
node "$here/../../tests/interop/bundle_session.mjs" "$work/unpacked" "$2"

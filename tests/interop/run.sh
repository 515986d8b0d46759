#!/bin/sh
# Runs the interoperability test with the quillbrook-cli given as $1. Exits 77,
# which ctest counts as skipped, where Node.js or the SDK is not installed.
case "$0" in
  */*) here=$(cd "${0%/*}" && pwd) ;;
  *) here=$(pwd) ;;
esac
if ! command -v node >/dev/null 2>&1; then
  echo "SKIPPED: Node.js (node) is not installed; the MCP SDK interoperability test needs it"
  exit 77
fi
if [ ! -d "$here/node_modules/@modelcontextprotocol/sdk" ]; then
  echo "SKIPPED: the MCP TypeScript SDK is not installed; run: npm ci --prefix tests/interop"
  exit 77
fi
exec node "$here/sdk_client.mjs" "$1"

#!/bin/sh
# Runs the interoperability tests with the quillbrook-cli given as $1, which
# must report the version $2: the MCP TypeScript SDK 1.x and v2 clients and the
# AI SDK's client, each against the stand-in agent in common.mjs. Exits 77,
# which ctest counts as skipped, where Node.js or the clients are not installed.
case "$0" in
  */*) here=$(cd "${0%/*}" && pwd) ;;
  *) here=$(pwd) ;;
esac
if ! command -v node >/dev/null 2>&1; then
  echo "SKIPPED: Node.js (node) is not installed; the MCP client interoperability tests need it"
  exit 77
fi
for package in @modelcontextprotocol/sdk @modelcontextprotocol/client @ai-sdk/mcp zod ajv ajv-formats; do
  if [ ! -d "$here/node_modules/$package" ]; then
    echo "SKIPPED: the MCP clients are not installed ($package is missing); run: npm ci --prefix tests/interop"
    exit 77
  fi
done
clients="sdk_client.mjs sdk_v2_client.mjs ai_sdk_client.mjs"
# The v2 client needs Node.js 20 or later; the others run on 18.
if [ "$(node -p 'process.versions.node.split(".")[0]')" -lt 20 ]; then
  echo "SKIPPED sdk_v2_client.mjs: it needs Node.js 20 or later, this is $(node --version)"
  clients="sdk_client.mjs ai_sdk_client.mjs"
fi
status=0
for client in $clients; do
  echo "# $client"
  node "$here/$client" "$1" "$2" || status=1
done
exit $status

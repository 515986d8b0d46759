#!/usr/bin/env bash
# A short tour from a fresh clone: installs what the build needs, builds, starts
# the development agent over a copy of the sample mailbox in a throwaway HOME,
# runs the main commands and an MCP session, and stops the agent again.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target quillbrook-cli quillbrook-dev-agent
cli=$PWD/build/quillbrook-cli
agent=$PWD/build/quillbrook-dev-agent

tour_home=$(mktemp -d "${TMPDIR:-/tmp}/quillbrook-tour.XXXXXX")
agent_pid=""
stop_agent() {
  if [ -n "$agent_pid" ]; then
    kill "$agent_pid" 2>/dev/null || true
    wait "$agent_pid" 2>/dev/null || true
  fi
  rm -rf "$tour_home"
}
trap stop_agent EXIT

# The client finds the agent at $HOME/.quillbrook/agent.sock, where the agent
# listens by default: no configuration needed.
cp -R examples/mail "$tour_home/mail"
export HOME=$tour_home
unset QUILLBROOK_SOCKET XDG_CONFIG_HOME  # nor does the agent read the user's configuration file
"$agent" --account "ada@example.com=$HOME/mail/ada:Ada Lindqvist" \
         --account "sam.okafor@example.org=$HOME/mail/sam:Sam Okafor" 2>"$HOME/agent.log" &
agent_pid=$!
# The socket file appears only once the agent listens on it.
for _ in $(seq 100); do
  [ -S "$HOME/.quillbrook/agent.sock" ] && break
  if ! kill -0 "$agent_pid" 2>/dev/null; then
    cat "$HOME/agent.log" >&2
    exit 1
  fi
  sleep 0.1
done

bold=""; plain=""
if [ -t 1 ]; then bold=$'\033[1m'; plain=$'\033[0m'; fi
heading() { printf '\n%s%s%s\n' "$bold" "$*" "$plain"; }

# Echoes the command as it would be typed, then runs it.
show() {
  local shown="$ quillbrook-cli" arg
  for arg in "$@"; do
    case $arg in
      *[[:space:]]*) shown+=" '$arg'" ;;
      *) shown+=" $arg" ;;
    esac
  done
  heading "$shown"
  "$cli" "$@"
}

show accounts list
fetched=$(show fetch --limit 5)
printf '%s\n' "$fetched"
uid=$(printf '%s\n' "$fetched" | sed -n 's/^ *"uid": "\([0-9]*\)".*/\1/p' | head -n 1)
show read "$uid"
show draft reply "$uid" --body "Thursday 12:15 works for me. See you there!"
show drafts list

heading '$ quillbrook-cli mcp   # initialize, tools/list, then tools/call list_emails'
"$cli" mcp <<'MCP'
{"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2024-11-05","capabilities":{},"clientInfo":{"name":"tour","version":"1.0"}}}
{"jsonrpc":"2.0","method":"notifications/initialized"}
{"jsonrpc":"2.0","id":2,"method":"tools/list"}
{"jsonrpc":"2.0","id":3,"method":"tools/call","params":{"name":"list_emails","arguments":{"account":"ada@example.com","folder":"Archive","limit":2}}}
MCP

heading "Stopping the development agent. It logged:"
kill "$agent_pid"
wait "$agent_pid" || true
agent_pid=""
cat "$HOME/agent.log"

#!/usr/bin/env zsh
# Loads the generated zsh completion with the completion system's _describe and
# _message replaced by recorders, and checks what <TAB> offers at several depths.
# Usage: zsh_completion_test.zsh COMPLETION-FILE
emulate -L zsh
completion=$1
integer failures=0
typeset -a offered

_describe() { offered=("${(@P)${@[-1]}}") }
_message() { offered=("message:${@[-1]}") }

expect() {
  local line=$1 expected=$2
  words=(${(z)line})
  [[ $line == *' ' ]] && words+=('')
  CURRENT=${#words}
  offered=()
  _quillbrook_cli
  local actual="${(j:|:)offered}"
  if [[ $actual != $expected ]]; then
    print -r -- "FAIL: '$line<TAB>' offered '$actual', expected '$expected'"
    (( failures++ ))
  fi
}

words=(quillbrook-cli '') CURRENT=2
source $completion >/dev/null

expect 'quillbrook-cli dr' 'accounts:List email accounts|fetch:Fetch email messages (list_emails)|read:Read a specific email message (read_email)|draft:Create reply/new drafts|drafts:List and inspect local drafts|mcp:Start MCP (Model Context Protocol) server — thin shim over agent.sock'
expect 'quillbrook-cli draft ' 'create:Create a new draft (local by default; --server for server drafts)|reply:Create a threaded reply draft to an existing message'
expect 'quillbrook-cli fetch --' '-h:Print this help message and exit|--help:Print this help message and exit|--folder:Folder to fetch from (default: INBOX)|--limit:Maximum number of messages to fetch (default: 50)|--account:Email account to use'
expect 'quillbrook-cli fetch --folder ' 'message:folder'
expect 'quillbrook-cli drafts status ' 'message:<draft-id>'
expect 'quillbrook-cli draft reply --folder drafts ' 'message:<message-id>'

(( failures == 0 )) && print "all completions as expected"
exit $(( failures > 0 ))

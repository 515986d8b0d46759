#!/usr/bin/env bash
# Loads the generated bash completion into this bash and checks what <TAB>
# offers at several depths of the command tree.
# Usage: bash_completion_test.sh COMPLETION-FILE
set -uo pipefail
source "$1"

failures=0

# Completes LINE as if <TAB> were pressed at its end and prints the candidates.
complete_line() {
    local line=$1
    # bash splits words at spaces and, for --name=value, at the equals sign.
    read -ra COMP_WORDS <<<"${line//=/ = }"
    [[ $line == *" " || $line == *= ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE=$line
    COMP_POINT=${#line}
    COMPREPLY=()
    _quillbrook_cli
    echo "${COMPREPLY[*]}"
}

expect() {
    local line=$1 expected=$2 actual
    actual=$(complete_line "$line")
    if [[ $actual != "$expected" ]]; then
        echo "FAIL: '$line<TAB>' offered '$actual', expected '$expected'"
        failures=$((failures + 1))
    fi
}

expect "quillbrook-cli " "accounts fetch read draft drafts mcp"
expect "quillbrook-cli dr" "draft drafts"
expect "quillbrook-cli draft " "create reply"
expect "quillbrook-cli drafts s" "status"
expect "quillbrook-cli accounts " "list current"
expect "quillbrook-cli --" "--help --version"
expect "quillbrook-cli fetch --" "--help --folder --limit --account"
expect "quillbrook-cli fetch --l" "--limit"
expect "quillbrook-cli read 42 --" "--help --folder --account"
expect "quillbrook-cli draft reply 42 --s" "--subject --server"
expect "quillbrook-cli draft create --to a@example.org --" "--help --to --subject --body --account --server"
# An option's value is not a command: "drafts" here is a folder name.
expect "quillbrook-cli fetch --folder drafts --" "--help --folder --limit --account"
expect "quillbrook-cli fetch --folder=drafts --a" "--account"
expect "quillbrook-cli read --folder " ""
expect "quillbrook-cli read --folder=" ""
# Leaves take no more commands.
expect "quillbrook-cli fetch " ""
expect "quillbrook-cli mcp " ""
expect "quillbrook-cli accounts list --" "--help"

# The script is registered for the program's name.
[[ $(complete -p quillbrook-cli) == "complete -F _quillbrook_cli quillbrook-cli" ]] ||
    { echo "FAIL: not registered: $(complete -p quillbrook-cli 2>&1)"; failures=$((failures + 1)); }

[[ $failures -eq 0 ]] && echo "all completions as expected"
exit $((failures > 0))

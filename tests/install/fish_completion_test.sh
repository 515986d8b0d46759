#!/usr/bin/env bash
# Loads the generated fish completion into a real fish and checks what <TAB>
# offers (fish's own `complete -C`), with the descriptions fish shows.
# Usage: fish_completion_test.sh COMPLETION-FILE
set -uo pipefail
completion=$1
failures=0

expect() {
    local line=$1 expected=$2 actual
    actual=$(fish --no-config -c "source '$completion'; complete -C '$line'" | cut -f1 | sort | tr '\n' ' ')
    if [[ $actual != "$expected" ]]; then
        echo "FAIL: '$line<TAB>' offered '$actual', expected '$expected'"
        failures=$((failures + 1))
    fi
}

expect "quillbrook-cli dr" "draft drafts "
expect "quillbrook-cli draft " "create reply "
expect "quillbrook-cli fetch --" "--account --folder --help --limit "
expect "quillbrook-cli fetch --folder drafts --a" "--account "
expect "quillbrook-cli draft reply 42 --s" "--server --subject "
expect "quillbrook-cli drafts " "delete list status "
expect "quillbrook-cli mcp " ""

description=$(fish --no-config -c "source '$completion'; complete -C 'quillbrook-cli fetch --l'" | cut -f2)
[[ $description == "Maximum number of messages to fetch (default: 50)" ]] ||
    { echo "FAIL: --limit described as '$description'"; failures=$((failures + 1)); }

[[ $failures -eq 0 ]] && echo "all completions as expected"
exit $((failures > 0))

#!/usr/bin/env bash
# Compares the help of every command (following each "Subcommands:" list) with
# the expected bytes in a file. To accept a deliberate change to the help:
#   help_test.sh build/quillbrook-cli >tests/install/quillbrook-cli-help.txt
# Usage: help_test.sh PROGRAM [EXPECTED-FILE]
set -uo pipefail
program=$1

all_help() {
    local -a words=("$@")
    local help child
    help=$("$program" "${words[@]}" --help; echo "status $?")
    printf '== %s --help\n%s\n' "${words[*]}" "$help"
    for child in $(sed -n '/^Subcommands:$/,/^$/s/^  \([^ ]*\) .*/\1/p' <<<"$help"); do
        all_help "${words[@]}" "$child"
    done
}

if [[ $# -lt 2 ]]; then
    all_help
    exit 0
fi
diff -u "$2" <(all_help) && echo "the help of every command is as expected"

#!/usr/bin/env bash
# Checks a manual page against the program's own --help, command by command
# (following each "Subcommands:" list): every usage line, every option name and
# every description the help prints must be in the rendered page.
# Usage: man_page_test.sh PROGRAM MANUAL-PAGE
set -uo pipefail
program=$1
page=$2
failures=0

# The page as a reader sees it, a paragraph a line, spaces squeezed (without
# man-db's seccomp sandbox, which some containers refuse).
rendered=$(MAN_DISABLE_SECCOMP=1 MANWIDTH=2000 man -l "$page" 2>/dev/null | col -bx | tr -s ' ')
[[ -n $rendered ]] || { echo "FAIL: $page does not render"; exit 1; }

require() {
    if [[ $rendered != *"$1"* ]]; then
        echo "FAIL: $2: the page lacks '$1'"
        failures=$((failures + 1))
    fi
}

check_command() {
    local help section line name description child
    local -a words=("$@") children=()
    help=$("$program" "${words[@]}" --help) || { echo "FAIL: ${words[*]} --help failed"; failures=$((failures + 1)); return; }
    while IFS= read -r line; do
        case $line in
            Usage:*) require "$(tr -s ' ' <<<"${line#Usage: }")" "usage of '${words[*]}'" ;;
            Options: | Positionals: | Subcommands:) section=$line ;;
            "  "[!\ ]*)
                # "  --name <value>   Description", or the description on the next line.
                name=$(sed -E 's/^  ([^ ]+).*/\1/' <<<"$line")
                description=$(sed -E 's/^  [^ ].*[^ ]  +([^ ].*)$/\1/; t; d' <<<"$line")
                if [[ $section == Subcommands: ]]; then
                    children+=("$name")
                elif [[ $section == Options: ]]; then
                    require "${name##*,}" "option of '${words[*]}'"
                fi
                [[ -n $description ]] && require "$(tr -s ' ' <<<"$description")" "'${words[*]} $name'"
                ;;
            "      "*) require "$(sed -E 's/^ +//' <<<"$line" | tr -s ' ')" "'${words[*]}'" ;;
        esac
    done <<<"$help"
    for child in "${children[@]}"; do
        check_command "${words[@]}" "$child"
    done
}

check_command
require "$("$program" --version)" "the version"
[[ $failures -eq 0 ]] && echo "$(basename "$page") matches the help of $(basename "$program")"
exit $((failures > 0))

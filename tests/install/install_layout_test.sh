#!/usr/bin/env bash
# Installs the build into a staging directory with DESTDIR and a prefix of its
# own, and checks that every file lands where its platform looks for it.
# Usage: install_layout_test.sh BUILD-DIRECTORY client [dev-agent]
# (the programs the build makes; a client-only build installs nothing else).
set -uo pipefail
build=$1
shift
stage=$(mktemp -d)
trap 'rm -rf -- "$stage"' EXIT
prefix=/opt/quillbrook
failures=0

DESTDIR=$stage cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL: cmake --install"; exit 1; }
root=$stage$prefix

declare -A files_of=(
    [client]="bin/quillbrook-cli share/man/man1/quillbrook-cli.1.gz
        share/bash-completion/completions/quillbrook-cli share/zsh/site-functions/_quillbrook-cli
        share/fish/vendor_completions.d/quillbrook-cli.fish"
    [dev-agent]="bin/quillbrook-dev-agent share/man/man1/quillbrook-dev-agent.1.gz
        lib/systemd/user/quillbrook-dev-agent.service share/doc/quillbrook-cli/examples/dev-agent.toml"
)
expected=()
for program in "$@"; do
    read -r -d '' -a files <<<"${files_of[$program]}"
    expected+=("${files[@]}")
done
for file in "${expected[@]}"; do
    [[ -f $root/$file ]] || { echo "FAIL: $prefix/$file was not installed"; failures=$((failures + 1)); }
done
for file in "${expected[@]}"; do
    [[ $file != bin/* || -x $root/$file ]] || { echo "FAIL: $file is not executable"; failures=$((failures + 1)); }
done
# Nothing beyond them: a client-only build leaves out all of the agent's files.
unexpected=$(cd "$root" && find . -type f | sed 's|^\./||' | grep -vxF -f <(printf '%s\n' "${expected[@]}"))
[[ -z $unexpected ]] || { echo "FAIL: installed beyond the expected files: $unexpected"; failures=$((failures + 1)); }
# Nothing lands outside the prefix; the generator stays in the build.
outside=$(cd "$stage" && find . -type f ! -path ".$prefix/*")
[[ -z $outside ]] || { echo "FAIL: installed outside the prefix: $outside"; failures=$((failures + 1)); }
[[ -z $(find "$stage" -name 'quillbrook-generate-docs') ]] ||
    { echo "FAIL: the generator was installed"; failures=$((failures + 1)); }

# The unit starts the agent from this prefix, with its configuration file alone.
if [[ " $* " == *" dev-agent "* ]]; then
    grep -qx "ExecStart=$prefix/bin/quillbrook-dev-agent" \
        "$root/lib/systemd/user/quillbrook-dev-agent.service" ||
        { echo "FAIL: ExecStart does not name $prefix/bin"; failures=$((failures + 1)); }
fi

[[ $failures -eq 0 ]] && echo "installed layout as expected"
exit $((failures > 0))

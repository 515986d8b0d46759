#!/usr/bin/env bash
# Installs the build into a staging directory with DESTDIR and a prefix of its
# own, and checks that every file lands where its platform looks for it.
# Usage: install_layout_test.sh BUILD-DIRECTORY
set -uo pipefail
build=$1
stage=$(mktemp -d)
trap 'rm -rf -- "$stage"' EXIT
prefix=/opt/quillbrook
failures=0

DESTDIR=$stage cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL: cmake --install"; exit 1; }
root=$stage$prefix

for file in bin/quillbrook-cli bin/quillbrook-dev-agent \
    share/man/man1/quillbrook-cli.1.gz share/man/man1/quillbrook-dev-agent.1.gz \
    share/bash-completion/completions/quillbrook-cli share/zsh/site-functions/_quillbrook-cli \
    share/fish/vendor_completions.d/quillbrook-cli.fish \
    lib/systemd/user/quillbrook-dev-agent.service share/doc/quillbrook-cli/examples/dev-agent.env; do
    [[ -f $root/$file ]] || { echo "FAIL: $prefix/$file was not installed"; failures=$((failures + 1)); }
done
[[ -x $root/bin/quillbrook-cli && -x $root/bin/quillbrook-dev-agent ]] ||
    { echo "FAIL: the programs are not executable"; failures=$((failures + 1)); }
# Nothing lands outside the prefix; the generator stays in the build.
outside=$(cd "$stage" && find . -type f ! -path ".$prefix/*")
[[ -z $outside ]] || { echo "FAIL: installed outside the prefix: $outside"; failures=$((failures + 1)); }
[[ -z $(find "$stage" -name 'quillbrook-generate-docs') ]] ||
    { echo "FAIL: the generator was installed"; failures=$((failures + 1)); }

# The unit starts the agent from this prefix.
grep -qx "ExecStart=$prefix/bin/quillbrook-dev-agent --account=\${QUILLBROOK_ACCOUNT} \$QUILLBROOK_DEV_AGENT_OPTIONS" \
    "$root/lib/systemd/user/quillbrook-dev-agent.service" ||
    { echo "FAIL: ExecStart does not name $prefix/bin"; failures=$((failures + 1)); }

[[ $failures -eq 0 ]] && echo "installed layout as expected"
exit $((failures > 0))

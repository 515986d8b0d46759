#!/usr/bin/env bash
# Builds the Debian package from a finished release build, installs it on this
# machine with apt-get, checks what a user gets (both programs, their manual
# pages, bash completion from the installed files, the user unit), then purges
# it and checks that nothing is left behind.
# Usage: scripts/package-test.sh BUILD-DIRECTORY
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "$1")
package=quillbrook-cli
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
# man-db's seccomp sandbox fails in some containers; the pages are ours.
export MAN_DISABLE_SECCOMP=1

fail() {
    echo "package test: $*" >&2
    exit 1
}

if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    echo "== package: skipped, $package is already installed here and is not ours to remove"
    exit 0
fi

echo "== package: cpack -G DEB"
rm -f "$build"/${package}_*.deb
(cd "$build" && cpack -G DEB >cpack.log 2>&1) || { cat "$build/cpack.log"; fail "cpack failed"; }
deb=$(find "$build" -maxdepth 1 -name "${package}_*.deb")
[ -n "$deb" ] || fail "cpack made no package"
depends=$(dpkg-deb -f "$deb" Depends)
echo "   $(basename "$deb"), depends: $depends"
grep -q 'libgmime' <<<"$depends" || fail "the development agent's GMime runtime is not a dependency"
! grep -q -- '-dev\b' <<<"$depends" || fail "a -dev package is a dependency"

echo "== package: apt-get install"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "$deb" >/dev/null 2>&1 ||
    fail "apt-get install $deb failed"
trap 'DEBIAN_FRONTEND=noninteractive $sudo apt-get purge -y -qq "$package" >/dev/null 2>&1 || true' EXIT
installed_files=$(dpkg -L "$package")

version=$(dpkg-query -W -f='${Version}' "$package")
[ "$(/usr/bin/quillbrook-cli --version)" = "$version" ] || fail "quillbrook-cli --version is not $version"
[ "$(/usr/bin/quillbrook-dev-agent --version)" = "$version" ] || fail "quillbrook-dev-agent --version is not $version"
file -L /usr/bin/quillbrook-cli | grep -q 'statically linked' || fail "the installed client is not statically linked"
for page in quillbrook-cli quillbrook-dev-agent; do
    man -w "$page" >/dev/null || fail "man -w $page finds no page"
    man "$page" 2>/dev/null | grep -q "$version" || fail "man $page does not show $version"
done
echo "   --version, man -w and the static client: ok"

# bash-completion loads the script by the command's name on first <TAB>.
bash -c 'source /usr/share/bash-completion/bash_completion; _completion_loader quillbrook-cli
         complete -p quillbrook-cli' | grep -q _quillbrook_cli || fail "bash-completion does not load the completion"
bash tests/install/bash_completion_test.sh /usr/share/bash-completion/completions/quillbrook-cli >/dev/null ||
    fail "the installed bash completion does not complete"
echo "   bash completion from the installed files: ok"

unit=/usr/lib/systemd/user/quillbrook-dev-agent.service
[ -f "$unit" ] || fail "no user unit at $unit"
if command -v systemd-analyze >/dev/null 2>&1; then
    runtime=$(mktemp -d)
    XDG_RUNTIME_DIR=$runtime systemd-analyze --user verify "$unit" || fail "systemd-analyze rejects $unit"
    rm -rf -- "$runtime"
    echo "   systemd-analyze --user verify: ok"
fi

echo "== package: apt-get purge"
DEBIAN_FRONTEND=noninteractive $sudo apt-get purge -y -qq "$package" >/dev/null 2>&1 || fail "apt-get purge failed"
trap - EXIT
! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q installed || fail "$package is still installed"
left=""
while IFS= read -r path; do
    # Shared directories such as /usr/share/man stay; our own files and folders go.
    if [ -e "$path" ] && { [ ! -d "$path" ] || [[ $path == *quillbrook* ]]; }; then
        left+=" $path"
    fi
done <<<"$installed_files"
[ -z "$left" ] || fail "left behind after purge:$left"
echo "   nothing left behind"

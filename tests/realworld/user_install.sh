#!/usr/bin/env bash
# tools/install.sh as a user runs it: with no argument both plug-ins land in
# ~/.vst and ~/.lxvst (and the factory bank in the data folder), with a
# folder argument in that folder only, each the
# built file byte for byte, and a second run replaces them. Run by root, the
# checks run as an unprivileged user, which proves no root is needed. A
# folder that cannot be made and a plug-in folder without the plug-ins fail
# with a message and install nothing.
# $1: the build folder.
set -euo pipefail
build=${1:?usage: user_install.sh BUILD_FOLDER}
build=$(cd "$build" && pwd)
install=$(cd "$(dirname "$0")/../../tools" && pwd)/install.sh
plugins=(Tessel3-51.so Tessel3-Stereo.so)
for p in "${plugins[@]}"; do
    [ -f "$build/plugins/$p" ] || { echo "FAIL: $build/plugins/$p is missing" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# as_user HOME COMMAND...: the command with that home (and the folders a
# user's home gives: no XDG folders of the test run), as nobody when root.
as_user() {
    local home=$1
    shift
    if [ "$(id -u)" = 0 ] && command -v setpriv > /dev/null; then
        HOME="$home" setpriv --reuid=nobody --regid=nogroup --clear-groups \
            env -u XDG_CONFIG_HOME -u XDG_DATA_HOME "$@"
    else
        HOME="$home" env -u XDG_CONFIG_HOME -u XDG_DATA_HOME "$@"
    fi
}
owned_dir() {
    mkdir -p "$1"
    [ "$(id -u)" = 0 ] && chown nobody:nogroup "$1"
    return 0
}

# installed FOLDER: both plug-ins there, identical to the built ones.
installed() {
    for p in "${plugins[@]}"; do
        cmp -s "$build/plugins/$p" "$1/$p" || fail "$1/$p is not the built $p"
    done
}

home="$work/home"
owned_dir "$home"
if ! as_user "$home" env TESSEL_PLUGINS="$build/plugins" bash "$install" > "$work/out.txt" 2>&1; then
    fail "install into the home folders failed: $(cat "$work/out.txt")"
fi
installed "$home/.vst"
installed "$home/.lxvst"
# The factory bank in the data folder the plug-ins read.
bank="$home/.local/share/Vendrax/Tessel 3 Banks/Ambient Sounds"
cmp -s "$build/bank/Ambient Sounds/Analog Poly Warm.fxp" "$bank/Analog Poly Warm.fxp" ||
    fail "the factory bank is not in $bank"
# Again over what is there: replaced, no temporary file left behind.
as_user "$home" env TESSEL_PLUGINS="$build/plugins" bash "$install" > "$work/out.txt" 2>&1 ||
    fail "a second install failed: $(cat "$work/out.txt")"
installed "$home/.vst"
[ -z "$(find "$home" -name '*.installing')" ] || fail "a temporary file was left behind"

# A folder argument: that folder only, made when missing.
other="$work/other"
owned_dir "$other"
as_user "$other" env TESSEL_PLUGINS="$build/plugins" bash "$install" "$other/plug-ins/vst" > "$work/out.txt" 2>&1 ||
    fail "install into a given folder failed: $(cat "$work/out.txt")"
installed "$other/plug-ins/vst"
if [ -e "$other/.vst" ] || [ -e "$other/.lxvst" ]; then
    fail "a given folder still installed into the home folders"
fi

# Refusals: a folder that is a file, and plug-ins that are not there.
blocked="$work/blocked"
owned_dir "$blocked"
touch "$blocked/file"
[ "$(id -u)" = 0 ] && chown nobody:nogroup "$blocked/file"
if as_user "$blocked" env TESSEL_PLUGINS="$build/plugins" bash "$install" "$blocked/file" > "$work/out.txt" 2>&1; then
    fail "installing into a file succeeded"
fi
grep -q "install.sh: " "$work/out.txt" || fail "no message for a folder that is a file: $(cat "$work/out.txt")"
empty="$work/empty"
owned_dir "$empty"
if as_user "$empty" env TESSEL_PLUGINS="$empty" bash "$install" "$empty/dest" > "$work/out.txt" 2>&1; then
    fail "installing without plug-ins succeeded"
fi
grep -q "is missing" "$work/out.txt" || fail "no message for missing plug-ins: $(cat "$work/out.txt")"
[ ! -e "$empty/dest" ] || fail "a failed install made its folder"

[ $failures = 0 ] && echo "ok: tools/install.sh installs both plug-ins into the user's folders and a given one"
exit $((failures > 0))

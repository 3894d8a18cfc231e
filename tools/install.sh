#!/usr/bin/env bash
# Installs Tessel3 for the current user; no root needed.
#   tools/install.sh          into ~/.vst and ~/.lxvst (the folders most Linux
#                             hosts scan; see the README for Ardour)
#   tools/install.sh FOLDER   into FOLDER only (made when missing)
# The plug-ins come from the newest build that holds both: build/demo
# (tools/demo.sh) or build/release (tools/test.sh); TESSEL_PLUGINS names
# another folder holding them.
#
# Then the factory bank goes into the instrument's data folder (the
# "VelaData" preference, else $XDG_DATA_HOME/Vendrax), made in the same build
# folder when it is not there yet; a bank file you changed is kept
# (tools/install-bank.sh).
#
# Each file is copied beside its target under a temporary name and renamed
# over it, so a host scanning meanwhile never loads half a plug-in, and a
# failed copy leaves the installed one as it was.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
plugins=(Tessel3-51.so Tessel3-Stereo.so)

fail() {
    echo "install.sh: $*" >&2
    exit 1
}

# The folder holding both plug-ins: TESSEL_PLUGINS, or the newest build's.
find_plugins() {
    if [ -n "${TESSEL_PLUGINS:-}" ]; then
        for p in "${plugins[@]}"; do
            [ -f "$TESSEL_PLUGINS/$p" ] || fail "$TESSEL_PLUGINS/$p is missing"
        done
        echo "$TESSEL_PLUGINS"
        return
    fi
    local best=""
    for dir in "$repo/build/demo/plugins" "$repo/build/release/plugins"; do
        if [ ! -f "$dir/${plugins[0]}" ] || [ ! -f "$dir/${plugins[1]}" ]; then
            continue
        fi
        if [ -z "$best" ] || [ "$dir/${plugins[1]}" -nt "$best/${plugins[1]}" ]; then
            best=$dir
        fi
    done
    [ -n "$best" ] || fail "no built plug-ins found: run tools/demo.sh first"
    echo "$best"
}

# copy_into FOLDER FILE...: each file into FOLDER, replacing what is there.
copy_into() {
    local folder=$1
    shift
    mkdir -p "$folder" || fail "cannot make $folder"
    if [ ! -d "$folder" ] || [ ! -w "$folder" ]; then
        fail "$folder is not a folder you can write to"
    fi
    local file name temp
    for file in "$@"; do
        name=$(basename "$file")
        temp="$folder/.$name.installing"
        if ! cp "$file" "$temp" || ! mv -f "$temp" "$folder/$name"; then
            rm -f "$temp"
            fail "could not install $name into $folder"
        fi
        echo "installed $folder/$name"
    done
}

# What one folder receives.
install_plugins() {
    local folder=$1
    local files=()
    for p in "${plugins[@]}"; do
        files+=("$from/$p")
    done
    copy_into "$folder" "${files[@]}"
}

if [ $# -gt 1 ]; then
    fail "usage: tools/install.sh [FOLDER]"
fi
if [ $# -eq 1 ]; then
    folders=("$1")
else
    [ -n "${HOME:-}" ] || fail "HOME is not set: give the folder to install into"
    folders=("$HOME/.vst" "$HOME/.lxvst")
fi
from=$(find_plugins)
for folder in "${folders[@]}"; do
    install_plugins "$folder"
done

# The factory bank of the build the plug-ins came from (or of build/release
# when TESSEL_PLUGINS named another folder), brought up to date first where
# that build is ours to write; elsewhere the bank already built there.
# shellcheck source=tools/install-bank.sh
source "$repo/tools/install-bank.sh"
build=$(dirname "$from")
[ -f "$build/CMakeCache.txt" ] || build="$repo/build/release"
if [ -f "$build/CMakeCache.txt" ] && [ -w "$build" ]; then
    cmake --build "$build" --target bank >/dev/null || fail "could not build the factory bank in $build"
fi
install_bank "$build/bank/Ambient Sounds" || fail "the factory bank was not installed (tools/build-bank.sh makes it)"

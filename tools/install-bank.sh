#!/usr/bin/env bash
# Installs the factory bank into the user's data folder, where the plug-ins
# load their start-up programs from:
#   <data folder>/Tessel 3 Banks/Ambient Sounds
# The data folder is the instrument's preference "VelaData" when set, else
# $XDG_DATA_HOME/Vendrax (~/.local/share/Vendrax), as the plug-ins decide.
# No root needed.
#
#   tools/install-bank.sh [BANK]    BANK: the built bank folder
#                                   (default build/release/bank/Ambient Sounds)
#
# tools/install.sh sources this file and calls install_bank. A bank file the
# user changed since it was installed (or a file of the same name the user
# made) is never overwritten: theirs stays, ours goes beside it, and the
# script says so. What was installed is remembered in the folder's
# ".factory-bank" list (checksum and name per line).

# The instrument's data folder, as the plug-ins find it.
bank_data_folder() {
    local config="${XDG_CONFIG_HOME:-}"
    [[ "$config" == /* ]] || config="$HOME/.config"
    local prefs="$config/Vendrax/com.vendrax.Tessel3.prefs"
    if [ -f "$prefs" ]; then
        # A text entry: "s VelaData=<value>", bytes escaped as %XX.
        local value
        value=$(sed -n 's/^s VelaData=//p' "$prefs" | tail -n 1)
        if [ -n "$value" ]; then
            printf '%b\n' "${value//%/\\x}"
            return
        fi
    fi
    local data="${XDG_DATA_HOME:-}"
    [[ "$data" == /* ]] || data="$HOME/.local/share"
    printf '%s\n' "$data/Vendrax"
}

# The checksum the list remembers for name, or nothing.
bank_recorded_sum() {
    local list=$1 name=$2
    [ -f "$list" ] || return 0
    awk -v n="$name" 'substr($0, 35) == n { print substr($0, 1, 32) }' "$list" | tail -n 1
}

# The name ours takes beside a file the user changed: presets stay presets
# ("Pad Glass Choir (factory).fxp", listed as a program of its own); a sample
# gets a suffix no program loads.
bank_beside_name() {
    local name=$1
    case "$name" in
    *.fxp) printf '%s\n' "${name%.fxp} (factory).fxp" ;;
    *) printf '%s\n' "$name.factory" ;;
    esac
}

# install_bank SOURCE [DESTINATION]: copies the bank's presets and samples.
install_bank() {
    local source=$1
    local dest=${2:-"$(bank_data_folder)/Tessel 3 Banks/Ambient Sounds"}
    if [ ! -d "$source" ] || ! compgen -G "$source/*.fxp" >/dev/null; then
        echo "install-bank: no bank in $source (build it first: tools/build-bank.sh)" >&2
        return 1
    fi
    mkdir -p "$dest" || return 1
    local list="$dest/.factory-bank"
    local next
    next=$(mktemp "$dest/.factory-bank.XXXXXX") || return 1
    local installed=0 same=0 kept=0
    local file name ours theirs recorded beside
    for file in "$source"/*; do
        [ -f "$file" ] || continue
        name=$(basename "$file")
        ours=$(md5sum <"$file" | cut -c1-32)
        if [ -e "$dest/$name" ]; then
            theirs=$(md5sum <"$dest/$name" | cut -c1-32)
            recorded=$(bank_recorded_sum "$list" "$name")
            if [ "$theirs" = "$ours" ]; then
                same=$((same + 1))
            elif [ -n "$recorded" ] && [ "$theirs" = "$recorded" ]; then
                cp -f "$file" "$dest/$name" || { rm -f "$next"; return 1; }
                installed=$((installed + 1))
            else
                # Theirs: never overwritten. Ours goes beside it.
                beside=$(bank_beside_name "$name")
                cp -f "$file" "$dest/$beside" || { rm -f "$next"; return 1; }
                printf '%s  %s\n' "$ours" "$beside" >>"$next"
                echo "install-bank: kept your changed \"$name\"; the factory version is \"$beside\" beside it"
                kept=$((kept + 1))
                continue
            fi
        else
            cp "$file" "$dest/$name" || { rm -f "$next"; return 1; }
            installed=$((installed + 1))
        fi
        printf '%s  %s\n' "$ours" "$name" >>"$next"
    done
    mv -f "$next" "$list" || return 1
    echo "install-bank: factory bank in $dest ($installed installed, $same unchanged, $kept kept as you changed them)"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -euo pipefail
    cd "$(dirname "$0")/.."
    install_bank "${1:-build/release/bank/Ambient Sounds}"
fi

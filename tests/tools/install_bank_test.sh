#!/usr/bin/env bash
# The install step puts the factory bank into the data folder the plug-ins
# read (the "VelaData" preference, else $XDG_DATA_HOME/Vendrax) and never
# overwrites a bank file the user changed.
#   install_bank_test.sh INSTALL_BANK_SH BUILT_BANK SCRATCH
set -euo pipefail
script=$1
built=$2
scratch=$3

rm -rf "$scratch"
mkdir -p "$scratch"
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# A small bank: two presets and a sample from the built one.
bank="$scratch/built"
mkdir -p "$bank"
presets=("$built"/*.fxp)
[ ${#presets[@]} -ge 2 ] || fail "no built bank in $built"
cp "${presets[0]}" "${presets[1]}" "$bank/"
sample=$(ls "$built"/*.D4[TU] | head -n 1)
cp "$sample" "$bank/"
first=$(basename "${presets[0]}")
second=$(basename "${presets[1]}")

export HOME="$scratch/home"
export XDG_CONFIG_HOME="$scratch/home/config"
export XDG_DATA_HOME="$scratch/home/data"
# shellcheck source=/dev/null
source "$script"

dest="$XDG_DATA_HOME/Vendrax/Tessel 3 Banks/Ambient Sounds"
[ "$(bank_data_folder)" = "$XDG_DATA_HOME/Vendrax" ] || fail "data folder $(bank_data_folder)"

# 1. A fresh install copies everything.
install_bank "$bank" >/dev/null
for f in "$first" "$second" "$(basename "$sample")"; do
    cmp -s "$bank/$f" "$dest/$f" || fail "$f not installed"
done

# 2. A new factory version replaces a file the user left alone.
printf 'new' >>"$bank/$second"
install_bank "$bank" >/dev/null
cmp -s "$bank/$second" "$dest/$second" || fail "an unchanged file was not updated"

# 3. A file the user changed is kept; ours goes beside it, and it says so.
printf 'mine' >"$dest/$first"
printf 'newer' >>"$bank/$first"
said=$(install_bank "$bank")
[ "$(cat "$dest/$first")" = mine ] || fail "the user's changed preset was overwritten"
beside="${first%.fxp} (factory).fxp"
cmp -s "$bank/$first" "$dest/$beside" || fail "the factory version is not beside it as \"$beside\""
grep -q "kept your changed \"$first\"" <<<"$said" || fail "the install did not say it kept the file: $said"

# 4. A preset of ours the user made before any install (same name) is kept.
rm -rf "$dest"
mkdir -p "$dest"
printf 'theirs' >"$dest/$second"
install_bank "$bank" >/dev/null
[ "$(cat "$dest/$second")" = theirs ] || fail "a preset made by the user was overwritten"

# 5. The "VelaData" preference moves the data folder.
mkdir -p "$XDG_CONFIG_HOME/Vendrax"
printf 's VelaData=%s\n' "${scratch// /%20}/elsewhere" >"$XDG_CONFIG_HOME/Vendrax/com.vendrax.Tessel3.prefs"
[ "$(bank_data_folder)" = "$scratch/elsewhere" ] || fail "the preference's folder was not used: $(bank_data_folder)"
install_bank "$bank" >/dev/null
[ -f "$scratch/elsewhere/Tessel 3 Banks/Ambient Sounds/$first" ] || fail "not installed into the preference's folder"

echo "install-bank: all cases passed"

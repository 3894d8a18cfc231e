#!/usr/bin/env bash
# A real host's loader accepts both of our plug-ins: Debian's ardour VST2
# scanner loads each one, and the cache it writes records an instrument with
# our unique id and the right number of outputs.
# $1: the build folder.
set -euo pipefail
build=${1:?usage: ardour_scan.sh BUILD_FOLDER}
scanner=/usr/lib/ardour7/ardour-vst-scanner
fail() { echo "FAIL: $*" >&2; exit 1; }

[ -x "$scanner" ] || fail "$scanner is missing: install ardour (tools/setup.sh)"

# A unique id as the interface stores it: four characters, the first in the
# most significant byte, read as a signed 32-bit number.
fourcc() {
    local s=$1 v=0 i
    for i in 0 1 2 3; do v=$(( (v << 8) | $(printf '%d' "'${s:i:1}") )); done
    (( v >= 2**31 )) && v=$(( v - 2**32 ))
    echo "$v"
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
for entry in "Tessel3-51.so Tsx3 6" "Tessel3-Stereo.so Tsy2 2"; do
    read -r file code outputs <<< "$entry"
    before=$failures
    plugin="$build/plugins/$file"
    if [ ! -f "$plugin" ]; then
        echo "FAIL: $plugin is missing" >&2
        failures=$((failures + 1))
        continue
    fi
    plugin=$(realpath "$plugin")
    home="$work/home-$code"
    mkdir -p "$home"
    if ! HOME="$home" LD_LIBRARY_PATH=/usr/lib/ardour7 "$scanner" -f "$plugin" > "$work/scan.txt" 2>&1; then
        echo "FAIL: ardour's scanner rejected $plugin:" >&2
        sed 's/^/    /' "$work/scan.txt" >&2
        failures=$((failures + 1))
        continue
    fi
    # The scanner exits 0 even when it cannot open a module; it says so in
    # an [ERROR] or [WARNING] line.
    if grep -Eqi '\[(error|warning)\]' "$work/scan.txt"; then
        echo "FAIL: ardour's scanner complained about $plugin:" >&2
        sed 's/^/    /' "$work/scan.txt" >&2
        failures=$((failures + 1))
        continue
    fi
    cache=$(grep -l "binary=\"$plugin\"" "$home"/.cache/ardour7/vst/*.v2i 2>/dev/null | head -n 1 || true)
    if [ -z "$cache" ]; then
        echo "FAIL: no ardour cache file (.v2i) records $plugin" >&2
        failures=$((failures + 1))
        continue
    fi
    info=$(grep '<VST2Info ' "$cache" || true)
    id=$(fourcc "$code")
    for want in "id=\"$id\"" 'is_instrument="1"' "n_outputs=\"$outputs\"" 'n_inputs="0"'; do
        if [[ "$info" != *"$want"* ]]; then
            echo "FAIL: ardour's cache for $plugin lacks $want:" >&2
            echo "    $info" >&2
            failures=$((failures + 1))
        fi
    done
    [ $failures = $before ] && echo "ok: ardour scanned $plugin as instrument $code ($id) with $outputs outputs"
done
[ $failures = 0 ]

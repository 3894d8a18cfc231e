#!/usr/bin/env bash
# The editor's own pictures through the headless host: tessel-host pictures
# asks each plug-in for every picture its editor paints and writes them as
# PNG files; each control picture is there, as wide and as high as its
# frames make it, and no picture is blank.
# $1: the build folder.
set -euo pipefail
build=${1:?usage: editor_pictures.sh BUILD_FOLDER}
host="$build/tools/host/tessel-host"
[ -x "$host" ] || { echo "FAIL: $host is missing (build the tessel-host target)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# A PNG's width and height from its header.
size() { od -An -tu1 -j16 -N8 "$1" | awk '{print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8}'; }

for file in Tessel3-51.so Tessel3-Stereo.so; do
    plugin="$build/plugins/$file"
    [ -f "$plugin" ] || { fail "$plugin is missing"; continue; }
    out="$work/$file"
    if ! "$host" pictures "$plugin" --out "$out" > "$work/report.txt" 2> "$work/err.txt"; then
        fail "tessel-host pictures $file failed: $(cat "$work/err.txt")"
        continue
    fi
    # id, file name, size: knob strips, the parameter bar, buttons, grids, bars, key strips.
    for expected in "350 knob-small 33x2343" "357 knob-endless 107x8560" "374 parameter-bar 65x363" \
                    "371 glide-mode 36x56" "320 page-tabs 504x44" "376 envelope-bar 19x86" \
                    "377 envelope-bar-small 10x73" "382 keys-first 54x95" "383 keys-second 54x95"; do
        read -r id name dims <<< "$expected"
        png="$out/$id-$name.png"
        if [ ! -f "$png" ]; then
            fail "$file: $png was not written"
        elif [ "$(size "$png")" != "$dims" ]; then
            fail "$file: $png is $(size "$png"), expected $dims"
        fi
    done
    count=$(grep -c '^picture: ' "$work/report.txt" || true)
    grep -qx "pictures: $count" "$work/report.txt" || fail "$file: the report's count does not match its lines"
    [ "$count" -ge 60 ] || fail "$file: only $count pictures"
    [ "$failures" -eq 0 ] && echo "ok: $file: $count pictures"
done
exit $((failures > 0))

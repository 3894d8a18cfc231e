#!/usr/bin/env bash
# The engine through the headless host, for both plug-ins, with the host's
# idle calls and without them (the engine's own timer then does the idle
# work): info opens the plug-in and reads the name, label and display of all
# 602 host parameters through guarded buffers (any overrun is a reported
# fault and a failed run); render opens, resumes, plays the demo phrase into
# 6 or 2 buffers and closes. With no voice modules yet every sample of every
# channel is the silent ±1e-7 pattern: peak and RMS both exactly 1e-7, so no
# exact zero and nothing louder.
# $1: the build folder.
set -euo pipefail
build=${1:?usage: engine_silence.sh BUILD_FOLDER}
host="$build/tools/host/tessel-host"
[ -x "$host" ] || { echo "FAIL: $host is missing (build the tessel-host target)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
silence="1.00000001e-07"

for entry in "Tessel3-51.so 6" "Tessel3-Stereo.so 2"; do
    read -r file outputs <<< "$entry"
    plugin="$build/plugins/$file"
    [ -f "$plugin" ] || { fail "$plugin is missing"; continue; }
    for idle in "" "--no-idle"; do
        before=$failures
        what="$file ${idle:-with idle}"
        if ! "$host" info "$plugin" $idle > "$work/info.txt" 2> "$work/info.err"; then
            fail "$what: info failed: $(cat "$work/info.err")"
            continue
        fi
        params=$(grep -c '^param [0-9]*: name=' "$work/info.txt" || true)
        [ "$params" = 602 ] || fail "$what: $params parameters answered, not 602"
        grep -q '^param 601: name=' "$work/info.txt" || fail "$what: parameter 601 has no answer"

        if ! "$host" render "$plugin" --out "$work/out.wav" --seconds 0.75 --block 160 $idle \
                > "$work/render.txt" 2> "$work/render.err"; then
            fail "$what: render failed: $(cat "$work/render.err")"
            continue
        fi
        "$host" wavstats "$work/out.wav" > "$work/stats.txt" || { fail "$what: cannot read the WAV"; continue; }
        grep -qx "channels: $outputs" "$work/stats.txt" || fail "$what: not $outputs channels"
        for ((c = 0; c < outputs; ++c)); do
            grep -qx "channel $c: peak=$silence rms=$silence" "$work/stats.txt" \
                || fail "$what: channel $c is not the ±1e-7 silence: $(grep "^channel $c:" "$work/stats.txt")"
        done
        [ $failures = $before ] && echo "ok: $what: 602 parameters answered, $outputs channels of ±1e-7 silence"
    done
done
[ $failures = 0 ]

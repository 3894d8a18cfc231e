#!/usr/bin/env bash
# The engine through the headless host, for both plug-ins, with the host's
# idle calls and without them (the engine's own timer then does the idle
# work): info opens the plug-in and reads the name, label and display of all
# 602 host parameters through guarded buffers (any overrun is a reported
# fault and a failed run); render opens, resumes, plays the demo phrase into
# 6 or 2 buffers and closes. The default program sounds: the front pair is
# audible and no channel comes near clipping (wavstats fails on a
# non-finite sample).
# $1: the build folder.
set -euo pipefail
build=${1:?usage: engine_sound.sh BUILD_FOLDER}
host="$build/tools/host/tessel-host"
[ -x "$host" ] || { echo "FAIL: $host is missing (build the tessel-host target)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

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
            read -r peak rms < <(sed -n "s/^channel $c: peak=\([^ ]*\) rms=\(.*\)$/\1 \2/p" "$work/stats.txt")
            [ -n "$peak" ] || { fail "$what: channel $c has no statistics"; continue; }
            awk -v p="$peak" 'BEGIN { exit !(p < 1.5) }' || fail "$what: channel $c peaks at $peak"
            if ((c < 2)); then
                awk -v r="$rms" 'BEGIN { exit !(r > 0.01) }' || fail "$what: channel $c is too quiet: rms $rms"
            fi
        done
        [ $failures = $before ] && echo "ok: $what: 602 parameters answered, $outputs channels, the front pair sounding"
    done
done
[ $failures = 0 ]

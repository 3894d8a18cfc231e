#!/usr/bin/env bash
# Our two plug-ins through the headless host: info reports their programs,
# parameters, category and outputs (and no canary fault), and rendering the
# demo writes a WAV of the right length and channel count, with host idle
# calls and, with --no-idle, without them.
# $1: the build folder.
set -euo pipefail
build=${1:?usage: our_plugins.sh BUILD_FOLDER}
host="$build/tools/host/tessel-host"
[ -x "$host" ] || { echo "FAIL: $host is missing (build the tessel-host target)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# expect FILE KEY VALUE: the report line "KEY: VALUE" is present.
expect() { grep -qx "$2: $3" "$1" || fail "$(basename "$plugin"): expected '$2: $3', got '$(grep "^$2: " "$1" || echo nothing)'"; }

for entry in "Tessel3-51.so 6 Tsx3" "Tessel3-Stereo.so 2 Tsy2"; do
    read -r file outputs code <<< "$entry"
    before=$failures
    plugin="$build/plugins/$file"
    if [ ! -f "$plugin" ]; then
        fail "$plugin is missing"
        continue
    fi

    if ! "$host" info "$plugin" > "$work/info.txt" 2> "$work/info.err"; then
        fail "tessel-host info $plugin failed: $(cat "$work/info.err")"
        continue
    fi
    expect "$work/info.txt" numPrograms 208
    expect "$work/info.txt" numParams 602
    expect "$work/info.txt" category 2
    expect "$work/info.txt" numOutputs "$outputs"
    expect "$work/info.txt" numInputs 0
    grep -q "^uniqueID: $code " "$work/info.txt" || fail "$file: unique id is not $code"

    # The demo at its own length (8 s of phrase plus a 2 s tail at 48 kHz)
    # with idle calls; then a shorter odd-sized render with --no-idle, so the
    # plug-in's own idle timer runs.
    for run in "480000 256 idle" "72000 100 no-idle"; do
        read -r frames block mode <<< "$run"
        args=(render "$plugin" --out "$work/out.wav" --block "$block")
        if [ "$mode" = no-idle ]; then args+=(--no-idle --seconds 1.5); fi
        if ! "$host" "${args[@]}" > "$work/render.txt" 2> "$work/render.err"; then
            fail "tessel-host ${args[*]} failed: $(cat "$work/render.err")"
            continue
        fi
        if [ "$mode" = no-idle ]; then
            expect "$work/render.txt" idleCalls 0
        else
            grep -q '^idleCalls: [1-9]' "$work/render.txt" || fail "$file: no idle calls while rendering"
        fi
        "$host" wavstats "$work/out.wav" > "$work/stats.txt" || { fail "cannot read back the WAV of $file"; continue; }
        expect "$work/stats.txt" frames "$frames"
        expect "$work/stats.txt" channels "$outputs"
        expect "$work/stats.txt" rate 48000
    done
    [ $failures = $before ] && echo "ok: $file: 208 programs, 602 parameters, $outputs outputs, demo rendered"
done
[ $failures = 0 ]

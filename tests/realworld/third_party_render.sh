#!/usr/bin/env bash
# The headless host plays the demo phrase through a third-party Linux VST 2.4
# instrument from Debian (Kars, from dpf-plugins-vst) and the WAV it writes
# is not silent. Built against another team's headers, the plug-in proves
# that our interface records and callback signatures have the real layout.
# $1: the build folder.
set -euo pipefail
build=${1:?usage: third_party_render.sh BUILD_FOLDER}
host="$build/tools/host/tessel-host"
fail() { echo "FAIL: $*" >&2; exit 1; }

[ -x "$host" ] || fail "$host is missing (build the tessel-host target)"
plugin=$(dpkg -L dpf-plugins-vst 2>/dev/null | grep '/Kars-vst\.so$' | head -n 1 || true)
[ -n "$plugin" ] && [ -f "$plugin" ] || fail "Kars-vst.so not found: install dpf-plugins-vst (tools/setup.sh)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$host" info "$plugin" > "$work/info.txt" 2> "$work/info.err" ||
    fail "tessel-host info $plugin failed: $(cat "$work/info.err")"
grep -qx 'category: 2' "$work/info.txt" || fail "$plugin is not reported as an instrument (category 2)"

"$host" render "$plugin" --out "$work/demo.wav" > "$work/render.txt" 2> "$work/render.err" ||
    fail "tessel-host render $plugin failed: $(cat "$work/render.err")"
"$host" wavstats "$work/demo.wav" > "$work/stats.txt" || fail "cannot read back $work/demo.wav"

value() { sed -n "s/^$1: //p" "$work/stats.txt"; }
peak=$(value peak)
rms=$(value rms)
frames=$(value frames)
# The demo lasts four bars at 120 bpm (8 s) plus a 2 s tail, at 48 kHz.
[ "$frames" = 480000 ] || fail "demo WAV has $frames frames, expected 480000"
awk -v p="$peak" -v r="$rms" 'BEGIN { exit !(p > 0.01 && r > 0.001) }' ||
    fail "the demo rendered through $plugin is silent (peak $peak, rms $rms)"
echo "ok: $plugin rendered the demo (peak $peak, rms $rms)"

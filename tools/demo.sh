#!/usr/bin/env bash
# Installs what is needed, builds both plug-ins and renders the demo phrase
# through Tessel3-Stereo.so into a WAV file with the headless host.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh demo
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSEL_TESTS=OFF
cmake --build build/release --target Tessel3-51 Tessel3-Stereo tessel-host
out="$PWD/build/demo.wav"
build/release/tools/host/tessel-host render build/release/plugins/Tessel3-Stereo.so --out "$out"
# Its length, channels and levels: the default program is audible, well
# below clipping.
build/release/tools/host/tessel-host wavstats "$out"
echo "Demo written to $out"

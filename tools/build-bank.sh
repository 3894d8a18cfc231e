#!/usr/bin/env bash
# Rebuilds the factory bank from its text definitions (bank/programs/*.tpd):
# renders the generated samples, applies every definition through the 5.1
# plug-in, checks that each value survives a store and a load, and writes the
# presets and their samples into build/release/bank/Ambient Sounds (the
# folder tools/install.sh installs). Run as root on a fresh machine, or as a
# user where the packages are in place (tools/setup.sh demo).
#   tools/build-bank.sh [BUILD_FOLDER]     default build/release
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
if [ "$(id -u)" = 0 ]; then
    tools/setup.sh demo
fi
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" --target bank
echo "Factory bank in $build/bank/Ambient Sounds"

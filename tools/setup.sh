#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and run its
# real-world checks. Idempotent; run as root on Debian 12.
set -euo pipefail

packages=(
    # build
    build-essential cmake ninja-build ccache pkg-config git
    clang libclang-rt-14-dev            # libFuzzer and clang sanitizer runtimes
    # libraries
    libgtest-dev libgmock-dev libbenchmark-dev
    libsndfile1-dev                     # tools and test references
    # runtime helpers
    zenity xvfb
    # real-world checks: a host's VST scanner and third-party VST2 plug-ins
    ardour dpf-plugins-vst
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
    SUDO=""
    if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update
    $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

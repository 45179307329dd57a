#!/usr/bin/env bash
# Installs what is missing, builds, and starts the physics sandbox.
set -eu
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
if [ ! -x build/game/physbox ]; then
    echo "Built everything; the sandbox executable does not exist yet."
    exit 0
fi
exec build/game/physbox

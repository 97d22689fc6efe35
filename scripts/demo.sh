#!/usr/bin/env bash
# Sets up everything and runs the main job: the imaging core over a real photograph, leaving
# its output files in out/imaging-demo/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja
ninja -C build -j"$(nproc)" lumivo-imaging-demo

photo=/usr/share/backgrounds/mate/nature/Aqua.jpg
out=out/imaging-demo
mkdir -p "$out"
./build/demo/lumivo-imaging-demo "$photo" "$out"

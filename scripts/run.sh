#!/usr/bin/env bash
# Builds Corvanex, prepares a program folder in ./run and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"

skins=()
for skin in build/skins/*.int; do
  [ -f "$skin" ] && skins+=(--skin "$skin")
done
build/tools/cx-program-folder run "${skins[@]}" >/dev/null
cd run
exec ../build/ui/corvanex "$@"

#!/usr/bin/env bash
# Builds Corvanex, prepares a program folder in ./run and starts the
# program there. A folder without cameras gets four simulated ones, served
# by the camera simulator on 127.0.0.1 while the program runs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"

skins=()
for skin in build/skins/*.int; do
  [ -f "$skin" ] && skins+=(--skin "$skin")
done
build/tools/cx-program-folder run "${skins[@]}" --demo-if-empty >/dev/null

build/tools/simulator/cx-camsim \
  --camera "kind=stream,port=8101,path=/axis-cgi/mjpg/video.cgi?showlength=1,framing=2-1,fps=15,size=640x480" \
  --camera "kind=snapshot,port=8102,path=/netcam.jpg,fps=5,size=640x480" \
  --camera "kind=protocol,port=8103,fps=10,size=320x240" \
  --camera "kind=stream,port=8104,path=/cgi-bin/video.jpg?cam=1,framing=4-0,fps=12,size=800x600" \
  >/dev/null 2>&1 &
simulator=$!
trap 'kill $simulator 2>/dev/null || true' EXIT

cd run
../build/ui/corvanex "$@"

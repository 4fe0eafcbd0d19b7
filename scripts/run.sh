#!/usr/bin/env bash
# Builds Corvanex and starts it with its window.
#
#   bash scripts/run.sh            demo: a program folder in ./run; when it
#                                  has no camera yet it gets five simulated
#                                  ones (two MJPEG streams, a snapshot
#                                  camera, a binary-protocol camera, an
#                                  RTSP camera with H.264 main and sub
#                                  streams), served
#                                  by the camera simulator while the program
#                                  runs
#   bash scripts/run.sh FOLDER     runs on an existing program folder
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target corvanex cx-program-folder cx-camsim default_skin extra_skins

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display. Corvanex can run without its window (recording by the timetable):" >&2
  echo "  cd PROGRAM_FOLDER && $root/build/main/corvanex --no-window" >&2
  exit 1
fi

if [ $# -ge 1 ]; then
  folder=$(cd "$1" && pwd)
  shift
else
  skins=()
  for skin in build/skins/*.int; do
    [ -f "$skin" ] && skins+=(--skin "$skin")
  done
  folder=$(build/tools/cx-program-folder run "${skins[@]}" --demo-if-empty)
  # The demo cameras: drawn street scenes with a running clock.
  build/tools/simulator/cx-camsim \
    --camera "kind=stream,port=8101,path=/axis-cgi/mjpg/video.cgi?showlength=1,framing=2-1,fps=15,size=640x480,scene=1" \
    --camera "kind=snapshot,port=8102,path=/netcam.jpg,fps=5,size=640x480,scene=2" \
    --camera "kind=protocol,port=8103,fps=10,size=320x240,scene=3" \
    --camera "kind=stream,port=8104,path=/cgi-bin/video.jpg?cam=1,framing=4-0,fps=12,size=800x600,scene=4" \
    --camera "kind=rtsp,port=8105,codec=h264,size=1280x720,sub-size=640x360,fps=15,scene=5" \
    >/dev/null 2>&1 &
  simulator=$!
  trap 'kill $simulator 2>/dev/null || true' EXIT
fi

cd "$folder"
"$root/build/main/corvanex" "$@"

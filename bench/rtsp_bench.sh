#!/usr/bin/env bash
# RTSP cameras: 16 simulated cameras, main stream 1920x1080 @15 (H.264)
# and sub stream 640x360 @15, every camera recording by the timetable.
#   1. `corvanex --no-window`: its CPU per offered frame (from /proc), the
#      share of offered frames in its recordings, against FFmpeg copying
#      the 16 main streams at once (16 processes, -c copy into Matroska)
#      and against the floor (cx-rtsp-floor: receiving and writing the
#      packets only), all in the same run.
#   2. `corvanex` with its window on a virtual display (4x4 grid): the same,
#      against FFmpeg copying the 16 main streams plus decoding the 16 sub
#      streams (-threads 1 to BGR into null).
# FFmpeg is measured as the program is: CPU from /proc over the same
# seconds after a warm-up, so start-up is left out. This machine's speed wanders from
# minute to minute, so the comparison is made in rounds, each measuring the
# program and its references back to back; the ratios given are medians
# over the rounds.
#
#   bash bench/rtsp_bench.sh [seconds] [cameras] [rounds]    (after a build)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-20}
cameras=${2:-16}
rounds=${3:-3}
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; sleep 0.5; rm -rf "$work"' EXIT
ticks=$(getconf CLK_TCK)
fps=15

args=()
for _ in $(seq "$cameras"); do
  args+=(--camera "kind=rtsp,codec=h264,size=1920x1080,sub-size=640x360,fps=$fps,prerecorded=1,scene=1")
done
build/tools/simulator/cx-camsim "${args[@]}" > "$work/sim.txt" 2>&1 &
simulator=$!
for _ in $(seq 600); do [ "$(grep -c port "$work/sim.txt" || true)" -ge "$cameras" ] && break; sleep 0.1; done
ports=$(sed -n 's/camera [0-9]* port \([0-9]*\).*/\1/p' "$work/sim.txt")
[ "$(echo "$ports" | wc -w)" -eq "$cameras" ] || { echo "simulator did not start"; cat "$work/sim.txt"; exit 1; }

cpuOf() { local t=0 p; for p in "$@"; do t=$((t + $(awk '{print $14 + $15}' "/proc/$p/stat"))); done; echo "$t"; }

# CPU ticks of `pids` over `seconds`, after `warm` seconds.
measure() {
  local warm=$1; shift
  sleep "$warm"
  local c0; c0=$(cpuOf "$@")
  sleep "$seconds"
  local c1; c1=$(cpuOf "$@")
  echo $((c1 - c0))
}

# FFmpeg over every camera at once, measured like the program: its CPU
# from /proc over `seconds` after a warm-up, so start-up is left out.
# Prints microseconds per offered main-stream frame.
perFrame() {
  local what=$1 port n=0 pids=()
  for port in $ports; do
    n=$((n + 1))
    if [ "$what" = copy ] || [ "$what" = both ]; then
      ffmpeg -v error -nostdin -rtsp_transport tcp -i "rtsp://127.0.0.1:$port/main" -c copy -y -f matroska \
        "$work/ff-$n.mkv" &
      pids+=($!)
    fi
    if [ "$what" = both ]; then
      ffmpeg -v error -nostdin -threads 1 -rtsp_transport tcp -i "rtsp://127.0.0.1:$port/sub" -pix_fmt bgr24 \
        -f null - &
      pids+=($!)
    fi
  done
  local used; used=$(measure 6 "${pids[@]}")
  kill -INT "${pids[@]}" 2>/dev/null || true
  wait "${pids[@]}" 2>/dev/null || true
  rm -f "$work"/ff-*.mkv
  python3 -c "print($used / $ticks / ($cameras * $fps * $seconds) * 1e6)"
}

folderFor() {  # a program folder with every camera, recording all day
  local folder=$1 list=() n=0 port
  for port in $ports; do
    n=$((n + 1))
    list+=(--rtsp-camera "Camera $n" 127.0.0.1 "$port" /main --sub-path /sub)
  done
  build/tools/cx-program-folder "$folder" --record-all-day "${list[@]}" > /dev/null
}

# Frames in the recordings, and frames offered from each file's first
# picture until `end` (seconds since 1970).
recordedShare() {
  python3 - "$1" "$2" "$fps" <<'PY'
import glob, json, subprocess, sys, datetime
folder, end, fps = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
recorded = offered = 0
for f in glob.glob(folder + "/video/*/*.mkv"):
    out = json.loads(subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-count_packets",
                                     "-show_entries", "stream=nb_read_packets:format_tags=creation_time",
                                     "-of", "json", f], capture_output=True, text=True).stdout)
    recorded += int(out["streams"][0]["nb_read_packets"])
    start = datetime.datetime.fromisoformat(out["format"]["tags"]["creation_time"].replace("Z", "+00:00")).timestamp()
    offered += (end - start) * fps
print(f"{recorded} {offered:.0f}")
PY
}

runProgram() {  # $1: no-window | window
  local folder="$work/program-$1" xvfb=""
  folderFor "$folder"
  if [ "$1" = window ]; then
    local display=":$((200 + $$ % 300))"
    Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp > /dev/null 2>&1 &
    xvfb=$!
    sleep 1
    (cd "$folder" && DISPLAY=$display exec "$root/build/main/corvanex") 2> "$work/err-$1.txt" &
  else
    (cd "$folder" && exec "$root/build/main/corvanex" --no-window) 2> "$work/err-$1.txt" &
  fi
  local pid=$!
  local used; used=$(measure 6 "$pid")
  local peak; peak=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status")
  kill -TERM "$pid"; wait "$pid" 2>/dev/null || true
  # Started in this subshell, so the script's exit trap does not see it.
  if [ -n "${xvfb:-}" ]; then kill "$xvfb" 2>/dev/null || true; fi
  local end; end=$(date +%s.%N)
  local share; share=$(recordedShare "$folder" "$end")
  echo "$used $peak $share"
  rm -rf "$folder/video"
}

floorRun() {
  local urls=() port
  for port in $ports; do urls+=("rtsp://127.0.0.1:$port/main"); done
  build/bench/cx-rtsp-floor $((seconds + 8)) "$work" "${urls[@]}" > /dev/null &
  local pid=$!
  local used; used=$(measure 4 "$pid")
  wait "$pid" || true
  rm -f "$work"/floor-*
  echo "$used"
}

results=()
for round in $(seq "$rounds"); do
  read -r headless peakHeadless recHeadless offHeadless < <(runProgram no-window)
  floor=$(floorRun)
  copy=$(perFrame copy)
  read -r windowed peakWindowed recWindowed offWindowed < <(runProgram window)
  both=$(perFrame both)
  results+=("$headless $peakHeadless $recHeadless $offHeadless $floor $copy $windowed $peakWindowed $recWindowed $offWindowed $both")
  echo "round $round done" >&2
done

printf '%s\n' "${results[@]}" > "$work/rounds.txt"
python3 - "$ticks" "$seconds" "$cameras" "$fps" "$work/rounds.txt" <<'EOF'
import statistics, sys
ticks, seconds, cameras, fps = map(float, sys.argv[1:5])
offered = cameras * fps * seconds
us = lambda t: t / ticks / offered * 1e6
rows = [list(map(float, line.split())) for line in open(sys.argv[5]) if line.strip()]
med = statistics.median
print(f"{cameras:.0f} cameras, main 1920x1080 @{fps:.0f} + sub 640x360 @{fps:.0f}, {seconds:.0f} s measured, {len(rows)} rounds")
for n, r in enumerate(rows, 1):
    h, f, w = us(r[0]), us(r[4]), us(r[6])
    print(f"  round {n}: without a window {h:.0f} us/frame, floor {f:.0f}, FFmpeg copy {r[5]:.0f} (ratio {h / r[5]:.2f});"
          f" with the window {w:.0f}, FFmpeg copy + decode {r[10]:.0f} (ratio {w / r[10]:.2f})")
h = med(us(r[0]) for r in rows); f = med(us(r[4]) for r in rows); w = med(us(r[6]) for r in rows)
copy = med(r[5] for r in rows); both = med(r[10] for r in rows)
rh = med(us(r[0]) / r[5] for r in rows); rf = med(us(r[0]) / us(r[4]) for r in rows)
rw = med(us(r[6]) / r[10] for r in rows); rwf = med(us(r[6]) / us(r[4]) for r in rows)
rfc = med(us(r[4]) / r[5] for r in rows)
last = rows[-1]
print("medians over the rounds:")
print(f"  without a window: {h:.0f} us/frame, peak RSS {last[1] / 1024:.0f} MiB, recorded {last[2]:.0f} of {last[3]:.0f} offered (last round);"
      f" FFmpeg copying all main streams {copy:.0f} us/frame (ratio {rh:.2f}); floor {f:.0f} us/frame (ratio {rf:.2f}; floor/FFmpeg {rfc:.2f})")
print(f"  with the window:  {w:.0f} us/frame, peak RSS {last[7] / 1024:.0f} MiB, recorded {last[8]:.0f} of {last[9]:.0f} offered (last round);"
      f" FFmpeg copying main + decoding sub {both:.0f} us/frame (ratio {rw:.2f}); floor {f:.0f} us/frame (ratio {rwf:.2f})")
EOF

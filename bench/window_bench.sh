#!/usr/bin/env bash
# The program with its window: 16 simulated 640x480 cameras at 30 fps in a
# 4x4 grid on a virtual display, every camera recording. Prints the peak
# memory (RSS) of the program and its CPU per frame, against FFmpeg decoding
# all 16 streams at once (16 processes, -threads 1, to BGR), measured in the
# same run.
#
#   bash bench/window_bench.sh [photo folder] [seconds]
#   (run after a build; photos default to ../shared/photos, 640x480 ones)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
photos=${1:-$root/../shared/photos}
seconds=${2:-15}
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; sleep 0.5; rm -rf "$work"' EXIT

mkdir -p "$work/photos"
for f in "$photos"/*.jpg; do
  case "$f" in *1080*) ;; *) ln -s "$(realpath "$f")" "$work/photos/" ;; esac
done

path="/axis-cgi/mjpg/video.cgi?showlength=1"
args=()
for _ in $(seq 16); do args+=(--camera "kind=stream,framing=2-1,path=$path,fps=30,photos=$work/photos"); done
build/tools/simulator/cx-camsim "${args[@]}" > "$work/sim.txt" 2>&1 &
for _ in $(seq 50); do [ "$(grep -c port "$work/sim.txt" || true)" -ge 16 ] && break; sleep 0.1; done
ports=$(sed -n 's/camera [0-9]* port \([0-9]*\).*/\1/p' "$work/sim.txt")

cameras=()
n=0
for port in $ports; do n=$((n + 1)); cameras+=(--camera "Camera $n" 127.0.0.1 "$port" 101); done
build/tools/cx-program-folder "$work/program" "${cameras[@]}" > /dev/null
# Every camera records by the timetable: a window from a minute ago to an hour ahead.
python3 - "$work/program" <<'EOF'
import struct, sys, time
folder = sys.argv[1]
values = [0] * 46
values[0] = 0x000A72A9   # background colour
values[1] = 0x0096FAFF   # text colour
values[3] = 1            # schedule mode
values[5] = 5            # segment minutes
for slot in range(16):
    values[14 + slot] = 1    # scheduleRecord
    values[30 + slot] = 1    # monitorEnabled
open(folder + "/Configuration.cvx", "wb").write(struct.pack("<46i", *values))
now = time.time()
labels = [time.strftime("%H:%M", time.localtime(now - 60)), time.strftime("%H:%M", time.localtime(now + 3600))]
open(folder + "/hours.txt", "w").write("\n".join(labels) + "\n")
open(folder + "/hours.dat", "wb").write(struct.pack("<14i", *([0, 1] * 7)))
EOF

display=":$((200 + $$ % 300))"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp > /dev/null 2>&1 &
sleep 1
(cd "$work/program" && DISPLAY=$display exec "$root/build/main/corvanex") 2> "$work/err.txt" &
pid=$!
sleep 8   # start-up window, connections
cpu() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
# Frames in the recordings up to the sizes they had at one moment: chunks
# with picture bytes, over every part of every file. `sizes` takes the
# moment (a stat of each file), `count` walks the files up to it, so the
# time the walk takes does not count.
sizes() { for f in "$work"/program/video/*/*.avi; do echo "$(stat -c %s "$f") $f"; done; }
count() {
  python3 - "$1" <<'PY'
import struct, sys
n = 0
for line in open(sys.argv[1]):
    size, name = line.rstrip("\n").split(" ", 1)
    with open(name, "rb") as f:
        b = f.read(int(size))
    at = 12
    while at + 12 <= len(b):
        tag, length = b[at:at + 4], struct.unpack("<I", b[at + 4:at + 8])[0]
        if tag == b"RIFF" or (tag == b"LIST" and b[at + 8:at + 12] == b"movi"):
            at += 12
            continue
        if tag[2:] in (b"dc", b"db") and 0 < length and at + 8 + length <= len(b):
            n += 1
        at += 8 + length + (length & 1)
print(n)
PY
}
ticks=$(getconf CLK_TCK)
sizes > "$work/sizes0"
cpu0=$(cpu)
sleep "$seconds"
cpu1=$(cpu)
sizes > "$work/sizes1"
peak=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status")
kill -TERM $pid; wait $pid 2>/dev/null || true
frames=$(( $(count "$work/sizes1") - $(count "$work/sizes0") ))

# FFmpeg decoding all 16 streams at once, one process each (-threads 1, to
# BGR): two lengths, the difference per frame, so start-up drops out. GNU
# time reports the shell with every decoder it waited for.
ffall() {
  local script="" port
  for port in $ports; do
    script+="ffmpeg -v error -nostdin -threads 1 -i 'http://127.0.0.1:$port$path' -frames:v $1 -pix_fmt bgr24 -f null - & "
  done
  /usr/bin/time -f "%U %S" bash -c "${script}wait" 2>&1 | tail -n 1 | awk '{print $1 + $2}'
}
short=$(ffall 30)
long=$(ffall 330)

python3 - "$cpu0" "$cpu1" "$ticks" "$seconds" "$frames" "$peak" "$short" "$long" <<'EOF'
import sys
cpu0, cpu1, ticks, seconds, frames, peak, short, long_ = map(float, sys.argv[1:])
offered = 16 * 30 * seconds
ours = (cpu1 - cpu0) / ticks / frames * 1e6 if frames > 0 else 0   # per frame recorded in the window
ref = (long_ - short) / (300 * 16) * 1e6
print(f"16 x 640x480 @30 in a 4x4 window, recording: peak RSS {peak / 1024:.0f} MiB, "
      f"{ours:.0f} us/frame, FFmpeg decoding all 16 at once {ref:.0f} us/frame, ratio {ours / ref if ref > 0 else 0:.2f}, "
      f"frames recorded {frames:.0f} of {offered:.0f} offered")
EOF

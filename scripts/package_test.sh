#!/usr/bin/env bash
# Checks the Debian packages as a user gets them: builds them from build/
# (which scripts/test.sh has built), lets lintian check them, installs them
# with dpkg -i and apt-get -f install, runs the installed program (--version,
# a new program folder, a 10-second recording without a window from a
# simulated camera of the installed simulator), removes the packages and
# checks that the recordings stay. Needs root or sudo.
set -euo pipefail
cd "$(dirname "$0")/.."

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

if dpkg-query -W -f='${Status}' corvanex 2>/dev/null | grep -q "ok installed"; then
  echo "package test: corvanex is installed on this machine; the check installs and removes it: remove it first" >&2
  exit 1
fi

echo "== packages"
rm -f build/corvanex*.deb
(cd build && cpack -G DEB >/dev/null)
debs=(build/corvanex_*.deb build/corvanex-camsim_*.deb)
ls -l "${debs[@]}"
lintian_status=0
lintian --fail-on error "${debs[@]}" >build/lintian.txt 2>&1 || lintian_status=$?
grep -v "^running with root privileges" build/lintian.txt || true
[ "$lintian_status" = 0 ]

echo "== install"
$SUDO dpkg -i "${debs[@]}" >/dev/null || true  # missing dependencies are for apt-get
DEBIAN_FRONTEND=noninteractive $SUDO apt-get -f install -y -qq >/dev/null
dpkg-query -W -f='${Status} ${Package} ${Version}\n' corvanex corvanex-camsim

work=$(mktemp -d)
simulator=""
recorder=""
cleanup() {
  [ -n "$recorder" ] && kill -9 "$recorder" 2>/dev/null || true
  [ -n "$simulator" ] && kill "$simulator" 2>/dev/null || true
  rm -rf "$work"
  # A check that failed half way leaves nothing installed.
  if dpkg-query -W -f='${Status}' corvanex 2>/dev/null | grep -q "ok installed"; then
    $SUDO dpkg -r corvanex-camsim corvanex >/dev/null 2>&1 || true
  fi
}
trap cleanup EXIT
export QT_QPA_PLATFORM=offscreen
# As on a machine where nothing registered the ODBC driver (the setup
# script did here): the installed program registers it for itself.
mkdir "$work/odbc"
export ODBCSYSINI="$work/odbc"

[ "$(/usr/bin/corvanex --version)" = "corvanex $(dpkg-query -W -f='${Version}' corvanex)" ]
man -w corvanex >/dev/null 2>&1 || [ -f /usr/share/man/man1/corvanex.1.gz ]

# A new folder gets the installed skins, an empty camera list and settings.
/usr/bin/corvanex --no-window --folder "$work/new" 2>"$work/new.txt"
grep -q "no camera is configured" "$work/new.txt"
cmp /usr/share/corvanex/Interface/default.int "$work/new/Interface/default.int"
[ -f "$work/new/Database/Corvanex.mdb" ] && [ -f "$work/new/Configuration.cvx" ]

# As the system service runs it: its own user, an empty state folder.
chmod 755 "$work"
mkdir "$work/state"
$SUDO chown corvanex:corvanex "$work/state"
$SUDO runuser -u corvanex -- /usr/bin/corvanex --no-window --folder "$work/state" 2>"$work/state.txt"
grep -q "no camera is configured" "$work/state.txt"
[ "$(stat -c %U "$work/state/Database/Corvanex.mdb")" = corvanex ]

# Ten seconds of recording from the installed simulator.
/usr/bin/cx-camsim --camera "kind=stream,path=/axis-cgi/mjpg/video.cgi?showlength=1,fps=10,size=640x480,scene=1" >"$work/camsim.txt" &
simulator=$!
for _ in $(seq 100); do grep -q "^camera 0 port" "$work/camsim.txt" && break; sleep 0.1; done
port=$(awk '/^camera 0 port/ {print $4}' "$work/camsim.txt")
[ -n "$port" ]
/usr/bin/cx-program-folder "$work/recorder" --camera Gate 127.0.0.1 "$port" 101 --record-all-day >/dev/null
/usr/bin/corvanex --no-window --folder "$work/recorder" 2>"$work/recorder.txt" &
recorder=$!
sleep 10
kill -TERM "$recorder"
status=0
wait "$recorder" || status=$?
recorder=""
[ "$status" = 0 ] || { echo "the recorder ended with $status"; cat "$work/recorder.txt"; exit 1; }
recording=$(ls "$work"/recorder/video/Gate/*.avi)
# Pictures read back by FFmpeg (positions without a picture are empty).
frames=$(ffprobe -v error -select_streams v:0 -show_entries packet=size -of csv=p=0 "$recording" | awk '$1 > 0' | wc -l)
echo "recorded $frames frames in 10 s into $(basename "$recording")"
[ "$frames" -ge 50 ]

echo "== remove"
$SUDO dpkg -r corvanex-camsim corvanex >/dev/null
! command -v corvanex >/dev/null
[ -f "$recording" ]
echo "package test: ok"

#!/usr/bin/env bash
# Installs every Debian package Corvanex needs to build, run and test, and
# registers the SQLite ODBC driver under the name our connection string uses.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev
  libcurl4-openssl-dev
  libturbojpeg0-dev libjpeg-dev
  unixodbc-dev odbcinst libsqliteodbc sqlite3
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev ffmpeg
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev libgstrtspserver-1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb xauth fonts-dejavu-core
  librsvg2-bin lintian
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    missing+=("$p")
  fi
done

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The connection string names this driver; register the SQLite 3 driver under it.
driver_name="Microsoft Access Driver (*.mdb)"
if ! odbcinst -q -d -n "$driver_name" >/dev/null 2>&1; then
  lib=$(find /usr/lib -name 'libsqlite3odbc.so' 2>/dev/null | head -n 1)
  if [ -z "$lib" ]; then
    echo "setup: libsqlite3odbc.so not found" >&2
    exit 1
  fi
  tmp=$(mktemp)
  printf '[%s]\nDescription=SQLite3 ODBC driver serving the camera database\nDriver=%s\nSetup=%s\nUsageCount=1\n' \
    "$driver_name" "$lib" "$lib" > "$tmp"
  $SUDO odbcinst -i -d -f "$tmp" >/dev/null
  rm -f "$tmp"
fi
echo "setup: ok"

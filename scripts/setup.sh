#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fresh-machine set-up for the K-VEX-ZEP4-Duvez front end.
#   scripts/setup.sh run   install what is missing, build, start the simulated controller and
#                          the front end on it
#   scripts/setup.sh test  install what is missing, build, run every test headless
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-}
case "$mode" in run|test) ;; *) echo "usage: $0 run|test" >&2; exit 2 ;; esac

packages=(cmake ninja-build g++ pkg-config libgtest-dev
          qt6-base-dev libqt6opengl6-dev qt6-serialport-dev qt6-charts-dev qt6-svg-dev
          xvfb xauth
          desktop-file-utils appstream dpkg-dev file python3)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake --preset default
cmake --build --preset default -j "$(nproc)"

if [ "$mode" = test ]; then
  ctest --preset default -j 1
  exit $?
fi

# Demo: the simulated controller on a pty at the real line rate, the front end on port 1.
sim_link=${TMPDIR:-/tmp}/zep4-sim-$$.tty
./build/bin/zep4-sim --paced --link "$sim_link" &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null || true; rm -f "$sim_link"' EXIT
for _ in $(seq 50); do [ -e "$sim_link" ] && break; sleep 0.1; done
export ZEP4_SERIAL_PORTS="$sim_link"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting the front end under Xvfb (a virtual screen)."
  xvfb-run -a -s "-screen 0 1600x1000x24" ./build/bin/kvex-zep4
else
  ./build/bin/kvex-zep4
fi

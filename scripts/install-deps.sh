#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the demo and the benchmark
# need, if missing. The benchmark compares linkmod with Boost.Interprocess and
# ZeroMQ (libboost-dev, libzmq3-dev) and draws its chart with gnuplot. The
# host's refusal box is a zenity dialog; its test shows it under Xvfb and
# finds it with xdotool.
set -euo pipefail

packages=(cmake ninja-build g++ libgtest-dev libgmock-dev openssl libboost-dev libzmq3-dev gnuplot-nox
          zenity xvfb xauth xdotool x11-utils)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  sudo=sudo
fi
echo "installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null

#!/usr/bin/env bash
# Installs what the suite needs to build and test on Debian 12 (only what is missing).
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config git python3
  qt6-base-dev qt6-multimedia-dev libgl-dev libxcb1-dev xvfb evilwm openbox
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  ffmpeg libgtest-dev
  fonts-dejavu-core
)
# The forms' dialog face: the designs' "MS Sans Serif", "Microsoft Sans Serif", "Arial" and "Tahoma"
# are drawn with Liberation Sans (the character widths the designs were laid out for).
packages+=(fonts-liberation2)
# Forms: drags from another program in the X11 tests, network folders, opening documents.
packages+=(xdotool libglib2.0-bin xdg-utils)
# The animated-GIF benchmark's reference reader (bench/gif only; the suite links no giflib).
packages+=(libgif-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

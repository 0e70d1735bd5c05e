#!/bin/bash
# Installs what building, running and testing need on Debian 12. Safe to run
# again: apt-get skips what is there already.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-qpa-plugins
  libpng-dev libjpeg-dev libgif-dev libimagequant-dev
  libcurl4-openssl-dev libgtest-dev
  php-cli curl
  fonts-liberation
  xvfb xauth imagemagick
  libx11-dev
  qt6-multimedia-dev gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  wine wine64 gcc-mingw-w64-x86-64-win32 openbox
  nginx php-fpm wrk
  clang libclang-rt-14-dev ccache
  sox lame dpkg-dev file
  libvips-tools
  pulseaudio pulseaudio-utils
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update
  $sudo_cmd apt-get install -y --no-install-recommends "${missing[@]}"
fi

#!/usr/bin/env bash
# Installs every Debian package that the build, the tests, the benchmarks and the demo need.
# Non-interactive and idempotent; when everything is present it only asks dpkg and returns.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config ccache
  qt6-base-dev qt6-svg-dev libgl-dev fonts-dejavu-core xvfb xauth imagemagick xdotool libx11-dev
  libcurl4-openssl-dev libssl-dev libcpp-httplib-dev openssl curl ca-certificates
  pulseaudio pulseaudio-utils libpulse-dev
  dpf-plugins-vst
  googletest libgtest-dev libgmock-dev libbenchmark-dev libpugixml-dev
  clang-14 libclang-rt-14-dev
  flac libflac-dev sox libsox-fmt-base
  desktop-file-utils
  libebur128-dev lsp-plugins-vst espeak-ng
  openbox at-spi2-core python3-pyatspi dbus locales x11-utils
  dpkg-dev fakeroot lintian appstream
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"

#!/usr/bin/env bash
# Installs every Debian package that the build, the tests, the benchmarks and the program need.
# Runs apt-get update only when something is missing, so a second run changes nothing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev
  libusb-1.0-0-dev
  libxcb1-dev libxcb-ewmh-dev
  xvfb openbox
  # The tests' real desktop: a tray, and a pointer that drags and clicks its windows.
  trayer xdotool
  libgtest-dev libgmock-dev googletest
  libbenchmark-dev
  desktop-file-utils
  # The program's texts name Arial and include Chinese sentences: a font with Arial's metrics
  # and a CJK font, so that no box shows empty squares on a fresh machine.
  fonts-liberation2 fonts-wqy-microhei
  # Screenshots of the program's windows.
  imagemagick
  # The virtual printers: the print system (its filters make the PDF our backend saves) and its
  # client library; pdfinfo, which the print-system tests read the PDFs with, comes with it.
  cups libcups2-dev
  # The print-system tests print from a second account through sudo, as CI sets it up.
  sudo
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "setup: installing ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"

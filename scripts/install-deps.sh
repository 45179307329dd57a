#!/usr/bin/env bash
# Installs, with apt-get, the Debian 12 packages the build, the tests and the sandbox need,
# and only those that are missing.
set -eu
packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
    libgtest-dev libbenchmark-dev
    libpng-dev libjpeg62-turbo-dev zlib1g-dev
    libopenal-dev libopenal1 libvorbis-dev
    libx11-dev libxext-dev libxrandr-dev libxtst-dev libxfixes-dev libgl-dev libglx-dev libgl1-mesa-dev libgl1-mesa-dri
    xvfb xauth xdotool x11-utils
    libegl-dev libegl-mesa0
    doxygen python3
    libsdl2-dev
    libfreetype-dev fonts-dejavu-core
    libenet-dev libcurl4-openssl-dev openssl libssl-dev
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"

#!/usr/bin/env bash
# Builds the Corvex tree, installs it into a prefix and builds this consumer three ways: with
# find_package against the prefix (plus a compile of every installed header on its own), with
# pkg-config alone, and through add_subdirectory of the source tree. Each program opens a window
# on a private Xvfb, draws bands.png turned with text over it and checks the pixels.
# Usage: tests/consumer/run.sh [WORK_DIR [extra cmake arguments for the Corvex build...]]
# With CORVEX_PREBUILT=BUILD_DIR it installs that finished build instead of making its own.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
work=${1:-$root/build-consumer}
shift || true
mkdir -p "$work"
work=$(cd "$work" && pwd)
prefix=$work/prefix
jobs=$(nproc)
xvfb=$root/scripts/with-xvfb.sh

rm -rf "$prefix"
if [ -n "${CORVEX_PREBUILT:-}" ]; then
    echo "== consumer: installing the Corvex build $CORVEX_PREBUILT into $prefix"
    cmake --install "$CORVEX_PREBUILT" --prefix "$prefix"
else
    echo "== consumer: building and installing Corvex into $prefix"
    cmake -S "$root" -B "$work/corvex" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVEX_BUILD_TESTS=OFF \
          -DCORVEX_BUILD_BENCHMARKS=OFF -DCORVEX_BUILD_EXAMPLES=OFF -DCORVEX_BUILD_DOCS=OFF \
          -DCMAKE_INSTALL_PREFIX="$prefix" "$@"
    cmake --build "$work/corvex" -j "$jobs"
    cmake --install "$work/corvex"
fi

# Only the public include tree is installed: nothing private beside it.
if [ "$(ls "$prefix/include")" != corvex ]; then
    echo "unexpected entries in $prefix/include: $(ls "$prefix/include")" >&2
    exit 1
fi
for program in physbox physimg.png imgconv physbox-sim; do
    [ -e "$prefix/bin/$program" ] || { echo "missing $prefix/bin/$program" >&2; exit 1; }
done

echo "== consumer 1/3: find_package(Corvex), and every installed header on its own"
cmake -S "$here" -B "$work/find-package" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix"
cmake --build "$work/find-package" -j "$jobs"
bash "$xvfb" "$work/find-package/corvex_consumer" "$here/bands.png"

echo "== consumer 2/3: pkg-config"
mkdir -p "$work/pkg-config"
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig${PKG_CONFIG_PATH:+:$PKG_CONFIG_PATH}"
# The run path finds shared Corvex libraries outside the system's library folders.
# shellcheck disable=SC2046
${CXX:-c++} -std=c++20 -O2 -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Werror -o "$work/pkg-config/corvex_consumer" "$here/main.cpp" \
    $(pkg-config --cflags --libs corvex) -Wl,-rpath,"$prefix/lib"
bash "$xvfb" "$work/pkg-config/corvex_consumer" "$here/bands.png"

echo "== consumer 3/3: add_subdirectory"
cmake -S "$here" -B "$work/subdirectory" -G Ninja -DCORVEX_SOURCE_DIR="$root"
cmake --build "$work/subdirectory" -j "$jobs"
bash "$xvfb" "$work/subdirectory/corvex_consumer" "$here/bands.png"

echo "consumer: all three builds passed"

#!/usr/bin/env bash
# Cross-builds Corvex for 64-bit Windows with MinGW-w64 on Debian 12.
#
# Installs what it needs with apt-get, builds the libraries Debian has no MinGW package for
# (libpng, libjpeg-turbo, libogg, libvorbis, FreeType, ENet, GoogleTest) from Debian's source
# packages into a cache outside the tree, then cross-builds the framework, the tools, the examples
# and the sandbox, and gathers a folder a Windows user can be handed.
#
# Usage: scripts/build-windows.sh [--deps-only] [--test] [BUILD_DIR]
#   BUILD_DIR              default build-win
#   --deps-only            stop after the libraries in the cache
#   --test                 run scripts/test-windows.sh on the build afterwards
# Environment:
#   CORVEX_WINDOWS_CACHE   the cache (default ${XDG_CACHE_HOME:-$HOME/.cache}/corvex-windows)
#   CORVEX_JOBS            parallel jobs (default 2)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cache=${CORVEX_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/corvex-windows}
jobs=${CORVEX_JOBS:-2}
deps_only=0
run_tests=0
build=build-win
for arg in "$@"; do
    case $arg in
        --deps-only) deps_only=1 ;;
        --test) run_tests=1 ;;
        -*) echo "build-windows: unknown option $arg" >&2; exit 2 ;;
        *) build=$arg ;;
    esac
done
case $build in /*) ;; *) build=$root/$build ;; esac
prefix=$cache/prefix
toolchain=$root/cmake/toolchain-mingw64.cmake
host=x86_64-w64-mingw32
mkdir -p "$cache/src" "$cache/build" "$cache/stamps" "$prefix"
export CORVEX_WINDOWS_PREFIX=$prefix

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
step_start=$SECONDS
step() { echo "== $* ($(( SECONDS - step_start )) s so far)"; }

# ---- Debian packages: the cross compiler, zlib for MinGW, Wine, Xvfb, the source-package tools
packages=(cmake ninja-build g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64
          dpkg-dev xvfb xauth xdotool curl xz-utils)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    step "Installing ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# ---- Source packages need deb-src lines; bookworm's are added when none are configured.
have_sources() {
    grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/
}
if ! have_sources; then
    step "Adding deb-src lines for bookworm"
    $sudo tee /etc/apt/sources.list.d/corvex-deb-src.sources >/dev/null <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    $sudo apt-get update -qq
fi

# fetch SOURCE_PACKAGE: unpacks Debian's newest source of the package in $cache/src (once) and
# prints the folder. When the newest revision's files are not on the archive, earlier revisions
# of the same upstream version are tried.
fetch() {
    local pkg=$1 dir versions version upstream
    dir=$(find "$cache/src/$pkg" -mindepth 1 -maxdepth 1 -type d 2>/dev/null | head -n1)
    if [ -n "$dir" ]; then echo "$dir"; return; fi
    mkdir -p "$cache/src/$pkg"
    versions=$(apt-cache showsrc "$pkg" | sed -n 's/^Version: //p' | sort -Vr | uniq)
    [ -n "$versions" ] || { echo "build-windows: no source package $pkg" >&2; return 1; }
    upstream=$(echo "$versions" | head -n1 | sed 's/^[0-9]*://; s/-[^-]*$//')
    for version in $versions; do
        case $(echo "$version" | sed 's/^[0-9]*://; s/-[^-]*$//') in
            "$upstream") ;;
            *) continue ;;
        esac
        if (cd "$cache/src/$pkg" && apt-get source -qq "$pkg=$version" >&2); then
            find "$cache/src/$pkg" -mindepth 1 -maxdepth 1 -type d | head -n1
            return
        fi
        echo "build-windows: $pkg $version did not download; trying an earlier revision" >&2
        rm -rf "${cache:?}/src/$pkg"/*
    done
    echo "build-windows: no revision of $pkg $upstream could be fetched" >&2
    return 1
}

# cmake_dep NAME SOURCE_PACKAGE [CMAKE ARGS...]: cross-builds a CMake project into the prefix.
cmake_dep() {
    local name=$1 pkg=$2 src t0=$SECONDS
    shift 2
    src=$(fetch "$pkg") || return 1
    local stamp=$cache/stamps/$name-$(basename "$src")
    [ -f "$stamp" ] && { echo "   $name: built already ($(basename "$src"))"; return; }
    step "Building $name from $(basename "$src")"
    rm -rf "$cache/build/$name"
    cmake -S "$src" -B "$cache/build/$name" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_POLICY_DEFAULT_CMP0074=NEW \
        -DBUILD_SHARED_LIBS=OFF -DCMAKE_CROSSCOMPILING_EMULATOR= "$@" >"$cache/build/$name.log" 2>&1 \
        || { tail -n 30 "$cache/build/$name.log"; return 1; }
    nice -n 10 cmake --build "$cache/build/$name" -j "$jobs" >>"$cache/build/$name.log" 2>&1 \
        && cmake --install "$cache/build/$name" >>"$cache/build/$name.log" 2>&1 \
        || { tail -n 30 "$cache/build/$name.log"; return 1; }
    touch "$stamp"
    echo "   $name: $(( SECONDS - t0 )) s"
}

# ENet: Debian's source package when it downloads, else the upstream tarball Debian's enet source
# package is built from, taken from Debian's pool and checked against its known digest.
enet_orig_url=http://deb.debian.org/debian/pool/main/e/enet/enet_1.3.18+ds.orig.tar.xz
enet_orig_sha256=f1ba5f8aaf253cb19b9545031450bf74122f151435998259ca978808e9e4fec3
fetch_enet() {
    local dir
    if dir=$(fetch enet); then echo "$dir"; return; fi
    echo "build-windows: trying enet's orig tarball from Debian's pool" >&2
    rm -rf "${cache:?}/src/enet" && mkdir -p "$cache/src/enet"
    local tarball=$cache/src/enet/$(basename "$enet_orig_url")
    curl -fsSL --retry 2 -o "$tarball" "$enet_orig_url" || { echo "build-windows: $enet_orig_url did not download" >&2; return 1; }
    if ! echo "$enet_orig_sha256  $tarball" | sha256sum -c --quiet - >&2; then
        echo "build-windows: $tarball does not have the expected sha256" >&2
        rm -f "$tarball"
        return 1
    fi
    tar -xJf "$tarball" -C "$cache/src/enet" && rm -f "$tarball"
    find "$cache/src/enet" -mindepth 1 -maxdepth 1 -type d | head -n1
}

# ENet's CMake project links ws2_32 and winmm on MinGW and installs its archive in lib/static;
# it is put beside the other libraries.
enet_dep() {
    local src t0=$SECONDS
    src=$(fetch_enet) || return 1
    local stamp=$cache/stamps/enet-$(basename "$src")
    [ -f "$stamp" ] && { echo "   enet: built already ($(basename "$src"))"; return; }
    step "Building enet from $(basename "$src")"
    rm -rf "$cache/build/enet"
    cmake -S "$src" -B "$cache/build/enet" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DCMAKE_POLICY_DEFAULT_CMP0074=NEW >"$cache/build/enet.log" 2>&1 \
        || { tail -n 30 "$cache/build/enet.log"; return 1; }
    nice -n 10 cmake --build "$cache/build/enet" -j "$jobs" >>"$cache/build/enet.log" 2>&1 \
        && cmake --install "$cache/build/enet" >>"$cache/build/enet.log" 2>&1 \
        || { tail -n 30 "$cache/build/enet.log"; return 1; }
    cp "$prefix/lib/static/libenet.a" "$prefix/lib/libenet.a"
    touch "$stamp"
    echo "   enet: $(( SECONDS - t0 )) s"
}

deps_start=$SECONDS
mkdir -p "$prefix/lib" "$prefix/include"
cmake_dep libpng libpng1.6 -DPNG_SHARED=OFF -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DSKIP_INSTALL_PROGRAMS=ON
cmake_dep libjpeg-turbo libjpeg-turbo -DWITH_SIMD=OFF -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF -DWITH_JPEG8=OFF
cmake_dep libogg libogg -DINSTALL_DOCS=OFF -DBUILD_TESTING=OFF
cmake_dep libvorbis libvorbis -DBUILD_TESTING=OFF
cmake_dep freetype freetype -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON -DFT_DISABLE_BZIP2=ON \
    -DFT_DISABLE_PNG=ON -DFT_REQUIRE_ZLIB=ON
# Optional: when neither source downloads, the rest still builds without game hosts (and later
# runs do not ask again until the stamp is removed).
if [ -f "$cache/stamps/enet-unavailable" ]; then
    echo "   enet: skipped (its source did not download; remove $cache/stamps/enet-unavailable to retry)"
elif ! enet_dep; then
    touch "$cache/stamps/enet-unavailable"
    echo "   enet: skipped (its source did not download)"
fi
cmake_dep googletest googletest -DBUILD_GMOCK=ON -Dgtest_force_shared_crt=ON
echo "== Libraries ready in $prefix ($(( SECONDS - deps_start )) s)"
[ $deps_only -eq 1 ] && exit 0

# ---- The framework, the tools, the examples and the sandbox
# Programs run during the build (the sandbox's picture painter, the examples' picture maker) run
# under Wine, in the cache's prefix.
source "$root/scripts/wine-env.sh"
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
step "Configuring $build"
t0=$SECONDS
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCORVEX_WINDOWS_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCORVEX_WERROR=ON -DCORVEX_BUILD_BENCHMARKS=OFF -DCORVEX_BUILD_DOCS=OFF "${launcher[@]}" >/dev/null
step "Building $build"
nice -n 10 cmake --build "$build" -j "$jobs"
echo "   framework build: $(( SECONDS - t0 )) s"

# ---- The folder a Windows user is handed: programs beside their data, and the install prefix
dist=$build/corvex-windows
step "Gathering $dist"
rm -rf "$dist"
mkdir -p "$dist/examples" "$dist/tools"
cmake --install "$build" --prefix "$dist/corvex" >/dev/null
# The libraries the static Corvex libraries link, so MinGW consumers of the prefix find them.
cp "$prefix"/lib/lib{png16,png,jpeg,vorbisfile,vorbisenc,vorbis,ogg,freetype,enet}.a "$dist/corvex/lib/" 2>/dev/null || true
cp -r "$prefix"/include/{png.h,pngconf.h,pnglibconf.h,jpeglib.h,jconfig.h,jmorecfg.h,jerror.h,ogg,vorbis,freetype2,enet} \
    "$dist/corvex/include/" 2>/dev/null || true
if [ -f "$build/game/physbox.exe" ]; then
    cp "$build/game/physbox.exe" "$build/game/physimg.png" "$dist/"
fi
for exe in "$build"/tools/*/*.exe; do
    case $exe in *_tests.exe) continue ;; esac
    cp "$exe" "$dist/tools/"
done
for dir in "$build"/examples/*/; do
    name=$(basename "$dir")
    ls "$dir"corvex_example_*.exe >/dev/null 2>&1 || continue
    mkdir -p "$dist/examples/$name"
    cp "$dir"corvex_example_*.exe "$dist/examples/$name/"
    cp "$dir"*.png "$dir"*.jpg "$dist/examples/$name/" 2>/dev/null || true
done
echo "== Windows build ready: $dist ($(( SECONDS - step_start )) s in all)"
find "$dist" -maxdepth 2 -name '*.exe' | sed "s|$dist/|   |"

if [ $run_tests -eq 1 ]; then
    bash "$root/scripts/test-windows.sh" "$build"
fi

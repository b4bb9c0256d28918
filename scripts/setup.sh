#!/usr/bin/env bash
# Installs whatever the build, the demo and the tests need, then configures and
# builds. Safe to run again: it only calls apt-get for packages that are missing.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUENDIX_BUILD:-$root/build}

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

packages=(cmake ninja-build g++-mingw-w64-i686-posix binutils-mingw-w64-i686 googletest
          wine wine32:i386 xvfb xauth x11-utils imagemagick clang-14 libclang-rt-14-dev python3 nsis zip
          clang-format-14 clang-tidy-14 git
          libz-mingw-w64-dev zlib1g-dev libssl-dev openssl clamav clamav-testfiles
          dpkg-dev debian-archive-keyring make
          libarchive-dev libmspack-dev libbz2-dev liblzma-dev libzstd-dev libxml2-dev libacl1-dev liblz4-dev
          nettle-dev pkg-config
          libarchive-tools 7zip gcab genisoimage cpio bzip2 xz-utils zstd)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
  fi
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The archive libraries for the Windows programs, from Debian's sources
# (third-party/versions); nothing to do when they are built already. The host
# build uses the -dev packages above: say when their versions differ.
"$root/third-party/build.sh" "$build"
"$root/third-party/check-host.sh" || true

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" \
  -DQDX_THIRD_PARTY_PREFIX="$build/third-party/i686-w64-mingw32" >/dev/null
cmake --build "$build" -j"$(nproc)"

#!/usr/bin/env bash
# Fetches the Debian source packages named in third-party/versions (Debian's
# patches applied, then ours from third-party/patches/PACKAGE) and builds them
# as static libraries for i686-w64-mingw32 into
# BUILD/third-party/i686-w64-mingw32/{include,lib}. A stamp per package
# records its version and this recipe, so a second run fetches and builds
# nothing. zlib is Debian's own MinGW build (libz-mingw-w64-dev).
#
#   third-party/build.sh [BUILD_DIR]
#
# Only what reading archives needs is built: no programs, tests, shared
# libraries, crypto, iconv, ACL or xattr.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
build=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)
target=i686-w64-mingw32
base=$build/third-party
prefix=$base/$target
work=$base/work
jobs=$(nproc)
recipe=$(cat "$here/build.sh" "$here"/patches/*/*.patch 2>/dev/null | sha256sum | cut -c1-16)

declare -A version=()
order=()
while read -r name ver _; do
  [[ -z "$name" || "$name" == \#* ]] && continue
  version[$name]=$ver
  order+=("$name")
done <"$here/versions"

stamp_of() { echo "$1 ${version[$1]} recipe $recipe"; }
is_current() { [ -f "$prefix/stamps/$1" ] && [ "$(cat "$prefix/stamps/$1")" = "$(stamp_of "$1")" ]; }

todo=()
for name in "${order[@]}"; do is_current "$name" || todo+=("$name"); done
# libarchive links the others: a rebuilt dependency rebuilds it.
if [ ${#todo[@]} -gt 0 ] && [[ " ${todo[*]} " != *" libarchive "* ]] && [[ " ${todo[*]} " =~ \ (bzip2|xz-utils|libzstd|libxml2)\  ]]; then
  todo+=(libarchive)
fi
if [ ${#todo[@]} -eq 0 ]; then
  exit 0
fi
echo "third-party: building ${todo[*]} for $target"
started=$SECONDS
quiet() { # runs a step, showing its output only when it fails
  local log=$work/log/$1; shift
  mkdir -p "$work/log"
  "$@" >"$log" 2>&1 || { tail -n 60 "$log" >&2; echo "third-party: failed, see $log" >&2; exit 1; }
}

# --- Fetching: an apt source list of the build's own, never the system's
# configuration. The mirrors are the system's own Debian bookworm entries.
apt_dir=$base/apt
apt_opts=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$apt_dir/sources"
          -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache"
          -o APT::Sandbox::User="$(id -un)")

write_source_list() {
  rm -rf "$apt_dir/sources"
  mkdir -p "$apt_dir/sources" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
  local f
  # deb822 entries: each enabled binary stanza of a bookworm suite becomes a
  # source stanza for its main component.
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk '
      function flush() {
        if (types ~ /(^|[ \t])deb([ \t]|$)/ && suites ~ /^bookworm/ && tolower(enabled) != "no")
          printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: %s\n\n", uris, suites,
                 (signed != "" ? signed : "/usr/share/keyrings/debian-archive-keyring.gpg")
        types = uris = suites = signed = enabled = ""
      }
      /^[ \t]*#/ { next }
      /^[ \t]*$/ { flush(); next }
      { key = tolower($1); value = $0; sub(/^[^:]*:[ \t]*/, "", value) }
      key == "types:" { types = value }
      key == "uris:" { uris = value }
      key == "suites:" { suites = value }
      key == "signed-by:" { signed = value }
      key == "enabled:" { enabled = value }
      END { flush() }' "$f"
  done >"$apt_dir/sources/system.sources"
  # One-line entries: "deb [options] URI bookworm... components".
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk '$1 == "deb" {
           i = 2; opts = ""
           if ($2 ~ /^\[/) { while (i <= NF && $i !~ /\]$/) { opts = opts " " $i; i++ } opts = opts " " $i; i++ }
           if ($(i + 1) ~ /^bookworm/) print "deb-src" opts, $i, $(i + 1), "main"
         }' "$f"
  done >"$apt_dir/sources/system.list"
  if ! grep -q . "$apt_dir/sources/system.sources" "$apt_dir/sources/system.list"; then
    echo "third-party: no Debian bookworm entry in the system's apt sources to take the mirror from" >&2
    exit 1
  fi
}

fetch() { # fetch NAME: unpacks the pinned source package into $work/src/NAME
  local name=$1 ver=${version[$1]}
  rm -rf "$work/download/$name" "$work/src/$name"
  mkdir -p "$work/download/$name" "$work/src"
  if ! (cd "$work/download/$name" && apt-get "${apt_opts[@]}" source -qq --download-only "$name=$ver" >/dev/null); then
    echo "third-party: $name $ver cannot be fetched; the mirror offers:" >&2
    apt-cache "${apt_opts[@]}" showsrc "$name" 2>/dev/null | sed -n 's/^Version: /  /p' >&2
    echo "third-party: change its version in third-party/versions" >&2
    exit 1
  fi
  # apt-get checked the files against Debian's signed index; dpkg-source
  # unpacks and applies Debian's patches.
  quiet "unpack-$name" dpkg-source -x "$work/download/$name"/*.dsc "$work/src/$name"
  # Fixes of our own on top, each saying why and where upstream has it.
  local p
  for p in "$here/patches/$name"/*.patch; do
    [ -f "$p" ] || continue
    quiet "patch-$name-$(basename "$p")" patch -p1 -d "$work/src/$name" -i "$p"
  done
}

write_source_list
echo "third-party: reading the source index"
apt-get "${apt_opts[@]}" update -qq >/dev/null
for name in "${todo[@]}"; do fetch "$name"; done

# --- Building
mkdir -p "$prefix/include" "$prefix/lib" "$prefix/stamps"
export CFLAGS="-O2 -g0"
toolchain=$root/cmake/toolchain-mingw-i686.cmake
cmake_common=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release
               -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DBUILD_SHARED_LIBS=OFF -Wno-dev)
cc=$target-gcc-posix

build_bzip2() {
  local src=$work/src/bzip2 out=$work/build/bzip2 f pids=() pid
  rm -rf "$out" && mkdir -p "$out"
  for f in blocksort huffman crctable randtable compress decompress bzlib; do
    $cc $CFLAGS -D_FILE_OFFSET_BITS=64 -c "$src/$f.c" -o "$out/$f.o" & pids+=($!)
  done
  for pid in "${pids[@]}"; do wait "$pid"; done
  rm -f "$prefix/lib/libbz2.a"
  $target-ar rcs "$prefix/lib/libbz2.a" "$out"/*.o
  cp "$src/bzlib.h" "$prefix/include/"
}

build_xz-utils() {
  local src=$work/src/xz-utils out=$work/build/xz-utils
  rm -rf "$out"
  quiet xz-configure cmake -S "$src" -B "$out" "${cmake_common[@]}" -DENABLE_NLS=OFF
  quiet xz-build cmake --build "$out" --target liblzma -j"$jobs"
  cp "$out/liblzma.a" "$prefix/lib/"
  rm -rf "$prefix/include/lzma"
  cp -r "$src/src/liblzma/api/lzma.h" "$src/src/liblzma/api/lzma" "$prefix/include/"
}

build_libzstd() {
  local src=$work/src/libzstd out=$work/build/libzstd
  rm -rf "$out"
  quiet zstd-configure cmake -S "$src/build/cmake" -B "$out" "${cmake_common[@]}" \
    -DZSTD_BUILD_PROGRAMS=OFF -DZSTD_BUILD_TESTS=OFF -DZSTD_BUILD_CONTRIB=OFF \
    -DZSTD_BUILD_SHARED=OFF -DZSTD_BUILD_STATIC=ON -DZSTD_MULTITHREAD_SUPPORT=OFF -DZSTD_LEGACY_SUPPORT=OFF
  quiet zstd-build cmake --build "$out" --target libzstd_static -j"$jobs"
  cp "$out/lib/libzstd.a" "$prefix/lib/"
  cp "$src/lib/zstd.h" "$src/lib/zstd_errors.h" "$src/lib/zdict.h" "$prefix/include/"
}

build_libxml2() {
  # Only what libarchive's XAR support uses (xmlTextReader over a memory
  # buffer; its writer needs xmlTextWriter to compile); no network, no
  # catalogs, no iconv.
  local src=$work/src/libxml2 out=$work/build/libxml2 opt off=()
  for opt in C14N CATALOG DEBUG DOCB FTP HTML HTTP ICONV ICU ISO8859X LEGACY LZMA MODULES PATTERN \
             PROGRAMS PYTHON REGEXPS SAX1 SCHEMAS SCHEMATRON TESTS VALID XINCLUDE XPATH XPTR ZLIB; do
    off+=(-DLIBXML2_WITH_$opt=OFF)
  done
  rm -rf "$out"
  quiet xml2-configure cmake -S "$src" -B "$out" "${cmake_common[@]}" "${off[@]}" \
    -DLIBXML2_WITH_READER=ON -DLIBXML2_WITH_WRITER=ON -DLIBXML2_WITH_OUTPUT=ON -DLIBXML2_WITH_PUSH=ON -DLIBXML2_WITH_TREE=ON -DLIBXML2_WITH_THREADS=ON
  quiet xml2-build cmake --build "$out" --target LibXml2 -j"$jobs"
  cp "$out/libxml2.a" "$prefix/lib/"
  rm -rf "$prefix/include/libxml2"
  mkdir -p "$prefix/include/libxml2/libxml"
  cp "$src"/include/libxml/*.h "$prefix/include/libxml2/libxml/"
  cp "$out/libxml/xmlversion.h" "$prefix/include/libxml2/libxml/"
}

build_libarchive() {
  local src=$work/src/libarchive out=$work/build/libarchive mingw=/usr/$target
  rm -rf "$out"
  quiet archive-configure cmake -S "$src" -B "$out" "${cmake_common[@]}" \
    -DENABLE_TAR=OFF -DENABLE_CPIO=OFF -DENABLE_CAT=OFF -DENABLE_TEST=OFF -DENABLE_INSTALL=OFF \
    -DENABLE_OPENSSL=OFF -DENABLE_MBEDTLS=OFF -DENABLE_NETTLE=OFF -DENABLE_CNG=OFF -DENABLE_LIBB2=OFF \
    -DENABLE_LZ4=OFF -DENABLE_LZO=OFF -DENABLE_ICONV=OFF -DENABLE_ACL=OFF -DENABLE_XATTR=OFF \
    -DENABLE_PCREPOSIX=OFF -DENABLE_LIBGCC=OFF -DPOSIX_REGEX_LIB=NONE -DENABLE_EXPAT=OFF -DENABLE_WERROR=OFF \
    -DENABLE_ZLIB=ON -DZLIB_INCLUDE_DIR=$mingw/include -DZLIB_LIBRARY=$mingw/lib/libz.a \
    -DENABLE_BZip2=ON -DBZIP2_INCLUDE_DIR="$prefix/include" -DBZIP2_LIBRARIES="$prefix/lib/libbz2.a" \
    -DBZIP2_LIBRARY_RELEASE="$prefix/lib/libbz2.a" \
    -DENABLE_LZMA=ON -DLIBLZMA_INCLUDE_DIR="$prefix/include" -DLIBLZMA_LIBRARY="$prefix/lib/liblzma.a" \
    -DENABLE_ZSTD=ON -DZSTD_INCLUDE_DIR="$prefix/include" -DZSTD_LIBRARY="$prefix/lib/libzstd.a" \
    -DENABLE_LIBXML2=ON -DLIBXML2_INCLUDE_DIR="$prefix/include/libxml2" -DLIBXML2_LIBRARY="$prefix/lib/libxml2.a" \
    -DCMAKE_C_FLAGS="-DLZMA_API_STATIC -DLIBXML_STATIC"
  for have in HAVE_LIBZ HAVE_BZLIB_H HAVE_LZMA_H HAVE_ZSTD_H HAVE_LIBXML_XMLREADER_H; do
    grep -q "#define $have 1" "$out/config.h" || { echo "third-party: libarchive configured without $have" >&2; exit 1; }
  done
  quiet archive-build cmake --build "$out" --target archive_static -j"$jobs"
  cp "$out/libarchive/libarchive_static.a" "$prefix/lib/libarchive.a"
  cp "$src/libarchive/archive.h" "$src/libarchive/archive_entry.h" "$prefix/include/"
}

build_libmspack() {
  local src=$work/src/libmspack out=$work/build/libmspack
  rm -rf "$out" && mkdir -p "$out"
  quiet mspack-configure bash -c "cd '$out' && '$src/configure' --host=$target CC=$cc --disable-shared --enable-static"
  quiet mspack-build make -C "$out" -j"$jobs" libmspack.la
  cp "$out/.libs/libmspack.a" "$prefix/lib/"
  cp "$src/mspack/mspack.h" "$prefix/include/"
}

build_one() {
  local name=$1
  echo "third-party: $name ${version[$name]}"
  rm -f "$prefix/stamps/$name"
  "build_$name"
  mkdir -p "$prefix/share/licenses/$name"
  cp "$work/src/$name/debian/copyright" "$prefix/share/licenses/$name/copyright"
  stamp_of "$name" >"$prefix/stamps/$name"
}
# Everything but libarchive at once (their configure steps keep one core
# busy each), then libarchive, whose configure links against them.
pids=()
for name in "${todo[@]}"; do
  [ "$name" = libarchive ] || { build_one "$name" & pids+=($!); }
done
failed=0
for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
[ $failed -eq 0 ] || exit 1
if [[ " ${todo[*]} " == *" libarchive "* ]]; then
  build_one libarchive
fi
mkdir -p "$prefix/share/licenses/zlib"
cp /usr/share/doc/libz-mingw-w64-dev/copyright "$prefix/share/licenses/zlib/copyright"
rm -rf "$work"
echo "third-party: done in $((SECONDS - started)) s"

#!/usr/bin/env bash
# Builds the static MinGW-w64 x86-64 libraries that the Windows executable
# links (liblzma, expat, bzip2, zstd, libarchive, SQLite) from Debian's own
# source packages, the same versions as the Linux -dev packages installed here.
# zlib comes ready-made from Debian (libz-mingw-w64-dev).
#
# The result is cached under ${QUILLON_MINGW_CACHE:-~/.cache/quillon-mingw}/<key>,
# the key made of the source versions, the cross compiler's version and this
# script's hash, so a second run only checks the key. build/mingw-libs in the
# source tree then points at the prefix; the Windows preset looks there.
#
# Needs: dpkg-dev, cmake, make, gcc, tcl (SQLite's generators run natively),
# libsqlite3-0, g++-mingw-w64-x86-64-posix, libz-mingw-w64-dev, and network
# access to the Debian mirror on the first run. apt runs with a private
# configuration (deb-src entries for the machine's own mirrors, its own lists
# and cache), so the machine's apt setup is left as it is.
set -euo pipefail

source_dir=$(cd "$(dirname "$0")/.." && pwd)
cache_root=${QUILLON_MINGW_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quillon-mingw}
host=x86_64-w64-mingw32
jobs=${QUILLON_MINGW_JOBS:-2}

missing=()
command -v dpkg-source >/dev/null || missing+=(dpkg-dev)
command -v cmake >/dev/null || missing+=(cmake)
command -v make >/dev/null || missing+=(make)
command -v gcc >/dev/null || missing+=(gcc)
command -v tclsh >/dev/null || missing+=(tcl)
dpkg-query -W libsqlite3-0 >/dev/null 2>&1 || missing+=(libsqlite3-0)
command -v $host-gcc-posix >/dev/null || missing+=(g++-mingw-w64-x86-64-posix)
[ -f /usr/$host/lib/libz.a ] || missing+=(libz-mingw-w64-dev)
if [ ${#missing[@]} -gt 0 ]; then
  echo "build-mingw-libs: missing packages; install them with:" >&2
  echo "  sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi

# The source packages, at the versions of the installed Linux libraries.
runtime_packages=(liblzma5 libexpat1 libbz2-1.0 libzstd1 libarchive13 libsqlite3-0)
mapfile -t sources < <(dpkg-query -W -f='${source:Package}=${source:Version}\n' "${runtime_packages[@]}")
toolchain=$(dpkg-query -W -f='${Package}=${Version}\n' gcc-mingw-w64-x86-64-posix libz-mingw-w64-dev)
key=$( (printf '%s\n' "${sources[@]}" "$toolchain"; cat "$0") | sha256sum | cut -c1-16)
prefix=$cache_root/$key

link_prefix() {
  mkdir -p "$source_dir/build"
  ln -sfn "$prefix" "$source_dir/build/mingw-libs"
}

# One build at a time per cache (several worktrees may share it).
mkdir -p "$cache_root"
exec 9>"$cache_root/lock"
flock 9

if [ -f "$prefix/.complete" ]; then
  link_prefix
  echo "MinGW libraries ready in $prefix"
  exit 0
fi

# Unfinished builds left by a failed or interrupted run go; finished ones of
# other keys stay (other checkouts may use them).
for dir in "$cache_root"/work-* "$cache_root"/????????????????; do
  if [ -d "$dir" ] && [ ! -f "$dir/.complete" ]; then
    rm -rf "$dir"
  fi
done
work=$cache_root/work-$key
mkdir -p "$work" "$prefix"

# --- Source packages through a private apt setup ---------------------------
apt_dir=$cache_root/apt
mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
: >"$apt_dir/sources.list"
rm -f "$apt_dir/sources.list.d/"*
# Every enabled binary entry of the machine becomes a deb-src entry here.
for file in /etc/apt/sources.list.d/*.sources; do
  [ -f "$file" ] || continue
  sed 's/^Types:.*/Types: deb-src/' "$file" >"$apt_dir/sources.list.d/$(basename "$file")"
done
for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [ -f "$file" ] || continue
  sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$file" >>"$apt_dir/sources.list"
done
apt_options=(
  -o "Dir::Etc::SourceList=$apt_dir/sources.list"
  -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
  -o "Dir::State::Lists=$apt_dir/lists"
  -o "Dir::Cache=$apt_dir/cache"
  -o "APT::Sandbox::User=$(id -un)"
  -o "Debug::NoLocking=true"
)
echo "Fetching the source package lists..."
apt-get "${apt_options[@]}" -qq update
cd "$work"
fetched=()
for package in "${sources[@]}"; do
  name=${package%%=*}
  echo "Fetching source $package"
  if apt-get "${apt_options[@]}" -qq source "$package" >/dev/null 2>"$work/fetch.log"; then
    fetched+=("$package")
    continue
  fi
  # The mirror may lack that exact version's files (a security upload whose
  # pool files are gone): take the newest other version it does serve.
  found=
  for version in $(apt-cache "${apt_options[@]}" showsrc "$name" | sed -n 's/^Version: //p' |
                   sort -u | sort -r -V); do
    [ "$name=$version" = "$package" ] && continue
    rm -rf "$work/$name"[-_]*
    if apt-get "${apt_options[@]}" -qq source "$name=$version" >/dev/null 2>>"$work/fetch.log"; then
      echo "build-mingw-libs: $package is not on the mirror; using $name=$version" >&2
      fetched+=("$name=$version")
      found=1
      break
    fi
  done
  if [ -z "$found" ]; then
    cat "$work/fetch.log" >&2
    echo "build-mingw-libs: cannot fetch the source of $name" >&2
    exit 1
  fi
done

# Finds the unpacked tree of a source package ("xz-utils" -> ./xz-utils-5.4.1).
tree_of() {
  local dirs=("$work/$1"-*/)
  [ -d "${dirs[0]}" ] || { echo "build-mingw-libs: no unpacked source for $1" >&2; exit 1; }
  echo "${dirs[0]%/}"
}

# Build output goes to a log, shown only when a step fails.
log=$work/build.log
run() {
  "$@" >>"$log" 2>&1 || {
    tail -n 40 "$log" >&2
    echo "build-mingw-libs: failed: $*" >&2
    exit 1
  }
}

export CC=$host-gcc-posix
export AR=$host-ar
export RANLIB=$host-ranlib
export CFLAGS="-O2"
cmake_cross=(
  -DCMAKE_SYSTEM_NAME=Windows
  -DCMAKE_SYSTEM_PROCESSOR=x86_64
  -DCMAKE_C_COMPILER=$host-gcc-posix
  -DCMAKE_RC_COMPILER=$host-windres
  -DCMAKE_FIND_ROOT_PATH="$prefix;/usr/$host"
  -DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=NEVER
  -DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY
  -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY
  -DCMAKE_BUILD_TYPE=Release
  -DCMAKE_INSTALL_PREFIX="$prefix"
  -DBUILD_SHARED_LIBS=OFF
)
mkdir -p "$prefix/include" "$prefix/lib"

# --- bzip2: its Makefile builds the tools too, so compile the library alone.
echo "Building bzip2..."
src=$(tree_of bzip2)
objects=()
for name in blocksort huffman crctable randtable compress decompress bzlib; do
  run $CC $CFLAGS -D_FILE_OFFSET_BITS=64 -c "$src/$name.c" -o "$work/bz2-$name.o"
  objects+=("$work/bz2-$name.o")
done
rm -f "$prefix/lib/libbz2.a"
run $AR rcs "$prefix/lib/libbz2.a" "${objects[@]}"
cp "$src/bzlib.h" "$prefix/include/"

# --- zstd: the library's own Makefile, static archive only.
echo "Building zstd..."
src=$(tree_of libzstd)
run make -C "$src/lib" -j"$jobs" libzstd.a CC="$CC" AR="$AR" \
  ZSTD_LEGACY_SUPPORT=0 ZSTD_MULTITHREAD_SUPPORT=0
cp "$src/lib/libzstd.a" "$prefix/lib/"
cp "$src/lib/zstd.h" "$src/lib/zstd_errors.h" "$src/lib/zdict.h" "$prefix/include/"

# --- liblzma: only the library, no tools, scripts, translations or docs.
echo "Building liblzma..."
src=$(tree_of xz-utils)
mkdir -p "$work/xz-build"
# MinGW defines _M_X64, which sends the match finder to the MSVC intrinsic
# _BitScanForward64; its declaration is in intrin.h.
cd "$work/xz-build"
run env CFLAGS="$CFLAGS -include intrin.h" "$src/configure" --host=$host --prefix="$prefix" \
  --enable-static --disable-shared --disable-xz --disable-xzdec --disable-lzmadec \
  --disable-lzmainfo --disable-lzma-links --disable-scripts --disable-doc --disable-nls \
  --disable-threads
run make -j"$jobs"
run make install
cd "$work"

# --- expat: the parser library alone.
echo "Building expat..."
src=$(tree_of expat)
[ -f "$src/CMakeLists.txt" ] || src=$src/expat # the Debian tree keeps upstream's layout
run cmake -S "$src" -B "$work/expat-build" "${cmake_cross[@]}" -Wno-dev \
  -DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF \
  -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_FUZZERS=OFF \
  -DEXPAT_BUILD_PKGCONFIG=OFF
# Debian's backported fixes test "XML_DTD == 1", as its autotools build
# defines it; this CMake version defines it empty.
sed -i 's/^#define XML_DTD$/#define XML_DTD 1/' "$work/expat-build/expat_config.h"
run cmake --build "$work/expat-build" -j"$jobs"
run cmake --install "$work/expat-build"

# --- libarchive: the readers need zlib, bzip2, liblzma and zstd; everything
# else (crypto, XML, ACLs, iconv, regex, Windows CNG and XmlLite, the tools) is off,
# so the executable imports nothing beyond Windows' own DLLs. Without a crypto
# library an encrypted zip member is refused as unsupported.
echo "Building libarchive..."
src=$(tree_of libarchive)
run cmake -S "$src" -B "$work/libarchive-build" "${cmake_cross[@]}" -Wno-dev \
  -DENABLE_ZLIB=ON -DENABLE_BZip2=ON -DENABLE_LZMA=ON -DENABLE_ZSTD=ON \
  -DENABLE_OPENSSL=OFF -DENABLE_MBEDTLS=OFF -DENABLE_NETTLE=OFF -DENABLE_CNG=OFF \
  -DENABLE_LIBB2=OFF -DENABLE_LZ4=OFF -DENABLE_LZO=OFF -DENABLE_LIBXML2=OFF \
  -DENABLE_EXPAT=OFF -DENABLE_WIN32_XMLLITE=OFF -DENABLE_PCREPOSIX=OFF \
  -DENABLE_PCRE2POSIX=OFF -DENABLE_LIBGCC=OFF -DPOSIX_REGEX_LIB=NONE -DENABLE_ICONV=OFF -DENABLE_ACL=OFF \
  -DENABLE_XATTR=OFF -DENABLE_TAR=OFF -DENABLE_CPIO=OFF -DENABLE_CAT=OFF \
  -DENABLE_TEST=OFF -DENABLE_COVERAGE=OFF -DENABLE_INSTALL=ON \
  -DZLIB_LIBRARY=/usr/$host/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/$host/include \
  -DZLIB_WINAPI=0 -DZLIB_WINAPI_WITH_LIB=/usr/$host/lib/libz.a \
  -DBZIP2_LIBRARY_RELEASE="$prefix/lib/libbz2.a" -DBZIP2_INCLUDE_DIR="$prefix/include" \
  -DLIBLZMA_LIBRARY="$prefix/lib/liblzma.a" -DLIBLZMA_INCLUDE_DIR="$prefix/include" \
  -DZSTD_LIBRARY="$prefix/lib/libzstd.a" -DZSTD_INCLUDE_DIR="$prefix/include"
# (ZLIB_WINAPI is given: its check runs a test program, which a cross build
# cannot.)
run cmake --build "$work/libarchive-build" -j"$jobs" --target archive_static
cp "$work/libarchive-build/libarchive/libarchive.a" "$prefix/lib/libarchive.a" 2>/dev/null ||
  cp "$work/libarchive-build/libarchive/libarchive_static.a" "$prefix/lib/libarchive.a"
cp "$src/libarchive/archive.h" "$src/libarchive/archive_entry.h" "$prefix/include/"

# --- SQLite: Debian's tree is upstream's full source, not the amalgamation.
# Its own configure and make, run natively (tclsh, and lemon, mkkeywordhash
# and mksourceid built with gcc), generate sqlite3.c and sqlite3.h, which are
# the same for any target; sqlite3.c alone is then cross-compiled: no shell,
# no Tcl extension. Without extension loading it imports nothing beyond
# Windows' own DLLs.
echo "Building SQLite..."
src=$(tree_of sqlite3)
mkdir -p "$work/sqlite-build"
cd "$work/sqlite-build"
run env -u AR -u RANLIB CC=gcc "$src/configure" --disable-tcl --disable-readline
run make sqlite3.c
cd "$work"
run $CC $CFLAGS -DSQLITE_THREADSAFE=1 -DSQLITE_OMIT_LOAD_EXTENSION \
  -c "$work/sqlite-build/sqlite3.c" -o "$work/sqlite3.o"
rm -f "$prefix/lib/libsqlite3.a"
run $AR rcs "$prefix/lib/libsqlite3.a" "$work/sqlite3.o"
cp "$work/sqlite-build/sqlite3.h" "$work/sqlite-build/sqlite3ext.h" "$prefix/include/"

printf '%s\n' "${fetched[@]}" "$toolchain" >"$prefix/versions.txt"
touch "$prefix/.complete"
rm -rf "$work"
link_prefix
echo "MinGW libraries built in $prefix"

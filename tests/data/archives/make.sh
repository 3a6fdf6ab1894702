#!/bin/sh
# Remakes the test archives in this folder with Debian's zip (package zip) and
# 7z (package p7zip-full). The members hold the text that `seq` writes:
#   one.bin, sub/folder/deep.bin: seq 1 1500      two.bin, ゲーム.gb: seq 2000 -1 1000
set -eu
out=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export LC_ALL=C.UTF-8 TZ=UTC
mkdir -p sub/folder
seq 1 1500 >one.bin
seq 2000 -1 1000 >two.bin
cp one.bin sub/folder/deep.bin
cp two.bin ゲーム.gb
touch -d 2000-01-01T00:00:00 one.bin two.bin sub/folder/deep.bin ゲーム.gb sub/folder sub
rm -f "$out"/*.zip "$out"/*.7z
z() { zip -X -q "$@"; }
s() { 7z a -bd -bso0 "$@"; }

# zip: stored, deflate, bzip2 (with folder entries), a Japanese name; LZMA.
z -0 "$out/methods.zip" one.bin
z -9 "$out/methods.zip" two.bin
z -r -Z bzip2 "$out/methods.zip" sub
z "$out/methods.zip" ゲーム.gb
s -tzip -mm=LZMA "$out/lzma.zip" one.bin
# 7z: LZMA (solid, two members), LZMA2 with a folder and a Japanese name,
# PPMd, the x86 BCJ filter before LZMA.
s -t7z -m0=LZMA "$out/lzma.7z" one.bin two.bin
s -t7z -m0=LZMA2 "$out/lzma2.7z" one.bin sub ゲーム.gb
s -t7z -m0=PPMd "$out/ppmd.7z" one.bin
s -t7z -m0=BCJ -m1=LZMA "$out/bcj.7z" one.bin
# Encrypted members beside a plain one (the 7z listing stays readable).
z -P secret "$out/encrypted.zip" one.bin
z "$out/encrypted.zip" two.bin
s -t7z -psecret "$out/encrypted.7z" one.bin
# An archive inside an archive.
cp "$out/lzma.7z" inner.7z
touch -d 2000-01-01T00:00:00 inner.7z
z -0 "$out/nested.zip" inner.7z two.bin

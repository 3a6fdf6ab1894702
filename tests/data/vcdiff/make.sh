#!/usr/bin/env bash
# Regenerates the VCDIFF test patches with Debian's xdelta3 (3.0.11 on
# Debian 12). The inputs are made here from a fixed generator: no outside
# data. Every patch is checked by decoding it with xdelta3 itself.
#   tests/data/vcdiff/make.sh
set -euo pipefail
cd "$(dirname "$0")"

python3 - <<'PY'
import random
rng = random.Random(20)
words = [b"castle", b"sword", b"dragon", b"level", b"bonus", b"stage", b"map", b"item"]
def text(n):
    out = bytearray()
    while len(out) < n:
        out += rng.choice(words) + b" "
    return bytes(out[:n])
# A small source: random bytes with a text table in the middle.
src = bytearray(rng.randbytes(3000) + text(2000) + rng.randbytes(3192))
open("small_source.bin", "wb").write(src)
# Its target: edited bytes, a new text block, a deleted stretch, a moved
# block, a run and the new block repeated (copies from the target itself).
tgt = bytearray(src)
for i in range(0, 3000, 97):
    tgt[i] ^= 0x5A
new = text(700)
tgt[5200:5200] = new
del tgt[6000:6400]
tgt += src[100:900] + b"\xff" * 300 + new
open("small_target.bin", "wb").write(tgt)
# A larger pair for several 16 KiB windows: 34 KiB and an edited copy.
big = bytearray(rng.randbytes(14000) + text(6000) + rng.randbytes(14816))
open("large_source.bin", "wb").write(big)
t = bytearray(big)
for i in range(0, len(t), 613):
    t[i:i + 3] = b"\x00\x11\x22"
t[24000:24000] = text(1500)
t += text(1000)
open("large_target.bin", "wb").write(t)
# A text pair for FGK over several windows: xdelta3 3.0.11 cannot decode its
# own FGK patches when it leaves a section uncompressed (its encoder's code
# tree moves on while the decoder's does not), which text avoids.
s = text(34000)
open("text_source.bin", "wb").write(s)
t = bytearray(s)
for i in range(0, len(t), 500):
    t[i:i + 2] = b"XY"
open("text_target.bin", "wb").write(t)
# An N64 image in .z64 order (its first four bytes are the order's mark) and
# an edited copy, so that the same ROM in .v64 order can be tried.
n = bytearray(b"\x80\x37\x12\x40" + rng.randbytes(8188))
open("n64_source.bin", "wb").write(n)
for i in range(64, len(n), 211):
    n[i] ^= 0xC3
open("n64_target.bin", "wb").write(n)
PY

make() { # OUT.xdelta then xdelta3 encoding options
  local out=$1; shift
  xdelta3 -e -f "$@" "$out"
}
for s in none lzma djw fgk; do
  make small_$s.xdelta -S $s -s small_source.bin small_target.bin
done
for s in none lzma djw; do
  make large_$s.xdelta -S $s -W 16384 -B 524288 -s large_source.bin large_target.bin
done
make text_fgk.xdelta -S fgk -W 16384 -s text_source.bin text_target.bin
make small_lzma_nochecksum.xdelta -n -S lzma -s small_source.bin small_target.bin
make small_none_noappheader.xdelta -A -S none -s small_source.bin small_target.bin
make n64_lzma.xdelta -S lzma -s n64_source.bin n64_target.bin
make nosource_djw.xdelta -S djw small_target.bin
make nosource_lzma.xdelta -S lzma -W 16384 text_target.bin

for p in small_*.xdelta large_*.xdelta text_*.xdelta n64_*.xdelta; do
  src=${p%%_*}_source.bin tgt=${p%%_*}_target.bin
  xdelta3 -d -c -s "$src" "$p" | cmp - "$tgt"
done
for p in nosource_*.xdelta; do
  tgt=$([ "$p" = nosource_djw.xdelta ] && echo small_target.bin || echo text_target.bin)
  xdelta3 -d -c "$p" | cmp - "$tgt"
done

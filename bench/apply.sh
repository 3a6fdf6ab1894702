#!/usr/bin/env bash
# `quillon --apply` end to end against `xdelta3 -d` on the same VCDIFF
# patches (-S none, lzma, djw), and --apply of a UPS patch against copying
# the image, each pair in one hyperfine call so that the load of a shared
# machine falls on both alike. Prints a Markdown section.
#   bench/apply.sh [QUILLON] [runs] [sizes in MiB...]
# QUILLON defaults to the bench preset's build/bench/quillon.
set -euo pipefail
cd "$(dirname "$0")/.."
quillon=$(realpath "${1:-build/bench/quillon}")
runs=${2:-15}
shift $(($# < 2 ? $# : 2))
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(32 64)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/quillon-apply-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"

printf '## --apply end to end\n\n'
printf 'Load average before: %s\n\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
printf '| case | command | median | mean ± σ | min |\n|---|---|---|---|---|\n'
row() { # label, hyperfine JSON
  python3 - "$1" "$2" "$quillon" <<'PY'
import json, sys
label, path = sys.argv[1], sys.argv[2]
for r in json.load(open(path))["results"]:
    command = r["command"].replace(sys.argv[3], "quillon")
    print(f"| {label} | `{command}` | {r['median']*1000:.1f} ms | {r['mean']*1000:.1f} ± {r['stddev']*1000:.1f} ms | {r['min']*1000:.1f} ms |")
PY
}

for size in "${sizes[@]}"; do
  # A pseudo-random image and a copy with 3,000 edits of 1 to 32 bytes,
  # 4 KiB inserted at a third and 4 KiB removed at two thirds; for UPS, whose
# XOR hunks cannot follow moved data, the same edits without the moves.
  python3 - "$size" <<'PY'
import random, sys
mib = int(sys.argv[1])
rng = random.Random(mib)
src = bytearray(rng.randbytes(mib << 20))
tgt = bytearray(src)
for _ in range(3000):
    at = rng.randrange(len(tgt) - 32)
    n = rng.randint(1, 32)
    tgt[at:at + n] = rng.randbytes(n)
open("edited.bin", "wb").write(tgt)
third = len(tgt) // 3
tgt[third:third] = rng.randbytes(4096)
del tgt[2 * third:2 * third + 4096]
open("source.bin", "wb").write(src)
open("target.bin", "wb").write(tgt)
PY
  for s in none lzma djw; do
    xdelta3 -e -f -S "$s" -s source.bin target.bin "p_$s.xdelta"
    "$quillon" --apply source.bin "p_$s.xdelta" out.bin >/dev/null
    cmp out.bin target.bin
    hyperfine -N -w 2 -r "$runs" --export-json "h_$s.json" \
      "$quillon --apply source.bin p_$s.xdelta out.bin" \
      "xdelta3 -d -f -s source.bin p_$s.xdelta out.bin" >&2
    row "VCDIFF -S $s, $size MiB, $(stat -c %s "p_$s.xdelta") bytes" "h_$s.json"
  done
  if [ "$size" = 32 ]; then
    # UPS is an image-sized XOR walk; copying the image is its floor.
    "$quillon" --create-ups source.bin edited.bin p.ups >/dev/null
    "$quillon" --apply source.bin p.ups out.bin >/dev/null
    cmp out.bin edited.bin
    hyperfine -N -w 2 -r "$runs" --export-json h_ups.json \
      "$quillon --apply source.bin p.ups out.bin" "cp source.bin out.bin" >&2
    row "UPS, $size MiB, $(stat -c %s p.ups) bytes" h_ups.json
  fi
done
printf '\nLoad average after: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"

#!/usr/bin/env python3
"""Sizes and times of this program's patch creators beside the public creator's patch sizes.

Usage: bench/compare_creators.py [--quillon EXE] [--pairs-script make_pairs.py] [--sizes SIZES_JSON]
                                 [--scratch DIR] [--seeds 1,3,7] [--no-big] [--no-ips]
                                 [--own-seeds N] [--baseline EXE] [--own-only] [--flips EXE]
                                 [--quiet]

Makes the pairs of make_pairs.py (by default ../shared/bench/ beside the project) for every seed, the
small set and the large one, in the scratch folder (kept between runs), runs `quillon --create-bps` and
`--create-ips` on each, applies the BPS patch with `--bps-patch` to check it gives the modified file, and
prints a Markdown row a pair: our size, the public creator's (from flips_sizes.json beside
make_pairs.py), the difference, wall time and peak memory of the BPS creator (one run; time the speed
with hyperfine, see README.md). Exits 1 when a BPS patch is larger or does not apply.

--own-seeds N also makes pairs of its own for seeds 1..N (translation-shaped: a 2 MiB image with
hundreds of short script edits of changing length inside one 256 KiB text region; and random small
pairs), which have no public sizes: with --baseline (an earlier build of quillon) each of them, and
each public pair, is set beside that build's patch, and a larger one counts as a failure.
--own-only skips the public pairs.

--flips EXE runs the public creator itself (`flips --create --bps-delta --exact`) on the pairs that
flips_sizes.json has no size for (the own ones), so that they too count as larger or not. A table at
the end gives, by kind of pair, how many of our BPS patches are larger, equal and smaller than the
public creator's, and the totals of both. --quiet prints only the pairs where ours is larger.
"""
import argparse
import json
import os
import random
import re
import subprocess
import sys
import time


def run_creator(quillon, option, orig, mod, out, extra=()):
    started = time.monotonic()
    proc = subprocess.run(["/usr/bin/time", "-f", "%M", quillon, option, *extra, orig, mod, out],
                          capture_output=True, text=True)
    elapsed = time.monotonic() - started
    if proc.returncode != 0:
        return None, elapsed, 0
    peak = int(re.findall(r"\d+", proc.stderr.strip().splitlines()[-1])[0])
    return os.path.getsize(out), elapsed, peak


def own_text(rng, n):
    """Script-like text: short words, spaces, line ends and string terminators."""
    out = bytearray()
    while len(out) < n:
        out += bytes(rng.choice(b"etaoinshrdlucmfwyp") for _ in range(rng.randint(1, 9)))
        out += rng.choice((b" ", b" ", b", ", b".\n", b"\x00"))
    return bytes(out[:n])


def own_translated(rng):
    """A 2 MiB image whose 256 KiB text region gets hundreds of short edits of changing length."""
    size, region = 2 << 20, 256 << 10
    start = rng.randrange(0, size - region)
    base = bytearray(rng.randbytes(size // 2) + bytes(size // 4) + rng.randbytes(size // 4))
    base[start:start + region] = own_text(rng, region)
    mod = bytearray(base)
    # Edits from the end back, so that earlier offsets stay where they were.
    spots = sorted(rng.sample(range(start, start + region - 80), rng.randint(200, 900)), reverse=True)
    for o in spots:
        old = rng.randint(1, 40)
        new = max(0, old + rng.randint(-12, 12))
        mod[o:o + old] = own_text(rng, new) if rng.random() < 0.8 else bytes(base[o - 20:o - 20 + new])
    return bytes(base), bytes(mod)


def own_random(rng):
    """A small random original and a few edits: overwrites, inserts, deletes, repeats, fills."""
    n = rng.choice((rng.randint(16, 600), rng.randint(600, 20000)))
    base = rng.randbytes(n) if rng.random() < 0.5 else own_text(rng, n)
    b = bytearray(base)
    for _ in range(rng.randint(1, 12)):
        k = rng.randint(1, max(1, min(len(b) // 3, rng.choice((3, 12, 60, 400)))))
        o = rng.randrange(max(1, len(b) - k))
        kind = rng.randrange(6)
        if kind == 0:
            b[o:o + k] = rng.randbytes(k)
        elif kind == 1:
            b[o:o] = rng.randbytes(k)
        elif kind == 2 and len(b) > k + 1:
            del b[o:o + k]
        elif kind == 3:
            p = rng.randrange(len(b) + 1)
            b[p:p] = b[o:o + k] * rng.randint(1, 3)
        elif kind == 4:
            b[o:o + k] = bytes([rng.choice((0, 0xFF, b[o]))]) * k
        else:
            b[o:o + k] = base[-k:] if k <= len(base) else base
    return base, bytes(b)


def own_pairs(folder, seeds):
    """Writes the pairs of this script's own shapes once; yields their names."""
    os.makedirs(folder, exist_ok=True)
    for seed in range(1, seeds + 1):
        for kind, make, count in (("translated", own_translated, 1), ("random", own_random, 8)):
            rng = random.Random(f"{kind}{seed}")
            for i in range(count):
                name = f"{kind}{seed}_{i}"
                orig = os.path.join(folder, name + ".orig.bin")
                if not os.path.exists(orig):
                    o, m = make(rng)
                    with open(os.path.join(folder, name + ".mod.bin"), "wb") as f:
                        f.write(m)
                    with open(orig, "wb") as f:
                        f.write(o)
                else:
                    make(rng)
                yield name


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    shared = os.path.join(os.path.dirname(root), "shared", "bench")
    ap = argparse.ArgumentParser()
    ap.add_argument("--quillon", default=os.path.join(root, "build", "release", "quillon"))
    ap.add_argument("--pairs-script", default=os.path.join(shared, "make_pairs.py"))
    ap.add_argument("--sizes", default=None)
    ap.add_argument("--scratch", default=os.path.join("/tmp", "quillon-pairs"))
    ap.add_argument("--seeds", default="1,3,7")
    ap.add_argument("--no-big", action="store_true")
    ap.add_argument("--no-ips", action="store_true")
    ap.add_argument("--own-seeds", type=int, default=0)
    ap.add_argument("--baseline", default=None)
    ap.add_argument("--own-only", action="store_true")
    ap.add_argument("--flips", default=None)
    ap.add_argument("--quiet", action="store_true")
    a = ap.parse_args()
    sizes = a.sizes or os.path.join(os.path.dirname(a.pairs_script), "flips_sizes.json")
    with open(sizes) as f:
        theirs = json.load(f)
    os.makedirs(a.scratch, exist_ok=True)
    pairs = []
    for seed in ([] if a.own_only else a.seeds.split(",")):
        for kind in ("small",) + (() if a.no_big else ("big",)):
            folder = os.path.join(a.scratch, f"{kind}{seed}")
            if not os.path.isdir(folder):
                subprocess.run([sys.executable, a.pairs_script, folder, "--seed", seed]
                               + (["--small"] if kind == "small" else []),
                               check=True, capture_output=True)
            names = sorted(n[:-len(".orig.bin")] for n in os.listdir(folder) if n.endswith(".orig.bin"))
            pairs += [(f"{kind}/seed{seed}/{name}", os.path.join(folder, name)) for name in names]
    own = os.path.join(a.scratch, "own")
    pairs += [(f"own/{name}", os.path.join(own, name)) for name in own_pairs(own, a.own_seeds)]
    larger, worse, rows, total, total_before = 0, 0, 0, 0, 0
    # Against the public creator: larger, equal, smaller, our total, its total, by kind of pair.
    versus = {}
    if not a.quiet:
        print("| pair | BPS patch | public BPS | difference | before | BPS time | BPS peak | IPS patch | public IPS |")
        print("|---|---|---|---|---|---|---|---|---|")
    for key, stem in pairs:
        orig, mod = stem + ".orig.bin", stem + ".mod.bin"
        ref = dict(theirs.get(key, {}))
        if a.flips and ref.get("bps") is None:
            size, _, _ = run_creator(a.flips, "--create", orig, mod,
                                     os.path.join(a.scratch, "flips.bps"), ["--bps-delta", "--exact"])
            if size is not None:
                ref["bps"] = size
        bps, seconds, peak = run_creator(a.quillon, "--create-bps", orig, mod,
                                         os.path.join(a.scratch, "out.bps"))
        # The patch must give the modified file back.
        if bps is not None:
            out = os.path.join(a.scratch, "out.bin")
            subprocess.run([a.quillon, "--bps-patch", orig, os.path.join(a.scratch, "out.bps"), out],
                           check=True, capture_output=True)
            with open(out, "rb") as f1, open(mod, "rb") as f2:
                if f1.read() != f2.read():
                    print(f"{key}: the BPS patch does not give the modified file", file=sys.stderr)
                    larger += 1
        before = ""
        if a.baseline and bps is not None:
            before, _, _ = run_creator(a.baseline, "--create-bps", orig, mod,
                                       os.path.join(a.scratch, "before.bps"))
            if before is not None:
                total += bps
                total_before += before
                if bps > before:
                    worse += 1
        ips = None
        if not a.no_ips:
            ips, _, _ = run_creator(a.quillon, "--create-ips", orig, mod,
                                    os.path.join(a.scratch, "out.ips"))
        diff = "" if ref.get("bps") is None or bps is None else f"{bps - ref['bps']:+}"
        if diff != "" and bps > ref["bps"]:
            larger += 1
        if diff != "":
            kind = key.split("/")[0] if not key.startswith("own/") else \
                "own/" + re.sub(r"\d.*", "", key[len("own/"):])
            v = versus.setdefault(kind, [0, 0, 0, 0, 0])
            v[0 if bps > ref["bps"] else 1 if bps == ref["bps"] else 2] += 1
            v[3] += bps
            v[4] += ref["bps"]
        rows += 1
        if a.quiet and not (diff != "" and bps > ref["bps"]):
            continue
        print(f"| {key} | {bps} | {ref.get('bps', '')} | {diff} | {before} | {seconds:.3f} s | "
              f"{peak / 1024:.1f} MiB | {ips if ips is not None else 'cannot'} | "
              f"{ref.get('ips') if ref.get('ips') is not None else 'cannot'} |", flush=True)
    print(f"\n{rows} pairs, {larger} with a larger BPS patch than the public creator's.")
    if versus:
        print("\n| pairs | larger | equal | smaller | ours in all | flips in all |")
        print("|---|---|---|---|---|---|")
        for kind, v in sorted(versus.items()):
            print(f"| {kind} | {v[0]} | {v[1]} | {v[2]} | {v[3]} | {v[4]} |")
        if len(versus) > 1:
            s = [sum(v[i] for v in versus.values()) for i in range(5)]
            print(f"| all | {s[0]} | {s[1]} | {s[2]} | {s[3]} | {s[4]} |")
    if a.baseline:
        print(f"{worse} with a larger BPS patch than the baseline's; in all {total} bytes against "
              f"{total_before}.")
    return 1 if larger or worse else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Sizes and times of this program's patch creators beside the public creator's patch sizes.

Usage: bench/compare_creators.py [--quillon EXE] [--pairs-script make_pairs.py] [--sizes SIZES_JSON]
                                 [--scratch DIR] [--seeds 1,3,7] [--no-big] [--no-ips]

Makes the pairs of make_pairs.py (by default ../shared/bench/ beside the project) for every seed, the
small set and the large one, in the scratch folder (kept between runs), runs `quillon --create-bps` and
`--create-ips` on each, applies the BPS patch with `--bps-patch` to check it gives the modified file, and
prints a Markdown row a pair: our size, the public creator's (from flips_sizes.json beside
make_pairs.py), the difference, wall time and peak memory of the BPS creator (one run; time the speed
with hyperfine, see README.md). Exits 1 when a BPS patch is larger or does not apply.
"""
import argparse
import json
import os
import re
import subprocess
import sys
import time


def run_creator(quillon, option, orig, mod, out):
    started = time.monotonic()
    proc = subprocess.run(["/usr/bin/time", "-f", "%M", quillon, option, orig, mod, out],
                          capture_output=True, text=True)
    elapsed = time.monotonic() - started
    if proc.returncode != 0:
        return None, elapsed, 0
    peak = int(re.findall(r"\d+", proc.stderr.strip().splitlines()[-1])[0])
    return os.path.getsize(out), elapsed, peak


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
    a = ap.parse_args()
    sizes = a.sizes or os.path.join(os.path.dirname(a.pairs_script), "flips_sizes.json")
    with open(sizes) as f:
        theirs = json.load(f)
    os.makedirs(a.scratch, exist_ok=True)
    larger, rows = 0, 0
    print("| pair | BPS patch | public BPS | difference | BPS time | BPS peak | IPS patch | public IPS |")
    print("|---|---|---|---|---|---|---|---|")
    for seed in a.seeds.split(","):
        for kind in ("small",) + (() if a.no_big else ("big",)):
            folder = os.path.join(a.scratch, f"{kind}{seed}")
            if not os.path.isdir(folder):
                subprocess.run([sys.executable, a.pairs_script, folder, "--seed", seed]
                               + (["--small"] if kind == "small" else []),
                               check=True, capture_output=True)
            names = sorted(n[:-len(".orig.bin")] for n in os.listdir(folder) if n.endswith(".orig.bin"))
            for name in names:
                orig = os.path.join(folder, name + ".orig.bin")
                mod = os.path.join(folder, name + ".mod.bin")
                key = f"{kind}/seed{seed}/{name}"
                ref = theirs.get(key, {})
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
                ips = None
                if not a.no_ips:
                    ips, _, _ = run_creator(a.quillon, "--create-ips", orig, mod,
                                            os.path.join(a.scratch, "out.ips"))
                diff = "" if ref.get("bps") is None or bps is None else bps - ref["bps"]
                if diff != "" and diff > 0:
                    larger += 1
                rows += 1
                print(f"| {key} | {bps} | {ref.get('bps')} | {diff:+} | {seconds:.3f} s | "
                      f"{peak / 1024:.1f} MiB | {ips if ips is not None else 'cannot'} | "
                      f"{ref.get('ips') if ref.get('ips') is not None else 'cannot'} |"
                      if diff != "" else f"| {key} | {bps} | {ref.get('bps')} | | {seconds:.3f} s | "
                      f"{peak / 1024:.1f} MiB | {ips} | {ref.get('ips')} |", flush=True)
    print(f"\n{rows} pairs, {larger} with a larger BPS patch than the public creator's.")
    return 1 if larger else 0


if __name__ == "__main__":
    sys.exit(main())

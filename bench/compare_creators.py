#!/usr/bin/env python3
"""Sizes and times of this program's patch creators against the public creator's recorded sizes.

Usage: compare_creators.py QUILLON PAIRS_SCRIPT SIZES_JSON SCRATCH [--seeds 1,3,7] [--no-big] [--no-ips]

Makes the pairs of PAIRS_SCRIPT (make_pairs.py) for every seed, small and large, in SCRATCH, runs
`QUILLON --create-bps` (and --create-ips) on each, and prints one Markdown row a pair: our size, the
public creator's, the difference, the wall time and peak memory. Exits 1 when a BPS patch is larger.
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
    ap = argparse.ArgumentParser()
    ap.add_argument("quillon")
    ap.add_argument("pairs_script")
    ap.add_argument("sizes")
    ap.add_argument("scratch")
    ap.add_argument("--seeds", default="1,3,7")
    ap.add_argument("--no-big", action="store_true")
    ap.add_argument("--no-ips", action="store_true")
    a = ap.parse_args()
    with open(a.sizes) as f:
        theirs = json.load(f)
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

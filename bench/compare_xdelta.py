#!/usr/bin/env python3
"""Sizes and times of `quillon --create-xdelta` beside `xdelta3 -e -9 -S lzma -A=` on the same pairs.

Usage: bench/compare_xdelta.py [--quillon EXE] [--pairs-script make_pairs.py] [--scratch DIR]
                               [--seeds 1,3,7] [--no-big]

Makes the pairs of make_pairs.py (by default ../shared/bench/ beside the project) for every seed, small
and large, in the scratch folder (kept between runs; the same folders as compare_creators.py), makes
both patches of each pair in one run, checks with `xdelta3 -d` that ours gives the modified file back,
and prints a Markdown row a pair: both sizes, both times and both peak memories (one run each), then
the totals. Exits 1 when one of our patches does not decode or is larger than xdelta3's.
"""
import argparse
import os
import re
import subprocess
import sys
import time


def timed(command):
    started = time.monotonic()
    proc = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, capture_output=True, text=True)
    elapsed = time.monotonic() - started
    peak = int(re.findall(r"\d+", proc.stderr.strip().splitlines()[-1])[0])
    return proc.returncode, elapsed, peak


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    shared = os.path.join(os.path.dirname(root), "shared", "bench")
    ap = argparse.ArgumentParser()
    ap.add_argument("--quillon", default=os.path.join(root, "build", "release", "quillon"))
    ap.add_argument("--pairs-script", default=os.path.join(shared, "make_pairs.py"))
    ap.add_argument("--scratch", default=os.path.join("/tmp", "quillon-pairs"))
    ap.add_argument("--seeds", default="1,3,7")
    ap.add_argument("--no-big", action="store_true")
    a = ap.parse_args()
    os.makedirs(a.scratch, exist_ok=True)
    failures, larger, ours_total, theirs_total = 0, 0, 0, 0
    print("| pair | quillon | xdelta3 -9 | difference | quillon time | xdelta3 time "
          "| quillon peak | xdelta3 peak |")
    print("|---|---|---|---|---|---|---|---|")
    for seed in a.seeds.split(","):
        for kind in ("small",) + (() if a.no_big else ("big",)):
            folder = os.path.join(a.scratch, f"{kind}{seed}")
            if not os.path.isdir(folder):
                subprocess.run([sys.executable, a.pairs_script, folder, "--seed", seed]
                               + (["--small"] if kind == "small" else []),
                               check=True, capture_output=True)
            names = sorted(n[:-len(".orig.bin")] for n in os.listdir(folder)
                           if n.endswith(".orig.bin"))
            for name in names:
                orig = os.path.join(folder, name + ".orig.bin")
                mod = os.path.join(folder, name + ".mod.bin")
                ours = os.path.join(folder, name + ".quillon.xdelta")
                theirs = os.path.join(folder, name + ".xdelta3.xdelta")
                back = os.path.join(folder, name + ".back.bin")
                code, our_time, our_peak = timed([a.quillon, "--create-xdelta", orig, mod, ours])
                _, their_time, their_peak = timed(
                    ["xdelta3", "-e", "-9", "-S", "lzma", "-A=", "-f", "-s", orig, mod, theirs])
                decoded = code == 0 and subprocess.run(
                    ["xdelta3", "-d", "-f", "-s", orig, ours, back], capture_output=True
                ).returncode == 0 and open(back, "rb").read() == open(mod, "rb").read()
                if not decoded:
                    failures += 1
                    print(f"| {kind}{seed}/{name} | does not decode | | | | | | |")
                    continue
                our_size, their_size = os.path.getsize(ours), os.path.getsize(theirs)
                ours_total += our_size
                theirs_total += their_size
                larger += our_size > their_size
                print(f"| {kind}{seed}/{name} | {our_size:,} | {their_size:,} | "
                      f"{our_size - their_size:+,} | {our_time:.2f} s | {their_time:.2f} s | "
                      f"{our_peak // 1024} MiB | {their_peak // 1024} MiB |")
    saved = 100 * (theirs_total - ours_total) / theirs_total if theirs_total else 0
    print(f"\nTotal: {ours_total:,} bytes against {theirs_total:,} ({saved:.1f}% smaller); "
          f"{larger} patches larger, {failures} not decoded.")
    return 1 if failures or larger else 0


if __name__ == "__main__":
    sys.exit(main())

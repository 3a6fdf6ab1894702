#!/usr/bin/env python3
"""A collection of 2,000 games (about 1.3 GB) for bench/rebuild.sh, and its DAT.

Half the files are misnamed, one in ten carries an iNES header the DAT leaves
out, one in ten is zipped, 100 files match nothing and 50 games of the DAT are
missing. The content is half noise, half repeated blocks, so that deflate has
work to do on both kinds.

    bench/make_rebuild_inputs.py FOLDER
"""
import hashlib
import os
import random
import sys
import zipfile
import zlib

GAMES = 2000
MISSING = 50
UNKNOWN = 100


def content(rng, size):
    block = os.urandom(4096)
    out = bytearray()
    while len(out) < size:
        out += os.urandom(8192) if rng.random() < 0.5 else block * 2
    return bytes(out[:size])


def main():
    root = sys.argv[1]
    rng = random.Random(2026)
    roms = os.path.join(root, "roms")
    os.makedirs(roms, exist_ok=True)
    games = []
    for g in range(GAMES):
        name = f"Game {g:04d} (World)"
        size = rng.choice([256, 512, 640, 768, 1024]) * 1024
        data = content(rng, size)
        games.append((name, data))
        if g < MISSING:
            continue
        file_name = f"{name}.bin" if g % 2 else f"dump_{g:04d}.bin"
        if g % 10 == 3:
            data = b"NES\x1a\x10\x00" + bytes(10) + data
        if g % 10 == 7:
            with zipfile.ZipFile(os.path.join(roms, file_name + ".zip"), "w",
                                 zipfile.ZIP_DEFLATED, compresslevel=1) as z:
                z.writestr(file_name, data)
        else:
            with open(os.path.join(roms, file_name), "wb") as f:
                f.write(data)
    for u in range(UNKNOWN):
        with open(os.path.join(roms, f"unknown_{u:03d}.bin"), "wb") as f:
            f.write(os.urandom(64 * 1024))
    with open(os.path.join(root, "set.dat"), "w") as dat:
        dat.write('<?xml version="1.0"?>\n<datafile>\n\t<header>\n\t\t<name>Bench Set</name>\n'
                  '\t</header>\n')
        for name, data in games:
            dat.write(f'\t<game name="{name}">\n\t\t<description>{name}</description>\n'
                      f'\t\t<rom name="{name}.nes" size="{len(data)}" crc="{zlib.crc32(data):08x}" '
                      f'sha1="{hashlib.sha1(data).hexdigest()}"/>\n\t</game>\n')
        dat.write('</datafile>\n')


if __name__ == "__main__":
    main()

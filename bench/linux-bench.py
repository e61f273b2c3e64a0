#!/usr/bin/env python3
"""The Linux orvex against plain zlib level 9 over the same tree, in one run: zlib
compresses every file in pieces of one chunk (9,437,184 bytes, a fresh stream per piece,
one thread, the zlib the builder links), the builder writes an SFX file of the tree.
Prints wall and CPU time, MiB/s, their ratios, sizes and the builder's peak memory.
Usage: linux-bench.py ORVEX SOURCE TARGET"""
import os
import subprocess
import sys
import time
import zlib

CHUNK = 9437184
orvex, source, target = sys.argv[1:4]

files = sorted(os.path.join(folder, name) for folder, _, names in os.walk(source) for name in names)
total = sum(os.path.getsize(path) for path in files)
for path in files:  # into the cache, so both read from memory
    with open(path, "rb") as f:
        while f.read(1 << 24):
            pass

cpu, wall, packed = time.process_time(), time.perf_counter(), 0
for path in files:
    with open(path, "rb") as f:
        while piece := f.read(CHUNK):
            packed += len(zlib.compress(piece, 9))
zlib_cpu, zlib_wall = time.process_time() - cpu, time.perf_counter() - wall

# Twice, the faster run counts (wall and CPU time alike). GNU time measures each run: the peak memory that Python
# reports for its children would include Python's own, which a child inherits at fork.
best, orvex_cpu, peak = 1e30, 0.0, 0
for _ in range(2):
    subprocess.run(["/usr/bin/time", "-f", "%e %U %S %M", "-o", target + ".time", orvex, "-c", "-o", source, target])
    figures = open(target + ".time").read().split()
    status = 0 if len(figures) == 4 else 1
    wall, user, system, kib = (float(x) for x in figures[-4:])
    best, orvex_cpu, peak = min(best, wall), min(orvex_cpu or 1e30, user + system), max(peak, kib)

mib = total / (1 << 20)
print(f"source:                {len(files)} files, {mib:.1f} MiB")
print(f"zlib level 9 pieces:   {zlib_wall:.2f} s wall, {zlib_cpu:.2f} s CPU, {mib / zlib_cpu:.1f} MiB/s of CPU, "
      f"{packed} bytes compressed")
print(f"Linux orvex:           {best:.2f} s wall, {orvex_cpu:.2f} s CPU per run, {mib / best:.1f} MiB/s of wall "
      f"time, exit status {status}")
print(f"ratio orvex/zlib:      {zlib_cpu / orvex_cpu:.3f} of CPU, {zlib_wall / best:.3f} of wall time")
print(f"SFX file:              {os.path.getsize(target)} bytes")
print(f"Linux orvex peak:      {peak / 1024:.1f} MiB max RSS")
sys.exit(status)

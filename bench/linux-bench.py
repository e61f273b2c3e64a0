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

# One thread and all cores, each twice: the faster run counts (wall and CPU time alike).
# GNU time measures each run: the peak memory that Python reports for its children would
# include Python's own, which a child inherits at fork.
def measure(threads):
    best, cpu, peak, status = 1e30, 1e30, 0, 0
    for _ in range(2):
        subprocess.run(["/usr/bin/time", "-f", "%e %U %S %M", "-o", target + ".time", orvex, "-c", "-o", *threads,
                        source, target])
        figures = open(target + ".time").read().split()
        status = status or (0 if len(figures) == 4 else 1)
        wall, user, system, kib = (float(x) for x in figures[-4:])
        best, cpu, peak = min(best, wall), min(cpu, user + system), max(peak, kib)
    return best, cpu, peak, status

mib = total / (1 << 20)
print(f"source:                {len(files)} files, {mib:.1f} MiB")
print(f"zlib level 9 pieces:   {zlib_wall:.2f} s wall, {zlib_cpu:.2f} s CPU, {mib / zlib_cpu:.1f} MiB/s of CPU, "
      f"{packed} bytes compressed")
status = 0
for label, threads in (("-j1", ["-j1"]), (f"all {os.cpu_count()} cores", [])):
    best, cpu, peak, failed = measure(threads)
    status = status or failed
    print(f"Linux orvex {label:>12}: {best:.2f} s wall, {cpu:.2f} s CPU, {mib / best:.1f} MiB/s of wall time, "
          f"{zlib_wall / best:.3f} x the floor's wall time, {zlib_cpu / cpu:.3f} of its CPU, "
          f"peak {peak / 1024:.1f} MiB, exit status {failed}")
print(f"SFX file:              {os.path.getsize(target)} bytes")
sys.exit(status)

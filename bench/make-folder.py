#!/usr/bin/env python3
"""Writes the benchmark's source folder, the same bytes on every run (seeded generators):
text, structured binaries, incompressible data, one file over 100 MB and thousands of
small files; with `small`, 10,000 files of 1 to 64 KiB instead.
Usage: make-folder.py DIR [small]"""
import os
import random
import struct
import sys

MB = 1 << 20


def words(rng):
    syllables = ["ka", "ro", "vex", "lin", "dor", "sta", "mi", "tel", "an", "or", "qu", "es", "pra", "zu", "nen"]
    pool = ["".join(rng.choice(syllables) for _ in range(rng.randint(1, 4))) for _ in range(4000)]
    return pool


def text(rng, pool, size):
    out = []
    length = 0
    while length < size:
        line = " ".join(rng.choices(pool, k=rng.randint(4, 14))).capitalize() + ".\r\n"
        out.append(line)
        length += len(line)
    return "".join(out).encode("ascii")[:size]


def binary(rng, size):
    # Tables of records with counters, small integers and repeated padding, as in
    # executables and data files.
    out = bytearray()
    counter = rng.randint(0, 1 << 20)
    while len(out) < size:
        counter += rng.randint(1, 16)
        out += struct.pack("<IHHd", counter, rng.randint(0, 300), rng.choice((0, 1, 2, 0xFFFF)), counter / 7.0)
        if rng.random() < 0.05:
            out += bytes(rng.choice((16, 32, 64)))
    return bytes(out[:size])


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def small_tree(root, rng, pool):
    for i in range(10_000):
        size = rng.randint(1024, 64 * 1024)
        data = text(rng, pool, size) if i % 3 else binary(rng, size)
        write(os.path.join(root, f"dir{i % 100:02}", f"file{i:05}.dat"), data)


def main():
    root = sys.argv[1]
    rng = random.Random(20261208)
    pool = words(rng)
    if sys.argv[2:] == ["small"]:
        small_tree(root, rng, pool)
        return
    for i in range(300):
        write(os.path.join(root, "text", f"doc{i:03}.txt"), text(rng, pool, rng.randint(10_000, 250_000)))
    for i in range(40):
        write(os.path.join(root, "bin", f"module{i:02}.bin"), binary(rng, rng.randint(100_000, 1_000_000)))
    for i in range(10):
        write(os.path.join(root, "random", f"noise{i}.dat"), rng.randbytes(2 * MB))
    for i in range(3000):
        write(os.path.join(root, "small", f"group{i % 40:02}", f"item{i:04}.cfg"),
              text(rng, pool, rng.randint(100, 4000)))
    big = bytearray()
    while len(big) < 120 * MB:
        kind = rng.random()
        if kind < 0.45:
            big += text(rng, pool, MB)
        elif kind < 0.85:
            big += binary(rng, MB)
        else:
            big += rng.randbytes(MB)
    write(os.path.join(root, "big.dat"), bytes(big))


if __name__ == "__main__":
    main()

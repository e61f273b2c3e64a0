#!/usr/bin/env python3
"""Writes a zip of the given files that holds nothing of the moment or the machine: every
entry dated EPOCH (UTC), in the order given, with no owner or permissions. Text files (*.txt)
get Windows line ends.

Usage: release-zip.py ZIP EPOCH PATH=NAME..."""
import os
import sys
import time
import zipfile


def main(zip_path, epoch, *items):
    stamp = time.gmtime(max(int(epoch), 315532800))[:6]  # a zip cannot date before 1980
    with zipfile.ZipFile(zip_path + ".part", "w") as archive:
        for item in items:
            path, name = item.rsplit("=", 1)
            with open(path, "rb") as f:
                data = f.read()
            if name.endswith(".txt"):
                data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
            entry = zipfile.ZipInfo(name, stamp)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.create_system = 0  # as a Windows zip: no Unix owner or modes
            archive.writestr(entry, data, compresslevel=9)
    os.replace(zip_path + ".part", zip_path)


if __name__ == "__main__":
    main(*sys.argv[1:])

#!/usr/bin/env python3
"""Writes the sample payload: deterministic stand-ins for the 82 vendor files, numbered 1 to 82,
each exactly as large as the catalogue says, so that a sample-built installer writes as many
bytes as a site build. A row given with --file takes that file (one of our marker DLLs) and
pads it to its size with bytes after the image. Never for installation on workstations.
Beside them, manifest.txt lists row, destination name, size and SHA-256, as a site build does.

  make-sample-payload.py --table tasks/PayloadTable.cpp --out DIR [--file ROW=PATH ...]
"""
import argparse
import hashlib
import os
import random
import re
import sys

ROW = re.compile(r'^\s*\{\s*(\d+),\s*PayloadBase::(\w+),\s*"((?:[^"\\]|\\.)*)",\s*(\d+),\s*(true|false)\s*\},')


def read_table(path):
    rows = []
    with open(path, encoding="ascii") as f:
        for line in f:
            m = ROW.match(line)
            if m:
                rows.append((int(m.group(1)), m.group(3).replace("\\\\", "\\"), int(m.group(4))))
    if [r[0] for r in rows] != list(range(1, 83)):
        sys.exit(f"{path}: expected rows 1 to 82, found {[r[0] for r in rows]}")
    return rows


def filler(row, size):
    return random.Random(f"kestrel-sample-{row}").randbytes(size)


def stand_in(row, name, size):
    head = f"Kestrel sample payload, row {row} ({name}): a stand-in, not the vendor file.\r\n".encode()
    if len(head) > size:
        head = head[:size]
    return head + filler(row, size - len(head))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--table", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--file", action="append", default=[], metavar="ROW=PATH")
    args = ap.parse_args()

    given = {}
    for item in args.file:
        row, _, path = item.partition("=")
        given[int(row)] = path

    os.makedirs(args.out, exist_ok=True)
    total = 0
    manifest = ["# Sample payload (stand-ins, not the vendor files)",
                "# row\tdestination name\tbytes\tSHA-256"]
    for row, name, size in read_table(args.table):
        if row in given:
            with open(given[row], "rb") as f:
                data = f.read()
            if len(data) > size:
                sys.exit(f"row {row}: {given[row]} has {len(data)} bytes, more than the {size} of {name}")
            data += filler(row, size - len(data))
        else:
            data = stand_in(row, name, size)
        with open(os.path.join(args.out, str(row)), "wb") as f:
            f.write(data)
        total += size
        manifest.append(f"{row}\t{name}\t{size}\t{hashlib.sha256(data).hexdigest()}")
    manifest.append(f"# total\t{total} bytes")
    with open(os.path.join(args.out, "manifest.txt"), "w", newline="\n") as f:
        f.write("\n".join(manifest) + "\n")
    print(f"Sample payload (stand-ins, not the vendor files): 82 files, {total} bytes in {args.out}")


if __name__ == "__main__":
    main()

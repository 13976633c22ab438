#!/usr/bin/env python3
"""Writes the seed corpus for transfer_fuzz into corpus/ beside this script.

Each seed: source length, template length (16-bit little-endian), then a body
that the target repeats across both images. The body is 4148 bytes long, so its
last byte lands on the source's entry count and sets N.
"""
import pathlib
import struct

CORPUS = pathlib.Path(__file__).resolve().parent / "corpus"


def seed(name, source_size, template_size, entries):
    body = bytearray((i * 37 + 11) % 256 for i in range(4148))
    body[4147] = entries
    (CORPUS / name).write_bytes(struct.pack("<HH", source_size, template_size) + body)


def source_minimum(n):
    return 4148 if n == 0 else 8242 + 48 * (n - 1) + 26


def template_minimum(n):
    return 4167 if n == 0 else 8261 + 48 * n


def main():
    CORPUS.mkdir(exist_ok=True)
    (CORPUS / "empty").write_bytes(b"\0\0\0\0")
    for n in (0, 1, 5, 255):
        seed(f"fits-n{n}", source_minimum(n), template_minimum(n), n)
        seed(f"source-short-n{n}", source_minimum(n) - 1, template_minimum(n), n)
        seed(f"template-short-n{n}", source_minimum(n), template_minimum(n) - 1, n)
    seed("roomy-n9", 30000, 30000, 9)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Makes the synthetic sample data sets in this folder.

tarvul.dat      a source data set with 5 entries
semrod.dat      a template data set that held 7 entries
new_semrod.expected
                what the tool must write for these two, worked out here
                independently of the tool's own code

Run it from anywhere; it writes beside itself. The output is the same every time.
"""
import pathlib
import random

HERE = pathlib.Path(__file__).resolve().parent

SOURCE = dict(carried=0x41, short_table=0x332, count=0x1033, long_table=0x2032)
TEMPLATE = dict(carried=0x52, short_table=0xC45, count=0x1046, long_table=0x2045)
TAIL = bytes.fromhex("0002FFFF0102030405FFFFFF0102030405FFFFFFFFFF")


def synthetic(size, seed):
    rng = random.Random(seed)
    return bytearray(rng.randrange(256) for _ in range(size))


def main():
    source = synthetic(8704, 1)
    template = synthetic(8800, 2)
    entries, old_entries = 5, 7
    source[SOURCE["count"]] = entries
    template[TEMPLATE["count"]] = old_entries
    # Lead bytes at the wrap-around points, so the sample shows 0x00 -> 0xFF.
    source[SOURCE["short_table"]] = 0x00
    source[SOURCE["long_table"] + 1] = 0x01

    out = bytearray(template)
    out[TEMPLATE["carried"]] = source[SOURCE["carried"]]
    out[TEMPLATE["count"]] = entries
    for i in range(entries):
        s, t = SOURCE["short_table"] + 4 * i, TEMPLATE["short_table"] + 4 * i
        out[t:t + 4] = bytes([(source[s] - 1) % 256, (source[s + 1] - 1) % 256]) + source[s + 2:s + 4]
        s, t = SOURCE["long_table"] + 48 * i, TEMPLATE["long_table"] + 48 * i
        record = bytearray([(source[s] - 1) % 256, (source[s + 1] - 1) % 256]) + source[s + 2:s + 26]
        record[20:22] = b"\x32\x32"
        out[t:t + 48] = record + TAIL

    (HERE / "tarvul.dat").write_bytes(source)
    (HERE / "semrod.dat").write_bytes(template)
    (HERE / "new_semrod.expected").write_bytes(out)


if __name__ == "__main__":
    main()

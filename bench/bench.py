#!/usr/bin/env python3
"""Benchmarks the built tool; prints figures, asserts nothing.

1. Typical inputs (about 20 KB each, N = 255): whole-process time of the tool
   against `cp semrod.dat new_semrod.dat` in the same directory, interleaved
   runs, medians and their ratio (target: ratio <= 1.0). An empty C program,
   linked as the tool is (a PIE that loads the system's C library), runs in the
   same loop as the floor of a process start.
2. Large inputs (64, 128 and 256 MiB each): time and peak resident memory of
   one run (target: peak <= S1 + S2 + 8 MiB, time linear in size).

The tool runs in a new session with no controlling terminal, so it does not
wait for a key.

usage: bench/bench.py [path/to/tarvul2semrod] [--runs N]
"""
import argparse
import os
import pathlib
import shutil
import statistics
import subprocess
import tempfile
import time

SOURCE_COUNT_OFFSET = 0x1033
MIB = 1 << 20


def write_inputs(folder, source_size, template_size, entries=255):
    chunk = bytes((i * 7 + 3) % 256 for i in range(MIB))
    for name, size in (("tarvul.dat", source_size), ("semrod.dat", template_size)):
        with open(folder / name, "wb") as out:
            left = size
            while left:
                out.write(chunk[:min(left, len(chunk))])
                left -= min(left, len(chunk))
    with open(folder / "tarvul.dat", "r+b") as source:
        source.seek(SOURCE_COUNT_OFFSET)
        source.write(bytes([entries]))


def timed_run(argv, folder):
    """Wall time and peak resident set (bytes) of one process."""
    start = time.perf_counter()
    child = subprocess.Popen(argv, cwd=folder, stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, start_new_session=True)
    _, status, usage = os.wait4(child.pid, 0)
    elapsed = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        raise SystemExit(f"{argv[0]} failed with status {child.returncode}")
    return elapsed, usage.ru_maxrss * 1024


def empty_program(folder):
    """An empty C program linked as the tool is: the floor of its process start.
    None when no C compiler can build it."""
    source = folder / "empty.c"
    source.write_text("int main(void) { return 0; }\n")
    built = subprocess.run(["cc", "-O2", "-fPIE", "-pie", "-Wl,-z,relro,-z,now", "-o",
                            str(folder / "empty"), str(source)],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return [str(folder / "empty")] if built.returncode == 0 else None


def typical(tool, runs):
    with tempfile.TemporaryDirectory() as name:
        folder = pathlib.Path(name)
        write_inputs(folder, 20480, 20544)
        commands = {"tool": [tool], "cp": [shutil.which("cp"), "semrod.dat", "new_semrod.dat"]}
        empty = empty_program(folder)
        if empty:
            commands["empty"] = empty
        times = {label: [] for label in commands}
        for _ in range(runs):
            for label, argv in commands.items():
                times[label].append(timed_run(argv, folder)[0])
        median = {label: statistics.median(values) for label, values in times.items()}
        print(f"typical inputs (20 KB, N = 255), {runs} runs each:")
        print(f"  tool  median {median['tool'] * 1e3:7.3f} ms")
        print(f"  cp    median {median['cp'] * 1e3:7.3f} ms")
        if empty:
            print(f"  empty median {median['empty'] * 1e3:7.3f} ms  (an empty C program, linked alike)")
        print(f"  ratio tool/cp {median['tool'] / median['cp']:.2f} (target <= 1.0)")
        if empty:
            print(f"  ratio tool/empty {median['tool'] / median['empty']:.2f}")


def large(tool):
    print("large inputs (one run each):")
    print("  size each   time       peak RSS    S1+S2+8MiB  per MiB")
    for size_mib in (64, 128, 256):
        with tempfile.TemporaryDirectory() as name:
            folder = pathlib.Path(name)
            size = size_mib * MIB
            write_inputs(folder, size, size)
            elapsed, peak = timed_run([tool], folder)
            budget = 2 * size + 8 * MIB
            verdict = "ok" if peak <= budget else "OVER"
            print(f"  {size_mib:4d} MiB  {elapsed:8.3f} s  {peak / MIB:8.1f} MiB  "
                  f"{budget / MIB:8.1f} MiB {verdict}  {elapsed / (2 * size_mib) * 1e3:6.2f} ms")


def main():
    parser = argparse.ArgumentParser()
    default_tool = pathlib.Path(__file__).resolve().parent.parent / "build/default/tarvul2semrod"
    parser.add_argument("tool", nargs="?", default=str(default_tool))
    parser.add_argument("--runs", type=int, default=300)
    args = parser.parse_args()
    tool = str(pathlib.Path(args.tool).resolve())
    typical(tool, args.runs)
    large(tool)


if __name__ == "__main__":
    main()

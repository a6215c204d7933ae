#!/usr/bin/env python3
"""The same read exchange the tool makes, written the way a user would with
pyserial: send the read request, read until the 23-byte reply is in.
Prints the median and 99th percentile in microseconds."""
import argparse
import statistics
import sys
import time

import serial

READ_REQUEST = bytes.fromhex("AFAF0000AF80020C" + "00" * 12 + "9B0D0A")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("device")
    ap.add_argument("--count", type=int, default=1000)
    args = ap.parse_args()

    line = serial.Serial(args.device, 9600, timeout=2)
    samples = []
    for _ in range(args.count + 10):
        start = time.perf_counter_ns()
        line.write(READ_REQUEST)
        reply = line.read(23)
        elapsed = time.perf_counter_ns() - start
        if len(reply) != 23 or reply[:2] != b"\xaf\xaf":
            print("no reply", file=sys.stderr)
            return 1
        samples.append(elapsed / 1000.0)
    samples = sorted(samples[10:])  # the first few warm up
    p99 = samples[min(len(samples) - 1, int(len(samples) * 0.99))]
    print(f"{statistics.median(samples):.1f} {p99:.1f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Prints the benchmark figures of scripts/bench as one table, with targets."""
import json
import sys


def load(paths):
    runs = {}
    for path in paths:
        with open(path) as f:
            for run in json.load(f)["benchmarks"]:
                runs[run["name"]] = run
    return runs


def main(paths):
    runs = load(paths)
    rows = []

    def row(figure, value, unit, target, met):
        rows.append((figure, f"{value:,.2f} {unit}", target, "yes" if met else "NO"))

    def rate(name):
        return runs[name]["bytes_per_second"] / 1e6

    engine = rate("EngineThroughput/1024")
    row("Engine throughput, 1 KiB chunks", engine, "MB/s", ">= 50 MB/s", engine >= 50)
    window = rate("WindowThroughput/4096")
    row("Window throughput, 4 KiB chunks", window, "MB/s", ">= 2 MB/s", window >= 2)
    small = rate("WindowThroughput/256")
    row("Window throughput, 256-byte chunks", small, "MB/s", "(reported)", True)

    latency = runs["StatusReplyLatency/iterations:1"]
    row("Status reply, window, median", latency["window_median_us"], "us", "", True)
    row("Status reply, bare echo, median", latency["echo_median_us"], "us", "", True)
    ratio = latency["median_ratio"]
    row("Status reply, median window / echo", ratio, "x", "<= 1.5x", ratio <= 1.5)
    p99 = latency["window_p99_us"]
    row("Status reply, window, 99th percentile", p99, "us", "< 2000 us", p99 < 2000)
    row("Status reply, bare echo, 99th percentile", latency["echo_p99_us"], "us", "", True)

    memory = runs["WindowMemory/iterations:1"]
    row("Peak memory after 1 MB through the window", memory["peak_mb_after_1mb"], "MB", "", True)
    row("Peak memory after 100 MB through the window", memory["peak_mb_after_100mb"], "MB", "", True)
    growth = memory["growth_mb"]
    row("Peak memory growth, 1 MB to 100 MB", growth, "MB", "< 2 MB", growth < 2)

    # Each stream runs from start-up; the counter is in seconds per byte.
    per_byte = [runs[f"EngineScaling/{n}"]["ns_per_byte"] * 1e9 for n in (10000, 1000000, 100000000)]
    for size, value in zip(("10 KB", "1 MB", "100 MB"), per_byte):
        row(f"Engine time per byte, {size} stream", value, "ns", "flat", True)
    growth = per_byte[2] / per_byte[0]
    row("Engine time per byte, 100 MB / 10 KB", growth, "x", "<= 1.5x (no growth)", growth <= 1.5)

    widths = [max(len(r[i]) for r in rows + [("Figure", "Measured", "Target", "Met")]) for i in range(4)]
    line = lambda r: "  ".join(cell.ljust(w) for cell, w in zip(r, widths))
    print(line(("Figure", "Measured", "Target", "Met")))
    print(line(tuple("-" * w for w in widths)))
    for r in rows:
        print(line(r))
    return 0 if all(r[3] == "yes" for r in rows) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

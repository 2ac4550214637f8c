#!/usr/bin/env python3
"""Prints the figures of bench/compare and their ratios against the goals."""
import json
import os
import platform
import subprocess
import sys


def hyperfine_medians(path):
    with open(path) as f:
        return {r["command"]: r["median"] for r in json.load(f)["results"]}


def hyperfine_cpu(path):
    """CPU time per command: user and system, means over the runs."""
    with open(path) as f:
        return {r["command"]: r["user"] + r["system"] for r in json.load(f)["results"]}


def google_medians(path):
    with open(path) as f:
        data = json.load(f)
    medians = {}
    for b in data["benchmarks"]:
        if b.get("aggregate_name") == "median":
            medians[b["run_name"].split("/iterations:")[0]] = b
        elif "aggregate_name" not in b:
            medians.setdefault(b["name"], b)
    return medians


def seconds(b):
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b["time_unit"]]
    return b["cpu_time"] * scale


def machine():
    model = "unknown CPU"
    try:
        for line in open("/proc/cpuinfo"):
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    versions = []
    for tool in (["rg", "--version"], ["ugrep", "--version"], ["grep", "--version"],
                 ["hyperfine", "--version"], ["dpkg-query", "-W", "-f", "vectorscan ${Version}",
                                               "libvectorscan5"]):
        try:
            versions.append(subprocess.run(tool, capture_output=True, text=True).stdout.splitlines()[0])
        except OSError:
            pass
    return "%s, %d cores, %s; %s" % (model, os.cpu_count(), platform.platform(), "; ".join(versions))


def library_rows(data, row):
    """Libraries of 27 to 32,767 entries, whole-process CPU time against Vectorscan (compiling
    its database, and with it compiled beforehand) and against the 27 entries, with the scan
    in process beside them where it was measured."""
    inprocess = {}
    files = [os.path.join(data, name) for name in ("libraries.json", "inprocess.json")]
    # The newer of the two runs (--libraries, or the whole comparison) first.
    for path in sorted((f for f in files if os.path.exists(f)), key=os.path.getmtime,
                       reverse=True):
        for key, b in google_medians(path).items():
            if key.startswith("ByteSearchLibrary/"):
                inprocess.setdefault(int(key.split("/")[1]), seconds(b))
    base = hyperfine_cpu(os.path.join(data, "versus-27.json"))["tesqua-scan"]
    goals = {27: ("vectorscan", 0.5), 1000: ("vectorscan", 0.7),
             32767: ("vectorscan-precompiled", 1.0)}
    for count in (27, 65, 128, 300, 1000, 32767):
        c = hyperfine_cpu(os.path.join(data, "versus-%d.json" % count))
        ours = c["tesqua-scan"]
        scan = " (scan in process %.1f ms)" % (inprocess[count] * 1e3) if count in inprocess else ""
        for peer, label in (("vectorscan", "Vectorscan"),
                            ("vectorscan-precompiled", "Vectorscan, database compiled before")):
            goal = goals.get(count)
            has_goal = goal is not None and goal[0] == peer
            row("100 MB, %s entries, CPU time vs %s%s" % (format(count, ","), label, scan),
                "%.1f ms" % (ours * 1e3), "%.1f ms" % (c[peer] * 1e3),
                "%.2f x" % (ours / c[peer]), "<= %.1f x" % goal[1] if has_goal else "-",
                not has_goal or ours / c[peer] <= goal[1])
        if count != 27:
            row("100 MB, %s entries vs 27 entries, CPU time" % format(count, ","),
                "%.1f ms" % (ours * 1e3), "%.1f ms" % (base * 1e3), "%.2f x" % (ours / base),
                "<= 1.5 x" if count <= 300 else "-", count > 300 or ours / base <= 1.5)


def main(data, small_only=False, libraries_only=False):
    rows = []

    def row(what, ours, peer, ratio, goal, ok):
        rows.append((what, ours, peer, ratio, goal, ("met" if ok else "missed") if goal != "-" else ""))

    if libraries_only:
        library_rows(data, row)
        return report(rows)

    for tag, where, goal in (("", "", 0.5), ("-core0", ", one core", 0.7)):
        m = hyperfine_medians(os.path.join(data, "small-files%s.json" % tag))
        c = hyperfine_cpu(os.path.join(data, "small-files%s.json" % tag))
        ours, rg = m["tesqua-scan"], m["rg"]
        row("5,000 files of 500-1,000 bytes%s vs rg -c (CPU %.1f vs %.1f ms)"
            % (where, c["tesqua-scan"] * 1e3, c["rg"] * 1e3), "%.1f ms" % (ours * 1e3),
            "%.1f ms" % (rg * 1e3), "%.2f x" % (ours / rg), "<= %.1f x" % goal, ours / rg <= goal)
    if small_only:
        return report(rows)

    library_rows(data, row)
    for name, label in (("cpu-utf8", "UTF-8"), ("cpu-gbk", "GBK"), ("cpu-utf16", "UTF-16 LE")):
        c = hyperfine_cpu(os.path.join(data, name + ".json"))
        ours, peer = c["tesqua-scan"], c["vectorscan"]
        row("100 MB %s file, CPU time vs Vectorscan" % label, "%.1f ms" % (ours * 1e3),
            "%.1f ms" % (peer * 1e3), "%.2f x" % (ours / peer), "<= 0.5 x", ours / peer <= 0.5)

    for tag, where in (("", ""), ("-core0", ", one core")):
        base = hyperfine_medians(os.path.join(data, "library-27%s.json" % tag))["tesqua-scan"]
        for count in (27, 1000, 32767):
            m = hyperfine_medians(os.path.join(data, "library-%d%s.json" % (count, tag)))
            ours, rg = m["tesqua-scan"], m["rg"]
            row("100 MB, %s entries%s vs rg, sort -u" % (format(count, ","), where),
                "%.1f ms" % (ours * 1e3), "%.1f ms" % (rg * 1e3), "%.2f x" % (ours / rg),
                "<= 0.5 x", ours / rg <= 0.5)
            if count != 27:
                row("100 MB, %s entries%s vs 27 entries" % (format(count, ","), where),
                    "%.1f ms" % (ours * 1e3), "%.1f ms" % (base * 1e3), "%.2f x" % (ours / base),
                    "<= 1.5 x", ours / base <= 1.5)

    for name, label, goal in (("file-100mb", "100 MB UTF-8 file", 0.5),
                              ("file-1mb", "1 MB UTF-8 file", 1.0),
                              ("folder-1000", "1,000 GBK files of 8 KB", 0.5)):
        m = hyperfine_medians(os.path.join(data, name + ".json"))
        ours = m["tesqua-scan"]
        row(label + " vs rg, sort -u", "%.1f ms" % (ours * 1e3), "%.1f ms" % (m["rg"] * 1e3),
            "%.2f x" % (ours / m["rg"]), "<= %.1f x" % goal, ours / m["rg"] <= goal)
        for peer in ("ugrep", "grep"):
            row(label + " vs %s, sort -u" % peer, "%.1f ms" % (ours * 1e3),
                "%.1f ms" % (m[peer] * 1e3), "%.2f x" % (ours / m[peer]), "-", True)

    g = google_medians(os.path.join(data, "inprocess.json"))
    copy = seconds(g["Memcpy/1048576"])
    scan = seconds(g["ScanDefaultLibrary/1048576"])
    row("1 MB UTF-16 text, scan vs one memcpy", "%.1f us" % (scan * 1e6), "%.1f us" % (copy * 1e6),
        "%.1f x" % (scan / copy), "<= 8 x", scan / copy <= 8)
    build_small = seconds(g["BuildAndScanDefaultLibrary/65536"])
    copy_small = seconds(g["Memcpy/65536"])
    row("64 KB UTF-16 text, build + scan (memcpy beside)", "%.1f us" % (build_small * 1e6),
        "%.2f us" % (copy_small * 1e6), "%.0f x" % (build_small / copy_small), "<= 50 us",
        build_small <= 50e-6)
    plain_small = seconds(g["PlainLoopDefaultLibrary/65536"])
    row("64 KB, cached scan vs per-key loop", "%.1f us" % (seconds(g["ScanDefaultLibrary/65536"]) * 1e6),
        "%.1f us" % (plain_small * 1e6), "%.3f x" % (seconds(g["ScanDefaultLibrary/65536"]) / plain_small),
        "-", True)
    large = g["LargeLibraryBuildAndScan"]
    loop = seconds(g["LargeLibraryPlainLoop"])
    row("32,767 keys over 64 KB, build + scan vs per-key loop", "%.2f ms" % (seconds(large) * 1e3),
        "%.0f ms" % (loop * 1e3), "%.0f x faster" % (loop / seconds(large)),
        "<= 10 ms, >= 200 x", seconds(large) <= 10e-3 and loop / seconds(large) >= 200)
    memory = large["matcher_bytes"]
    row("32,767-key matcher memory", "%.2f MB" % (memory / 1e6), "-", "-", "<= 8 MB", memory <= 8e6)

    report(rows)


def report(rows):
    load = open("/proc/loadavg").read().split()[:3] if os.path.exists("/proc/loadavg") else []
    print("Machine: " + machine())
    print("Load average at the end: " + " ".join(load))
    print()
    print("| Measure | Tesqua | Peer | Ratio | Goal | |")
    print("|---|---|---|---|---|---|")
    for r in rows:
        print("| " + " | ".join(r) + " |")


if __name__ == "__main__":
    main(sys.argv[1], "--small-files" in sys.argv[2:], "--libraries" in sys.argv[2:])

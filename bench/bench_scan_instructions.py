#!/usr/bin/env python3
"""The scan from disk against loading and parsing the same page, counted in instructions.

On a busy shared machine wall and CPU times of bench_browser_scan move by tens of percent from
run to run; instruction counts do not. Runs bench_browser_scan under callgrind (valgrind) for
each page size and prints the instructions of one scan and of one load+parse, and their ratio
(the goal is 0.25 or less). User-space instructions only: the kernel's work for the one stat per
local movie is not in them, so compare with the "stat floor" line of bench_browser_scan.

  bench_scan_instructions.py [--build DIR] [--movies N [N ...]]
    --movies N  pages of N movies in 100 frames; 1000 and 10000 unless given (100000 takes
                minutes under callgrind)
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)


def per_call(annotated, function):
    """Inclusive instructions of `function` and the calls it got from other functions."""
    lines = annotated.splitlines()
    for i, line in enumerate(lines):
        if "*  " not in line or function not in line or "'2" in line:
            continue
        cost = int(line.split()[0].replace(",", ""))
        calls = 0
        j = i - 1
        while j >= 0 and "<" in lines[j]:
            caller = lines[j].split("<", 1)[1]
            count = re.search(r"\((\d+)x\)", lines[j])
            if count and function not in caller:  # a recursive call is not one more scan
                calls += int(count.group(1))
            j -= 1
        return cost, calls
    return None, 0


def measure(bench, site, movies, out):
    subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}", bench, f"--site={site}",
                    f"--movies={movies}", "--benchmark_filter=LoadParse_File|Scan_File",
                    "--benchmark_min_time=0.2"], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    annotated = subprocess.run(["callgrind_annotate", "--inclusive=yes", "--tree=caller", out],
                               check=True, capture_output=True, text=True).stdout
    scan = per_call(annotated, "trovex::ScanDocument(trovex::IHTMLDocument2*")
    load = per_call(annotated, "trovex::browser::LoadPage(")
    if not scan[0] or not scan[1] or not load[0] or not load[1]:
        sys.exit("callgrind's output did not name ScanDocument and LoadPage (a build without symbols?)")
    # What the scan's helper threads did counts too (callgrind runs threads one at a time, so they
    # do little here). A page from disk loads on the caller's thread alone.
    helpers = per_call(annotated, "ReferenceResolver::StartHelper()::{lambda")[0] or 0
    return (scan[0] + helpers) / scan[1], load[0] / load[1]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(SOURCE, "build"))
    parser.add_argument("--movies", type=int, nargs="+", default=[1000, 10000])
    args = parser.parse_args()
    bench = os.path.join(args.build, "bench", "bench_browser_scan")
    make_site = os.path.join(args.build, "bench", "bench_make_site")
    if not (os.access(bench, os.X_OK) and os.access(make_site, os.X_OK)):
        sys.exit(f"needs {bench} and {make_site}")
    if not (shutil.which("valgrind") and shutil.which("callgrind_annotate")):
        sys.exit("needs valgrind (callgrind and callgrind_annotate)")
    with tempfile.TemporaryDirectory(prefix="trovex-bench-ir-") as tmp:
        for movies in args.movies:
            site = os.path.join(tmp, f"site{movies}")
            subprocess.run([make_site, str(movies), site], check=True, stdout=subprocess.DEVNULL)
            scan, load = measure(bench, site, movies, os.path.join(tmp, f"callgrind.{movies}"))
            print(f"{movies:7d} movies: scan {scan / 1e6:8.1f} M instructions ({scan / movies:7.0f} a movie), "
                  f"load+parse {load / 1e6:8.1f} M; scan / load+parse = {scan / load:.3f}")
            shutil.rmtree(site)


if __name__ == "__main__":
    main()

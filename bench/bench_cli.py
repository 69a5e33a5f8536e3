#!/usr/bin/env python3
"""trovex-browser --list (and --help) against curl fetching the same pages, as whole commands.

Serves a site from 127.0.0.1 and runs, in turn, `trovex-browser --list URL` and `curl` of every
page of the site (one curl process, all pages), RUNS times after a warm-up, and prints each
run's pair, the medians, and the ratio list / curl per pair with its median, by wall time and
by CPU time (user + system, which holds better on a busy machine). The goals are 3x curl for
the demo site and 2x for the generated pages (by wall time).

  bench_cli.py [--build DIR] [--movies N [N ...]] [--runs R] [--cold-cache]
    --movies N  the generated page with N movies in 100 frames (1000, 10000, 100000); several
                sizes run one after the other, with the cost per movie at the end, to show it
                stays linear; 0, the default, is the demo site in samples/site
    --cold-cache  each --list run starts with an empty URL cache, as a page's first load does;
                without it, runs after the first find the pages they cached (a page loaded again)
"""
import argparse
import functools
import http.server
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def timed(cmd):
    """Wall and CPU seconds of one whole command."""
    cpu = children_cpu()
    start = time.perf_counter()
    done = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit(f"{cmd[0]} failed ({done.returncode}): {done.stderr.decode(errors='replace')[:300]}")
    return elapsed, children_cpu() - cpu


def pair_table(name_a, name_b, cmd_a, cmd_b, runs, cold=None):
    """Returns the median wall time of command A, in seconds. cold: a folder in which each run of
    A gets an empty URL cache of its own, as on a page's first load (kept until the end: removing
    files just before making new ones slows ext4 without a journal down); without it, A finds the
    pages it cached before."""
    timed(cmd_a), timed(cmd_b)  # warm-up
    a, b, ratios, cpu_ratios = [], [], [], []
    for i in range(runs):
        if cold:
            os.environ["XDG_CACHE_HOME"] = tempfile.mkdtemp(prefix="cache-", dir=cold)
        ta, ca = timed(cmd_a)
        tb, cb = timed(cmd_b)
        a.append(ta), b.append(tb), ratios.append(ta / tb), cpu_ratios.append(ca / max(cb, 1e-3))
        print(f"  run {i + 1}: {name_a} {ta * 1000:7.1f} ms ({ca * 1000:6.1f} ms CPU)  "
              f"{name_b} {tb * 1000:7.1f} ms ({cb * 1000:6.1f} ms CPU)  ratio {ta / tb:5.2f}")
    print(f"  median: {name_a} {statistics.median(a) * 1000:.1f} ms, {name_b} {statistics.median(b) * 1000:.1f} ms,"
          f" ratio {statistics.median(ratios):.2f} (min {min(ratios):.2f}, max {max(ratios):.2f});"
          f" by CPU time {statistics.median(cpu_ratios):.2f}")
    return statistics.median(a)


def run_site(args, browser, curl, movies, tmp):
    """The two tables for one site; the median wall time of --list."""
    if movies:
        site = os.path.join(tmp, f"site{movies}")
        subprocess.run([os.path.join(args.build, "bench", "bench_make_site"), str(movies), site],
                       check=True, stdout=subprocess.DEVNULL)
    else:
        site = os.path.join(SOURCE, "samples", "site")
    pages = sorted(os.path.relpath(os.path.join(d, f), site)
                   for d, _, files in os.walk(site) for f in files if f.endswith(".html"))
    handler = functools.partial(QuietHandler, directory=site)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = f"http://127.0.0.1:{server.server_address[1]}/"
    print(f"load average {open('/proc/loadavg').read().split()[:3]}, site: {len(pages)} pages"
          + (f", {movies} movies" if movies else " (demo)"))
    print("--list against curl of every page" + (", each --list with an empty URL cache:" if args.cold_cache else ":"))
    median = pair_table("--list", "curl", [browser, "--list", base + "index.html"],
                        [curl, "-sf"] + [base + p for p in pages], args.runs, tmp if args.cold_cache else None)
    print("--help against curl of the first page:")
    pair_table("--help", "curl", [browser, "--help"], [curl, "-sf", base + "index.html"], args.runs)
    server.shutdown()
    server.server_close()
    return median


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(SOURCE, "build"))
    parser.add_argument("--movies", type=int, nargs="+", default=[0])
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--cold-cache", action="store_true",
                        help="each --list run starts with an empty URL cache (a page's first load)")
    args = parser.parse_args()
    browser = os.path.join(args.build, "browser", "trovex-browser")
    curl = shutil.which("curl")
    if not os.access(browser, os.X_OK) or not curl:
        sys.exit(f"needs {browser} and curl")

    with tempfile.TemporaryDirectory(prefix="trovex-bench-cli-") as tmp:
        env = dict(os.environ, XDG_CACHE_HOME=os.path.join(tmp, "cache"), XDG_CONFIG_HOME=os.path.join(tmp, "config"),
                   XDG_DATA_HOME=os.path.join(tmp, "data"))
        os.environ.update(env)
        medians = {movies: run_site(args, browser, curl, movies, tmp) for movies in args.movies}
        sized = [(m, t) for m, t in medians.items() if m]
        if len(sized) > 1:
            print("--list, median wall time per movie:")
            for movies, seconds in sized:
                print(f"  {movies:7d} movies: {seconds * 1e6 / movies:7.1f} us a movie")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""trovex-browser --list (and --help) against curl fetching the same pages, as whole commands.

Serves a site from 127.0.0.1 and runs, in turn, `trovex-browser --list URL` and `curl` of every
page of the site (one curl process, all pages), RUNS times after a warm-up, and prints each
run's pair, the medians, and the ratio list / curl per pair with its median. The goals are
3x curl for the demo site and 2x for the generated pages.

  bench_cli.py [--build DIR] [--movies N] [--runs R]
    --movies N  the generated page with N movies in 100 frames (1000, 10000, 100000);
                0, the default, is the demo site in samples/site
"""
import argparse
import functools
import http.server
import os
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


def timed(cmd):
    start = time.perf_counter()
    done = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit(f"{cmd[0]} failed ({done.returncode}): {done.stderr.decode(errors='replace')[:300]}")
    return elapsed, len(done.stdout)


def pair_table(name_a, name_b, cmd_a, cmd_b, runs):
    timed(cmd_a), timed(cmd_b)  # warm-up
    a, b, ratios = [], [], []
    for i in range(runs):
        ta, _ = timed(cmd_a)
        tb, _ = timed(cmd_b)
        a.append(ta), b.append(tb), ratios.append(ta / tb)
        print(f"  run {i + 1}: {name_a} {ta * 1000:7.1f} ms  {name_b} {tb * 1000:7.1f} ms  ratio {ta / tb:5.2f}")
    print(f"  median: {name_a} {statistics.median(a) * 1000:.1f} ms, {name_b} {statistics.median(b) * 1000:.1f} ms,"
          f" ratio {statistics.median(ratios):.2f} (min {min(ratios):.2f}, max {max(ratios):.2f})")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(SOURCE, "build"))
    parser.add_argument("--movies", type=int, default=0)
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    browser = os.path.join(args.build, "browser", "trovex-browser")
    curl = shutil.which("curl")
    if not os.access(browser, os.X_OK) or not curl:
        sys.exit(f"needs {browser} and curl")

    with tempfile.TemporaryDirectory(prefix="trovex-bench-cli-") as tmp:
        if args.movies:
            site = os.path.join(tmp, "site")
            subprocess.run([os.path.join(args.build, "bench", "bench_make_site"), str(args.movies), site],
                           check=True, stdout=subprocess.DEVNULL)
        else:
            site = os.path.join(SOURCE, "samples", "site")
        pages = sorted(os.path.relpath(os.path.join(d, f), site)
                       for d, _, files in os.walk(site) for f in files if f.endswith(".html"))
        handler = functools.partial(QuietHandler, directory=site)
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        base = f"http://127.0.0.1:{server.server_address[1]}/"
        env = dict(os.environ, XDG_CACHE_HOME=os.path.join(tmp, "cache"), XDG_CONFIG_HOME=os.path.join(tmp, "config"),
                   XDG_DATA_HOME=os.path.join(tmp, "data"))
        os.environ.update(env)
        print(f"load average {open('/proc/loadavg').read().split()[:3]}, site: {len(pages)} pages"
              + (f", {args.movies} movies" if args.movies else " (demo)"))
        print("--list against curl of every page:")
        pair_table("--list", "curl", [browser, "--list", base + "index.html"],
                   [curl, "-sf"] + [base + p for p in pages], args.runs)
        print("--help against curl of the first page:")
        pair_table("--help", "curl", [browser, "--help"], [curl, "-sf", base + "index.html"], args.runs)
        server.shutdown()


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""trovex-save against wget2 fetching the same addresses, as whole commands.

Serves two generated sites with nginx on 127.0.0.1 (keep-alive on): 10,000 small movies in 101
pages, and 1,000 movies of 100 KB in 101 pages. For each, runs `trovex-save` on the top page
(every page and frame loaded, every movie saved into an empty folder) and `wget2` on the list
of the same addresses (pages and movies, into an empty folder), RUNS times after a warm-up, in
turn, and prints each run, the medians and the ratio trovex-save / wget2 (below 1: faster).

  bench_save_vs_wget2.py [--build DIR] [--runs R] [--sites small|large|both]

Needs wget2 and nginx (scripts/setup.sh installs them) and a built trovex-save and
bench_make_site.
"""
import argparse
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from bench_cli import timed  # noqa: E402

SOURCE = os.path.dirname(HERE)

NGINX_CONF = """daemon off;
worker_processes 1;
pid {tmp}/nginx.pid;
error_log {tmp}/nginx-error.log;
events {{ worker_connections 1024; }}
http {{
  access_log off;
  client_body_temp_path {tmp}/body;
  proxy_temp_path {tmp}/proxy;
  fastcgi_temp_path {tmp}/fastcgi;
  uwsgi_temp_path {tmp}/uwsgi;
  scgi_temp_path {tmp}/scgi;
  keepalive_requests 1000000;
  types {{ text/html html; application/x-shockwave-flash swf; }}
  server {{
    listen 127.0.0.1:{port};
    root {root};
  }}
}}
"""


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def make_site(build, movies, size, folder):
    subprocess.run([os.path.join(build, "bench", "bench_make_site"), str(movies), folder],
                   check=True, stdout=subprocess.DEVNULL)
    if size:
        body = b"FWS" + b"x" * (size - 3)
        for name in os.listdir(os.path.join(folder, "movies")):
            with open(os.path.join(folder, "movies", name), "wb") as f:
                f.write(body)
    pages = sorted(p for p in os.listdir(folder) if p.endswith(".html"))
    movies = sorted("movies/" + m for m in os.listdir(os.path.join(folder, "movies")))
    return pages, movies


def serve(root, tmp):
    port = free_port()
    conf = os.path.join(tmp, "nginx.conf")
    with open(conf, "w") as f:
        f.write(NGINX_CONF.format(tmp=tmp, port=port, root=root))
    server = subprocess.Popen([shutil.which("nginx"), "-p", tmp, "-c", conf, "-e", os.path.join(tmp, "nginx-error.log")])
    for _ in range(100):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=0.1).close()
            return server, port
        except OSError:
            time.sleep(0.05)
    server.kill()
    sys.exit("nginx did not start: " + open(os.path.join(tmp, "nginx-error.log")).read()[-500:])


def in_empty(folder, command):
    """The command run in a fresh empty folder (the removal is timed too, for both sides)."""
    return ["sh", "-c", 'rm -rf "$0" && mkdir "$0" && exec "$@"', folder] + command


def compare(name, save, wget2, runs):
    timed(save), timed(wget2)  # warm-up
    a, b, ratios = [], [], []
    for i in range(runs):
        ta, _ = timed(save)
        tb, _ = timed(wget2)
        a.append(ta), b.append(tb), ratios.append(ta / tb)
        print(f"  run {i + 1}: trovex-save {ta:6.2f} s  wget2 {tb:6.2f} s  ratio {ta / tb:5.2f}")
    row = (name, statistics.median(a), statistics.median(b), statistics.median(ratios))
    print(f"  median: trovex-save {row[1]:.2f} s, wget2 {row[2]:.2f} s, ratio {row[3]:.2f}")
    return row


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(SOURCE, "build"))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--sites", choices=("small", "large", "both"), default="both",
                        help="the 10,000 small movies, the 1,000 movies of 100 KB, or both")
    args = parser.parse_args()
    save = os.path.join(args.build, "save_command", "trovex-save")
    wget2 = shutil.which("wget2")
    if not os.access(save, os.X_OK) or not wget2 or not shutil.which("nginx"):
        sys.exit(f"needs {save}, wget2 and nginx (scripts/setup.sh installs them)")

    rows = []
    with tempfile.TemporaryDirectory(prefix="trovex-bench-save-") as tmp:
        os.chmod(tmp, 0o755)  # nginx's workers may run as another user
        os.environ.update(XDG_CACHE_HOME=os.path.join(tmp, "cache"), XDG_CONFIG_HOME=os.path.join(tmp, "config"),
                          XDG_DATA_HOME=os.path.join(tmp, "data"))
        sites = (("small", "10,000 small movies in 101 pages", 10000, 0),
                 ("large", "1,000 movies of 100 KB in 101 pages", 1000, 100 * 1024))
        for key, name, movies, size in sites:
            if args.sites not in (key, "both"):
                continue
            site = os.path.join(tmp, f"site{movies}")
            pages, files = make_site(args.build, movies, size, site)
            server, port = serve(site, tmp)
            try:
                base = f"http://127.0.0.1:{port}/"
                listing = os.path.join(tmp, f"urls{movies}.txt")
                with open(listing, "w") as f:
                    f.writelines(base + p + "\n" for p in pages + files)
                print(f"load average {open('/proc/loadavg').read().split()[:3]}; {name}:")
                out = os.path.join(tmp, "out")
                rows.append(compare(
                    name,
                    in_empty(out, [save, "--dir", out, "--conflict", "overwrite", base + "index.html"]),
                    in_empty(out, [wget2, "-q", "--no-config", "-nd", "-P", out, "-i", listing]),
                    args.runs))
            finally:
                server.terminate()
                server.wait()
    print("\n| job | wget2 | trovex-save | trovex-save / wget2 |\n|---|---|---|---|")
    for name, a, b, ratio in rows:
        print(f"| {name} | {b:.2f} s | {a:.2f} s | {ratio:.2f} |")


if __name__ == "__main__":
    main()

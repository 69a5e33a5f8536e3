#!/usr/bin/env python3
"""Serves a folder (default: the demo site) on 127.0.0.1 at a free port. Prints the port on the
first line of its output, then serves until it is terminated."""
import functools
import http.server
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, format, *args):
        pass


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, 'site')
    handler = functools.partial(QuietHandler, directory=root)
    with http.server.ThreadingHTTPServer(('127.0.0.1', 0), handler) as server:
        print(server.server_address[1], flush=True)
        try:
            server.serve_forever()
        except KeyboardInterrupt:
            pass


if __name__ == '__main__':
    main()

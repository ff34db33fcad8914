#!/usr/bin/python3
"""A throw-away FTP server on 127.0.0.1 for the tests and the benchmark.

Picks a free port, prints it as the first line of its output, then serves until it is killed or its standard input closes.
--users is a JSON list of {"name", "password", "perm", "home"} (perm: pyftpdlib's letters).
--stall NAME leaves unanswered every command whose argument ends in NAME, so that a client's
stall time-out can be seen.
"""

import argparse
import json
import logging
import os
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def exit_with_parent():
    """Ends the server when the process that started it goes, however it goes: its end of
    our standard input closes then."""
    sys.stdin.read()
    os._exit(0)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--users", required=True)
    parser.add_argument("--stall", default="")
    args = parser.parse_args()

    authorizer = DummyAuthorizer()
    for user in json.loads(args.users):
        authorizer.add_user(user["name"], user["password"], user["home"], perm=user["perm"])

    stall = args.stall

    class Handler(FTPHandler):
        def pre_process_command(self, line, cmd, arg):
            if stall and arg and arg.endswith(stall):
                return
            super().pre_process_command(line, cmd, arg)

    Handler.authorizer = authorizer
    # A wide range: with few ports, sockets in TIME_WAIT stall new data connections.
    Handler.passive_ports = range(20000, 60000)
    Handler.encoding = "utf8"

    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)
    server = FTPServer(("127.0.0.1", 0), Handler)
    server.max_cons = 256
    print(server.address[1], flush=True)
    threading.Thread(target=exit_with_parent, daemon=True).start()
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()

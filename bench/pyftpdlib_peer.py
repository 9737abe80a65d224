#!/usr/bin/env python3
"""pyftpdlib as a bench peer: PORT ROOT; one user "user"/"pw" with every right, on 127.0.0.1,
without the library's default connection limits (the bench holds thousands of sessions)."""
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    port, root = int(sys.argv[1]), sys.argv[2]
    authorizer = DummyAuthorizer()
    authorizer.add_user('user', 'pw', root, perm='elradfmwMT')
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.timeout = 600
    server = FTPServer(('127.0.0.1', port), handler)
    server.max_cons = 0
    server.max_cons_per_ip = 0
    server.serve_forever()


if __name__ == '__main__':
    main()

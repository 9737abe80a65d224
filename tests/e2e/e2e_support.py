"""Helpers shared by the end-to-end test scripts."""

import random
import socket


def free_port():
    """A port nobody uses right now, below the ephemeral range: the system never hands it to
    another test's client connection while the server is starting."""
    for _ in range(100):
        port = random.randrange(20000, 32000)
        with socket.socket() as s:
            try:
                s.bind(('127.0.0.1', port))
            except OSError:
                continue
            return port
    raise RuntimeError('no free port found')

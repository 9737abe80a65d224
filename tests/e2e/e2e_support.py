"""Helpers shared by the end-to-end test scripts."""

import random
import socket
import time


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


def wait_until_listener_closed(port, timeout=5.0):
    """Waits until nothing listens on `port` any more.

    The server closes a passive listener as soon as it has accepted the client's data connection.
    A connection the client has opened may still be unknown to the server when the client's next
    command reaches it, because the kernel may handle the two on different CPUs; a test that needs
    the connection accepted before its next command waits for the listener to go."""
    deadline = time.monotonic() + timeout
    local = ':%04X' % port
    while time.monotonic() < deadline:
        with open('/proc/net/tcp') as table:
            listening = any(fields[1].endswith(local) and fields[3] == '0A'
                            for fields in (line.split() for line in table.readlines()[1:]))
        if not listening:
            return
        time.sleep(0.01)
    raise AssertionError('the server never accepted the connection on port %d' % port)

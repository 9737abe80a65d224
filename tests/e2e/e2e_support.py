"""Helpers shared by the end-to-end test scripts."""

import argparse
import ctypes
import os
import random
import signal
import socket
import subprocess
import sys
import tempfile
import threading
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


def password_hash(password):
    """A yescrypt hash of password made by the system's crypt library, as orvane keeps it."""
    lib = ctypes.CDLL('libcrypt.so.1')
    lib.crypt_gensalt.restype = ctypes.c_char_p
    lib.crypt_gensalt.argtypes = [ctypes.c_char_p, ctypes.c_ulong, ctypes.c_char_p, ctypes.c_int]
    lib.crypt.restype = ctypes.c_char_p
    lib.crypt.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
    setting = lib.crypt_gensalt(b'$y$', 0, None, 0)
    return lib.crypt(password.encode(), setting).decode()


def wait_until_listener_closed(port, timeout=5.0):
    """Waits until nothing listens on `port` any more.

    The server closes a passive listener as soon as it has accepted the client's data connection.
    A connection the client has opened may still be unknown to the server when the client's next
    command reaches it, because the kernel may handle the two on different CPUs; a test that needs
    the connection accepted before its next command waits for the listener to go."""
    deadline = time.monotonic() + timeout
    local = ':%04X' % port
    while time.monotonic() < deadline:
        listening = False
        for name in ('/proc/net/tcp', '/proc/net/tcp6'):  # IPv4 and IPv6 listeners
            if not os.path.exists(name):
                continue
            with open(name) as table:
                listening = listening or any(
                    fields[1].endswith(local) and fields[3] == '0A'
                    for fields in (line.split() for line in table.readlines()[1:]))
        if not listening:
            return
        time.sleep(0.01)
    raise AssertionError('the server never accepted the connection on port %d' % port)


def binary_option(option):
    """Takes `option` (e.g. '--ftpd-binary PATH') off the command line. Returns the absolute
    path and the arguments left for unittest.main."""
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument(option, required=True)
    args, rest = parser.parse_known_args()
    path = getattr(args, option.lstrip('-').replace('-', '_'))
    return os.path.abspath(path), [sys.argv[0]] + rest


class Ftpd:
    """orvane-ftpd running on one directory until stop(). A thread collects its standard output,
    so that the server never blocks on a full pipe."""

    TIMEOUT = 10  # seconds, for every wait

    def __init__(self, binary, directory, port, preexec_fn=None):
        self.port = port
        self.stderr = tempfile.TemporaryFile()
        self.errors = None  # standard error, once the process has ended
        self.process = subprocess.Popen([binary, str(port), '--dir', directory],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        stderr=self.stderr, preexec_fn=preexec_fn)
        self.output = b''
        self.changed = threading.Condition()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for chunk in iter(lambda: self.process.stdout.read1(4096), b''):
            with self.changed:
                self.output += chunk
                self.changed.notify_all()

    def wait_for_output(self, text, timeout=TIMEOUT):
        """True once standard output holds text; False at the deadline."""
        with self.changed:
            return self.changed.wait_for(lambda: text.encode() in self.output, timeout)

    def wait_for_no_clients(self, timeout=TIMEOUT):
        """True once every connection the server announced has been reported closed."""
        with self.changed:
            return self.changed.wait_for(
                lambda: self.output.count(b' try to connect\n') ==
                self.output.count(b' disconnected\n'), timeout)

    def text(self):
        with self.changed:
            return self.output.decode(errors='replace')

    def error_output(self):
        if self.errors is not None:
            return self.errors
        self.stderr.seek(0)
        return self.stderr.read().decode(errors='replace')

    def _ended(self):
        """Collects the rest of both outputs of the ended process; returns its exit status."""
        self.reader.join(self.TIMEOUT)
        if self.errors is None:
            self.errors = self.error_output()
            self.stderr.close()
        return self.process.returncode

    def wait(self, timeout=TIMEOUT):
        """The exit status once the process ends by itself; None if it still runs at the
        deadline."""
        try:
            self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None
        return self._ended()

    def stop(self):
        """SIGTERM, then the exit status; the process is killed, and the test fails, when it
        does not end in time."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(timeout=self.TIMEOUT)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            self._ended()
            raise AssertionError('orvane-ftpd did not end after SIGTERM')
        return self._ended()

    def stop_cleanly(self):
        """stop(), failing unless the exit status is 0 (a sanitizer report ends it otherwise)."""
        status = self.stop()
        if status != 0:
            raise AssertionError('orvane-ftpd ended with status %d: %s' %
                                 (status, self.error_output()))

#!/usr/bin/env python3
"""End-to-end tests of orvane-ftpd, the server without windows.

Each test starts orvane-ftpd as a process on its own temporary directory (--dir) and a free port
of 127.0.0.1, talks to it with ftplib and stops it with SIGTERM. Every wait is bounded.

    python3 test_ftpd.py --ftpd-binary PATH [unittest arguments]
"""
import argparse
import ftplib
import os
import select
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

from e2e_support import free_port

FTPD_BINARY = None  # set from --ftpd-binary
TIMEOUT = 10  # seconds, for start-up, every socket operation and the exit

STAMP = r'\d{4}-\d{2}-\d{2}( \d{2}:\d{2}:\d{2})?'


class Ftpd:
    """orvane-ftpd running on one directory until stop()."""

    def __init__(self, directory, port):
        self.stderr = tempfile.TemporaryFile()
        self.process = subprocess.Popen([FTPD_BINARY, str(port), '--dir', directory],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        stderr=self.stderr)
        self.output = b''

    def wait_for_output(self, text):
        """Reads standard output until text appears, the process ends or the deadline passes."""
        deadline = time.monotonic() + TIMEOUT
        fd = self.process.stdout.fileno()
        while text.encode() not in self.output:
            left = deadline - time.monotonic()
            if left <= 0:
                return False
            ready, _, _ = select.select([fd], [], [], left)
            if ready:
                chunk = os.read(fd, 4096)
                if not chunk:
                    return False
                self.output += chunk
        return True

    def stop(self):
        """SIGTERM, then the exit status (the process is killed when it does not end in time)."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            rest, _ = self.process.communicate(timeout=TIMEOUT)
            self.output += rest or b''
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.communicate()
            raise AssertionError('orvane-ftpd did not end after SIGTERM')
        return self.process.returncode

    def error_output(self):
        self.stderr.seek(0)
        return self.stderr.read().decode(errors='replace')


class FtpdTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name
        self.addCleanup(self.tmp.cleanup)

    def start(self, port):
        ftpd = Ftpd(self.dir, port)
        self.addCleanup(ftpd.stderr.close)
        self.addCleanup(lambda: ftpd.process.poll() is None and ftpd.stop())
        return ftpd

    def test_greets_refuses_login_and_stops_cleanly_on_sigterm(self):
        port = free_port()
        ftpd = self.start(port)
        self.assertTrue(ftpd.wait_for_output('FTP Server On-line on port %d ...' % port),
                        ftpd.output.decode(errors='replace') + ftpd.error_output())

        ftp = ftplib.FTP()
        greeting = ftp.connect('127.0.0.1', port, timeout=TIMEOUT)
        self.assertEqual(greeting, '220 Orvane FTP Server v1.3')
        with self.assertRaises(ftplib.error_perm) as refused:
            ftp.login('bob', 'secret')
        self.assertEqual(str(refused.exception), '530 Login or Password incorrect.')
        ftp.close()
        self.assertTrue(ftpd.wait_for_output('127.0.0.1 disconnected'))

        self.assertEqual(ftpd.stop(), 0, ftpd.error_output())
        self.assertIn(b'FTP Server Off-line ...', ftpd.output)
        with open(os.path.join(self.dir, 'FTP.log'), 'rb') as f:
            log = f.read().decode()
        self.assertRegex(log, r'\A\r\n\r\n---------- Session created on ' + STAMP +
                         r' on port \d+ ----------\r\n\r\n')
        self.assertIn(' 127.0.0.1 try to connect\r\n', log)
        self.assertIn(' bob (127.0.0.1) connection refused', log)
        self.assertIn(' FTP Server Off-line ...\r\n', log)
        self.assertRegex(log, r'\r\n\r\n---------- Session closed  on ' + STAMP +
                         r' ----------\r\n\Z')

    def test_port_in_use_is_reported_and_ends_the_program(self):
        with socket.socket() as blocker:
            blocker.bind(('127.0.0.1', 0))
            blocker.listen(1)
            port = blocker.getsockname()[1]
            ftpd = self.start(port)
            try:
                ftpd.process.communicate(timeout=TIMEOUT)
            except subprocess.TimeoutExpired:
                ftpd.stop()
                self.fail('orvane-ftpd kept running on a port in use')
        self.assertNotEqual(ftpd.process.returncode, 0)
        self.assertIn('Port number %d is already in use !' % port, ftpd.error_output())
        with open(os.path.join(self.dir, 'FTP.log'), 'rb') as f:
            log = f.read().decode()
        self.assertIn(' FTP Server Off-line ...\r\n', log)
        self.assertTrue(log.endswith(' ----------\r\n') and 'Session closed  on ' in log, log)


def main():
    global FTPD_BINARY
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument('--ftpd-binary', required=True)
    args, rest = parser.parse_known_args()
    FTPD_BINARY = os.path.abspath(args.ftpd_binary)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == '__main__':
    main()

#!/usr/bin/env python3
"""End-to-end tests of orvane-ftpd, the server without windows.

Each test starts orvane-ftpd as a process on its own temporary directory (--dir) and a free port
of 127.0.0.1, talks to it with ftplib and stops it with SIGTERM. Every wait is bounded.

    python3 test_ftpd.py --ftpd-binary PATH [unittest arguments]
"""
import ftplib
import os
import socket
import tempfile
import unittest

from e2e_support import Ftpd, binary_option, free_port

FTPD_BINARY = None  # set from --ftpd-binary
TIMEOUT = 10  # seconds, for every socket operation

STAMP = r'\d{4}-\d{2}-\d{2}( \d{2}:\d{2}:\d{2})?'


class FtpdTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name
        self.addCleanup(self.tmp.cleanup)

    def start(self, port):
        ftpd = Ftpd(FTPD_BINARY, self.dir, port)
        self.addCleanup(ftpd.stop)
        return ftpd

    def test_greets_refuses_login_and_stops_cleanly_on_sigterm(self):
        port = free_port()
        ftpd = self.start(port)
        self.assertTrue(ftpd.wait_for_output('FTP Server On-line on port %d ...' % port),
                        ftpd.text() + ftpd.error_output())

        ftp = ftplib.FTP()
        greeting = ftp.connect('127.0.0.1', port, timeout=TIMEOUT)
        self.assertEqual(greeting, '220 Orvane FTP Server v1.3')
        with self.assertRaises(ftplib.error_perm) as refused:
            ftp.login('bob', 'secret')
        self.assertEqual(str(refused.exception), '530 Login or Password incorrect.')
        ftp.close()
        self.assertTrue(ftpd.wait_for_output('127.0.0.1 disconnected'))

        self.assertEqual(ftpd.stop(), 0, ftpd.error_output())
        self.assertIn('FTP Server Off-line ...', ftpd.text())
        with open(os.path.join(self.dir, 'FTP.log'), 'rb') as f:
            log = f.read().decode()
        self.assertRegex(log, r'\A\r\n\r\n---------- Session created on ' + STAMP +
                         r' on port \d+ ----------\r\n\r\n')
        self.assertIn(' 127.0.0.1 try to connect\r\n', log)
        self.assertIn(' bob (127.0.0.1) connection refused', log)
        self.assertIn(' FTP Server Off-line ...\r\n', log)
        self.assertRegex(log, r'\r\n\r\n---------- Session closed  on ' + STAMP +
                         r' ----------\r\n\Z')

    def test_statistics_survive_sigterm(self):
        port = free_port()
        ftpd = self.start(port)
        self.assertTrue(ftpd.wait_for_output('FTP Server On-line on port %d ...' % port),
                        ftpd.text() + ftpd.error_output())
        for _ in range(3):
            ftp = ftplib.FTP()
            ftp.connect('127.0.0.1', port, timeout=TIMEOUT)
            with self.assertRaises(ftplib.error_perm):
                ftp.login('bob', 'secret')
            ftp.close()
            # One after the other: only the first raises the saved peak.
            self.assertTrue(ftpd.wait_for_no_clients())
        self.assertEqual(ftpd.stop(), 0, ftpd.error_output())
        with open(os.path.join(self.dir, 'FTPsrv.ini'), 'rb') as f:
            ini = f.read().decode()
        self.assertIn('connections=3\r\n', ini)
        self.assertIn('connectionsRF=3\r\n', ini)

    def test_port_in_use_is_reported_and_ends_the_program(self):
        with socket.socket() as blocker:
            blocker.bind(('127.0.0.1', 0))
            blocker.listen(1)
            port = blocker.getsockname()[1]
            ftpd = self.start(port)
            status = ftpd.wait()
            if status is None:
                self.fail('orvane-ftpd kept running on a port in use')
        self.assertNotEqual(status, 0)
        self.assertIn('Port number %d is already in use !' % port, ftpd.error_output())
        with open(os.path.join(self.dir, 'FTP.log'), 'rb') as f:
            log = f.read().decode()
        self.assertIn(' FTP Server Off-line ...\r\n', log)
        self.assertTrue(log.endswith(' ----------\r\n') and 'Session closed  on ' in log, log)


def main():
    global FTPD_BINARY
    FTPD_BINARY, argv = binary_option('--ftpd-binary')
    unittest.main(argv=argv, verbosity=2)


if __name__ == '__main__':
    main()

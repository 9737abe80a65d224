#!/usr/bin/env python3
"""The log files of orvane-ftpd under a real client: rotation of FTP.log by rename and SIGHUP
without a lost line, and the xferlog transfer log field by field.

    python3 test_logs.py --ftpd-binary PATH [unittest arguments]
"""
import ftplib
import os
import signal
import tempfile
import threading
import time
import unittest

from e2e_support import Ftpd, binary_option, free_port

FTPD_BINARY = None  # set from --ftpd-binary
TIMEOUT = 10  # seconds, for every socket operation and wait

ACCOUNTS = ('[user]\r\nLogin=user\r\nPass=secret\r\nEnableLogin=1\r\nEnablePass=1\r\n'
            'Enabled=1\r\nDir0=C:\\home\r\nAttr0=RWDMLS\r\n'
            '[anonymous]\r\nLogin=anonymous\r\nEnableLogin=0\r\nEnablePass=0\r\nEnabled=1\r\n'
            'Dir0=C:\\pub\r\nAttr0=R---LS\r\n')


def wait_until(condition, timeout=TIMEOUT):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.01)
    return condition()


class LogTest(unittest.TestCase):
    def setUp(self):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        self.dir = tmp.name
        self.root = os.path.join(self.dir, 'root')
        os.makedirs(os.path.join(self.root, 'home'))
        os.makedirs(os.path.join(self.root, 'pub'))
        with open(os.path.join(self.dir, 'FTPsrv.ini'), 'w') as f:
            f.write('[Drives]\r\nC=%s\r\n[Xferlog]\r\nEnabled=1\r\n' % self.root)
        with open(os.path.join(self.dir, 'Accounts.ini'), 'w') as f:
            f.write(ACCOUNTS)
        self.port = free_port()
        self.ftpd = Ftpd(FTPD_BINARY, self.dir, self.port)
        self.addCleanup(self.ftpd.stop)
        self.assertTrue(self.ftpd.wait_for_output('FTP Server On-line on port %d' % self.port),
                        self.ftpd.text() + self.ftpd.error_output())

    def login(self, user='user', password='secret'):
        ftp = ftplib.FTP()
        ftp.connect('127.0.0.1', self.port, timeout=TIMEOUT)
        ftp.login(user, password)
        return ftp

    def read(self, name):
        with open(os.path.join(self.dir, name), 'rb') as f:
            return f.read()

    def test_rotation_by_rename_and_sighup_loses_no_line(self):
        done = []
        stop = threading.Event()
        failures = []

        def clients():
            # Every session leaves lines that carry its own name.
            for i in range(2000):
                if stop.is_set():
                    return
                try:
                    ftp = self.login('rot%d' % i, 'any')
                    ftp.quit()
                except Exception as e:  # noqa: BLE001 - reported by the test below
                    failures.append(e)
                    return
                done.append(i)

        worker = threading.Thread(target=clients)
        worker.start()
        try:
            self.assertTrue(wait_until(lambda: len(done) >= 30 or failures))
            os.rename(os.path.join(self.dir, 'FTP.log'), os.path.join(self.dir, 'FTP.log.1'))
            self.ftpd.process.send_signal(signal.SIGHUP)
            self.assertTrue(wait_until(
                lambda: os.path.exists(os.path.join(self.dir, 'FTP.log'))))
            rotated_at = len(done)
            self.assertTrue(wait_until(lambda: len(done) >= rotated_at + 30 or failures))
        finally:
            stop.set()
            worker.join(TIMEOUT * 3)
        self.assertEqual(failures, [])
        self.assertTrue(self.ftpd.wait_for_no_clients())
        self.assertEqual(self.ftpd.stop(), 0, self.ftpd.error_output())

        old, new = self.read('FTP.log.1'), self.read('FTP.log')
        missing = [i for i in done
                   if b' rot%d (127.0.0.1) ' % i not in old and
                   b' rot%d (127.0.0.1) ' % i not in new]
        self.assertEqual(missing, [])
        self.assertIn(b' rot0 (127.0.0.1) ', old)
        self.assertIn(b' rot%d (127.0.0.1) ' % done[-1], new)
        self.assertIn(b'Session closed', new)
        self.assertNotIn(b'Session closed', old)

    def check_xferlog_line(self, line, direction, size, path, complete=True):
        fields = line.split()
        self.assertEqual(len(fields), 18, line)
        stamp = time.mktime(time.strptime(' '.join(fields[:5]), '%a %b %d %H:%M:%S %Y'))
        self.assertLess(abs(stamp - time.time()), 120, line)
        self.assertGreaterEqual(int(fields[5]), 1)          # transfer-time, whole seconds
        self.assertEqual(fields[6], '127.0.0.1')            # remote-host
        if complete:
            self.assertEqual(int(fields[7]), size)          # file-size
        else:
            self.assertLess(int(fields[7]), size)
        self.assertEqual(fields[8], path)                   # filename
        self.assertEqual(fields[9], 'b')                    # transfer-type
        self.assertEqual(fields[10], '_')                   # special-action-flag
        self.assertEqual(fields[11], direction)             # direction
        self.assertEqual(fields[12], 'r')                   # access-mode: a named account
        self.assertEqual(fields[13], 'user')                # username
        self.assertEqual(fields[14], 'ftp')                 # service-name
        self.assertEqual(fields[15], '0')                   # authentication-method
        self.assertEqual(fields[16], '*')                   # authenticated-user-id
        self.assertEqual(fields[17], 'c' if complete else 'i')  # completion-status

    def test_xferlog_has_one_line_per_finished_or_aborted_transfer(self):
        home = os.path.join(self.root, 'home')
        with open(os.path.join(home, 'down.bin'), 'wb') as f:
            f.write(os.urandom(5000))
        with open(os.path.join(home, 'big.bin'), 'wb') as f:
            f.write(b'\0' * (32 * 1024 * 1024))
        ftp = self.login()
        got = []
        ftp.retrbinary('RETR down.bin', got.append)
        self.assertEqual(len(b''.join(got)), 5000)
        ftp.storbinary('STOR up.bin', _Source(b'u' * 3000))
        ftp.retrlines('LIST', lambda line: None)  # a listing is no transfer
        data = ftp.transfercmd('RETR big.bin')
        data.recv(4096)
        data.close()
        with self.assertRaises(ftplib.Error):
            ftp.voidresp()
        ftp.quit()
        self.assertTrue(self.ftpd.wait_for_no_clients())
        self.assertEqual(self.ftpd.stop(), 0, self.ftpd.error_output())

        lines = self.read('xferlog').decode().splitlines()
        self.assertEqual(len(lines), 3, lines)
        self.check_xferlog_line(lines[0], 'o', 5000, os.path.join(home, 'down.bin'))
        self.check_xferlog_line(lines[1], 'i', 3000, os.path.join(home, 'up.bin'))
        self.check_xferlog_line(lines[2], 'o', 32 * 1024 * 1024, os.path.join(home, 'big.bin'),
                                complete=False)


class _Source:
    """A file-like source of bytes for storbinary."""

    def __init__(self, data):
        self.data = data

    def read(self, n):
        chunk, self.data = self.data[:n], self.data[n:]
        return chunk


if __name__ == '__main__':
    FTPD_BINARY, argv = binary_option('--ftpd-binary')
    unittest.main(argv=argv, verbosity=2)

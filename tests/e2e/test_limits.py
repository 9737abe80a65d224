#!/usr/bin/env python3
"""End-to-end tests of the per-account limits of orvane-ftpd with ftplib: transfer rates
(DownloadRate, UploadRate), concurrent sessions (MaxSessions) and the disk quota (QuotaBytes).

The rate check is a bounded window around the configured rate (4 MiB at 1 MiB/s in 3.6 to
4.4 s), not a speed figure: bench/rate_limits.py measures the accuracy.

    python3 test_limits.py --ftpd-binary PATH [unittest arguments]
"""
import ftplib
import io
import os
import socket
import struct
import time
import unittest

import test_access
from e2e_support import binary_option
from test_access import ServerTestCase, account

MIB = 1024 * 1024


class RateLimitTest(ServerTestCase):
    ACCOUNTS = [account('slow', [(r'C:\slow', 'RWDMLS')], DownloadRate=1024, UploadRate=1024),
                account('fast', [(r'C:\slow', 'RWDMLS')])]
    TREE = {'slow/four.bin': os.urandom(4 * MIB)}
    SETTINGS = ['maxperip=0']

    def test_a_1_mib_s_account_downloads_and_uploads_4_mib_in_about_4_s(self):
        ftp = self.login('slow')
        start = time.monotonic()
        data = self.retr(ftp, 'four.bin')
        took = time.monotonic() - start
        self.assertEqual(data, self.read('slow/four.bin'))
        self.assertTrue(3.6 <= took <= 4.4, 'download took %.2f s' % took)

        start = time.monotonic()
        ftp.storbinary('STOR up.bin', io.BytesIO(data))
        took = time.monotonic() - start
        self.assertEqual(self.read('slow/up.bin'), data)
        self.assertTrue(3.6 <= took <= 4.4, 'upload took %.2f s' % took)
        self.assertIn('Rate limits: download 1024 KiB/s, upload 1024 KiB/s', ftp.sendcmd('STAT'))

    def test_an_account_without_rates_is_not_held_back(self):
        ftp = self.login('fast')
        start = time.monotonic()
        self.assertEqual(len(self.retr(ftp, 'four.bin')), 4 * MIB)
        self.assertLess(time.monotonic() - start, 3.0)
        self.assertNotIn('Rate limits', ftp.sendcmd('STAT'))


class SessionLimitTest(ServerTestCase):
    ACCOUNTS = [account('two', [(r'C:\home', 'RL')], MaxSessions=2)]
    TREE = {'home': None}
    SETTINGS = ['maxperip=0']

    def test_the_third_session_of_a_two_session_account_is_refused(self):
        first = self.login('two')
        self.login('two')
        ftp = self.connect()
        self.assertRefused('530 Too many sessions for this account (limit 2).', ftp.login, 'two',
                           test_access.PASSWORD)
        self.assertTrue(self.ftpd.wait_for_output(
            'two (127.0.0.1) connection refused : Too many sessions (account two: limit 2 '
            'sessions)'))
        # A wrong password is refused as ever, without naming the limit.
        self.assertRefused('530 Login or Password incorrect.', ftp.login, 'two', 'guess')
        # Once a session has gone there is a place again.
        first.quit()
        deadline = time.monotonic() + 10
        while True:
            try:
                self.login('two')
                break
            except ftplib.error_perm:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.1)


class QuotaTest(ServerTestCase):
    ACCOUNTS = [account('q', [(r'C:\q', 'RWDMLS')], QuotaBytes=MIB),
                account('v', [(r'C:\v', 'RWDMLS')], QuotaBytes=MIB)]
    TREE = {'q/old.bin': b'x' * 100000, 'v/keep.txt': b'k'}
    SETTINGS = ['maxperip=0']

    @staticmethod
    def refused_upload(ftp, name, data, command='STOR'):
        """The reply that ends an upload the server cuts off. The client may still be sending
        when the data connection goes: the reply then waits on the control connection."""
        try:
            ftp.storbinary(command + ' ' + name, io.BytesIO(data))
        except ftplib.Error as error:
            return str(error)
        except OSError:
            try:
                return ftp.getresp()
            except ftplib.Error as error:
                return str(error)
        return 'accepted'

    def test_an_upload_past_the_quota_is_refused_and_one_fits_after_a_delete(self):
        ftp = self.login('q')
        block = os.urandom(600 * 1024)
        ftp.storbinary('STOR a.bin', io.BytesIO(block))
        self.assertIn('Quota: %d of %d bytes, 2 files' % (100000 + len(block), MIB),
                      ftp.sendcmd('STAT'))
        # Announced with ALLO: refused before any byte.
        ftp.sendcmd('ALLO %d' % len(block))
        self.assertRefused('552 Quota exceeded', ftp.storbinary, 'STOR b.bin', io.BytesIO(block))
        self.assertFalse(os.path.exists(self.path('q/b.bin')))
        # Not announced: ended when it passes the quota, and the partial file removed.
        self.assertEqual(self.refused_upload(ftp, 'b.bin', block), '552 Quota exceeded')
        self.assertFalse(os.path.exists(self.path('q/b.bin')))
        self.assertIn('Quota: %d of %d bytes, 2 files' % (100000 + len(block), MIB),
                      ftp.sendcmd('STAT'))
        # A second session of the account sees the same usage; its delete makes room.
        other = self.login('q')
        other.delete('a.bin')
        ftp.storbinary('STOR b.bin', io.BytesIO(block))
        self.assertEqual(self.read('q/b.bin'), block)
        self.assertIn('Quota: %d of %d bytes' % (100000 + len(block), MIB), other.sendcmd('STAT'))

    def test_a_vanished_upload_and_an_append_past_the_quota_leave_the_use_equal_to_the_disk(self):
        ftp = self.login('v')
        ftp.voidcmd('TYPE I')
        data = ftp.transfercmd('STOR gone.bin')
        data.sendall(b'g' * 300000)
        # The client vanishes mid-upload: a reset on both connections.
        linger = struct.pack('ii', 1, 0)
        for sock in (data, ftp.sock):
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, linger)
            sock.close()
        ftp = self.login('v')
        kept = os.path.getsize(self.path('v/gone.bin'))
        self.assertIn('Quota: %d of %d bytes, 2 files' % (1 + kept, MIB), ftp.sendcmd('STAT'))
        # An append that passes the quota keeps what fitted, and the use is the file's size.
        self.assertEqual(self.refused_upload(ftp, 'gone.bin', os.urandom(MIB), 'APPE'),
                         '552 Quota exceeded')
        kept = os.path.getsize(self.path('v/gone.bin'))
        self.assertLessEqual(1 + kept, MIB)
        self.assertIn('Quota: %d of %d bytes, 2 files' % (1 + kept, MIB), ftp.sendcmd('STAT'))


def main():
    test_access.FTPD_BINARY, argv = binary_option('--ftpd-binary')
    unittest.main(argv=argv, verbosity=2)


if __name__ == '__main__':
    main()

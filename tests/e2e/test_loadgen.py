#!/usr/bin/env python3
"""A short run of the bench's load generator (bench/loadgen.cpp) against orvane-ftpd on
127.0.0.1: each of its modes for a second or two with a few clients, so that the generator keeps
working with the server as both change. The figures themselves are the bench's business."""
import os
import sys
import subprocess
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import Ftpd, binary_option, free_port  # noqa: E402

LOADGEN = None
FTPD_BINARY = None


def parse(output):
    return dict(line.split('=', 1) for line in output.split('\n') if '=' in line)


class LoadGeneratorTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.dir = cls.tmp.name
        root = os.path.join(cls.dir, 'root')
        os.makedirs(os.path.join(root, 'files'))
        with open(os.path.join(root, 'files', 'small.bin'), 'wb') as f:
            f.write(os.urandom(4096))
        with open(os.path.join(root, 'files', 'big.bin'), 'wb') as f:
            f.write(os.urandom(1 << 20))
        # Many connections from 127.0.0.1: no cap per address.
        with open(os.path.join(cls.dir, 'FTPsrv.ini'), 'w') as f:
            f.write('[Drives]\r\nC=%s\r\n[ServerFTP]\r\nmaxusr=0\r\nmaxperip=0\r\nmaxprelogin=0\r\n' % root)
        with open(os.path.join(cls.dir, 'Accounts.ini'), 'w') as f:
            f.write('[user]\r\nLogin=user\r\nPass=pw\r\nEnableLogin=1\r\nEnablePass=1\r\n'
                    'Enabled=1\r\nTO=0\r\nDir0=C:\\files\r\nAttr0=R---LS\r\n')
        cls.port = free_port()
        cls.ftpd = Ftpd(FTPD_BINARY, cls.dir, cls.port)
        if not cls.ftpd.wait_for_output('FTP Server On-line on port %d' % cls.port):
            raise AssertionError(cls.ftpd.text() + cls.ftpd.error_output())

    @classmethod
    def tearDownClass(cls):
        cls.ftpd.stop_cleanly()
        cls.tmp.cleanup()

    def run_mode(self, mode, clients, *extra):
        out = subprocess.run([LOADGEN, '--port', str(self.port), '--user', 'user', '--pass', 'pw',
                              '--mode', mode, '--clients', str(clients),
                              '--server-pid', str(self.ftpd.process.pid)] + list(extra),
                             capture_output=True, text=True, timeout=120)
        figures = parse(out.stdout)
        self.assertEqual(out.returncode, 0, out.stdout + out.stderr)
        self.assertEqual(figures.get('errors'), '0', out.stdout)
        self.assertGreater(int(figures['probe_count']), 0, out.stdout)
        self.assertNotIn('probe_failed', figures, out.stdout)
        return figures

    def test_each_mode_runs_against_the_server(self):
        files = self.run_mode('files', 4, '--seconds', '1.5', '--file', 'small.bin')
        self.assertGreater(int(files['ops']), 0, files)
        self.assertIn('server_cpu_us_per_op', files)
        download = self.run_mode('download', 3, '--file', 'big.bin', '--per-client', '2')
        self.assertEqual(int(download['ops']), 6, download)
        self.assertEqual(int(download['bytes']), 6 << 20, download)
        self.assertGreater(float(download['slowest_mib_per_s']), 0, download)
        sessions = self.run_mode('sessions', 4, '--seconds', '1')
        self.assertGreater(int(sessions['ops']), 0, sessions)
        storm = self.run_mode('storm', 40)
        self.assertEqual(int(storm['logged_in']), 40, storm)
        self.assertTrue(self.ftpd.wait_for_no_clients(), self.ftpd.text()[-2000:])


if __name__ == '__main__':
    LOADGEN, sys.argv = binary_option('--loadgen')
    FTPD_BINARY, rest = binary_option('--ftpd-binary')
    unittest.main(argv=rest)

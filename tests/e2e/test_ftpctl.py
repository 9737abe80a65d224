#!/usr/bin/env python3
"""End-to-end tests of orvane-ftpctl against a running orvane-ftpd: the client list, kick, ban and
unban, the spy stream, the socket's peer check, and accounts added with the tool.

    python3 test_ftpctl.py --ftpd-binary PATH --ftpctl-binary PATH [unittest arguments]
"""
import ftplib
import json
import os
import subprocess
import sys
import tempfile
import time
import unittest

from e2e_support import Ftpd, binary_option, free_port

FTPD_BINARY = None
FTPCTL_BINARY = None
TIMEOUT = 10


def write_crlf(path, lines):
    with open(path, 'wb') as f:
        f.write(''.join(line + '\r\n' for line in lines).encode())


class FtpctlTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.addClassCleanup(cls.tmp.cleanup)
        cls.dir = cls.tmp.name
        cls.root = os.path.join(cls.dir, 'root')
        os.makedirs(os.path.join(cls.root, 'pub'))
        with open(os.path.join(cls.root, 'pub', 'big.bin'), 'wb') as f:
            f.write(b'x' * (8 << 20))
        write_crlf(os.path.join(cls.dir, 'FTPsrv.ini'),
                   ['[Drives]', 'C=' + cls.root, '[ServerFTP]', 'maxusr=50'])
        write_crlf(os.path.join(cls.dir, 'Accounts.ini'),
                   ['[anonymous]', 'Login=anonymous', 'EnableLogin=1', 'EnablePass=0',
                    'Enabled=1', 'TO=0', 'Dir0=C:\\pub\\', 'Attr0=R----L--'])
        cls.port = free_port()
        cls.ftpd = Ftpd(FTPD_BINARY, cls.dir, cls.port)
        cls.addClassCleanup(cls.ftpd.stop)
        if not cls.ftpd.wait_for_output('FTP Server On-line on port %d ...' % cls.port):
            raise AssertionError(cls.ftpd.text() + cls.ftpd.error_output())

    def ctl(self, *args, stdin=None, preexec_fn=None):
        return subprocess.run([FTPCTL_BINARY, '--dir', self.dir] + list(args), input=stdin,
                              capture_output=True, text=True, timeout=TIMEOUT,
                              preexec_fn=preexec_fn)

    def who(self):
        result = self.ctl('--json', 'who')
        self.assertEqual(result.returncode, 0, result.stderr)
        return json.loads(result.stdout)

    def session(self, user='anonymous'):
        ftp = ftplib.FTP()
        ftp.connect('127.0.0.1', self.port, timeout=TIMEOUT)
        self.addCleanup(ftp.close)
        ftp.login(user, 'guest@example.org')
        return ftp

    def id_of(self, ftp):
        """The id of the session whose client port is ftp's."""
        ftp.sendcmd('NOOP')  # the record is filled once the login is through
        rows = [row for row in self.who() if row['logged_in']]
        self.assertTrue(rows)
        return rows[-1]['id']

    def test_who_lists_sessions_and_kick_closes_one(self):
        ftp = self.session()
        curl = subprocess.Popen(['curl', '-sS', '--limit-rate', '200k', '-o', os.devnull,
                                 'ftp://127.0.0.1:%d/big.bin' % self.port],
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        self.addCleanup(curl.wait)
        self.addCleanup(curl.kill)
        deadline = time.monotonic() + TIMEOUT
        while time.monotonic() < deadline:
            rows = self.who()
            if len([r for r in rows if r['logged_in']]) >= 2:
                break
            time.sleep(0.1)
        # A curl that never shows up says why, and so does the server.
        ended = curl.poll() is not None
        self.assertGreaterEqual(len(rows), 2, (rows, 'curl exit %s: %s' % (
            curl.returncode, curl.stderr.read() if ended else 'still running'),
            self.ftpd.text()[-2000:]))
        for row in rows:
            self.assertEqual(row['address'], '127.0.0.1')
            self.assertEqual(row['user'], 'anonymous')
        text = self.ctl('who')
        self.assertIn('127.0.0.1', text.stdout)

        target = rows[0]['id']
        result = self.ctl('kick', str(target))
        self.assertEqual(result.returncode, 0, result.stderr)
        deadline = time.monotonic() + TIMEOUT
        while time.monotonic() < deadline and target in [r['id'] for r in self.who()]:
            time.sleep(0.05)
        self.assertNotIn(target, [r['id'] for r in self.who()])
        with self.assertRaises((EOFError, OSError, ftplib.Error)):
            ftp.sendcmd('NOOP')
            ftp.sendcmd('NOOP')

        left = self.ctl('kick', str(target))
        self.assertEqual(left.returncode, 1)
        self.assertIn('no client %d' % target, left.stderr)

    def test_ban_refuses_and_unban_admits(self):
        bad = self.ctl('ban', '127.0.0.300')
        self.assertEqual(bad.returncode, 1)
        self.assertIn('not an IP address', bad.stderr)
        self.assertEqual(self.ctl('ban', '127.0.0.1').returncode, 0)
        self.addCleanup(self.ctl, 'unban', '127.0.0.1')
        self.assertIn('127.0.0.1  operator', self.ctl('bans').stdout)
        ftp = ftplib.FTP()
        with self.assertRaises(ftplib.error_temp) as refused:
            ftp.connect('127.0.0.1', self.port, timeout=TIMEOUT)
            ftp.login('anonymous', 'guest@example.org')
        self.assertEqual(str(refused.exception), '421 Sorry, you are banned !')
        ftp.close()
        self.assertEqual(self.ctl('unban', '127.0.0.1').returncode, 0)
        self.session().quit()

    def test_spy_shows_that_session_only(self):
        spied = self.session()
        spied_id = self.id_of(spied)
        other = self.session()
        spy = subprocess.Popen([FTPCTL_BINARY, '--dir', self.dir, 'spy', str(spied_id)],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.addCleanup(spy.wait, TIMEOUT)
        self.addCleanup(spy.kill)
        time.sleep(0.3)  # the spy is registered before the commands come
        other.sendcmd('SYST')
        spied.sendcmd('NOOP')
        with self.assertRaises(ftplib.error_perm):  # "503"; the password is never shown
            spied.sendcmd('PASS hidden')
        spied.quit()  # the spied client leaves: the stream ends
        out, err = spy.communicate(timeout=TIMEOUT)
        self.assertIn('Command> NOOP', out)
        self.assertIn('Answer> 200', out)
        self.assertNotIn('SYST', out)
        self.assertNotIn('hidden', out)
        for line in out.splitlines():
            self.assertRegex(line, r'^(Command|Answer)> ')
        self.assertIn('the client left', err)

    def test_account_added_with_the_tool_logs_in_at_once(self):
        outside = self.ctl('account', 'add', 'eve', '--home', '/nowhere/else', '--rights', 'RL',
                           stdin='pw\n')
        self.assertEqual(outside.returncode, 1)
        self.assertIn('[Drives]', outside.stderr)
        self.assertEqual(self.ctl('account', 'add', 'eve', '--home', self.root, '--rights', 'RL',
                                  stdin='\n').returncode, 1)  # no account without a password
        home = os.path.join(self.root, 'pub')
        added = self.ctl('account', 'add', 'carol', '--home', home + '/', '--rights', 'rlw',
                         '--login', 'carol', stdin='s3cret\n')
        self.assertEqual(added.returncode, 0, added.stderr)
        self.assertIn('reloaded', added.stdout)
        with open(os.path.join(self.dir, 'Accounts.ini'), 'rb') as f:
            accounts = f.read().decode()
        self.assertIn('Dir0=C:\\pub\\\r\n', accounts)
        self.assertIn('PassHash=$y$', accounts)
        self.assertNotIn('s3cret', accounts)
        self.assertIn('Home: C:\\pub\\ RW--L-', self.ctl('account', 'show', 'carol').stdout)
        curl = subprocess.run(['curl', '-s', '-S', '--user', 'carol:s3cret',
                               'ftp://127.0.0.1:%d/' % self.port, '-l'],
                              capture_output=True, text=True, timeout=TIMEOUT)
        self.assertEqual(curl.returncode, 0, curl.stderr)
        self.assertIn('big.bin', curl.stdout)

        self.assertEqual(self.ctl('account', 'remove', 'carol').returncode, 0)
        refused = subprocess.run(['curl', '-s', '--user', 'carol:s3cret',
                                  'ftp://127.0.0.1:%d/' % self.port, '-l'],
                                 capture_output=True, text=True, timeout=TIMEOUT)
        self.assertNotEqual(refused.returncode, 0)

    @unittest.skipUnless(os.geteuid() == 0, 'needs root to run the tool as another user')
    def test_other_user_is_refused_by_the_socket(self):
        def nobody():
            os.setgid(65534)
            os.setgroups([])
            os.setuid(65534)
        os.chmod(self.dir, 0o711)
        self.addCleanup(os.chmod, self.dir, 0o700)
        socket_path = os.path.join(self.dir, 'orvane-ftpctl.sock')
        self.assertEqual(os.stat(socket_path).st_mode & 0o777, 0o660)
        result = self.ctl('who', preexec_fn=nobody)  # the socket's mode refuses
        self.assertEqual(result.returncode, 3)
        self.assertIn('permission denied', result.stderr)
        self.assertIn('join the group root', result.stderr)
        # Opened to everyone, the socket still refuses the peer by its credentials.
        os.chmod(socket_path, 0o666)
        self.addCleanup(os.chmod, socket_path, 0o660)
        result = self.ctl('who', preexec_fn=nobody)
        self.assertEqual(result.returncode, 3)
        self.assertIn('the server refused this user', result.stderr)
        self.assertTrue(self.ftpd.wait_for_output('Control socket: user 65534 refused'))

    def test_no_server_on_another_directory(self):
        with tempfile.TemporaryDirectory() as empty:
            result = subprocess.run([FTPCTL_BINARY, '--dir', empty, 'who'], capture_output=True,
                                    text=True, timeout=TIMEOUT)
        self.assertEqual(result.returncode, 3)
        self.assertIn('no server running on ' + empty, result.stderr)


if __name__ == '__main__':
    FTPD_BINARY, rest = binary_option('--ftpd-binary')
    sys.argv = rest
    FTPCTL_BINARY, rest = binary_option('--ftpctl-binary')
    unittest.main(argv=rest)

#!/usr/bin/env python3
"""End-to-end tests of orvane-ftpd, the server without windows.

Each test starts orvane-ftpd as a process on its own temporary directory (--dir) and a free port
of 127.0.0.1, talks to it with ftplib and stops it with SIGTERM. Every wait is bounded.

    python3 test_ftpd.py --ftpd-binary PATH [unittest arguments]
"""
import ftplib
import io
import os
import signal
import socket
import subprocess
import tempfile
import time
import unittest

from e2e_support import Ftpd, binary_option, free_port, password_hash

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


class AccountsTest(unittest.TestCase):
    """Hashed passwords, the reasons of refused logins, SIGHUP reloading the accounts, and no
    password anywhere in what the server shows or writes, with every log category on."""

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)
        self.dir = self.tmp.name
        self.root = os.path.join(self.dir, 'root')
        for sub in ('pub', 'alice'):
            os.makedirs(os.path.join(self.root, sub))
        switches = ['%d=1' % n for n in range(1, 13)]
        self.write('FTPsrv.ini', ['[Drives]', 'C=' + self.root, '[ServerFTP]', 'maxusr=0',
                                  'loginfaildelay=0', '[Xferlog]', 'Enabled=1',
                                  '[Screen]'] + switches + ['[File]'] + switches)
        # alice sorts before anonymous: a named account first must not hide the anonymous one.
        self.accounts('alice-old-pw')

    def write(self, name, lines):
        with open(os.path.join(self.dir, name), 'wb') as f:
            f.write(''.join(line + '\r\n' for line in lines).encode())

    def accounts(self, alice_password, extra=()):
        self.write('Accounts.ini', [
            '[alice]', 'PassHash=' + password_hash(alice_password), 'EnablePass=1', 'TO=0',
            r'Dir0=C:\alice', 'Attr0=RWDMLS',
            '[anonymous]', 'EnableLogin=0', 'EnablePass=1', 'Pass=guest-pw', 'TO=0',
            r'Dir0=C:\pub', 'Attr0=R---LS',
            '[ghost]', 'Login=ghost', r'Dir0=C:\nowhere', 'Attr0=RL',
            '[off]', 'Enabled=0', r'Dir0=C:\pub'] + list(extra))

    def login(self, user, password):
        ftp = ftplib.FTP()
        ftp.connect('127.0.0.1', self.port, timeout=TIMEOUT)
        self.addCleanup(ftp.close)
        ftp.login(user, password)
        return ftp

    def refused(self, user, password):
        with self.assertRaises(ftplib.error_perm) as refusal:
            self.login(user, password)
        self.assertEqual(str(refusal.exception), '530 Login or Password incorrect.')

    def reload(self, expected):
        self.ftpd.process.send_signal(signal.SIGHUP)
        self.assertTrue(self.ftpd.wait_for_output(expected), self.ftpd.text()[-2000:])

    def test_hashed_login_reasons_reload_and_no_password_shown(self):
        self.port = free_port()
        self.ftpd = Ftpd(FTPD_BINARY, self.dir, self.port)
        self.addCleanup(self.ftpd.stop)
        self.assertTrue(self.ftpd.wait_for_output('FTP Server On-line on port %d ...' % self.port),
                        self.ftpd.text() + self.ftpd.error_output())
        self.assertIn('Account ghost: home directory C:\\nowhere missing (%s)' %
                      os.path.join(self.root, 'nowhere'), self.ftpd.text())

        alice = self.login('alice', 'alice-old-pw')
        alice.storbinary('STOR kept.txt', io.BytesIO(b'x'))
        # The named account sorting first does not hide the anonymous one.
        self.login('zed', 'guest-pw').voidcmd('NOOP')
        for user, password, reason in (
                ('alice', 'wrong-pw', 'Bad Password (account alice: wrong password)'),
                ('ghost', 'ghost-pw', 'Bad Login/Password (account ghost: home directory '
                                      'C:\\nowhere missing'),
                ('off', 'off-pw', 'Bad Login/Password (account off: disabled)')):
            self.refused(user, password)
            self.assertTrue(self.ftpd.wait_for_output(
                '%s (127.0.0.1) connection refused : %s' % (user, reason)), self.ftpd.text())

        self.accounts('alice-new-pw')
        self.reload('Reloaded FTPsrv.ini and Accounts.ini: 4 accounts')
        self.refused('alice', 'alice-old-pw')
        self.login('alice', 'alice-new-pw').voidcmd('NOOP')
        # The session that logged in before keeps its account.
        self.assertIn('kept.txt', alice.nlst())

        with open(os.path.join(self.dir, 'Accounts.ini'), 'ab') as f:
            f.write(b'[broken\r\n')
        self.reload('Accounts.ini not reloaded, the accounts stay as they were: ')
        self.login('alice', 'alice-new-pw').voidcmd('NOOP')
        alice.quit()

        self.assertEqual(self.ftpd.stop(), 0, self.ftpd.error_output())
        shown = self.ftpd.text()
        self.assertIn('>PASS ****', shown)
        for name in ('FTP.log', 'xferlog'):
            with open(os.path.join(self.dir, name), 'rb') as f:
                shown += f.read().decode(errors='replace')
        self.assertIn('kept.txt', shown)
        for password in ('alice-old-pw', 'alice-new-pw', 'wrong-pw', 'guest-pw', 'ghost-pw',
                         'off-pw'):
            self.assertNotIn(password, shown)


class CommandLineAndStartupTest(unittest.TestCase):
    """The command line's conventions, the start-up report of a broken configuration, and log
    lines that are whole at every moment."""

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name
        self.addCleanup(self.tmp.cleanup)

    def run_ftpd(self, *args):
        return subprocess.run([FTPD_BINARY, *args], stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                              timeout=30)

    def write(self, name, text):
        with open(os.path.join(self.dir, name), 'w', newline='') as f:
            f.write(text)

    def log(self):
        with open(os.path.join(self.dir, 'FTP.log'), 'rb') as f:
            return f.read().decode(errors='replace')

    def test_help_version_and_refused_command_lines(self):
        for option in ('--help', '-h'):
            result = self.run_ftpd(option)
            self.assertEqual(result.returncode, 0)
            self.assertTrue(result.stdout.startswith('usage: '), result.stdout)
            self.assertEqual(result.stderr, '')
        for option in ('--version', '-V'):
            result = self.run_ftpd(option)
            self.assertEqual((result.returncode, result.stdout), (0, 'orvane-ftpd 1.3\n'))
        for port in ('0', '99999', 'abc'):
            result = self.run_ftpd(port, '--dir', self.dir)
            self.assertEqual(result.returncode, 2, port)
            self.assertIn('the port %s is not a number from 1 to 65535' % port, result.stderr)
            self.assertNotIn('already in use', result.stderr + result.stdout)
        self.assertEqual(self.run_ftpd('--bogus').returncode, 2)

    def test_broken_configuration_is_reported_once_and_a_bad_port_refuses_to_start(self):
        ini = os.path.join(self.dir, 'FTPsrv.ini')
        self.write('FTPsrv.ini', '[ServerFTP]\r\nport=abc\r\nmaxusr=ten\r\n')
        result = self.run_ftpd('--dir', self.dir)
        self.assertEqual(result.returncode, 2)
        line = ('%s line 2: [ServerFTP] port=abc is not a port number (0 to 65535); the server '
                'does not start; set it to a number such as 21' % ini)
        self.assertEqual(result.stdout.count(line + '\n'), 1, result.stdout)
        self.assertIn('%s line 3: [ServerFTP] maxusr=ten is not a number; the default 2 is '
                      'taken\n' % ini, result.stdout)
        self.assertIn('%s does not exist: no account can log in\n'
                      % os.path.join(self.dir, 'Accounts.ini'), result.stdout)
        self.assertEqual(self.log().count(line), 1)

        # Random bytes: the server starts on its defaults (the command line's port) and says
        # which lines it passed over.
        with open(ini, 'wb') as f:
            f.write(bytes(range(1, 256)) * 4)
        port = free_port()
        ftpd = Ftpd(FTPD_BINARY, self.dir, port)
        self.addCleanup(ftpd.stop)
        self.assertTrue(ftpd.wait_for_output('FTP Server On-line on port %d ...' % port))
        self.assertIn('%s line 1: neither a [section], a key=value line in a section nor a '
                      ';comment; ignored' % ini, ftpd.text())
        self.assertEqual(ftpd.stop(), 0)

    def test_log_lines_are_whole_while_a_client_is_connected_and_after_kill_9(self):
        self.write('FTPsrv.ini', '[Screen]\r\n12=1\r\n[File]\r\n12=1\r\n11=1\r\n')
        port = free_port()
        ftpd = Ftpd(FTPD_BINARY, self.dir, port)
        self.addCleanup(ftpd.stop)
        self.assertTrue(ftpd.wait_for_output('On-line on port %d' % port))
        with ftplib.FTP() as ftp:
            ftp.connect('127.0.0.1', port, timeout=TIMEOUT)
            for i in range(20):
                ftp.sendcmd('NOOP')
                # Every reply has left, so its round has ended: the file holds whole lines.
                log = self.log()
                self.assertTrue(log.endswith('\r\n'), repr(log[-80:]))
            self.assertIn('>NOOP', log)
            self.assertTrue(ftpd.wait_for_output('>NOOP \n' * 1))
            os.kill(ftpd.process.pid, signal.SIGKILL)
            ftpd.process.wait(timeout=TIMEOUT)
        shown = [l for l in ftpd.text().splitlines() if l.startswith(' (127.0.0.1) ')]
        log = self.log()
        self.assertTrue(shown)
        for line in shown:  # each line the memo showed is in the file, whole
            self.assertIn(' ' + line + '\r\n', log)

    def test_a_symbolic_link_in_the_log_file_s_place_is_not_followed(self):
        target = os.path.join(self.dir, 'elsewhere')
        os.symlink(target, os.path.join(self.dir, 'FTP.log'))
        result = self.run_ftpd(str(free_port()), '--dir', self.dir)
        self.assertEqual(result.returncode, 1)
        self.assertIn('Cannot open the log file', result.stderr)
        self.assertFalse(os.path.exists(target))


def main():
    global FTPD_BINARY
    FTPD_BINARY, argv = binary_option('--ftpd-binary')
    unittest.main(argv=argv, verbosity=2)


if __name__ == '__main__':
    main()

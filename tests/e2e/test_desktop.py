#!/usr/bin/env python3
"""The desktop program orvane-ftp-server against a representative part of the orvane-ftpd suite.

The desktop program runs on Qt's offscreen platform with "demarrageauto=1" and "Tip=0" in its
FTPsrv.ini, started exactly as orvane-ftpd is (PORT --dir DIR): it must serve FTP, write its
log file and end cleanly on SIGTERM just as the program without windows does. A few checks of
its own follow: without a display it says so and ends.

    python3 test_desktop.py --desktop-binary PATH [unittest arguments]
"""
import ftplib
import os
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

from e2e_support import Ftpd, binary_option, free_port
import test_access
import test_ftpctl
import test_ftpd

DESKTOP_BINARY = None  # set from --desktop-binary
SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def set_ini_keys(path, keys):
    """Sets (section, key) -> value in an INI file, sections and keys compared without regard to
    case; a missing section is added at the end."""
    lines = []
    if os.path.exists(path):
        with open(path, 'rb') as f:
            lines = f.read().decode().splitlines()
    for (section, key), value in keys.items():
        start = next((i for i, l in enumerate(lines)
                      if l.strip().lower() == '[%s]' % section.lower()), None)
        if start is None:
            lines += ['[%s]' % section, '%s=%s' % (key, value)]
            continue
        end = next((i for i in range(start + 1, len(lines)) if lines[i].startswith('[')),
                   len(lines))
        for i in range(start + 1, end):
            if lines[i].split('=', 1)[0].strip().lower() == key.lower():
                lines[i] = '%s=%s' % (key, value)
                break
        else:
            lines.insert(end, '%s=%s' % (key, value))
    with open(path, 'wb') as f:
        f.write(''.join(line + '\r\n' for line in lines).encode())


def start_desktop_like_ftpd():
    """Every server the borrowed tests start becomes the desktop program, its FTPsrv.ini asking
    for the automatic start and no tip window."""
    original = Ftpd.__init__

    def init(self, binary, directory, port):
        set_ini_keys(os.path.join(directory, 'FTPsrv.ini'),
                     {('ServerFTP', 'demarrageauto'): '1', ('FTPServer', 'Tip'): '0'})
        original(self, binary, directory, port)

    Ftpd.__init__ = init


class DesktopOnlyTest(unittest.TestCase):
    def run_without_display(self, extra_env):
        env = {k: v for k, v in os.environ.items()
               if k not in ('DISPLAY', 'WAYLAND_DISPLAY', 'QT_QPA_PLATFORM')}
        env.update(extra_env)
        with tempfile.TemporaryDirectory() as directory:
            done = subprocess.run([DESKTOP_BINARY, str(free_port()), '--dir', directory],
                                  env=env, stdin=subprocess.DEVNULL, capture_output=True,
                                  timeout=30)
        return done

    def test_without_a_display_says_so_and_names_the_daemon(self):
        done = self.run_without_display({})
        self.assertNotEqual(done.returncode, 0)
        lines = done.stderr.decode().splitlines()
        self.assertEqual(len(lines), 1, lines)
        self.assertIn('no display', lines[0])
        self.assertIn('orvane-ftpd', lines[0])

    def test_a_display_that_does_not_answer_is_reported_too(self):
        done = self.run_without_display({'DISPLAY': ':739'})
        self.assertNotEqual(done.returncode, 0)
        lines = done.stderr.decode().splitlines()
        self.assertEqual(len(lines), 1, lines)
        self.assertIn(':739 does not answer', lines[0])
        self.assertIn('orvane-ftpd', lines[0])

    def test_command_line_conventions_and_qt_options(self):
        result = subprocess.run([DESKTOP_BINARY, '--help'], capture_output=True, text=True,
                                timeout=30)
        self.assertEqual(result.returncode, 0)
        self.assertTrue(result.stdout.startswith('usage: '), result.stdout)
        result = subprocess.run([DESKTOP_BINARY, '-V'], capture_output=True, text=True,
                                timeout=30)
        self.assertEqual((result.returncode, result.stdout), (0, 'orvane-ftp-server 1.3\n'))
        result = subprocess.run([DESKTOP_BINARY, '0'], capture_output=True, text=True,
                                timeout=30)
        self.assertEqual(result.returncode, 2)
        self.assertIn('the port 0 is not a number from 1 to 65535', result.stderr)
        # Qt's own options reach Qt: -platform offscreen without any display set.
        with tempfile.TemporaryDirectory() as directory:
            set_ini_keys(os.path.join(directory, 'FTPsrv.ini'),
                         {('ServerFTP', 'demarrageauto'): '1', ('FTPServer', 'Tip'): '0'})
            env = {k: v for k, v in os.environ.items()
                   if k not in ('DISPLAY', 'WAYLAND_DISPLAY', 'QT_QPA_PLATFORM')}
            port = free_port()
            process = subprocess.Popen([DESKTOP_BINARY, '-platform', 'offscreen', '-style',
                                        'fusion', str(port), '--dir', directory], env=env,
                                       stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                       stderr=subprocess.PIPE)
            try:
                deadline = time.monotonic() + 20
                log = os.path.join(directory, 'FTP.log')
                while time.monotonic() < deadline:
                    if os.path.exists(log) and b'On-line on port %d' % port in open(log, 'rb').read():
                        break
                    time.sleep(0.1)
                else:
                    self.fail('the desktop program did not start with -platform offscreen')
            finally:
                process.send_signal(signal.SIGTERM)
                process.communicate(timeout=30)
            self.assertEqual(process.returncode, 0)

    def test_sigint_ends_it_cleanly_too(self):
        with tempfile.TemporaryDirectory() as directory:
            port = free_port()
            server = Ftpd(DESKTOP_BINARY, directory, port)
            self.assertTrue(server.wait_for_output('FTP Server On-line on port %d ...' % port),
                            server.text() + server.error_output())
            for _ in range(2):
                ftp = ftplib.FTP()
                ftp.connect('127.0.0.1', port, timeout=10)
                ftp.close()
                self.assertTrue(server.wait_for_no_clients())
            server.process.send_signal(signal.SIGINT)
            self.assertEqual(server.wait(), 0, server.error_output())
            # The counters of this run are saved although no start/stop command ran.
            with open(os.path.join(directory, 'FTPsrv.ini'), 'rb') as f:
                self.assertIn(b'connections=2\r\n', f.read())
            with open(os.path.join(directory, 'FTP.log'), 'rb') as f:
                self.assertRegex(f.read().decode(), r'Session closed  on [^\r\n]+ ----------\r\n\Z')


class ModalWindowTest(unittest.TestCase):
    """SIGTERM ends the program cleanly also while a modal window waits for the operator."""

    def start_raw(self, directory, port):
        process = subprocess.Popen([DESKTOP_BINARY, str(port), '--dir', directory],
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.PIPE)
        self.addCleanup(lambda: process.poll() is None and process.kill())
        return process

    def wait_for_log(self, directory, text, timeout=10):
        deadline = time.monotonic() + timeout
        path = os.path.join(directory, 'FTP.log')
        while time.monotonic() < deadline:
            if os.path.exists(path):
                with open(path, 'rb') as f:
                    if text.encode() in f.read():
                        return True
            time.sleep(0.02)
        return False

    def end(self, process, directory):
        process.send_signal(signal.SIGTERM)
        try:
            status = process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.fail('the program did not end after SIGTERM')
        errors = process.stderr.read().decode(errors='replace')
        self.assertEqual(status, 0, errors)
        with open(os.path.join(directory, 'FTP.log'), 'rb') as f:
            self.assertRegex(f.read().decode(), r'Session closed  on [^\r\n]+ ----------\r\n\Z')
        return errors

    def test_sigterm_while_the_tip_window_is_open(self):
        with tempfile.TemporaryDirectory() as directory:
            process = self.start_raw(directory, free_port())
            self.assertTrue(self.wait_for_log(directory, 'Session created on '))
            self.end(process, directory)

    def test_sigterm_while_the_port_in_use_message_is_open(self):
        with tempfile.TemporaryDirectory() as directory, socket.socket() as blocker:
            blocker.bind(('0.0.0.0', 0))
            blocker.listen(1)
            port = blocker.getsockname()[1]
            set_ini_keys(os.path.join(directory, 'FTPsrv.ini'),
                         {('ServerFTP', 'demarrageauto'): '1', ('FTPServer', 'Tip'): '0'})
            process = self.start_raw(directory, port)
            # The message box comes right after the log is opened, before the off-line line.
            self.assertTrue(self.wait_for_log(directory, 'Session created on '))
            errors = self.end(process, directory)
            self.assertIn('Port number %d is already in use !' % port, errors)
            with open(os.path.join(directory, 'FTP.log'), 'rb') as f:
                self.assertIn(b' FTP Server Off-line ...\r\n', f.read())


def main():
    global DESKTOP_BINARY
    DESKTOP_BINARY, argv = binary_option('--desktop-binary')
    sys.argv = argv
    test_ftpctl.FTPCTL_BINARY, argv = binary_option('--ftpctl-binary')
    test_ftpctl.FTPD_BINARY = DESKTOP_BINARY
    test_ftpd.FTPD_BINARY = DESKTOP_BINARY
    test_access.FTPD_BINARY = DESKTOP_BINARY
    os.environ['QT_QPA_PLATFORM'] = 'offscreen'
    # Qt's libraries keep some memory until the process ends; the sanitizer build must not
    # call that a leak.
    os.environ.setdefault('LSAN_OPTIONS', 'suppressions=' +
                          os.path.join(SOURCE_DIR, 'tests', 'ui', 'lsan.supp'))
    start_desktop_like_ftpd()

    loader = unittest.TestLoader()
    suite = unittest.TestSuite()
    suite.addTest(test_ftpd.FtpdTest('test_greets_refuses_login_and_stops_cleanly_on_sigterm'))
    for case in (test_access.LoginTest, test_access.RightsTest, test_access.LinksHiddenTest,
                 test_access.AccountingTest, DesktopOnlyTest, ModalWindowTest):
        suite.addTests(loader.loadTestsFromTestCase(case))
    # orvane-ftpctl against the desktop program's control socket.
    for name in ('test_who_lists_sessions_and_kick_closes_one', 'test_spy_shows_that_session_only'):
        suite.addTest(test_ftpctl.FtpctlTest(name))
    if len(argv) > 1:
        suite = loader.loadTestsFromNames(argv[1:], sys.modules[__name__])
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == '__main__':
    main()

#!/usr/bin/env python3
"""The Debian packages of Orvane FTP Server, built as a user builds them.

scripts/build-packages makes the packages once (a Release build of the programs only, in the
work directory); the tests then check their metadata and file lists with dpkg-deb, run lintian,
install the daemon's files into a temporary DESTDIR and run that installed daemon against a
temporary directory with curl, verify the systemd unit and validate the desktop entry.

    python3 test_packages.py --source-dir SRC --work-dir DIR --desktop 0|1
"""
import argparse
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'e2e'))
from e2e_support import Ftpd, free_port  # noqa: E402

ARGS = None
TIMEOUT = 30  # seconds, for every client command


def run(*command, env=None, check=True):
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            stdin=subprocess.DEVNULL, text=True, env=env)
    if check and result.returncode != 0:
        raise AssertionError('%s failed with %d:\n%s' % (' '.join(command), result.returncode,
                                                         result.stdout))
    return result


class Packages:
    """Builds the packages once for every test."""
    built = None

    @classmethod
    def get(cls):
        if cls.built is None:
            out = os.path.join(ARGS.work_dir, 'debs')
            env = dict(os.environ, ORVANE_PACKAGE_BUILD_DIR=os.path.join(ARGS.work_dir, 'build'))
            run(os.path.join(ARGS.source_dir, 'scripts', 'build-packages'), out, env=env)
            cls.built = {os.path.basename(p).split('_')[0]: p
                         for p in glob.glob(os.path.join(out, '*.deb'))}
        return cls.built


def control(deb):
    fields = {}
    for line in run('dpkg-deb', '-f', deb).stdout.splitlines():
        if line and not line.startswith(' ') and ':' in line:
            key, value = line.split(':', 1)
            fields[key] = value.strip()
    return fields


def contents(deb):
    return [line.split()[-1].lstrip('.') for line in run('dpkg-deb', '-c', deb).stdout.splitlines()]


class PackageTest(unittest.TestCase):
    def test_daemon_package_metadata_and_files(self):
        deb = Packages.get()['orvane-ftpd']
        info = run('dpkg-deb', '-I', deb).stdout
        for script in ('postinst', 'prerm', 'postrm', 'conffiles'):
            self.assertIn(script, info)
        fields = control(deb)
        for relation in ('Provides', 'Conflicts', 'Replaces'):
            self.assertEqual(fields[relation], 'ftp-server')
        depends = [d.strip().split()[0] for d in fields['Depends'].split(',')]
        self.assertEqual(len(depends), len(set(depends)), fields['Depends'])  # no duplicate
        self.assertEqual(fields['Package'], 'orvane-ftpd')
        self.assertEqual(fields['Version'], '1.3')
        self.assertEqual(fields['Section'], 'net')
        self.assertIn('adduser', fields['Depends'])
        self.assertIn('libstdc++6', fields['Depends'])
        self.assertNotIn('qt', fields['Depends'].lower())  # the daemon never needs Qt
        files = contents(deb)
        for path in ('/usr/bin/orvane-ftpd', '/lib/systemd/system/orvane-ftpd.service',
                     '/etc/logrotate.d/orvane-ftpd', '/usr/share/orvane-ftpd/FTPsrv.ini',
                     '/usr/share/orvane-ftpd/Accounts.ini', '/usr/share/man/man8/orvane-ftpd.8.gz',
                     '/usr/bin/orvane-ftpctl', '/usr/share/man/man8/orvane-ftpctl.8.gz',
                     '/usr/share/bash-completion/completions/orvane-ftpctl',
                     '/usr/share/doc/orvane-ftpd/copyright',
                     '/usr/share/doc/orvane-ftpd/changelog.gz',
                     '/usr/share/doc/orvane-ftpd/examples/fail2ban/orvane-ftpd.conf',
                     '/usr/share/man/man5/orvane-ftpd.ini.5.gz',
                     '/usr/share/man/man5/orvane-accounts.5.gz'):
            self.assertIn(path, files)
        self.assertFalse([f for f in files if 'orvane-ftp-server' in f], files)
        conffiles = run('dpkg-deb', '--info', deb, 'conffiles').stdout.split()
        self.assertEqual(conffiles, ['/etc/logrotate.d/orvane-ftpd'])

    def test_desktop_package_metadata_and_files(self):
        debs = Packages.get()
        if ARGS.desktop != '1':
            self.assertNotIn('orvane-ftp-server', debs)
            self.skipTest('the desktop program is not built here (no target orvane-ftp-server)')
        deb = debs['orvane-ftp-server']
        fields = control(deb)
        self.assertEqual(fields['Package'], 'orvane-ftp-server')
        self.assertRegex(fields['Depends'], r'libqt6widgets6')
        files = contents(deb)
        for path in ('/usr/bin/orvane-ftp-server',
                     '/usr/share/applications/orvane-ftp-server.desktop',
                     '/usr/share/icons/hicolor/scalable/apps/orvane-ftp-server.svg',
                     '/usr/share/man/man1/orvane-ftp-server.1.gz',
                     '/usr/share/doc/orvane-ftp-server/copyright'):
            self.assertIn(path, files)
        self.assertNotIn('/usr/bin/orvane-ftpd', files)

    def test_lintian_reports_no_error(self):
        if not shutil.which('lintian'):
            self.skipTest('lintian is not installed')
        debs = sorted(Packages.get().values())
        result = run('lintian', '--fail-on', 'error', '--tag-display-limit', '0', *debs,
                     check=False)
        errors = [line for line in result.stdout.splitlines() if line.startswith('E:')]
        self.assertEqual(errors, [], result.stdout)
        self.assertEqual(result.returncode, 0, result.stdout)

    def test_installed_daemon_serves_a_temporary_directory(self):
        Packages.get()
        root = tempfile.mkdtemp(dir=ARGS.work_dir, prefix='destdir-')
        self.addCleanup(shutil.rmtree, root, True)
        env = dict(os.environ, DESTDIR=root)
        run('cmake', '--install', os.path.join(ARGS.work_dir, 'build'), '--component', 'ftpd',
            env=env)
        binary = os.path.join(root, 'usr', 'bin', 'orvane-ftpd')
        self.assertTrue(os.access(binary, os.X_OK))

        # The shipped sample configuration, pointed at temporary directories.
        conf = tempfile.mkdtemp(dir=ARGS.work_dir, prefix='conf-')
        served = tempfile.mkdtemp(dir=ARGS.work_dir, prefix='srv-')
        self.addCleanup(shutil.rmtree, conf, True)
        self.addCleanup(shutil.rmtree, served, True)
        sample = os.path.join(root, 'usr', 'share', 'orvane-ftpd')
        with open(os.path.join(sample, 'FTPsrv.ini'), 'rb') as f:
            ini = f.read().replace(b'/srv/ftp', served.encode())
            ini = ini.replace(b'/var/log/orvane-ftpd/', conf.encode() + b'/')
        with open(os.path.join(conf, 'FTPsrv.ini'), 'wb') as f:
            f.write(ini)
        shutil.copy(os.path.join(sample, 'Accounts.ini'), conf)
        with open(os.path.join(served, 'hello.txt'), 'wb') as f:
            f.write(b'served by the installed daemon\n')

        port = free_port()
        ftpd = Ftpd(binary, conf, port)
        self.addCleanup(ftpd.stop)
        self.assertTrue(ftpd.wait_for_output('FTP Server On-line on port %d ...' % port),
                        ftpd.text() + ftpd.error_output())
        self.assertIn('Settings directory: %s/ (given with --dir)' % conf, ftpd.text())
        url = 'ftp://127.0.0.1:%d/' % port
        listing = run('curl', '-sS', '--max-time', str(TIMEOUT), url).stdout
        self.assertIn('hello.txt', listing)
        body = run('curl', '-sS', '--max-time', str(TIMEOUT), url + 'hello.txt').stdout
        self.assertEqual(body, 'served by the installed daemon\n')
        # The sample gives anonymous users no right to write.
        upload = run('curl', '-sS', '--max-time', str(TIMEOUT), '-T', '-', url + 'new.txt',
                     check=False)
        self.assertNotEqual(upload.returncode, 0)
        self.assertFalse(os.path.exists(os.path.join(served, 'new.txt')))
        self.assertTrue(ftpd.wait_for_no_clients())
        self.assertEqual(ftpd.stop(), 0, ftpd.error_output())
        with open(os.path.join(conf, 'FTP.log'), 'rb') as f:
            self.assertIn(b'anonymous (127.0.0.1) logged in', f.read())
        with open(os.path.join(conf, 'xferlog')) as f:
            lines = f.read().splitlines()
        self.assertEqual(len(lines), 1, lines)
        self.assertRegex(lines[0], r' 127\.0\.0\.1 31 %s/hello\.txt b _ o a anonymous ftp 0 \* c$'
                         % re.escape(served))

    def test_systemd_unit_verifies(self):
        if not shutil.which('systemd-analyze'):
            self.skipTest('systemd-analyze is not installed: the unit was not verified')
        Packages.get()
        unit = os.path.join(ARGS.work_dir, 'build', 'dist', 'orvane-ftpd.service')
        with open(unit) as f:
            text = f.read()
        for line in ('User=orvane-ftpd', 'StateDirectory=orvane-ftpd', 'NoNewPrivileges=yes',
                     'AmbientCapabilities=CAP_NET_BIND_SERVICE', 'ProtectSystem=strict',
                     'ProtectHome=yes', 'PrivateTmp=yes', 'ReadWritePaths=-/srv/ftp',
                     'RuntimeDirectory=orvane-ftpd',
                     'ExecStart=/usr/bin/orvane-ftpd --pidfile /run/orvane-ftpd/orvane-ftpd.pid'):
            self.assertIn(line + '\n', text)
        # The program is not installed on this machine: the unit's copy names the built one.
        copy_dir = tempfile.mkdtemp(dir=ARGS.work_dir, prefix='unit-')
        self.addCleanup(shutil.rmtree, copy_dir, True)
        built = os.path.join(ARGS.work_dir, 'build', 'src', 'app', 'orvane-ftpd')
        copy = os.path.join(copy_dir, 'orvane-ftpd.service')
        with open(copy, 'w') as f:
            f.write(text.replace('ExecStart=/usr/bin/orvane-ftpd', 'ExecStart=' + built))
        result = run('systemd-analyze', 'verify', '--man=no', copy, check=False)
        # Any remark (an unknown key, a bad value) fails the test, not only a refusal.
        self.assertEqual((result.returncode, result.stdout.strip()), (0, ''))

    def test_fail2ban_filter_finds_the_address_of_failed_logins(self):
        # fail2ban removes the date it found, then matches failregex with <HOST> as an address.
        path = os.path.join(ARGS.source_dir, 'dist', 'fail2ban', 'orvane-ftpd.conf')
        with open(path) as f:
            failregex = re.search(r'^failregex = (.*)$', f.read(), re.M).group(1)
        pattern = re.compile(failregex.replace('<HOST>', r'(?P<host>[0-9a-fA-F.:]+)'))
        lines = {
            'bob (192.0.2.7) connection refused : Bad Password\r': '192.0.2.7',
            'x y (2001:db8::1) connection refused : Bad Login/Password': '2001:db8::1',
            'bob (192.0.2.7) connection refused : Bad Password (account bob: wrong password)':
                '192.0.2.7',
            'x (192.0.2.8) connection refused : Bad Login/Password (unknown name)': '192.0.2.8',
            ' (192.0.2.8) connection refused : Bad Password': '192.0.2.8',  # an empty name
        }
        for line, host in lines.items():
            match = pattern.match(line)
            self.assertIsNotNone(match, line)
            self.assertEqual(match.group('host'), host)
        # Client text the server writes to FTP.log after an address of its own never names
        # another address: a logged command, a reply ending with a name, a user name that holds
        # a refusal line.
        injected = ' connection refused : Bad Password'
        for line in ('bob (192.0.2.7) logged in', 'bob (192.0.2.7) disconnected',
                     ' (198.51.100.1) >USER x (192.0.2.1)' + injected,
                     'user (198.51.100.1) >CWD (192.0.2.1)' + injected,
                     'user (198.51.100.1) 213 Modify=20260101000000; x (192.0.2.1)' + injected,
                     'a (198.51.100.1)' + injected + ' (192.0.2.9)' + injected,
                     'x (192.0.2.1) connection refused : Bad Password (198.51.100.1) '
                     'connection refused : Bad Password',
                     # a user name that opens the reason's parenthesis itself
                     'a (198.51.100.1) connection refused : Bad Password (account x (192.0.2.8) '
                     'connection refused : Bad Password (account a: wrong password)'):
            match = pattern.match(line)
            self.assertIsNone(match, line)

    def test_first_start_of_the_service_copies_the_sample_once(self):
        unit = os.path.join(ARGS.work_dir, 'build', 'dist', 'orvane-ftpd.service')
        Packages.get()
        with open(unit) as f:
            command = re.search(r"^ExecStartPre=/bin/sh -c '(.*)'$", f.read(), re.M).group(1)
        sample = os.path.join(ARGS.source_dir, 'dist', 'examples')
        command = command.replace('$$', '$').replace('/usr/share/orvane-ftpd', sample)
        state = tempfile.mkdtemp(dir=ARGS.work_dir, prefix='state-')
        self.addCleanup(shutil.rmtree, state, True)
        with open(os.path.join(state, 'Accounts.ini'), 'w') as f:
            f.write('[mine]\r\n')
        run('/bin/sh', '-c', command, env=dict(os.environ, STATE_DIRECTORY=state))
        with open(os.path.join(state, 'FTPsrv.ini'), 'rb') as f, \
                open(os.path.join(sample, 'FTPsrv.ini'), 'rb') as g:
            self.assertEqual(f.read(), g.read())
        with open(os.path.join(state, 'Accounts.ini'), 'rb') as f:
            self.assertEqual(f.read(), b'[mine]\r\n')  # the operator's own file stays

    def test_logrotate_rule_parses(self):
        if not shutil.which('logrotate'):
            self.skipTest('logrotate is not installed: the rule was not checked')
        work = tempfile.mkdtemp(dir=ARGS.work_dir, prefix='logrotate-')
        self.addCleanup(shutil.rmtree, work, True)
        with open(os.path.join(ARGS.source_dir, 'dist', 'logrotate', 'orvane-ftpd')) as f:
            rule = f.read()
        self.assertIn('su orvane-ftpd orvane-ftpd', rule)
        self.assertIn('kill -HUP "$(cat /run/orvane-ftpd/orvane-ftpd.pid)"', rule)
        self.assertNotIn('|| true', rule)  # a failed signal is reported, not hidden
        # The service's user and directory do not exist here: the copy names ours.
        rule = rule.replace('su orvane-ftpd orvane-ftpd', 'su root root')
        rule = rule.replace('/var/log/orvane-ftpd', work)
        for name in ('FTP.log', 'xferlog'):
            with open(os.path.join(work, name), 'w') as f:
                f.write('line\n')
        config = os.path.join(work, 'rule')
        with open(config, 'w') as f:
            f.write(rule)
        os.chmod(config, 0o644)
        result = run('logrotate', '-d', '-s', os.path.join(work, 'state'), config, check=False)
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertNotIn('error', result.stdout.lower(), result.stdout)

    def test_logrotate_signals_the_pid_file_with_or_without_systemd(self):
        """The postrotate script alone, with the pid file at a temporary place: it signals the
        process named there, and does nothing without a pid file."""
        with open(os.path.join(ARGS.source_dir, 'dist', 'logrotate', 'orvane-ftpd')) as f:
            rule = f.read()
        script = rule.split('postrotate', 1)[1].split('endscript', 1)[0]
        work = tempfile.mkdtemp(dir=ARGS.work_dir, prefix='pidfile-')
        self.addCleanup(shutil.rmtree, work, True)
        pidfile = os.path.join(work, 'orvane-ftpd.pid')
        script = script.replace('/run/orvane-ftpd/orvane-ftpd.pid', pidfile)
        self.assertEqual(run('sh', '-ec', script).returncode, 0)  # no server, nothing to do
        sleeper = subprocess.Popen(['sh', '-c', 'trap "echo hup; exit 0" HUP; while :; do sleep 0.1; done'],
                                   stdout=subprocess.PIPE, text=True)
        try:
            with open(pidfile, 'w') as f:
                f.write('%d\n' % sleeper.pid)
            time.sleep(0.3)  # the trap is set before the shell's first sleep ends
            run('sh', '-ec', script)
            self.assertEqual(sleeper.communicate(timeout=TIMEOUT)[0], 'hup\n')
        finally:
            if sleeper.poll() is None:
                sleeper.kill()
                sleeper.wait()

    def test_maintainer_scripts_install_upgrade_remove_and_purge(self):
        """The maintainer scripts run against a temporary root (dpkg's DPKG_ROOT) with the
        system tools replaced by recorders: what each step asks of deb-systemd-helper,
        deb-systemd-invoke and systemctl, and what it leaves on disk."""
        root = tempfile.mkdtemp(dir=ARGS.work_dir, prefix='scripts-')
        self.addCleanup(shutil.rmtree, root, True)
        tools = os.path.join(root, 'tools')
        os.makedirs(tools)
        calls = os.path.join(root, 'calls')
        for tool in ('deb-systemd-helper', 'deb-systemd-invoke', 'systemctl', 'adduser', 'getent'):
            with open(os.path.join(tools, tool), 'w') as f:
                # getent finds no user; was-enabled answers as for a new install.
                f.write('#!/bin/sh\necho "%s $*" >> "%s"\n%s\n'
                        % (tool, calls, 'exit 2' if tool == 'getent' else 'exit 0'))
            os.chmod(os.path.join(tools, tool), 0o755)
        env = dict(os.environ, DPKG_ROOT=root, PATH=tools + ':' + os.environ['PATH'])
        os.makedirs(os.path.join(root, 'run', 'systemd', 'system'))  # systemd runs
        scripts = os.path.join(ARGS.source_dir, 'dist', 'debian')

        def step(script, *args):
            if os.path.exists(calls):
                os.remove(calls)
            run('sh', '-e', os.path.join(scripts, 'ftpd-' + script), *args, env=env)
            if not os.path.exists(calls):
                return []
            with open(calls) as f:
                return f.read().splitlines()

        unit = 'orvane-ftpd.service'
        install = step('postinst', 'configure')
        self.assertIn('adduser --quiet --system --group --home /var/lib/orvane-ftpd '
                      '--no-create-home --gecos Orvane FTP Server orvane-ftpd', install)
        self.assertIn('deb-systemd-helper enable ' + unit, install)
        self.assertEqual(install[-1], 'deb-systemd-invoke start ' + unit)
        self.assertTrue(os.path.isdir(os.path.join(root, 'srv', 'ftp')))

        upgrade = step('postinst', 'configure', '1.2')
        self.assertEqual(upgrade[-1], 'deb-systemd-invoke restart ' + unit)
        self.assertEqual([c for c in step('prerm', 'upgrade', '1.3') if 'invoke' in c], [])

        self.assertEqual(step('prerm', 'remove'), ['deb-systemd-invoke stop ' + unit])
        self.assertIn('deb-systemd-helper mask ' + unit, step('postrm', 'remove'))

        for directory in ('var/lib/orvane-ftpd', 'var/log/orvane-ftpd'):
            os.makedirs(os.path.join(root, directory))
        purge = step('postrm', 'purge')
        self.assertIn('deb-systemd-helper purge ' + unit, purge)
        self.assertFalse(os.path.exists(os.path.join(root, 'var', 'lib', 'orvane-ftpd')))
        self.assertFalse(os.path.exists(os.path.join(root, 'var', 'log', 'orvane-ftpd')))

        # Without systemd nothing is started or stopped, and the install still succeeds.
        os.rmdir(os.path.join(root, 'run', 'systemd', 'system'))
        self.assertFalse([c for c in step('postinst', 'configure') if 'invoke' in c])
        self.assertFalse([c for c in step('prerm', 'remove') if 'invoke' in c])

    def test_configuration_man_pages_list_every_key_and_format_cleanly(self):
        Packages.get()
        gen = os.path.join(ARGS.work_dir, 'build', 'dist')
        for page, keys in (('orvane-ftpd.ini.5', ('maxusr', 'banfailures', 'implicitport',
                                                   'StayOnTop', 'line#', 'ports')),
                           ('orvane-accounts.5', ('Hide hidden Files', 'Xdl', 'Attr#',
                                                  'RequireTLS'))):
            path = os.path.join(gen, page)
            with open(path) as f:
                text = f.read()
            for key in keys:
                self.assertIn('.B "%s"' % key, text)
            self.assertNotIn('@KEYS@', text)
            result = run('groff', '-man', '-ww', '-z', path, check=False)
            self.assertEqual((result.returncode, result.stdout), (0, ''))

    def test_desktop_entry_validates(self):
        if not shutil.which('desktop-file-validate'):
            self.skipTest('desktop-file-validate is not installed')
        entry = os.path.join(ARGS.source_dir, 'dist', 'desktop', 'orvane-ftp-server.desktop')
        result = run('desktop-file-validate', entry, check=False)
        self.assertEqual((result.returncode, result.stdout.strip()), (0, ''))
        with open(entry) as f:
            self.assertIn('Categories=Network;', f.read())


if __name__ == '__main__':
    parser = argparse.ArgumentParser()
    parser.add_argument('--source-dir', required=True)
    parser.add_argument('--work-dir', required=True)
    parser.add_argument('--desktop', default='0')
    ARGS, rest = parser.parse_known_args()
    ARGS.source_dir = os.path.abspath(ARGS.source_dir)
    ARGS.work_dir = os.path.abspath(ARGS.work_dir)
    os.makedirs(ARGS.work_dir, exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)

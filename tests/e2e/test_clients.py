#!/usr/bin/env python3
"""End-to-end tests of orvane-ftpd with today's FTP clients from Debian's packages: rclone, lftp,
ncftpget, wget, curl, tnftp, inetutils ftp and Python's ftplib, with the classic switch off
(the default).

One orvane-ftpd serves the class on a temporary directory: drive C is <tmp>/root, the account
"user" (password "pw", kept as a
hash with a stale clear key beside it that is not read) has every right on C:\\home\\user. Each test works in its own folder of
that home, sends or fetches a tree with subfolders, names with spaces and UTF-8 names, and
compares the SHA-256 of every file that arrived with the original. IPv6Test drives the clients
over [::1] (skipped where ::1 cannot be bound). Every client call has a time-out; the server is
stopped with SIGTERM.

    python3 test_clients.py --ftpd-binary PATH [unittest arguments, e.g. a class name]
"""
import ftplib
import hashlib
import io
import os
import shutil
import socket
import subprocess
import tempfile
import time
import unittest

from e2e_support import Ftpd, binary_option, free_port, password_hash

FTPD_BINARY = None  # set from --ftpd-binary
TIMEOUT = 10  # seconds, for ftplib operations
CLIENT_TIMEOUT = 90  # seconds, for one run of an external client
USER = 'user'
PASSWORD = 'pw'

# A tree with subfolders three levels deep, names with spaces and UTF-8 names.
TREE = {
    'a.txt': b'first file\r\n',
    'name with spaces.txt': b'spaces\n' * 100,
    'sub dir/b.bin': bytes(range(256)) * 400,
    'sub dir/deeper/c.txt': b'',
    'sub dir/deeper/deepest/d.bin': os.urandom(70000),
    'ünïcödé/é.txt': 'ünïcödé\n'.encode(),
}


def write_crlf(path, lines):
    with open(path, 'wb') as f:
        f.write(''.join(line + '\r\n' for line in lines).encode())


def make_tree(directory, tree=TREE):
    for relative, content in tree.items():
        full = os.path.join(directory, relative)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, 'wb') as f:
            f.write(content)


def checksums(directory):
    """Relative path -> SHA-256 of every file below directory."""
    result = {}
    for top, _, files in os.walk(directory):
        for name in files:
            full = os.path.join(top, name)
            with open(full, 'rb') as f:
                result[os.path.relpath(full, directory)] = hashlib.sha256(f.read()).hexdigest()
    return result


def set_times(directory, when=1262304000):
    """Gives every file below directory the same old modification time (default 2010-01-01)."""
    for top, _, files in os.walk(directory):
        for name in files:
            os.utime(os.path.join(top, name), (when, when))


def file_times(directory):
    """Relative path -> whole-second modification time of every file below directory."""
    return {path: int(os.path.getmtime(os.path.join(directory, path)))
            for path in checksums(directory)}


def tree_checksums(tree=TREE):
    return {path: hashlib.sha256(content).hexdigest() for path, content in tree.items()}


class ClientTestCase(unittest.TestCase):
    SETTINGS = []  # further lines of section ServerFTP
    SERVER_TZ = None  # the server's TZ, when it differs from the clients'

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.addClassCleanup(cls.tmp.cleanup)
        cls.dir = cls.tmp.name
        cls.root = os.path.join(cls.dir, 'root')
        cls.home = os.path.join(cls.root, 'home', 'user')
        os.makedirs(cls.home)
        write_crlf(os.path.join(cls.dir, 'FTPsrv.ini'),
                   ['[Drives]', 'C=' + cls.root, '[ServerFTP]', 'maxusr=0'] + cls.SETTINGS)
        write_crlf(os.path.join(cls.dir, 'Accounts.ini'), [
            '[user]', 'Login=user', 'PassHash=' + password_hash(PASSWORD), 'Pass=stale',
            'EnableLogin=1', 'EnablePass=1',
            'Enabled=1', 'TO=0', r'Dir0=C:\home\user', 'Attr0=RWDMLS',
            # Write without delete: new files only.
            '[drop]', 'Login=drop', 'Pass=' + PASSWORD, 'EnableLogin=1', 'EnablePass=1',
            'Enabled=1', 'TO=0', r'Dir0=C:\home\drop', 'Attr0=RW--LS'])
        os.makedirs(os.path.join(cls.root, 'home', 'drop'))
        # The clients keep their state (lftp's history, rclone's config) in a home of their own.
        cls.client_home = os.path.join(cls.dir, 'client-home')
        os.mkdir(cls.client_home)
        cls.port = free_port()
        server_tz = cls.SERVER_TZ
        cls.ftpd = Ftpd(FTPD_BINARY, cls.dir, cls.port,
                        preexec_fn=(lambda: os.putenv('TZ', server_tz)) if server_tz else None)
        cls.addClassCleanup(cls.ftpd.stop_cleanly)
        if not cls.ftpd.wait_for_output('FTP Server On-line on port %d ...' % cls.port):
            raise AssertionError('orvane-ftpd did not start: ' + cls.ftpd.text() +
                                 cls.ftpd.error_output())

    def local(self, name):
        """A fresh local directory for this test."""
        path = tempfile.mkdtemp(prefix=name + '-', dir=self.dir)
        return path

    def remote(self, relative):
        """The server-side path of a folder of the home, created empty."""
        path = os.path.join(self.home, relative)
        shutil.rmtree(path, ignore_errors=True)
        os.makedirs(path)
        return path

    def run_client(self, *command, input_text=None):
        env = dict(os.environ, HOME=self.client_home, LC_ALL='C.UTF-8',
                   RCLONE_CONFIG=os.path.join(self.client_home, 'rclone.conf'))
        try:
            done = subprocess.run(command, env=env, input=input_text, capture_output=True,
                                  text=True, timeout=CLIENT_TIMEOUT)
        except subprocess.TimeoutExpired as e:
            raise AssertionError('%s did not finish within %d s: %s %s' %
                                 (command[0], CLIENT_TIMEOUT, e.stdout, e.stderr))
        if done.returncode != 0:
            raise AssertionError('%s failed (%d):\n%s\n%s' %
                                 (' '.join(command), done.returncode, done.stdout, done.stderr))
        return done.stdout

    def ftp(self):
        ftp = ftplib.FTP()
        ftp.connect('127.0.0.1', self.port, timeout=TIMEOUT)
        self.addCleanup(ftp.close)
        ftp.login(USER, PASSWORD)
        return ftp


# ---------------------------------------------------------------------------------------------
# rclone


class RcloneTest(ClientTestCase):
    def rclone(self, *args):
        obscured = self.run_client('rclone', 'obscure', PASSWORD).strip()
        return self.run_client(
            'rclone', *args, '--ftp-host', '127.0.0.1', '--ftp-port', str(self.port),
            '--ftp-user', USER, '--ftp-pass', obscured, '--contimeout', '10s', '--timeout', '30s',
            '--retries', '1', '--low-level-retries', '2')

    def test_copy_check_sync_delete_rmdirs(self):
        source = self.local('rclone-src')
        make_tree(source)
        remote = self.remote('rclone')

        self.rclone('copy', source, ':ftp:rclone')
        self.assertEqual(checksums(remote), tree_checksums())
        self.rclone('check', source, ':ftp:rclone')

        back = self.local('rclone-back')
        self.rclone('copy', ':ftp:rclone', back)
        self.assertEqual(checksums(back), tree_checksums())

        # sync over changed files: a changed size, a new file, a file gone.
        changed = dict(TREE)
        changed['a.txt'] = b'changed and longer\r\n'
        changed['sub dir/new file.txt'] = b'new\n'
        del changed['name with spaces.txt']
        os.remove(os.path.join(source, 'name with spaces.txt'))
        make_tree(source, changed)
        self.rclone('sync', source, ':ftp:rclone')
        self.assertEqual(checksums(remote), tree_checksums(changed))
        self.rclone('check', source, ':ftp:rclone')

        self.rclone('delete', ':ftp:rclone')
        self.assertEqual(checksums(remote), {})
        self.rclone('rmdirs', ':ftp:rclone')
        self.assertFalse(os.path.exists(remote))

    def test_modification_times_survive_both_ways(self):
        # rclone lists with MLSD, reads times with MLSD's modify fact and sets them with MFMT.
        source = self.local('rclone-times')
        make_tree(source)
        set_times(source)
        remote = self.remote('rclone-times')
        self.rclone('copy', source, ':ftp:rclone-times')
        self.assertEqual(file_times(remote), file_times(source))
        self.rclone('check', source, ':ftp:rclone-times')
        listing = self.rclone('lsl', ':ftp:rclone-times/sub dir')
        self.assertIn('2010-01-01 00:00:00', listing)
        back = self.local('rclone-times-back')
        self.rclone('copy', ':ftp:rclone-times', back)
        self.assertEqual(file_times(back), file_times(source))
        self.assertEqual(checksums(back), tree_checksums())


# ---------------------------------------------------------------------------------------------
# lftp


class LftpTest(ClientTestCase):
    def lftp(self, script):
        settings = ('set cmd:fail-exit yes; set ftp:ssl-allow no; set net:timeout 10; '
                    'set net:max-retries 2; set net:reconnect-interval-base 1; '
                    'set ftp:passive-mode on; ')
        return self.run_client('lftp', '-u', '%s,%s' % (USER, PASSWORD), '-p', str(self.port),
                               '-e', settings + script + '; bye', '127.0.0.1')

    def test_cd_three_levels_then_back(self):
        make_tree(self.remote('lftp-cd'))
        out = self.lftp('cd "lftp-cd/sub dir/deeper/deepest"; pwd; cd ../..; pwd; cd /; pwd; '
                        'cd "/home/user/lftp-cd/sub dir/deeper"; pwd; ls')
        base = 'ftp://%s:%s@127.0.0.1:%d/%%2F' % (USER, PASSWORD, self.port)
        lines = out.splitlines()
        self.assertEqual(lines[:4], [base + 'home/user/lftp-cd/sub%20dir/deeper/deepest',
                                     base + 'home/user/lftp-cd/sub%20dir', base,
                                     base + 'home/user/lftp-cd/sub%20dir/deeper'], out)
        self.assertEqual(sorted(line.split(None, 8)[8] for line in lines[4:]),
                         ['.', '..', 'c.txt', 'deepest'])

    def test_mirror_both_ways_and_rm_r(self):
        make_tree(self.remote('lftp-down'))
        back = self.local('lftp-back')
        self.lftp('mirror lftp-down "%s"' % back)
        self.assertEqual(checksums(back), tree_checksums())

        source = self.local('lftp-src')
        make_tree(source)
        remote = self.remote('lftp-up')
        shutil.rmtree(remote)
        self.lftp('mirror -R "%s" lftp-up' % source)
        self.assertEqual(checksums(remote), tree_checksums())

        self.lftp('rm -r lftp-up')
        self.assertFalse(os.path.exists(remote))

    def test_cls_and_mirror_use_mlsd_and_keep_times(self):
        remote = self.remote('lftp-mlsd')
        make_tree(remote)
        set_times(remote)
        out = self.lftp('set ftp:use-mlsd yes; debug -o "%s"; cls -l lftp-mlsd/; '
                        'mirror lftp-mlsd "%s"' % (os.path.join(self.dir, 'lftp-debug.txt'),
                                                  self.local('lftp-mlsd-back')))
        with open(os.path.join(self.dir, 'lftp-debug.txt'), errors='replace') as f:
            self.assertIn('MLSD', f.read())
        self.assertIn('name with spaces.txt', out)
        self.assertIn('2010', out)
        back = [os.path.join(self.dir, d) for d in os.listdir(self.dir)
                if d.startswith('lftp-mlsd-back-')][0]
        self.assertEqual(checksums(back), tree_checksums())
        self.assertEqual(file_times(back), file_times(remote))

    def test_put_resumes_a_partial_upload(self):
        remote = self.remote('lftp-resume')
        content = os.urandom(300000)
        source = os.path.join(self.local('lftp-put'), 'big.bin')
        with open(source, 'wb') as f:
            f.write(content)
        with open(os.path.join(remote, 'big.bin'), 'wb') as f:
            f.write(content[:123456])
        self.lftp('cd lftp-resume; put -c "%s"' % source)
        self.assertEqual(checksums(remote), {'big.bin': hashlib.sha256(content).hexdigest()})


# ---------------------------------------------------------------------------------------------
# ncftpget, wget, curl


class NcftpWgetCurlTest(ClientTestCase):
    def test_ncftpget_recursive_fetches_every_subfolder(self):
        make_tree(self.remote('ncftp'))
        target = self.local('ncftp-back')
        self.run_client('ncftpget', '-R', '-t', '20', '-u', USER, '-p', PASSWORD, '-P',
                        str(self.port), '127.0.0.1', target, '/home/user/ncftp')
        self.assertEqual(checksums(os.path.join(target, 'ncftp')), tree_checksums())

    def test_wget_recursive(self):
        make_tree(self.remote('wget'))
        target = self.local('wget-back')
        self.run_client('wget', '-r', '-nH', '-q', '--timeout=10', '--tries=1', '-P', target,
                        'ftp://%s:%s@127.0.0.1:%d/wget/' % (USER, PASSWORD, self.port))
        arrived = checksums(os.path.join(target, 'wget'))
        arrived.pop('.listing', None)
        for name in list(arrived):
            if name.endswith('/.listing'):
                del arrived[name]
        self.assertEqual(arrived, tree_checksums())

    def curl(self, *args):
        return self.run_client('curl', '--silent', '--show-error', '--max-time', '30',
                               '--user', '%s:%s' % (USER, PASSWORD), *args)

    def test_curl_resumes_an_upload(self):
        remote = self.remote('curl-resume')
        content = os.urandom(200000)
        source = os.path.join(self.local('curl-put'), 'big.bin')
        with open(source, 'wb') as f:
            f.write(content)
        with open(os.path.join(remote, 'big.bin'), 'wb') as f:
            f.write(content[:77777])
        self.curl('-C', '-', '-T', source,
                  'ftp://127.0.0.1:%d/curl-resume/big.bin' % self.port)
        self.assertEqual(checksums(remote), {'big.bin': hashlib.sha256(content).hexdigest()})

    def test_curl_uses_epsv_and_eprt(self):
        make_tree(self.remote('curl-ext'))
        url = 'ftp://127.0.0.1:%d/curl-ext/a.txt' % self.port
        env = dict(os.environ, HOME=self.client_home)
        cases = (((), 'EPSV', '229 Entering Extended Passive Mode'),
                 (('--ftp-port', '127.0.0.1'), 'EPRT |1|127.0.0.1|',
                  '200 EPRT command successful.'))
        for extra, command, reply in cases:
            done = subprocess.run(['curl', '--verbose', '--silent', '--show-error', '--max-time',
                                   '30', '--user', '%s:%s' % (USER, PASSWORD), *extra, url],
                                  env=env, capture_output=True, timeout=CLIENT_TIMEOUT)
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertEqual(done.stdout, TREE['a.txt'])
            self.assertIn(('> ' + command).encode(), done.stderr)
            self.assertIn(('< ' + reply).encode(), done.stderr)

    def test_curl_without_cwd_lists_and_fetches(self):
        make_tree(self.remote('curl-nocwd'))
        url = 'ftp://127.0.0.1:%d/curl-nocwd/sub%%20dir/' % self.port
        names = self.curl('--ftp-method', 'nocwd', '--list-only', url).splitlines()
        self.assertEqual(sorted(names), ['curl-nocwd/sub dir/b.bin', 'curl-nocwd/sub dir/deeper'])
        listing = self.curl('--ftp-method', 'nocwd', url + 'deeper/deepest/')
        self.assertTrue(listing.rstrip().endswith(' d.bin'), listing)
        target = os.path.join(self.local('curl-nocwd'), 'd.bin')
        self.curl('--ftp-method', 'nocwd', '-o', target, url + 'deeper/deepest/d.bin')
        with open(target, 'rb') as f:
            self.assertEqual(f.read(), TREE['sub dir/deeper/deepest/d.bin'])


# ---------------------------------------------------------------------------------------------
# ftplib and the replies that differ from the classic ones


class FtplibTest(ClientTestCase):
    def test_mkd_returns_the_path_that_pwd_and_cwd_accept(self):
        self.remote('ftplib-mkd')
        ftp = self.ftp()
        self.assertEqual(ftp.pwd(), '/home/user')
        self.assertEqual(ftp.mkd('ftplib-mkd/new dir'), '/home/user/ftplib-mkd/new dir')
        self.assertTrue(ftp.cwd('/home/user/ftplib-mkd/new dir').startswith('250 '))
        self.assertEqual(ftp.pwd(), '/home/user/ftplib-mkd/new dir')
        self.assertEqual(ftp.mkd('x"y'), '/home/user/ftplib-mkd/new dir/x"y')
        self.assertTrue(os.path.isdir(os.path.join(self.home, 'ftplib-mkd', 'new dir', 'x"y')))

    def test_abort_of_a_download(self):
        remote = self.remote('ftplib-abort')
        with open(os.path.join(remote, 'big.bin'), 'wb') as f:
            f.write(os.urandom(32 * 1024 * 1024))
        ftp = self.ftp()
        ftp.voidcmd('TYPE I')
        conn = ftp.transfercmd('RETR ftplib-abort/big.bin')
        self.assertTrue(conn.recv(65536))
        self.assertEqual(ftp.abort(), '426 Connection closed; transfer aborted.')
        conn.close()
        self.assertEqual(ftp.voidresp(), '226 ABOR command successful.')
        self.assertEqual(ftp.sendcmd('NOOP'), '200 Noop command successful.')
        # With nothing to abort the reply is 225.
        self.assertEqual(ftp.abort(), '225 ABOR command successful.')

    def test_resumed_upload_and_download(self):
        remote = self.remote('ftplib-rest')
        content = os.urandom(100000)
        with open(os.path.join(remote, 'f.bin'), 'wb') as f:
            f.write(content[:40000])
        ftp = self.ftp()
        ftp.cwd('ftplib-rest')
        ftp.storbinary('STOR f.bin', io.BytesIO(content[40000:]), rest=40000)
        self.assertEqual(checksums(remote), {'f.bin': hashlib.sha256(content).hexdigest()})
        data = io.BytesIO()
        ftp.retrbinary('RETR f.bin', data.write, rest=99000)
        self.assertEqual(data.getvalue(), content[99000:])

    def test_restart_offset_applies_to_the_next_transfer_command_only(self):
        remote = self.remote('ftplib-stale')
        ftp = self.ftp()
        ftp.cwd('ftplib-stale')
        self.assertEqual(ftp.sendcmd('REST 0'),
                         '350 REST supported. Ready to resume at byte offset 0.')
        ftp.sendcmd('REST 100')
        with self.assertRaises(ftplib.error_perm):
            ftp.retrbinary('RETR missing.bin', lambda _: None)  # refused: takes the offset
        ftp.storbinary('STOR new.bin', io.BytesIO(b'whole file'))
        with open(os.path.join(remote, 'new.bin'), 'rb') as f:
            self.assertEqual(f.read(), b'whole file')

    def test_listing_a_named_directory_and_refusal_codes(self):
        make_tree(self.remote('ftplib-list'))
        ftp = self.ftp()
        # The contents of the directory, each named so that it can be fetched as given.
        self.assertEqual(sorted(ftp.nlst('ftplib-list/sub dir')),
                         ['ftplib-list/sub dir/b.bin', 'ftplib-list/sub dir/deeper'])
        lines = []
        ftp.retrlines('LIST -la ftplib-list/sub dir', lines.append)
        self.assertEqual(sorted(line.split(None, 8)[8] for line in lines),
                         ['.', '..', 'b.bin', 'deeper'])
        with self.assertRaises(ftplib.error_perm) as refused:
            ftp.sendcmd('DELE /outside.txt')
        self.assertEqual(str(refused.exception), '550 Cannot DELE. No permission')
        # Directories above the home may be passed through, others not entered.
        os.makedirs(os.path.join(self.root, 'other'), exist_ok=True)
        self.assertTrue(ftp.cwd('/').startswith('250 '))
        with self.assertRaises(ftplib.error_perm) as refused:
            ftp.cwd('other')
        self.assertEqual(str(refused.exception), '550 CWD failed. No permission')
        self.assertEqual(ftp.nlst(), [])  # no L right: nothing is listed
        self.assertEqual(ftp.pwd(), '/')

    def test_write_without_delete_creates_new_files_only(self):
        ftp = ftplib.FTP()
        ftp.connect('127.0.0.1', self.port, timeout=TIMEOUT)
        self.addCleanup(ftp.close)
        ftp.login('drop', PASSWORD)
        ftp.storbinary('STOR once.txt', io.BytesIO(b'first'))
        for command in ('STOR', 'APPE'):
            with self.assertRaises(ftplib.error_perm) as refused:
                ftp.storbinary(command + ' once.txt', io.BytesIO(b'second'))
            self.assertEqual(str(refused.exception), '550 Cannot %s. No permission' % command)
        with open(os.path.join(self.root, 'home', 'drop', 'once.txt'), 'rb') as f:
            self.assertEqual(f.read(), b'first')

    def test_mlsd_facts_and_perm_follow_the_rights(self):
        remote = self.remote('ftplib-mlsd')
        make_tree(remote)
        set_times(remote)
        ftp = self.ftp()
        facts = dict(ftp.mlsd('ftplib-mlsd'))
        self.assertEqual(sorted(facts), sorted(['a.txt', 'name with spaces.txt', 'sub dir',
                                                'ünïcödé']))
        self.assertEqual(facts['a.txt']['type'], 'file')
        self.assertEqual(facts['a.txt']['size'], str(len(TREE['a.txt'])))
        self.assertEqual(facts['a.txt']['modify'], '20100101000000')
        self.assertEqual(facts['a.txt']['perm'], 'rwadf')
        self.assertEqual(facts['sub dir']['type'], 'dir')
        self.assertEqual(facts['sub dir']['perm'], 'dfelcmp')
        self.assertEqual(ftp.sendcmd('MDTM ftplib-mlsd/a.txt'), '213 20100101000000')
        # W without D: new files only, so no "w", "a", "d" or "f" on an existing file.
        drop = ftplib.FTP()
        drop.connect('127.0.0.1', self.port, timeout=TIMEOUT)
        self.addCleanup(drop.close)
        drop.login('drop', PASSWORD)
        drop.storbinary('STOR kept.txt', io.BytesIO(b'kept'))
        facts = dict(drop.mlsd())
        self.assertEqual(facts['kept.txt']['perm'], 'r')
        with self.assertRaises(ftplib.error_perm):
            drop.sendcmd('MFMT 20000101000000 kept.txt')

    def test_utf8_names_up_listed_and_down(self):
        self.remote('ftplib-utf8')
        ftp = self.ftp()
        self.assertIn(' UTF8', ftp.sendcmd('FEAT'))
        self.assertTrue(ftp.sendcmd('OPTS UTF8 ON').startswith('200 '))
        ftp.cwd('ftplib-utf8')
        ftp.mkd('Grüße')
        content = 'こんにちは\n'.encode()
        ftp.storbinary('STOR Grüße/日本.txt', io.BytesIO(content))
        with open(os.path.join(self.home, 'ftplib-utf8', 'Grüße', '日本.txt'), 'rb') as f:
            self.assertEqual(f.read(), content)
        self.assertEqual([name for name, _ in ftp.mlsd('Grüße')], ['日本.txt'])
        self.assertEqual(ftp.nlst('Grüße'), ['Grüße/日本.txt'])
        data = io.BytesIO()
        ftp.retrbinary('RETR Grüße/日本.txt', data.write)
        self.assertEqual(data.getvalue(), content)

    def test_wrong_password_is_refused(self):
        ftp = ftplib.FTP()
        ftp.connect('127.0.0.1', self.port, timeout=TIMEOUT)
        self.addCleanup(ftp.close)
        with self.assertRaises(ftplib.error_perm) as refused:
            ftp.login(USER, 'stale')  # the clear key beside the hash is not read
        self.assertEqual(str(refused.exception), '530 Login or Password incorrect.')


def ipv6_loopback_works():
    """Whether ::1 can be bound here; the IPv6 tests are skipped when it cannot."""
    try:
        with socket.socket(socket.AF_INET6, socket.SOCK_STREAM) as probe:
            probe.bind(('::1', 0))
        return True
    except OSError:
        return False


# A tree with the UTF-8 names of the IPv6 tests.
UTF8_TREE = {'Grüße/日本.txt': 'こんにちは\n'.encode(), 'a.txt': b'plain\n'}


@unittest.skipUnless(ipv6_loopback_works(), '::1 cannot be bound here')
class IPv6Test(ClientTestCase):
    """The server's one dual-stack socket: the clients over [::1], with EPSV and EPRT |2|."""

    def curl(self, *args):
        return subprocess.run(['curl', '--verbose', '--silent', '--show-error', '--max-time', '30',
                               '--globoff', '--user', '%s:%s' % (USER, PASSWORD), *args],
                              env=dict(os.environ, HOME=self.client_home), capture_output=True,
                              timeout=CLIENT_TIMEOUT)

    def test_curl_over_ipv6_with_epsv_and_eprt(self):
        make_tree(self.remote('curl6'), UTF8_TREE)
        base = 'ftp://[::1]:%d/curl6/' % self.port
        listed = self.curl('--list-only', base + 'Gr%C3%BC%C3%9Fe/')
        self.assertEqual(listed.returncode, 0, listed.stderr)
        self.assertIn('日本.txt'.encode(), listed.stdout.split())
        self.assertIn(b'> EPSV', listed.stderr)
        self.assertIn(b'< 229 Entering Extended Passive Mode', listed.stderr)
        self.assertNotIn(b'> PASV', listed.stderr)
        # Active mode: EPRT with the client's own IPv6 address.
        got = self.curl('--ftp-port', '::1', base + 'Gr%C3%BC%C3%9Fe/%E6%97%A5%E6%9C%AC.txt')
        self.assertEqual(got.returncode, 0, got.stderr)
        self.assertEqual(got.stdout, UTF8_TREE['Grüße/日本.txt'])
        self.assertIn(b'> EPRT |2|::1|', got.stderr)
        self.assertIn(b'< 200 EPRT command successful.', got.stderr)
        # An upload over IPv6 arrives whole under its UTF-8 name.
        source = os.path.join(self.local('curl6-up'), 'Übergröße.bin')
        content = os.urandom(150000)
        with open(source, 'wb') as f:
            f.write(content)
        put = self.curl('-T', source, base + '%C3%9Cbergr%C3%B6%C3%9Fe.bin')
        self.assertEqual(put.returncode, 0, put.stderr)
        with open(os.path.join(self.home, 'curl6', 'Übergröße.bin'), 'rb') as f:
            self.assertEqual(f.read(), content)

    def test_ftplib_over_ipv6_uses_epsv_and_mlsd(self):
        make_tree(self.remote('ftplib6'), UTF8_TREE)
        ftp = ftplib.FTP()
        ftp.connect('::1', self.port, timeout=TIMEOUT)
        self.addCleanup(ftp.close)
        ftp.login(USER, PASSWORD)
        self.assertIn('Connected to ::1', ftp.sendcmd('STAT'))
        with self.assertRaises(ftplib.error_perm) as refused:
            ftp.sendcmd('PASV')
        self.assertEqual(str(refused.exception),
                         '522 PASV is not possible on an IPv6 connection; use EPSV.')
        ftp.cwd('ftplib6')
        self.assertEqual(sorted((name, facts['type']) for name, facts in ftp.mlsd()),
                         [('Grüße', 'dir'), ('a.txt', 'file')])
        data = io.BytesIO()
        ftp.retrbinary('RETR Grüße/日本.txt', data.write)  # ftplib uses EPSV over IPv6
        self.assertEqual(data.getvalue(), UTF8_TREE['Grüße/日本.txt'])
        # The IPv4 client beside it is still shown dotted in the server's log lines.
        ipv4 = self.ftp()
        ipv4.voidcmd('NOOP')
        self.assertTrue(self.ftpd.wait_for_output('user (::1) logged in'), self.ftpd.text())
        self.assertTrue(self.ftpd.wait_for_output('user (127.0.0.1) logged in'), self.ftpd.text())
        self.assertNotIn('::ffff:', self.ftpd.text())

    def test_lftp_mirror_over_ipv6_keeps_names_and_times(self):
        remote = self.remote('lftp6')
        make_tree(remote, UTF8_TREE)
        set_times(remote)
        back = self.local('lftp6-back')
        settings = ('set cmd:fail-exit yes; set ftp:ssl-allow no; set net:timeout 10; '
                    'set net:max-retries 2; set ftp:passive-mode on; set ftp:use-mlsd yes; ')
        self.run_client('lftp', '-u', '%s,%s' % (USER, PASSWORD), '-p', str(self.port), '-e',
                        settings + 'mirror lftp6 "%s"; bye' % back, '[::1]')
        self.assertEqual(checksums(back), tree_checksums(UTF8_TREE))
        self.assertEqual(file_times(back), file_times(remote))

    def test_rclone_copy_and_check_over_ipv6(self):
        source = self.local('rclone6-src')
        make_tree(source, UTF8_TREE)
        set_times(source)
        remote = self.remote('rclone6')
        obscured = self.run_client('rclone', 'obscure', PASSWORD).strip()
        # This rclone joins host and port without brackets: it is given them.
        options = ('--ftp-host', '[::1]', '--ftp-port', str(self.port), '--ftp-user', USER,
                   '--ftp-pass', obscured, '--contimeout', '10s', '--timeout', '30s',
                   '--retries', '1', '--low-level-retries', '2')
        self.run_client('rclone', 'copy', source, ':ftp:rclone6', *options)
        self.assertEqual(checksums(remote), tree_checksums(UTF8_TREE))
        self.assertEqual(file_times(remote), file_times(source))
        self.run_client('rclone', 'check', source, ':ftp:rclone6', *options)
        back = self.local('rclone6-back')
        self.run_client('rclone', 'copy', ':ftp:rclone6', back, *options)
        self.assertEqual(checksums(back), tree_checksums(UTF8_TREE))

    def test_wget_recursive_over_ipv6(self):
        make_tree(self.remote('wget6'), UTF8_TREE)
        target = self.local('wget6-back')
        self.run_client('wget', '-r', '-nH', '-q', '--timeout=10', '--tries=1',
                        '--restrict-file-names=nocontrol', '-P', target,
                        'ftp://%s:%s@[::1]:%d/wget6/' % (USER, PASSWORD, self.port))
        arrived = {name: digest for name, digest in checksums(os.path.join(target, 'wget6')).items()
                   if not name.endswith('.listing')}
        self.assertEqual(arrived, tree_checksums(UTF8_TREE))


PASSIVE_PORT = free_port()


class PassiveSettingsTest(ClientTestCase):
    # The lines after ServerFTP's open section Passive: a range of one port.
    SETTINGS = ['[Passive]', 'ports=%d-%d' % (PASSIVE_PORT, PASSIVE_PORT), 'address=']

    def test_passive_connections_use_the_range(self):
        make_tree(self.remote('passive'))
        ftp = self.ftp()
        self.assertEqual(ftp.makepasv()[1], PASSIVE_PORT)
        data = io.BytesIO()
        ftp.retrbinary('RETR passive/a.txt', data.write)
        self.assertEqual(data.getvalue(), TREE['a.txt'])
        # curl (EPSV) through the same single port, after ftplib has let it go.
        ftp.quit()
        out = self.run_client('curl', '--silent', '--show-error', '--max-time', '30', '--user',
                              '%s:%s' % (USER, PASSWORD),
                              'ftp://127.0.0.1:%d/passive/a.txt' % self.port)
        self.assertEqual(out.strip(), 'first file')


class ClassicExtensionsTest(ClientTestCase):
    SETTINGS = ['classic=1']

    def test_every_added_keyword_is_unknown(self):
        ftp = self.ftp()
        for keyword in ('FEAT', 'OPTS', 'MDTM', 'MFMT', 'MLSD', 'MLST', 'STAT', 'HELP', 'ALLO',
                        'MODE', 'STRU', 'XMKD', 'XRMD', 'XCWD', 'XCUP', 'SITE'):
            with self.assertRaises(ftplib.error_perm) as refused:
                ftp.sendcmd(keyword + ' x')
            self.assertEqual(str(refused.exception),
                             "500 '%s': command not understood." % keyword)

    @unittest.skipUnless(ipv6_loopback_works(), '::1 cannot be bound here')
    def test_listens_on_ipv4_only(self):
        self.ftp().quit()
        with self.assertRaises(ConnectionRefusedError):
            socket.create_connection(('::1', self.port), timeout=TIMEOUT).close()


# ---------------------------------------------------------------------------------------------
# ftplib, tnftp and inetutils ftp: aborts, NLST, relative paths, listings, SITE


def read_reply(ftp):
    """The next reply, whatever its code (ftplib's getresp raises on 4xx and 5xx)."""
    return ftp.getmultiline()


class RoundTwoTest(ClientTestCase):
    SERVER_TZ = 'JST-9'  # nine hours east of the clients' UTC

    def transfer_started(self, ftp, name):
        conn = ftp.transfercmd('RETR ' + name)
        self.assertTrue(conn.recv(65536))
        return conn

    def test_abort_leaves_one_final_reply_per_command(self):
        remote = self.remote('abort2')
        with open(os.path.join(remote, 'big.bin'), 'wb') as f:
            f.write(os.urandom(32 * 1024 * 1024))
        with open(os.path.join(remote, 'small.txt'), 'wb') as f:
            f.write(b'small file\n')
        ftp = self.ftp()
        ftp.cwd('abort2')
        ftp.voidcmd('TYPE I')
        # ABOR while the data connection is open: the download's 426, then ABOR's own reply.
        conn = self.transfer_started(ftp, 'big.bin')
        self.assertEqual(ftp.abort(), '426 Connection closed; transfer aborted.')
        conn.close()
        # ftplib's abort() reads the first of the two replies; ABOR's own follows it, and then
        # nothing more: the next download comes out right.
        self.assertEqual(read_reply(ftp), '226 ABOR command successful.')
        data = io.BytesIO()
        ftp.retrbinary('RETR small.txt', data.write)
        self.assertEqual(data.getvalue(), b'small file\n')
        self.assertEqual(ftp.sendcmd('NOOP'), '200 Noop command successful.')
        # The client closes (resets) the data connection first, then sends ABOR: whichever the
        # server sees first, one 426 in words for the download and one 2xx for ABOR.
        for _ in range(3):
            conn = self.transfer_started(ftp, 'big.bin')
            conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b'\1\0\0\0\0\0\0\0')
            conn.close()
            self.assertEqual(ftp.abort(), '426 Connection closed; transfer aborted.')
            self.assertIn(read_reply(ftp), ('225 ABOR command successful.',
                                            '226 ABOR command successful.'))
            self.assertEqual(ftp.sendcmd('NOOP'), '200 Noop command successful.')

    def test_nlst_names_that_can_be_fetched_and_what_matches_nothing(self):
        make_tree(self.remote('nlst2'))
        ftp = self.ftp()
        names = ftp.nlst('nlst2/sub dir')
        self.assertEqual(sorted(names), ['nlst2/sub dir/b.bin', 'nlst2/sub dir/deeper'])
        data = io.BytesIO()
        ftp.retrbinary('RETR ' + [n for n in names if n.endswith('b.bin')][0], data.write)
        self.assertEqual(data.getvalue(), TREE['sub dir/b.bin'])
        self.assertEqual(ftp.nlst('nlst2/*.txt'), ['nlst2/a.txt', 'nlst2/name with spaces.txt'])
        self.assertEqual(ftp.nlst('nlst2/*.nomatch'), [])
        with self.assertRaises(ftplib.error_perm) as refused:
            ftp.nlst('nlst2/nosuch')
        self.assertEqual(str(refused.exception), '550 No such file or directory')

    def command_line_ftp(self, program, commands):
        """tnftp or inetutils ftp, scripted through standard input (no auto-login, passive)."""
        script = 'open 127.0.0.1 %d\nuser %s %s\npassive\n%s\nquit\n' % (
            self.port, USER, PASSWORD, commands)
        if program == 'tnftp':
            return self.run_client('tnftp', '-n', '-v', input_text=script)
        return self.run_client('inetutils-ftp', '-n', '-v', '-p', input_text=script)

    def test_tnftp_and_inetutils_change_to_a_sibling_with_dot_dot(self):
        remote = self.remote('dots')
        os.makedirs(os.path.join(remote, 'one'))
        os.makedirs(os.path.join(remote, 'sibling'))
        with open(os.path.join(remote, 'sibling', 'f.txt'), 'wb') as f:
            f.write(b'sibling file\n')
        for program in ('tnftp', 'inetutils-ftp'):
            target = os.path.join(self.local(program), 'f.txt')
            out = self.command_line_ftp(
                program, 'cd dots/one\ncd ../sibling\npwd\nget f.txt %s\ncd ./../../../../..\n'
                'pwd' % target)
            self.assertIn('"/home/user/dots/sibling"', out)
            self.assertIn('550 CWD failed. Path leads above the root directory', out)
            self.assertNotIn('501', out)
            with open(target, 'rb') as f:
                self.assertEqual(f.read(), b'sibling file\n')

    def test_list_shows_utc_times_and_the_modes_on_disk(self):
        remote = self.remote('list2')
        make_tree(remote)
        when = 1262349000  # 2010-01-01 12:30 UTC, 21:30 on the server's clock
        os.utime(os.path.join(remote, 'a.txt'), (when, when))
        os.chmod(os.path.join(remote, 'a.txt'), 0o640)
        os.symlink('gone.txt', os.path.join(remote, 'dangling'))
        ftp = self.ftp()
        lines = {}
        ftp.retrlines('LIST list2', lambda line: lines.setdefault(line.split(None, 8)[8], line))
        self.assertTrue(lines['a.txt'].startswith('-rw-r----- '), lines['a.txt'])
        self.assertIn(' Jan 01  2010 ', lines['a.txt'])
        self.assertTrue(lines['dangling -> gone.txt'].startswith('lrwxrwxrwx '))
        self.assertTrue(lines['sub dir'].startswith('d'))
        # With the year shown, the time is not: compare the hour through an entry of this year.
        now = int(time.time()) // 3600 * 3600
        os.utime(os.path.join(remote, 'a.txt'), (now, now))
        lines.clear()
        ftp.retrlines('LIST list2/a.txt', lambda line: lines.setdefault('a', line))
        self.assertIn(time.strftime(' %H:00 ', time.gmtime(now)),
                      lines['a'])

    def test_lftp_reverse_mirror_with_site_chmod_and_site_help(self):
        source = self.local('site-src')
        make_tree(source)
        remote = self.remote('site-up')
        shutil.rmtree(remote)
        out = LftpTest.lftp(self, 'mirror -R --verbose "%s" site-up' % source)
        self.assertEqual(checksums(remote), tree_checksums())
        self.assertNotIn('SITE', out)
        ftp = self.ftp()
        self.assertEqual(ftp.sendcmd('SITE CHMOD 644 site-up/a.txt'), '200 SITE CHMOD command ok.')
        self.assertIn('CHMOD', ftp.sendcmd('SITE HELP'))
        os.makedirs(os.path.join(self.root, 'other'), exist_ok=True)
        with open(os.path.join(self.root, 'other', 'x.txt'), 'wb') as f:
            f.write(b'x')
        with self.assertRaises(ftplib.error_perm) as refused:
            ftp.sendcmd('SITE CHMOD 777 /other/x.txt')
        self.assertEqual(str(refused.exception), '550 No permission.')

    def test_smaller_replies(self):
        remote = self.remote('small2')
        ftp = self.ftp()
        ftp.cwd('small2')
        # A restart offset before the upload of a new file: stored from that offset.
        self.assertTrue(ftp.sendcmd('REST 100').startswith('350 '))
        ftp.pwd()
        ftp.storbinary('STOR new.bin', io.BytesIO(b'tail'))
        with open(os.path.join(remote, 'new.bin'), 'rb') as f:
            self.assertEqual(f.read(), b'\0' * 100 + b'tail')
        # Paths in replies as PWD shows them.
        self.assertEqual(ftp.sendcmd('RNFR new.bin'), '350 File exists, ready for destination name.')
        self.assertEqual(ftp.sendcmd('RNTO moved.bin'), "250 File '/home/user/small2/new.bin' "
                         "renamed to '/home/user/small2/moved.bin'.")
        self.assertEqual(ftp.delete('moved.bin'), "250 File/Dir '/home/user/small2/moved.bin' deleted.")
        ftp.mkd('d')
        self.assertEqual(ftp.rmd('d'), "250 '/home/user/small2/d': directory removed.")
        # A second USER in a session that is logged in names the user.
        self.assertEqual(ftp.sendcmd('USER ' + USER), '331 Password required for %s.' % USER)
        self.assertTrue(ftp.sendcmd('PASS ' + PASSWORD).startswith('230 '))


class ClassicRoundTwoTest(ClientTestCase):
    SETTINGS = ['classic=1']
    SERVER_TZ = 'JST-9'

    def test_abort_leaves_one_final_reply_per_command(self):
        remote = self.remote('abort-classic')
        with open(os.path.join(remote, 'big.bin'), 'wb') as f:
            f.write(os.urandom(32 * 1024 * 1024))
        ftp = self.ftp()
        ftp.voidcmd('TYPE I')
        for reset_first in (False, True):
            conn = ftp.transfercmd('RETR abort-classic/big.bin')
            self.assertTrue(conn.recv(65536))
            if reset_first:
                conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b'\1\0\0\0\0\0\0\0')
                conn.close()
            ftp.sock.sendall(b'ABOR\r\n')
            self.assertTrue(read_reply(ftp).startswith('501 Cannot RETR. '))
            self.assertEqual(read_reply(ftp), '225 ABOR command successful.')
            conn.close()
            self.assertEqual(ftp.sendcmd('NOOP'), '200 Noop command successful.')

    def test_dot_components_refused_and_listing_in_the_original_form(self):
        remote = self.remote('classic-list')
        os.makedirs(os.path.join(remote, 'one'))
        with open(os.path.join(remote, 'a.txt'), 'wb') as f:
            f.write(b'a')
        os.chmod(os.path.join(remote, 'a.txt'), 0o640)
        ftp = self.ftp()
        ftp.cwd('classic-list/one')
        with self.assertRaises(ftplib.error_perm) as refused:
            ftp.cwd('../one')
        self.assertEqual(str(refused.exception),
                         '501 CWD failed. Cannot accept relative path using dot notation')
        ftp.cwd('..')
        lines = []
        ftp.retrlines('LIST a.txt', lines.append)
        self.assertTrue(lines[0].startswith('-rw-rw-rw-   1 ftp      ftp  '), lines)
        self.assertEqual(sorted(ftp.nlst('*.*')), ['.', '..', 'a.txt', 'one'])
        self.assertEqual(ftp.nlst('nosuch'), [r'C:\home\user\classic-list\nosuch not found'])


def main():
    global FTPD_BINARY
    FTPD_BINARY, argv = binary_option('--ftpd-binary')
    unittest.main(argv=argv, verbosity=2)


if __name__ == '__main__':
    main()

#!/usr/bin/env python3
"""End-to-end tests of FTPS in orvane-ftpd: explicit TLS (AUTH TLS, PBSZ, PROT) and implicit TLS,
driven by curl, lftp and Python's ftplib.FTP_TLS, with the certificate the server makes for itself
on first start (the clients do not verify it). Files go up and down under PROT P and are compared
by SHA-256. Broken TLS peers (garbage, a handshake cut short, no close_notify) must leave the
server serving and holding no more descriptors than before.

    python3 test_tls.py --ftpd-binary PATH [unittest arguments, e.g. a class name]
"""
import ftplib
import hashlib
import os
import re
import socket
import ssl
import stat
import subprocess
import tempfile
import time
import unittest

from e2e_support import Ftpd, binary_option, free_port

FTPD_BINARY = None  # set from --ftpd-binary
TIMEOUT = 10  # seconds, for ftplib operations
CLIENT_TIMEOUT = 90  # seconds, for one run of an external client
USER = 'user'
PASSWORD = 'pw'
CONTENT = os.urandom(3 * 1024 * 1024 + 11)  # more than any socket buffer holds


def write_crlf(path, lines):
    with open(path, 'wb') as f:
        f.write(''.join(line + '\r\n' for line in lines).encode())


def sha(data):
    return hashlib.sha256(data).hexdigest()


def client_context():
    context = ssl.create_default_context()
    context.check_hostname = False
    context.verify_mode = ssl.CERT_NONE
    return context


class ReusingFTP_TLS(ftplib.FTP_TLS):
    """FTP_TLS whose data connections resume the control connection's TLS session, as curl and
    lftp do (ftplib itself does not)."""

    def ntransfercmd(self, cmd, rest=None):
        conn, size = ftplib.FTP.ntransfercmd(self, cmd, rest)
        if self._prot_p:
            conn = self.context.wrap_socket(conn, server_hostname=self.host,
                                            session=self.sock.session)
        return conn, size


class TlsTestCase(unittest.TestCase):
    TLS = ['enabled=1']  # the lines of section TLS
    SETTINGS = []  # further lines of section ServerFTP

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.addClassCleanup(cls.tmp.cleanup)
        cls.dir = cls.tmp.name
        cls.root = os.path.join(cls.dir, 'root')
        cls.home = os.path.join(cls.root, 'home', 'user')
        os.makedirs(cls.home)
        cls.implicit_port = free_port()
        write_crlf(os.path.join(cls.dir, 'FTPsrv.ini'),
                   ['[Drives]', 'C=' + cls.root, '[ServerFTP]', 'maxusr=0',
                    'maxperip=0'] + cls.SETTINGS +
                   ['[TLS]', 'implicitport=%d' % cls.implicit_port] + cls.TLS)
        write_crlf(os.path.join(cls.dir, 'Accounts.ini'), [
            '[user]', 'Login=user', 'Pass=' + PASSWORD, 'EnableLogin=1', 'EnablePass=1',
            'Enabled=1', 'TO=0', r'Dir0=C:\home\user', 'Attr0=RWDMLS',
            '[secure]', 'Login=secure', 'Pass=' + PASSWORD, 'EnableLogin=1', 'EnablePass=1',
            'Enabled=1', 'TO=0', 'RequireTLS=1', r'Dir0=C:\home\user', 'Attr0=RWDMLS',
            # Reached by its Login, not by its section name.
            '[tlsalias]', 'Login=robert', 'Pass=' + PASSWORD, 'EnablePass=1', 'TO=0',
            'RequireTLS=1', r'Dir0=C:\home\user', 'Attr0=RL'])
        with open(os.path.join(cls.home, 'big.bin'), 'wb') as f:
            f.write(CONTENT)
        cls.client_home = os.path.join(cls.dir, 'client-home')
        os.mkdir(cls.client_home)
        cls.port = free_port()
        cls.ftpd = Ftpd(FTPD_BINARY, cls.dir, cls.port)
        cls.addClassCleanup(cls.ftpd.stop_cleanly)
        if not cls.ftpd.wait_for_output('FTP Server On-line on port %d ...' % cls.port):
            raise AssertionError('orvane-ftpd did not start: ' + cls.ftpd.text() +
                                 cls.ftpd.error_output())

    def run_client(self, *command, check=True):
        env = dict(os.environ, HOME=self.client_home, LC_ALL='C.UTF-8')
        try:
            done = subprocess.run(command, env=env, capture_output=True, timeout=CLIENT_TIMEOUT)
        except subprocess.TimeoutExpired as e:
            raise AssertionError('%s did not finish within %d s: %s %s' %
                                 (command[0], CLIENT_TIMEOUT, e.stdout, e.stderr))
        if check and done.returncode != 0:
            raise AssertionError('%s failed (%d):\n%s\n%s' %
                                 (' '.join(command), done.returncode, done.stdout, done.stderr))
        return done

    def tls(self, cls=ftplib.FTP_TLS, user=USER, port=None):
        ftp = cls(context=client_context(), timeout=TIMEOUT)
        ftp.connect('127.0.0.1', port or self.port)
        self.addCleanup(ftp.close)
        ftp.login(user, PASSWORD)
        return ftp

    def plain(self):
        ftp = ftplib.FTP()
        ftp.connect('127.0.0.1', self.port, timeout=TIMEOUT)
        self.addCleanup(ftp.close)
        return ftp

    def descriptors(self):
        return len(os.listdir('/proc/%d/fd' % self.ftpd.process.pid))

    def wait_for_descriptors(self, count, timeout=5.0):
        deadline = time.monotonic() + timeout
        while self.descriptors() > count and time.monotonic() < deadline:
            time.sleep(0.05)
        return self.descriptors()


class TlsClientsTest(TlsTestCase):
    TLS = ['enabled=1', 'implicit=1']

    def test_certificate_made_on_first_start_with_private_key(self):
        cert = os.path.join(self.dir, 'FTPsrv-cert.pem')
        key = os.path.join(self.dir, 'FTPsrv-key.pem')
        self.assertEqual(stat.S_IMODE(os.stat(key).st_mode), 0o600)
        with open(cert) as f:
            der = ssl.PEM_cert_to_DER_cert(f.read())
        fingerprint = ':'.join('%02X' % b for b in hashlib.sha256(der).digest())
        self.assertIn('SHA-256 fingerprint ' + fingerprint, self.ftpd.text())
        # The server presents that certificate.
        ftp = self.tls()
        self.assertEqual(ftp.sock.getpeercert(binary_form=True), der)

    def test_feat_names_tls_and_ccc_is_refused(self):
        ftp = self.plain()
        features = ftp.sendcmd('FEAT')
        for line in (' AUTH TLS', ' PBSZ', ' PROT'):
            self.assertIn(line + '\n', features + '\n')
        with self.assertRaises(ftplib.error_perm) as refused:
            ftp.sendcmd('PROT P')
        self.assertTrue(str(refused.exception).startswith('503'))
        self.assertTrue(ftp.sendcmd('AUTH SSL').startswith('234'))
        ftp.sock = client_context().wrap_socket(ftp.sock)
        ftp.file = ftp.sock.makefile('r', encoding='latin-1')
        ftp.login(USER, PASSWORD)
        self.assertEqual(ftp.sendcmd('PBSZ 0'), '200 PBSZ=0')
        with self.assertRaises(ftplib.error_perm) as refused:
            ftp.sendcmd('CCC')
        self.assertTrue(str(refused.exception).startswith('534'))
        with self.assertRaises(ftplib.error_perm) as refused:
            ftp.sendcmd('AUTH TLS')
        self.assertTrue(str(refused.exception).startswith('503'))
        self.assertIn('TLSv1.', self.ftpd.text())

    def test_active_data_connections_never_go_to_the_implicit_port(self):
        ftp = self.tls()
        p = self.implicit_port
        for command, refusal in (('PORT 127,0,0,1,%d,%d' % (p // 256, p % 256), '501 Invalid'),
                                 ('EPRT |1|127.0.0.1|%d|' % p, "501 EPRT refused: the port is")):
            with self.assertRaises(ftplib.error_perm) as refused:
                ftp.sendcmd(command)
            self.assertTrue(str(refused.exception).startswith(refusal), refused.exception)

    def test_commands_sent_behind_auth_in_clear_are_dropped(self):
        with socket.create_connection(('127.0.0.1', self.port), timeout=TIMEOUT) as s:
            reader = s.makefile('rb')
            self.assertTrue(reader.readline().startswith(b'220'))
            s.sendall(b'AUTH TLS\r\nUSER user\r\nPASS pw\r\n')
            self.assertTrue(reader.readline().startswith(b'234'))
            secure = client_context().wrap_socket(s)
            secure.sendall(b'PWD\r\n')
            self.assertTrue(secure.recv(1024).startswith(b'530'))  # not logged in
            secure.close()

    def test_ftplib_prot_p_up_down_and_list(self):
        ftp = self.tls()
        ftp.prot_p()
        got = bytearray()
        ftp.retrbinary('RETR big.bin', got.extend)
        self.assertEqual(sha(got), sha(CONTENT))
        ftp.storbinary('STOR ftplib-up.bin', __import__('io').BytesIO(CONTENT))
        with open(os.path.join(self.home, 'ftplib-up.bin'), 'rb') as f:
            self.assertEqual(sha(f.read()), sha(CONTENT))
        self.assertIn('big.bin', ftp.nlst())
        self.assertIn('big.bin', [name for name, _ in ftp.mlsd()])
        # PROT C: the next data connection is in clear again.
        ftp.prot_c()
        got = bytearray()
        ftp.retrbinary('RETR big.bin', got.extend)
        self.assertEqual(sha(got), sha(CONTENT))

    def test_curl_explicit_and_implicit(self):
        local = os.path.join(self.dir, 'curl-up.bin')
        with open(local, 'wb') as f:
            f.write(CONTENT)
        base = ['curl', '-sS', '-k', '--max-time', '60', '-u', '%s:%s' % (USER, PASSWORD)]
        explicit = 'ftp://127.0.0.1:%d/' % self.port
        implicit = 'ftps://127.0.0.1:%d/' % self.implicit_port
        for url, extra in ((explicit, ['--ssl-reqd']), (implicit, [])):
            with self.subTest(url=url):
                name = 'curl-%s.bin' % url.split(':')[0]
                self.run_client(*base, *extra, '-T', local, url + name)
                with open(os.path.join(self.home, name), 'rb') as f:
                    self.assertEqual(sha(f.read()), sha(CONTENT))
                listing = self.run_client(*base, *extra, url).stdout.decode()
                self.assertIn('big.bin', listing)
                down = self.run_client(*base, *extra, url + 'big.bin').stdout
                self.assertEqual(sha(down), sha(CONTENT))

    def test_lftp_forced_tls_with_protected_data(self):
        remote = os.path.join(self.home, 'lftp')
        os.makedirs(os.path.join(remote, 'sub dir'), exist_ok=True)
        with open(os.path.join(remote, 'sub dir', 'x.bin'), 'wb') as f:
            f.write(CONTENT[:500000])
        # An empty listing and an empty file end before their TLS handshake would: the
        # connection must still close as TLS, or lftp takes the transfer for failed.
        os.makedirs(os.path.join(remote, 'empty'), exist_ok=True)
        open(os.path.join(remote, 'zero.bin'), 'wb').close()
        back = os.path.join(self.dir, 'lftp-back')
        settings = ('set cmd:fail-exit yes; set ftp:ssl-force true; '
                    'set ftp:ssl-protect-data true; set ssl:verify-certificate no; '
                    'set net:timeout 10; set net:max-retries 2; set ftp:passive-mode on; ')
        self.run_client('lftp', '-u', '%s,%s' % (USER, PASSWORD), '-p', str(self.port), '-e',
                        settings + 'mirror lftp "%s"; mirror -R "%s" lftp-up; bye' %
                        (back, back), '127.0.0.1')
        with open(os.path.join(back, 'sub dir', 'x.bin'), 'rb') as f:
            self.assertEqual(sha(f.read()), sha(CONTENT[:500000]))
        with open(os.path.join(self.home, 'lftp-up', 'sub dir', 'x.bin'), 'rb') as f:
            self.assertEqual(sha(f.read()), sha(CONTENT[:500000]))
        self.assertTrue(os.path.isdir(os.path.join(back, 'empty')))
        self.assertEqual(os.path.getsize(os.path.join(back, 'zero.bin')), 0)
        # lftp notes a broken data connection only in its debug output and falls back to LIST;
        # the listing of the empty directory must come without one.
        done = self.run_client('lftp', '-d', '-u', '%s,%s' % (USER, PASSWORD), '-p', str(self.port),
                               '-e', settings + 'cls -l lftp/empty; bye', '127.0.0.1')
        self.assertNotIn(b'gnutls', done.stdout + done.stderr)

    def test_account_requiring_tls_is_refused_in_clear_by_any_name(self):
        # USER answers every name alike, so it tells nothing about which names need TLS.
        for name in ('secure', 'robert', 'nobody', 'user'):
            self.assertEqual(self.plain().sendcmd('USER ' + name),
                             '331 Password required for %s.' % name)
        # The Login key reaches the account as its section name does: refused at PASS, with
        # the reason in the log only.
        for name in ('secure', 'robert'):
            ftp = self.plain()
            ftp.sendcmd('USER ' + name)
            with self.assertRaises(ftplib.error_perm) as refused:
                ftp.sendcmd('PASS ' + PASSWORD)
            self.assertEqual(str(refused.exception), '530 Login or Password incorrect.')
        self.assertTrue(self.ftpd.wait_for_output(
            'robert (127.0.0.1) connection refused : Bad Login/Password '
            '(account tlsalias: TLS required)'), self.ftpd.text()[-2000:])
        # Other accounts log in in clear; the TLS ones over TLS.
        self.assertTrue(self.plain().login(USER, PASSWORD).startswith('230'))
        self.assertTrue(self.tls(user='secure').sendcmd('PWD').startswith('257'))
        self.assertTrue(self.tls(user='robert').sendcmd('PWD').startswith('257'))

    def test_broken_tls_peers_leak_nothing(self):
        # Settle first: earlier tests' connections may still be closing.
        self.ftpd.wait_for_no_clients()
        before = self.wait_for_descriptors(0, timeout=1.0)
        for _ in range(3):
            # Garbage at the implicit port.
            with socket.create_connection(('127.0.0.1', self.implicit_port)) as s:
                s.sendall(os.urandom(2000))
                s.settimeout(TIMEOUT)
                try:
                    while s.recv(4096):
                        pass
                except (ConnectionResetError, socket.timeout):
                    pass
            # A ClientHello cut short, then the client leaves.
            with socket.create_connection(('127.0.0.1', self.implicit_port)) as s:
                s.sendall(b'\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03')
            # AUTH TLS, then garbage.
            with socket.create_connection(('127.0.0.1', self.port), timeout=TIMEOUT) as s:
                reader = s.makefile('rb')
                reader.readline()
                s.sendall(b'AUTH TLS\r\n')
                self.assertTrue(reader.readline().startswith(b'234'))
                s.sendall(b'\x16\x03\x01\x00\x05hello' + os.urandom(500))
                try:
                    while s.recv(4096):
                        pass
                except (ConnectionResetError, socket.timeout):
                    pass
            # Logged in over TLS, a protected data connection open, then both closed without
            # close_notify.
            ftp = ftplib.FTP_TLS(context=client_context(), timeout=TIMEOUT)
            ftp.connect('127.0.0.1', self.port)
            ftp.login(USER, PASSWORD)
            ftp.prot_p()
            conn = ftp.transfercmd('RETR big.bin')
            conn.recv(1000)
            conn.close()
            ftp.sock.close()
            ftp.file.close()
        # Still serving.
        ftp = self.tls()
        ftp.prot_p()
        got = bytearray()
        ftp.retrbinary('RETR big.bin', got.extend)
        self.assertEqual(sha(got), sha(CONTENT))
        ftp.quit()
        self.assertTrue(self.ftpd.wait_for_no_clients(), self.ftpd.text()[-3000:])
        self.assertEqual(self.wait_for_descriptors(before), before)
        self.assertIn('TLS failed', self.ftpd.text())


class TlsRequiredTest(TlsTestCase):
    TLS = ['enabled=1', 'requirelogin=1', 'requirereuse=1']

    def test_login_in_clear_is_refused_before_the_password(self):
        ftp = self.plain()
        with self.assertRaises(ftplib.error_perm) as refused:
            ftp.sendcmd('USER user')
        self.assertEqual(str(refused.exception), '530 TLS required: send AUTH TLS before USER.')
        with self.assertRaises(ftplib.error_perm) as refused:
            ftp.sendcmd('PASS pw')
        self.assertTrue(str(refused.exception).startswith('503'))
        # curl without TLS cannot log in either.
        done = self.run_client('curl', '-sS', '--max-time', '20', '-u', '%s:%s' % (USER, PASSWORD),
                               'ftp://127.0.0.1:%d/' % self.port, check=False)
        self.assertNotEqual(done.returncode, 0)
        self.assertNotIn(b'big.bin', done.stdout)

    def test_data_connection_must_resume_the_session(self):
        # ftplib's own data connections make a new TLS session: refused.
        ftp = self.tls()
        ftp.prot_p()
        with self.assertRaises((ftplib.Error, ssl.SSLError, OSError)):
            ftp.retrbinary('RETR big.bin', lambda data: None)
        # The transfer ends with the reason (the reply may follow the failed handshake).
        try:
            reply = ftp.getresp()
        except ftplib.Error as e:
            reply = str(e)
        except OSError:
            reply = ''
        if reply:
            self.assertIn('TLS failed', reply)
        ftp.close()
        self.assertTrue(self.ftpd.wait_for_output('not resumed'))
        # Resuming it: accepted, up and down.
        ftp = self.tls(cls=ReusingFTP_TLS)
        ftp.prot_p()
        got = bytearray()
        ftp.retrbinary('RETR big.bin', got.extend)
        self.assertEqual(sha(got), sha(CONTENT))
        ftp.storbinary('STOR reused.bin', __import__('io').BytesIO(CONTENT))
        with open(os.path.join(self.home, 'reused.bin'), 'rb') as f:
            self.assertEqual(sha(f.read()), sha(CONTENT))
        # curl resumes sessions by itself.
        down = self.run_client('curl', '-sS', '-k', '--ssl-reqd', '--max-time', '60', '-u',
                               '%s:%s' % (USER, PASSWORD),
                               'ftp://127.0.0.1:%d/big.bin' % self.port).stdout
        self.assertEqual(sha(down), sha(CONTENT))


class TlsRenewalTest(TlsTestCase):
    def test_a_renewed_certificate_is_taken_without_restart(self):
        first = self.tls().sock.getpeercert(binary_form=True)
        cert = os.path.join(self.dir, 'FTPsrv-cert.pem')
        key = os.path.join(self.dir, 'FTPsrv-key.pem')
        subprocess.run(['openssl', 'req', '-x509', '-newkey', 'ec', '-pkeyopt',
                        'ec_paramgen_curve:P-256', '-nodes', '-days', '30', '-subj',
                        '/CN=renewed', '-keyout', key + '.tmp', '-out', cert + '.tmp'],
                       check=True, capture_output=True)
        os.rename(key + '.tmp', key)
        os.rename(cert + '.tmp', cert)
        second = self.tls().sock.getpeercert(binary_form=True)
        self.assertNotEqual(first, second)
        with open(cert) as f:
            self.assertEqual(second, ssl.PEM_cert_to_DER_cert(f.read()))


class TlsClassicTest(TlsTestCase):
    SETTINGS = ['classic=1']

    def test_tls_keywords_are_unknown(self):
        ftp = self.plain()
        for keyword in ('AUTH', 'PBSZ', 'PROT', 'CCC'):
            with self.assertRaises(ftplib.error_perm) as refused:
                ftp.sendcmd(keyword + ' TLS')
            self.assertEqual(str(refused.exception),
                             "500 '%s': command not understood." % keyword)


def main():
    global FTPD_BINARY
    FTPD_BINARY, argv = binary_option('--ftpd-binary')
    unittest.main(argv=argv, verbosity=2)


if __name__ == '__main__':
    main()

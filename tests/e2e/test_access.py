#!/usr/bin/env python3
"""End-to-end tests of the account rules of orvane-ftpd: logins and login messages, directory
rights and path attacks, virtual links, hidden files, download allowances and ratios, idle
time-outs.

Each test class starts orvane-ftpd on its own temporary directory: FTPsrv.ini maps drive C to
<tmp>/root, Accounts.ini holds the class's accounts, and the files the tests need are laid out
under root/. The server listens on a free port of 127.0.0.1 and is stopped with SIGTERM. Every
wait is bounded.

    python3 test_access.py --ftpd-binary PATH [unittest arguments, e.g. a class name]
"""
import ftplib
import hashlib
import io
import os
import resource
import select
import socket
import tempfile
import time
import unittest

from e2e_support import Ftpd, binary_option, free_port

FTPD_BINARY = None  # set from --ftpd-binary
TIMEOUT = 10  # seconds, for start-up, every socket operation and the exit

# Every account below logs in with this password unless it says otherwise.
PASSWORD = 'pw'


def write_crlf(path, lines):
    with open(path, 'wb') as f:
        f.write(''.join(line + '\r\n' for line in lines).encode())


def account(name, dirs, **keys):
    """The lines of one account section: a named account with password PASSWORD, enabled,
    without time-out, with the directory entries `dirs` ((Dir, Attr) pairs, index 0 first).
    `keys` override or add keys; "Hide hidden Files" is spelled hide_hidden."""
    values = {'Login': name, 'Pass': PASSWORD, 'EnableLogin': 1, 'EnablePass': 1,
              'Enabled': 1, 'TO': 0}
    for key, value in keys.items():
        values['Hide hidden Files' if key == 'hide_hidden' else key] = value
    lines = ['[%s]' % name] + ['%s=%s' % item for item in values.items()]
    for index, (directory, attr) in enumerate(dirs):
        lines += ['Dir%d=%s' % (index, directory), 'Attr%d=%s' % (index, attr)]
    return lines


class Control:
    """A raw control connection for tests that must see every line the server sends, and when."""

    def __init__(self, port):
        self.sock = socket.create_connection(('127.0.0.1', port), timeout=TIMEOUT)
        self.buffer = b''

    def close(self):
        self.sock.close()

    def fileno(self):
        return self.sock.fileno()

    def line(self, timeout=TIMEOUT):
        """The next line without its CR LF, or None at the end of the stream."""
        deadline = time.monotonic() + timeout
        while b'\r\n' not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.sock], [], [], left)[0]:
                raise AssertionError('no line within %s s (have %r)' % (timeout, self.buffer))
            chunk = self.sock.recv(4096)
            if not chunk:
                return None
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b'\r\n', 1)
        return line.decode()

    def reply(self):
        """The lines of one reply; the last one starts with its code and a blank."""
        lines = [self.line()]
        while lines[-1] is not None and lines[-1][3:4] == '-':
            lines.append(self.line())
        return lines

    def command(self, text):
        self.sock.sendall(text.encode() + b'\r\n')
        return self.reply()

    def login(self, user, password=PASSWORD):
        self.reply()  # the greeting
        self.command('USER ' + user)
        last = self.command('PASS ' + password)[-1]
        if not last.startswith('230 '):
            raise AssertionError('login of %s: %s' % (user, last))


class ServerTestCase(unittest.TestCase):
    """Starts one orvane-ftpd for the class with the ACCOUNTS and the file TREE it declares."""

    ACCOUNTS = []  # account() sections, in file order
    TREE = {}  # path below root/ -> bytes, or None for a directory
    # Further lines of FTPsrv.ini. The classes check the replies exactly as the server always
    # gave them, which the classic switch restores; test_clients.py checks today's behaviour.
    SETTINGS = ['classic=1']
    PREEXEC = None  # run in the server's process before it starts (limits, say)

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.addClassCleanup(cls.tmp.cleanup)
        cls.dir = cls.tmp.name
        cls.root = os.path.join(cls.dir, 'root')
        os.mkdir(cls.root)
        for path, content in sorted(cls.TREE.items()):
            full = os.path.join(cls.root, path)
            if content is None:
                os.makedirs(full, exist_ok=True)
            else:
                os.makedirs(os.path.dirname(full), exist_ok=True)
                with open(full, 'wb') as f:
                    f.write(content)
        write_crlf(os.path.join(cls.dir, 'FTPsrv.ini'),
                   ['[Drives]', 'C=' + cls.root, '[ServerFTP]', 'maxusr=50'] + cls.SETTINGS)
        write_crlf(os.path.join(cls.dir, 'Accounts.ini'),
                   [line for section in cls.ACCOUNTS for line in section])
        cls.port = free_port()
        extra = [cls.PREEXEC] if cls.PREEXEC else []  # other scripts wrap Ftpd with 3 arguments
        cls.ftpd = Ftpd(FTPD_BINARY, cls.dir, cls.port, *extra)
        cls.addClassCleanup(cls.ftpd.stop_cleanly)
        if not cls.ftpd.wait_for_output('FTP Server On-line on port %d ...' % cls.port):
            raise AssertionError('orvane-ftpd did not start: ' + cls.ftpd.text() +
                                 cls.ftpd.error_output())

    def path(self, relative):
        return os.path.join(self.root, relative)

    def read(self, relative):
        with open(self.path(relative), 'rb') as f:
            return f.read()

    def connect(self):
        ftp = ftplib.FTP()
        ftp.connect('127.0.0.1', self.port, timeout=TIMEOUT)
        self.addCleanup(ftp.close)
        return ftp

    def login(self, user, password=PASSWORD):
        ftp = self.connect()
        ftp.login(user, password)
        return ftp

    def control(self):
        control = Control(self.port)
        self.addCleanup(control.close)
        return control

    @staticmethod
    def retr(ftp, name):
        data = io.BytesIO()
        ftp.retrbinary('RETR ' + name, data.write)
        return data.getvalue()

    @staticmethod
    def listing(ftp, command='LIST'):
        lines = []
        ftp.retrlines(command, lines.append)
        return lines

    @staticmethod
    def names(listing_lines):
        """The entry names of LIST lines (the ninth field onwards)."""
        return [line.split(None, 8)[8] for line in listing_lines]

    def assertRefused(self, error, call, *args):
        """call(*args) fails with exactly this reply."""
        with self.assertRaises(ftplib.Error) as refused:
            call(*args)
        self.assertEqual(str(refused.exception), error)


# ---------------------------------------------------------------------------------------------
# Logins and login messages


class LoginTest(ServerTestCase):
    # The anonymous account sorts first, so any name that no named account admits lands there.
    ACCOUNTS = [
        account('anonymous', [(r'C:\pub', 'R---LS')], EnableLogin=0, EnablePass=0,
                Message=r'C:\conf\anonymous.msg'),
        account('named', [(r'C:\home\named', 'RWDMLS')], Pass='S3cret',
                Message=r'C:\conf\named.msg', EnableMaxdl=1, Maxdl=12345, Xupl=3, Xdl=4,
                Timeout=77),
    ]
    TREE = {
        'pub/readme.txt': b'public\r\n',
        'home/named/mine.txt': b'private\r\n',
        'conf/anonymous.msg': b'Anonymous access for %USERNAME.\r\nRead only.\r\n',
        'conf/named.msg': (b'Welcome %USERNAME from %IP\r\n'
                           b'Allowance %MAXDL bytes at ratio %RATIO, time-out %TIMEOUT s\r\n'
                           b'Home %HOME, %NUMBR clients\r\n'),
    }

    def test_named_account_gets_its_message_with_macros_before_the_230_reply(self):
        # %NUMBR counts every connected client, also one that has not logged in.
        self.assertTrue(self.ftpd.wait_for_no_clients())
        self.connect()
        ftp = self.connect()
        reply = ftp.login('named', 'S3cret')
        self.assertEqual(reply.split('\n'), [
            '230-Welcome named from 127.0.0.1',
            '230-Allowance 12345 bytes at ratio 3/4, time-out 77 s',
            r'230-Home C:\home\named, 2 clients',
            '230 User named logged in.',
        ])
        self.assertEqual(ftp.pwd(), 'C:/home/named/')
        self.assertEqual(self.retr(ftp, 'mine.txt'), b'private\r\n')

    def test_anonymous_account_admits_any_name_with_its_own_message(self):
        ftp = self.connect()
        reply = ftp.login('visitor', 'me@example.org')
        self.assertEqual(reply.split('\n'), [
            '230-Anonymous access for visitor.',
            '230-Read only.',
            '230 User visitor logged in.',
        ])
        self.assertEqual(ftp.pwd(), 'C:/pub/')
        self.assertEqual(self.retr(ftp, 'readme.txt'), b'public\r\n')

    def test_wrong_password_of_a_named_account_is_refused(self):
        # The anonymous account sorts before the named one, yet the named account's login with
        # a wrong password is a failed login, not an anonymous one in another tree.
        ftp = self.connect()
        self.assertRefused('530 Login or Password incorrect.', ftp.login, 'named', 's3cret')
        self.assertTrue(self.ftpd.wait_for_output(
            'named (127.0.0.1) connection refused : Bad Password (account '))


# ---------------------------------------------------------------------------------------------
# Directory rights and path attacks


class RightsTest(ServerTestCase):
    # Home: read, delete, make and list, also below (S), but no upload. up/: every right.
    # wo/: a drop box, upload only. rights2/ shares the home's name as a prefix, other/ lies
    # beside it, outside.txt at the drive root: none of them belongs to the account.
    ACCOUNTS = [account('rights', [(r'C:\home\rights', 'R-DMLS'),
                                   (r'C:\home\rights\up', 'RWDMLS'),
                                   (r'C:\home\rights\wo', '-W----')])]
    TREE = {
        'outside.txt': b'outside the account\r\n',
        'home/other/o.txt': b'other\r\n',
        'home/rights2/s.txt': b'sibling\r\n',
        'home/rights/a.txt': b'0123456789',
        'home/rights/gone/': None,
        'home/rights/up/existing.txt': b'existing\r\n',
        'home/rights/up/del.txt': b'delete me\r\n',
        'home/rights/up/ren.txt': b'rename me\r\n',
        'home/rights/up/stay.txt': b'stay here\r\n',
        'home/rights/wo/w.txt': b'dropped\r\n',
        'home/rights/wo/keep/': None,
    }

    def setUp(self):
        self.ftp = self.login('rights')

    def test_wrong_password_is_refused_and_the_client_may_try_again(self):
        ftp = self.connect()
        self.assertRefused('530 Login or Password incorrect.', ftp.login, 'rights', 'PW')
        self.assertRefused('530 Login or Password incorrect.', ftp.login, 'Rights', PASSWORD)
        self.assertEqual(ftp.login('rights', PASSWORD), '230 User rights logged in.')

    def test_cwd(self):
        ftp = self.ftp
        self.assertEqual(ftp.cwd('wo'),
                         '250 CWD command successful. "C:/home/rights/wo/" is current directory.')
        self.assertEqual(ftp.cwd('..'),
                         '250 CWD command successful. "C:/home/rights/" is current directory.')
        # Above the home, beside it, the drive root: refused, and the directory stays.
        for target in ['..', '/', '/home/other', '/home', 'C:/', 'a.txt', 'missing']:
            with self.subTest(target=target):
                self.assertRefused('501 CWD failed. No permission', ftp.cwd, target)
                self.assertEqual(ftp.pwd(), 'C:/home/rights/')
        with self.assertRaises(ftplib.error_perm):
            ftp.cwd('../..')
        self.assertEqual(ftp.pwd(), 'C:/home/rights/')

    def test_retr(self):
        ftp = self.ftp
        self.assertEqual(self.retr(ftp, 'a.txt'), b'0123456789')
        self.assertEqual(self.retr(ftp, 'up/existing.txt'), b'existing\r\n')
        for name in ['wo/w.txt', '../../outside.txt', '../../../../../outside.txt',
                     '/outside.txt', '../other/o.txt', '../rights2/s.txt', 'up/../../other/o.txt']:
            with self.subTest(name=name):
                self.assertRefused('550 Permission denied.', self.retr, ftp, name)

    def test_stor(self):
        ftp = self.ftp
        self.assertEqual(ftp.storbinary('STOR up/new.txt', io.BytesIO(b'new file')),
                         '226 File received ok')
        self.assertEqual(self.read('home/rights/up/new.txt'), b'new file')
        # No W in the home; over an existing file, also named in other letter case; in the
        # sibling that shares the home's name as a prefix; out of the tree by "..".
        for name, where in [('home.txt', 'home/rights/home.txt'),
                            ('up/existing.txt', None),
                            ('up/EXISTING.TXT', None),
                            ('/home/rights2/x.txt', 'home/rights2/x.txt'),
                            ('../rights2/y.txt', 'home/rights2/y.txt'),
                            ('up/../../../evil.txt', 'evil.txt')]:
            with self.subTest(name=name):
                self.assertRefused('500 Cannot STOR. No permission', ftp.storbinary,
                                   'STOR ' + name, io.BytesIO(b'attack'))
                if where:
                    self.assertFalse(os.path.exists(self.path(where)))
        # W creates new files only: no appending to an existing one either.
        self.assertRefused('500 Cannot APPE. No permission', ftp.storbinary,
                           'APPE up/existing.txt', io.BytesIO(b'attack'))
        self.assertEqual(self.read('home/rights/up/existing.txt'), b'existing\r\n')

    def test_dele(self):
        ftp = self.ftp
        self.assertEqual(ftp.sendcmd('DELE up/del.txt'),
                         r"250 File/Dir 'C:\home\rights\up\del.txt' deleted.")
        self.assertFalse(os.path.exists(self.path('home/rights/up/del.txt')))
        for name in ['wo/w.txt', '../../outside.txt']:
            with self.subTest(name=name):
                self.assertRefused('500 Cannot DELE. No permission', ftp.sendcmd, 'DELE ' + name)
        self.assertTrue(os.path.exists(self.path('home/rights/wo/w.txt')))
        self.assertTrue(os.path.exists(self.path('outside.txt')))

    def test_mkd_is_judged_by_the_directory_that_will_contain_the_new_one(self):
        ftp = self.ftp
        self.assertEqual(ftp.sendcmd('MKD made'),
                         r"257 'C:\home\rights\made': directory created.")
        self.assertTrue(os.path.isdir(self.path('home/rights/made')))
        # The home has M, but wo/ does not.
        self.assertRefused(r"550 'C:\home\rights\wo\new': can't create directory.",
                           ftp.sendcmd, 'MKD wo/new')
        self.assertFalse(os.path.exists(self.path('home/rights/wo/new')))
        # From wo/ (no M) into the home (M).
        ftp.cwd('wo')
        self.assertEqual(ftp.sendcmd('MKD ../made2'),
                         r"257 'C:\home\rights\made2': directory created.")
        self.assertRefused(r"550 'C:\made3': can't create directory.", ftp.sendcmd,
                           'MKD ../../../made3')
        self.assertFalse(os.path.exists(self.path('made3')))

    def test_rmd(self):
        ftp = self.ftp
        self.assertEqual(ftp.sendcmd('RMD gone'), r"250 'C:\home\rights\gone': directory removed.")
        self.assertFalse(os.path.exists(self.path('home/rights/gone')))
        self.assertRefused(r"550 'C:\home\rights\wo\keep': can't remove directory.", ftp.sendcmd,
                           'RMD wo/keep')
        self.assertTrue(os.path.isdir(self.path('home/rights/wo/keep')))

    def test_rnfr_needs_delete_right_and_rnto_the_write_right_of_the_target(self):
        ftp = self.ftp
        self.assertEqual(ftp.sendcmd('RNFR up/ren.txt'),
                         '350 File exists, ready for destination name.')
        self.assertEqual(ftp.sendcmd('RNTO wo/ren.txt'),
                         r"250 File 'C:\home\rights\up\ren.txt' renamed to "
                         r"'C:\home\rights\wo\ren.txt'.")
        self.assertEqual(self.read('home/rights/wo/ren.txt'), b'rename me\r\n')
        for source in ['wo/w.txt', '../../outside.txt', '../rights2/s.txt']:
            with self.subTest(source=source):
                self.assertRefused('550 No permission.', ftp.sendcmd, 'RNFR ' + source)
                self.assertRefused('550 Bad sequence of commands.', ftp.sendcmd, 'RNTO x.txt')
        # Out of the tree, into the home (no W), into the prefix sibling.
        for target, where in [('../../moved.txt', 'moved.txt'), ('/moved.txt', 'moved.txt'),
                              ('moved.txt', 'home/rights/moved.txt'),
                              ('../rights2/moved.txt', 'home/rights2/moved.txt')]:
            with self.subTest(target=target):
                self.assertEqual(ftp.sendcmd('RNFR up/stay.txt'),
                                 '350 File exists, ready for destination name.')
                self.assertRefused('550 No permission.', ftp.sendcmd, 'RNTO ' + target)
                self.assertFalse(os.path.exists(self.path(where)))
        self.assertEqual(self.read('home/rights/up/stay.txt'), b'stay here\r\n')

    def test_list(self):
        ftp = self.ftp
        names = self.names(self.listing(ftp))
        self.assertIn('a.txt', names)
        self.assertIn('wo', names)
        # Options are dropped: the current directory is listed.
        self.assertEqual(self.names(self.listing(ftp, 'LIST -la')), names)
        self.assertIn('existing.txt', self.names(self.listing(ftp, 'LIST up/')))
        # Without its closing "/" a directory is listed as the entry of its parent.
        self.assertEqual(self.names(self.listing(ftp, 'LIST wo')), ['wo'])
        for argument in ['wo/', 'wo/*.txt', '../rights2/', '../rights2', '../..', '/', '/*.txt']:
            for command in ['LIST', 'NLST']:
                with self.subTest(command=command, argument=argument):
                    self.assertRefused('451 Failed: Permission denied.', self.listing, ftp,
                                       command + ' ' + argument)
        # Inside a directory without L the listing opens but carries nothing.
        ftp.cwd('wo')
        self.assertEqual(self.listing(ftp), [])
        self.assertEqual(self.listing(ftp, 'NLST'), [])

    def test_size(self):
        ftp = self.ftp
        self.assertEqual(ftp.sendcmd('SIZE a.txt'), '213 10')
        for name in ['wo/w.txt', '../../outside.txt', '../rights2/s.txt']:
            with self.subTest(name=name):
                self.assertRefused('550 Command failed: File not found.', ftp.sendcmd,
                                   'SIZE ' + name)


class OwnEntryRootTest(ServerTestCase):
    """An account with every right on its own directory only, which starts out empty. Naming
    that directory by its path with a closing "/" is an argument like any other: removing or
    renaming it needs D in the directory above, which the account lacks."""
    ACCOUNTS = [account('solo', [(r'C:\home\solo', 'RWDMLS')])]
    TREE = {'home/solo/': None}

    def test_own_directory_named_with_a_closing_slash_is_neither_removed_nor_renamed(self):
        ftp = self.login('solo')
        for command in ['RMD /home/solo/', 'RMD /home/solo', 'XRMD /home/solo/',
                        'DELE /home/solo/', 'RNFR /home/solo/']:
            with self.subTest(command=command):
                with self.assertRaises(ftplib.error_perm):
                    ftp.sendcmd(command)
                self.assertTrue(os.path.isdir(self.path('home/solo')))
        # Within it every right holds.
        ftp.sendcmd('MKD /home/solo/made/')
        ftp.sendcmd('RMD /home/solo/made/')
        self.assertFalse(os.path.exists(self.path('home/solo/made')))


class OwnEntryRootTodayTest(OwnEntryRootTest):
    SETTINGS = []


# ---------------------------------------------------------------------------------------------
# Virtual links and hidden files

LINK_LINE = 'lrwxr-xr-x   1 ftp      ftp            0 Jan  1  1980 pub -> '


class LinksHiddenTest(ServerTestCase):
    ACCOUNTS = [
        account('hider', [(r'C:\home\shared', 'R---LS'), (r'C:\library', 'R---LS')],
                hide_hidden=1, Links=r'C:\conf\hider.links'),
        account('shower', [(r'C:\home\shared', 'R---LS')]),
    ]
    TREE = {
        'conf/hider.links': b'pub?C:\\library\r\n',
        'home/shared/visible.txt': b'visible\r\n',
        'home/shared/.secret': b'hidden\r\n',
        'home/shared/.hdir/': None,
        'library/book.txt': b'a book\r\n',
    }

    def test_link_is_listed_and_followed_once_listed(self):
        ftp = self.login('hider')
        # The links of a session are learnt from its first listing.
        self.assertRefused('501 CWD failed. No permission', ftp.cwd, 'pub')
        lines = self.listing(ftp)
        self.assertEqual(lines[0], LINK_LINE)
        self.assertIn('visible.txt', self.names(lines[1:]))
        self.assertEqual(ftp.cwd('pub'),
                         '250 CWD command successful. "C:/LIBRARY/" is current directory.')
        self.assertIn('book.txt', self.names(self.listing(ftp)))
        self.assertEqual(self.retr(ftp, 'book.txt'), b'a book\r\n')

    def test_hidden_entries_vanish_from_list_only(self):
        hider = self.login('hider')
        names = self.names(self.listing(hider))
        self.assertIn('visible.txt', names)
        self.assertNotIn('.secret', names)
        self.assertNotIn('.hdir', names)
        nlst = self.listing(hider, 'NLST')
        self.assertIn('.secret', nlst)
        self.assertIn('.hdir', nlst)
        # The same directory for an account that shows hidden files.
        shower = self.login('shower')
        names = self.names(self.listing(shower))
        self.assertIn('.secret', names)
        self.assertIn('.hdir', names)
        self.assertNotIn(LINK_LINE, self.listing(shower))


# ---------------------------------------------------------------------------------------------
# Download allowances and ratios


class AccountingTest(ServerTestCase):
    ACCOUNTS = [
        account('quota', [(r'C:\quota', 'RWDMLS')], EnableMaxdl=1, Maxdl=1000),
        account('ratio', [(r'C:\ratio', 'RWDMLS')], EnableMaxdl=1, EnableRatio=1, Maxdl=0,
                Xupl=1, Xdl=2),
    ]
    TREE = {
        'quota/f1000.bin': bytes(range(256)) * 3 + bytes(232),
        'quota/f1001.bin': bytes(1001),
        'quota/one.bin': b'x',
        'quota/swap.bin': b'y',
        'quota/big.bin': bytes(5000),
        'ratio/f300.bin': os.urandom(300),
    }
    NO_CREDIT_SORRY = ('550-You do not have enough credits to download this file ! Sorry ...\n'
                       '550 Permission denied.')

    def test_allowance_covers_exactly_maxdl_bytes_per_login(self):
        ftp = self.login('quota')
        self.assertRefused(self.NO_CREDIT_SORRY, self.retr, ftp, 'f1001.bin')
        # A refused download costs nothing: the whole allowance is still there.
        self.assertEqual(self.retr(ftp, 'f1000.bin'), self.read('quota/f1000.bin'))
        self.assertRefused(self.NO_CREDIT_SORRY, self.retr, ftp, 'one.bin')
        # Each login starts with the full allowance again.
        self.assertEqual(len(self.retr(self.login('quota'), 'f1000.bin')), 1000)

    def test_attack_file_swapped_before_the_data_connection_gets_no_more_than_the_allowance(self):
        # RETR of a small file is allowed; before the passive connection comes, the file is
        # deleted and a large one renamed to its name. Only the small file's bytes may leave.
        ftp = self.login('quota')
        ftp.voidcmd('TYPE I')
        host, port = ftplib.parse227(ftp.sendcmd('PASV'))
        self.assertEqual(ftp.sendcmd('RETR swap.bin')[:4], '150 ')
        self.assertEqual(ftp.sendcmd('DELE swap.bin')[:4], '250 ')
        self.assertEqual(ftp.sendcmd('RNFR big.bin')[:4], '350 ')
        self.assertEqual(ftp.sendcmd('RNTO swap.bin')[:4], '250 ')
        received = b''
        with socket.create_connection((host, port), timeout=TIMEOUT) as data:
            while True:
                chunk = data.recv(65536)
                if not chunk:
                    break
                received += chunk
        with self.assertRaises(ftplib.Error) as refused:
            ftp.voidresp()
        self.assertEqual(str(refused.exception), '501 Cannot RETR. Not enough credits')
        self.assertEqual(received, b'')
        # The allowance is untouched: the small file of the same size as before still comes.
        self.assertEqual(len(self.retr(ftp, 'f1000.bin')), 1000)

    def test_uploads_earn_credit_at_the_ratio(self):
        ftp = self.login('ratio')
        self.assertRefused(
            '550-You do not have enough credits to download this file ! Please upload first !\n'
            '226-Using U/D Ratio 1/2. Current credit 0 bytes\n'
            '550 Permission denied.', self.retr, ftp, 'f300.bin')
        self.assertEqual(ftp.storbinary('STOR up150.bin', io.BytesIO(os.urandom(150))),
                         '226-Using U/D Ratio 1/2. Current credit 300 bytes\n'
                         '226 File received ok')
        self.assertEqual(self.retr(ftp, 'f300.bin'), self.read('ratio/f300.bin'))
        self.assertRefused(
            '550-You do not have enough credits to download this file ! Please upload first !\n'
            '226-Using U/D Ratio 1/2. Current credit 0 bytes\n'
            '550 Permission denied.', self.retr, ftp, 'up150.bin')


# ---------------------------------------------------------------------------------------------
# Idle time-outs


class TimeoutTest(ServerTestCase):
    ACCOUNTS = [
        account('timed', [(r'C:\timed', 'R---LS')], TO=1, Timeout=2),
        account('untimed', [(r'C:\timed', 'R---LS')], TO=0, Timeout=1),
    ]
    SETTINGS = ['[Screen]', '11=1']

    @classmethod
    def setUpClass(cls):
        # Ten times what the system's socket buffers may take in, so that the server is still
        # sending well after the time-out while the client reads slowly.
        cls.BIG = os.urandom(40 << 20)
        cls.TREE = {'timed/big.bin': cls.BIG}
        super().setUpClass()

    def test_only_a_silent_logged_in_client_of_a_timed_account_is_cut(self):
        silent = self.control()
        silent.login('timed')
        logged_in = time.monotonic()
        nooper = self.control()
        nooper.login('timed')
        untimed = self.control()
        untimed.login('untimed')
        stranger = self.control()
        self.assertEqual(stranger.reply(), ['220 Orvane FTP Server v1.3'])

        # For about 5 s: one client sends NOOP every second, the others say nothing. Only the
        # silent client may hear from the server, and only its time-out.
        cut_after = None
        end = logged_in + 5.5
        next_noop = time.monotonic() + 1
        while time.monotonic() < end:
            waiting = [c for c in (silent, nooper, untimed, stranger)
                       if c is not silent or cut_after is None]
            left = max(0, min(next_noop, end) - time.monotonic())
            for client in select.select(waiting, [], [], left)[0]:
                if client is silent:
                    self.assertEqual(silent.line(), '421 Connection timed-out !')
                    cut_after = time.monotonic() - logged_in
                    self.assertIsNone(silent.line(), 'the connection stays open after 421')
                else:
                    self.fail('unexpected from the server: %r' % client.line())
            if time.monotonic() >= next_noop:
                self.assertEqual(nooper.command('NOOP'), ['200 Noop command successful.'])
                next_noop += 1

        self.assertIsNotNone(cut_after, 'the silent client was not timed out')
        # Cut at the third tick after its last answer.
        self.assertGreaterEqual(cut_after, 1.9)
        self.assertLess(cut_after, 4.5)
        self.assertTrue(self.ftpd.wait_for_output('timed (127.0.0.1) 421 Connection timed-out !'))
        # The others are still served.
        self.assertEqual(nooper.command('NOOP'), ['200 Noop command successful.'])
        self.assertEqual(untimed.command('NOOP'), ['200 Noop command successful.'])
        self.assertEqual(stranger.command('USER untimed'), ['331 Password required for untimed.'])
        self.assertEqual(stranger.command('PASS ' + PASSWORD), ['230 User untimed logged in.'])

    def test_download_longer_than_the_time_out_completes(self):
        control = self.control()
        control.login('timed')
        self.assertEqual(control.command('TYPE I'), ['200 Type set to I.'])
        (pasv,) = control.command('PASV')
        self.assertTrue(pasv.startswith('227 '), pasv)
        numbers = pasv[pasv.index('(') + 1:pasv.index(')')].split(',')
        data = socket.create_connection(
            ('127.0.0.1', int(numbers[4]) * 256 + int(numbers[5])), timeout=TIMEOUT)
        self.addCleanup(data.close)
        self.assertEqual(control.command('RETR big.bin'),
                         ['150 Opening data connection for big.bin.'])

        # Read at a pace that makes the transfer last about 4 s, twice the time-out. Between
        # reads, watch the control connection: the only line that may come before the data has
        # ended is the final reply, once the server has handed its last block to the system.
        received = hashlib.sha256()
        size = 0
        final = None
        start = time.monotonic()
        while True:
            chunk = data.recv(65536)
            if not chunk:
                break
            received.update(chunk)
            size += len(chunk)
            left = start + 4.0 * size / len(self.BIG) - time.monotonic()
            if left > 0 and select.select([control], [], [], left)[0]:
                line = control.line()
                self.assertIsNone(final, 'after %r: %r' % (final, line))
                final = line
                self.assertEqual(final, '226 File sent ok', 'after %d bytes' % size)
                final_after = time.monotonic() - start
        self.assertEqual(size, len(self.BIG))
        self.assertEqual(received.hexdigest(), hashlib.sha256(self.BIG).hexdigest())
        if final is None:
            self.assertEqual(control.reply(), ['226 File sent ok'])
            final_after = time.monotonic() - start
        # Otherwise the server's last block left too early for the test to mean anything.
        self.assertGreater(final_after, 3.2, 'the server was not busy past the time-out')
        self.assertEqual(control.command('NOOP'), ['200 Noop command successful.'])


# ---------------------------------------------------------------------------------------------
# Hostile clients: descriptor exhaustion, privileged data ports


def few_descriptors():
    """Gives the server process a small descriptor limit."""
    resource.setrlimit(resource.RLIMIT_NOFILE, (32, 32))


class DescriptorExhaustionTest(ServerTestCase):
    ACCOUNTS = [account('named', [(r'C:\home', 'RWDMLS')])]
    TREE = {'home/a.txt': b'abc'}
    PREEXEC = few_descriptors
    SETTINGS = ['maxperip=0']  # the descriptors run out, not the places of one address

    def greeted(self, sock):
        """True when the connection got the greeting, False when the server dropped it."""
        sock.settimeout(TIMEOUT)
        try:
            return sock.recv(100).startswith(b'220')
        except OSError:
            return False

    def test_server_sheds_connections_while_full_and_serves_again_once_they_close(self):
        flood = []
        try:
            for _ in range(45):  # more than the 32 descriptors the server may hold
                flood.append(socket.create_connection(('127.0.0.1', self.port), timeout=TIMEOUT))
            greeted = [self.greeted(sock) for sock in flood]
            self.assertIn(True, greeted)
            self.assertIn(False, greeted, 'no connection was shed at the limit')
            self.assertIsNone(self.ftpd.process.poll(), 'the server ended when it was full')
        finally:
            for sock in flood:
                sock.close()
        self.assertTrue(self.ftpd.wait_for_no_clients())
        ftp = self.login('named')
        self.assertEqual(self.retr(ftp, 'a.txt'), b'abc')
        ftp.quit()


class DataPortTest(ServerTestCase):
    ACCOUNTS = [account('named', [(r'C:\home', 'RWDMLS')])]
    TREE = {'home/a.txt': b'abc'}

    def test_port_to_a_privileged_port_of_the_client_is_refused(self):
        ftp = self.login('named')
        for port in (21, 22, 1023, 0, self.port):  # self.port: the server's own
            self.assertRefused('501 Invalid PORT command.', ftp.sendcmd,
                               'PORT 127,0,0,1,%d,%d' % (port // 256, port % 256))
        # An active download to an ordinary port still works.
        ftp.set_pasv(False)
        self.assertEqual(self.retr(ftp, 'a.txt'), b'abc')


class LoginDefenceTest(ServerTestCase):
    """Run in this order: the ban of the last test would refuse the others' connections."""
    ACCOUNTS = [account('named', [(r'C:\home', 'RWDMLS')])]
    TREE = {'home/a.txt': b'abc'}
    SETTINGS = ['logintimeout=5', 'loginfaildelay=1', 'maxloginfailures=2', 'banfailures=4',
                'banwindow=600', 'bantime=5']

    def test_1_client_that_does_not_log_in_is_timed_out(self):
        control = self.control()
        self.assertEqual(control.reply(), ['220 Orvane FTP Server v1.3'])
        self.assertEqual(control.line(timeout=9), '421 Login time-out !')
        self.assertIsNone(control.line())

    def test_2_refused_passwords_come_late_and_end_the_connection(self):
        ftp = self.connect()
        started = time.monotonic()
        self.assertRefused('530 Login or Password incorrect.', ftp.login, 'named', 'guess')
        self.assertGreater(time.monotonic() - started, 0.8)
        started = time.monotonic()
        self.assertRefused('530 Login or Password incorrect.', ftp.login, 'named', 'guess')
        self.assertGreater(time.monotonic() - started, 1.8)
        self.assertEqual(ftp.getline(), '421 Too many failed logins !')
        self.assertRaises(EOFError, ftp.getline)  # closed

    def test_3_an_address_that_keeps_guessing_is_banned_for_a_time(self):
        # Two refusals of the previous test count too: two more reach the four of banfailures.
        ftp = self.connect()
        self.assertRefused('530 Login or Password incorrect.', ftp.login, 'named', 'guess')
        self.assertRefused('530 Login or Password incorrect.', ftp.login, 'named', 'guess')
        self.assertTrue(self.ftpd.wait_for_output('127.0.0.1 banned for 5 s after 4 failed logins'))
        with self.assertRaises(ftplib.Error) as refused:
            self.connect()
        self.assertEqual(str(refused.exception), '421 Sorry, you are banned !')
        # The ban came with the refusal; its answer came two seconds later.
        self.assertTrue(self.ftpd.wait_for_output('127.0.0.1 ban ended', timeout=8))
        ftp = self.login('named')
        self.assertEqual(self.retr(ftp, 'a.txt'), b'abc')


def main():
    global FTPD_BINARY
    FTPD_BINARY, argv = binary_option('--ftpd-binary')
    unittest.main(argv=argv, verbosity=2)


if __name__ == '__main__':
    main()

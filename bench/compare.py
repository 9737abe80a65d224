#!/usr/bin/env python3
"""Side-by-side comparison of orvane-ftpd with vsftpd, pure-ftpd, ProFTPD and pyftpdlib.

Started by bench/run_bench.sh, which installs and unpacks the peers and builds orvane-ftpd in
Release; run by hand only. Every server gets its own temporary configuration, listens on
127.0.0.1 and serves the same directory. The figures, measured in one run with the servers
interleaved so that a busy moment of the machine hits all alike:

- RETR of a large file and STOR of a smaller one with curl (passive mode): MiB/s (median of
  RUNS) and the server's CPU seconds per GiB (utime + stime of its process tree, children that
  ended included);
- 4 KiB RETRs in one session with ftplib (files/s), and the server's CPU time per file (the
  processor time of its live threads, which the machine's other work disturbs much less than
  the rate);
- new sessions per second: connect, login, one 4 KiB RETR, QUIT (ftplib);
- memory of the server's process tree with many idle logged-in sessions (bench/idle_sessions.py).

Prints one table with the ratios of orvane against each peer and writes it to --results.
"""
import argparse
import ftplib
import os
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SMALL = os.urandom(4096)
TICK = os.sysconf('SC_CLK_TCK')


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def process_tree(pid):
    children = {}
    for entry in os.listdir('/proc'):
        if entry.isdigit():
            try:
                with open('/proc/%s/stat' % entry) as f:
                    ppid = int(f.read().rsplit(')', 1)[1].split()[1])
            except (OSError, IndexError, ValueError):
                continue
            children.setdefault(ppid, []).append(int(entry))
    tree, todo = [], [pid]
    while todo:
        p = todo.pop()
        tree.append(p)
        todo.extend(children.get(p, []))
    return tree


def cpu_seconds(pid):
    """utime + stime of the tree, with the children its processes have reaped."""
    total = 0
    for p in process_tree(pid):
        try:
            with open('/proc/%d/stat' % p) as f:
                fields = f.read().rsplit(')', 1)[1].split()
            total += sum(int(v) for v in fields[11:15])
        except (OSError, IndexError, ValueError):
            pass
    return total / TICK


def run_seconds(pid):
    """Time on a processor of every live thread of the tree, in nanoseconds' precision: for
    short phases, where the clock ticks of cpu_seconds are too coarse. Processes reaped
    meanwhile are not counted, so the phase must keep its session processes alive."""
    total = 0
    for p in process_tree(pid):
        try:
            for task in os.listdir('/proc/%d/task' % p):
                with open('/proc/%d/task/%s/schedstat' % (p, task)) as f:
                    total += int(f.read().split()[0])
        except (OSError, IndexError, ValueError):
            pass
    return total / 1e9


def wait_listening(port, seconds=15):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            with socket.create_connection(('127.0.0.1', port), timeout=1) as s:
                s.settimeout(2)
                if s.recv(100).startswith(b'220'):
                    return
        except OSError:
            pass
        time.sleep(0.1)
    raise SystemExit('a server did not start on port %d' % port)


class Server:
    def __init__(self, name, user, password, argv, work, env=None, pidfile=None):
        self.name, self.user, self.password = name, user, password
        self.port = None
        self.argv, self.work, self.env, self.pidfile = argv, work, env, pidfile
        self.proc = None
        self.cpus = None  # the processors the server and every process it forks may run on

    def start(self):
        log = open(os.path.join(self.work, self.name + '.log'), 'w')
        pin = (lambda: os.sched_setaffinity(0, self.cpus)) if self.cpus else None
        self.proc = subprocess.Popen(self.argv, stdin=subprocess.DEVNULL, stdout=log,
                                     stderr=subprocess.STDOUT, env=self.env,
                                     start_new_session=True, preexec_fn=pin)
        wait_listening(self.port)

    @property
    def pid(self):
        return self.proc.pid

    def url(self, name):
        return 'ftp://%s:%s@127.0.0.1:%d/%s' % (self.user, self.password, self.port, name)

    def stop(self):
        if self.proc and self.proc.poll() is None:
            try:
                os.killpg(self.proc.pid, signal.SIGTERM)
                self.proc.wait(timeout=10)
            except (subprocess.TimeoutExpired, ProcessLookupError):
                try:
                    os.killpg(self.proc.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                self.proc.wait()


def make_root(prefix, parent=None):
    """A temporary work directory and, in it, the directory every server serves (c/files):
    readable by all, writable by the peers' virtual users, which write as "nobody"."""
    work = tempfile.mkdtemp(prefix=prefix, dir=parent)
    os.chmod(work, 0o755)
    root = os.path.join(work, 'c', 'files')
    os.makedirs(root)
    os.chmod(os.path.dirname(root), 0o755)
    os.chmod(root, 0o777)
    return work, root


def make_servers(args, work, root):
    servers = []
    # One SHA-512 crypt hash of "pw" for the accounts that store a hash: orvane's, pure-ftpd's and
    # ProFTPD's, so that a login costs each of them the same kind of hash.
    crypted = subprocess.run(['openssl', 'passwd', '-6', 'pw'], check=True,
                             capture_output=True, text=True).stdout.strip()
    # orvane-ftpd: one account on a drive whose home is the shared directory; logging of every
    # command and answer off, as for the peers (their transfer logs are off too); no cap on
    # sessions from one address or on clients logging in, since every client is 127.0.0.1.
    o = Server('orvane', 'user', 'pw', None, work)
    o.port = free_port()
    odir = os.path.join(work, 'orvane')
    os.makedirs(odir)
    with open(os.path.join(odir, 'FTPsrv.ini'), 'w') as f:
        f.write('[Drives]\r\nC=%s\r\n[ServerFTP]\r\nport=%d\r\nmaxusr=0\r\nmaxperip=0\r\n'
                'maxprelogin=0\r\n' % (os.path.dirname(root), o.port))
        for section in ('Screen', 'File'):
            f.write('[%s]\r\n' % section + ''.join('%d=0\r\n' % i for i in range(1, 13)))
    with open(os.path.join(odir, 'Accounts.ini'), 'w') as f:
        f.write('[user]\r\nLogin=user\r\nPassHash=%s\r\nEnableLogin=1\r\nEnablePass=1\r\n'
                'Enabled=1\r\nTO=0\r\nDir0=C:\\%s\r\nAttr0=RWDMLS\r\n'
                % (crypted, os.path.basename(root)))
    o.argv = [os.path.abspath(args.orvane), str(o.port), '--dir', odir]
    servers.append(o)

    # vsftpd: anonymous access to the shared directory, run as the launching user.
    v = Server('vsftpd', 'anonymous', 'bench', None, work)
    v.port = free_port()
    conf = os.path.join(work, 'vsftpd.conf')
    with open(conf, 'w') as f:
        f.write('\n'.join([
            'listen=YES', 'listen_ipv6=NO', 'listen_address=127.0.0.1',
            'listen_port=%d' % v.port, 'background=NO', 'run_as_launching_user=YES',
            'anonymous_enable=YES', 'no_anon_password=YES', 'anon_root=' + root,
            'local_enable=NO', 'write_enable=YES', 'anon_upload_enable=YES',
            'anon_other_write_enable=YES', 'anon_umask=022', 'pasv_enable=YES',
            'connect_from_port_20=NO', 'seccomp_sandbox=NO', 'isolate=NO',
            'isolate_network=NO', 'xferlog_enable=NO', 'max_clients=0', 'max_per_ip=0',
            'idle_session_timeout=600', 'data_connection_timeout=300',
            'secure_chroot_dir=' + work, '']))
    v.argv = [args.vsftpd, conf]
    servers.append(v)

    peers = args.peers
    env = dict(os.environ)
    env['LD_LIBRARY_PATH'] = ':'.join(
        os.path.join(peers, d) for d in ('usr/lib/x86_64-linux-gnu', 'lib/x86_64-linux-gnu'))

    # pure-ftpd: one virtual user (PureDB) mapped to "nobody", home the shared directory.
    p = Server('pure-ftpd', 'user', 'pw', None, work, env)
    p.port = free_port()
    passwd, pdb = os.path.join(work, 'pureftpd.passwd'), os.path.join(work, 'pureftpd.pdb')
    pure_pw = os.path.join(peers, 'usr/bin/pure-pw')
    subprocess.run([pure_pw, 'useradd', 'user', '-u', 'nobody', '-g', 'nogroup', '-d', root,
                    '-f', passwd], input=b'pw\npw\n', check=True, env=env,
                   stdout=subprocess.DEVNULL)
    # pure-pw hashes with a memory-hard function that costs seconds per login on this machine;
    # the account gets the same SHA-512 crypt hash as ProFTPD's instead.
    with open(passwd) as f:
        fields = f.read().strip().split(':')
    fields[1] = crypted
    with open(passwd, 'w') as f:
        f.write(':'.join(fields) + '\n')
    subprocess.run([pure_pw, 'mkdb', pdb, '-f', passwd], check=True, env=env)
    p.argv = [os.path.join(peers, 'usr/sbin/pure-ftpd'), '-S', '127.0.0.1,%d' % p.port,
              '-l', 'puredb:' + pdb, '-E', '-H', '-c', '20000', '-C', '20000', '-A',
              '-I', '600']
    servers.append(p)

    # ProFTPD: standalone, one user from its own AuthUserFile, mapped to "nobody".
    r = Server('proftpd', 'user', 'pw', None, work, env)
    r.port = free_port()
    with open(os.path.join(work, 'proftpd.passwd'), 'w') as f:
        f.write('user:%s:65534:65534::%s:/bin/sh\n' % (crypted, root))
    with open(os.path.join(work, 'proftpd.group'), 'w') as f:
        f.write('nogroup:x:65534:\n')
    os.chmod(os.path.join(work, 'proftpd.passwd'), 0o600)
    rconf = os.path.join(work, 'proftpd.conf')
    with open(rconf, 'w') as f:
        f.write('\n'.join([
            'ServerType standalone', 'Port %d' % r.port,
            'DefaultAddress 127.0.0.1', 'SocketBindTight on', 'UseIPv6 off',
            'User nobody', 'Group nogroup', 'PidFile %s/proftpd.pid' % work,
            'ScoreboardFile %s/proftpd.scoreboard' % work, 'DelayTable none',
            'WtmpLog off', 'UseReverseDNS off', 'MaxInstances 20000',
            'AuthOrder mod_auth_file.c', 'AuthUserFile %s/proftpd.passwd' % work,
            'AuthGroupFile %s/proftpd.group' % work, 'RequireValidShell off',
            'DefaultRoot ~', 'TransferLog none', 'TimeoutIdle 600',
            'SystemLog %s/proftpd.syslog' % work, 'UseSendfile on',
            '<Directory />', '  AllowOverwrite on', '</Directory>', '']))
    r.argv = [os.path.join(peers, 'usr/sbin/proftpd'), '-n', '-q', '-c', rconf]
    servers.append(r)

    # pyftpdlib: one user, no connection limit.
    y = Server('pyftpdlib', 'user', 'pw', None, work)
    y.port = free_port()
    # Debian's python3, where python3-pyftpdlib is installed.
    y.argv = ['/usr/bin/python3', os.path.join(HERE, 'pyftpdlib_peer.py'), str(y.port), root]
    servers.append(y)
    return servers


def make_tls_servers(args, work, root):
    """orvane-ftpd with TLS on (the certificate it makes itself) and vsftpd with ssl_enable=YES
    and a certificate made here, both with the same account setup as their plain runs. curl
    reuses the control connection's TLS session on its data connections; neither server is
    told to require that."""
    tls_work = os.path.join(work, 'tls')
    os.makedirs(tls_work)
    o = Server('orvane', 'user', 'pw', None, tls_work)
    o.port = free_port()
    odir = os.path.join(tls_work, 'orvane')
    os.makedirs(odir)
    with open(os.path.join(odir, 'FTPsrv.ini'), 'w') as f:
        f.write('[Drives]\r\nC=%s\r\n[ServerFTP]\r\nport=%d\r\nmaxusr=0\r\n[TLS]\r\nenabled=1\r\n'
                % (os.path.dirname(root), o.port))
        for section in ('Screen', 'File'):
            f.write('[%s]\r\n' % section + ''.join('%d=0\r\n' % i for i in range(1, 13)))
    with open(os.path.join(odir, 'Accounts.ini'), 'w') as f:
        f.write('[user]\r\nLogin=user\r\nPass=pw\r\nEnableLogin=1\r\nEnablePass=1\r\n'
                'Enabled=1\r\nTO=0\r\nDir0=C:\\%s\r\nAttr0=RWDMLS\r\n' % os.path.basename(root))
    o.argv = [os.path.abspath(args.orvane), str(o.port), '--dir', odir]

    v = Server('vsftpd', 'anonymous', 'bench', None, tls_work)
    v.port = free_port()
    cert, key = os.path.join(tls_work, 'vsftpd.pem'), os.path.join(tls_work, 'vsftpd.key')
    subprocess.run(['openssl', 'req', '-x509', '-newkey', 'ec', '-pkeyopt',
                    'ec_paramgen_curve:P-256', '-nodes', '-days', '30', '-subj', '/CN=localhost',
                    '-keyout', key, '-out', cert], check=True, capture_output=True)
    conf = os.path.join(tls_work, 'vsftpd.conf')
    with open(conf, 'w') as f:
        f.write('\n'.join([
            'listen=YES', 'listen_ipv6=NO', 'listen_address=127.0.0.1',
            'listen_port=%d' % v.port, 'background=NO', 'run_as_launching_user=YES',
            'anonymous_enable=YES', 'no_anon_password=YES', 'anon_root=' + root,
            'local_enable=NO', 'write_enable=YES', 'anon_upload_enable=YES',
            'anon_other_write_enable=YES', 'anon_umask=022', 'pasv_enable=YES',
            'connect_from_port_20=NO', 'seccomp_sandbox=NO', 'isolate=NO',
            'isolate_network=NO', 'xferlog_enable=NO', 'max_clients=0', 'max_per_ip=0',
            'idle_session_timeout=600', 'data_connection_timeout=300',
            'secure_chroot_dir=' + work,
            'ssl_enable=YES', 'allow_anon_ssl=YES', 'force_anon_logins_ssl=YES',
            'force_anon_data_ssl=YES', 'require_ssl_reuse=NO', 'ssl_ciphers=HIGH',
            'rsa_cert_file=' + cert, 'rsa_private_key_file=' + key, '']))
    v.argv = [args.vsftpd, conf]
    return [o, v]


def curl(args, *extra):
    out = subprocess.run(['curl', '--silent', '--show-error', '--disable-epsv',
                          '--max-time', '900'] + list(extra),
                         check=True, capture_output=True, text=True).stdout
    return out.split()


TLS_CURL = ['--ssl-reqd', '--insecure']  # PROT P on every data connection


def settle_disk():
    # Dirty pages left by the file written before (the upload of another server, the test file)
    # are written back while the next transfer runs and slow it by up to 4x; each large
    # transfer starts with them on disk.
    os.sync()


def retr_big(server, size, extra=()):
    settle_disk()
    before = cpu_seconds(server.pid)
    seconds, got = curl(None, *extra, '-o', '/dev/null', '-w',
                        '%{time_total} %{size_download}', server.url('retr.bin'))
    cpu = cpu_seconds(server.pid) - before
    if int(got) != size:
        raise SystemExit('%s: short download (%s of %d bytes)' % (server.name, got, size))
    return float(seconds), cpu


def stor_big(server, source, root, name, size, extra=()):
    settle_disk()
    before = cpu_seconds(server.pid)
    (seconds,) = curl(None, *extra, '-T', source, '-w', '%{time_total}', server.url(name))
    cpu = cpu_seconds(server.pid) - before
    target = os.path.join(root, name)
    if os.path.getsize(target) != size:
        raise SystemExit('%s: short upload' % server.name)
    os.remove(target)
    return float(seconds), cpu


def small_retr(ftp):
    chunks = []
    ftp.retrbinary('RETR small.bin', chunks.append)
    if b''.join(chunks) != SMALL:
        raise SystemExit('a 4 KiB download differs from the file')


def files_per_second(server, count):
    """The rate, and the server's CPU time per file in microseconds (measured while the
    session, and so a forking server's session process, is still there)."""
    with ftplib.FTP() as ftp:
        ftp.connect('127.0.0.1', server.port, timeout=10)
        ftp.login(server.user, server.password)
        small_retr(ftp)  # the session process exists and has served one file
        before = run_seconds(server.pid)
        start = time.monotonic()
        for _ in range(count):
            small_retr(ftp)
        elapsed = time.monotonic() - start
        cpu = run_seconds(server.pid) - before
        ftp.quit()
    return count / elapsed, cpu / count * 1e6


def sessions_per_second(server, count):
    start = time.monotonic()
    for _ in range(count):
        ftp = ftplib.FTP()
        ftp.connect('127.0.0.1', server.port, timeout=10)
        ftp.login(server.user, server.password)
        small_retr(ftp)
        ftp.quit()
        ftp.close()
    return count / (time.monotonic() - start)


def idle_memory(server, count):
    out = subprocess.run([sys.executable, os.path.join(HERE, 'idle_sessions.py'), '--port',
                          str(server.port), '--pid', str(server.pid), '--user', server.user,
                          '--password', server.password, '--count', str(count)],
                         check=True, capture_output=True, text=True).stdout.split('\n')
    before, held = out[0].split(), out[1].split()
    # Pss (proportional set size) is the fair sum for servers with a process per session.
    return (int(held[3]) - int(before[3])) / count, int(held[3])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--orvane', required=True)
    parser.add_argument('--vsftpd', default='/usr/sbin/vsftpd')
    parser.add_argument('--peers', required=True, help='where pure-ftpd and ProFTPD are unpacked')
    parser.add_argument('--runs', type=int, default=5)
    parser.add_argument('--retr-mib', type=int, default=1024)
    parser.add_argument('--stor-mib', type=int, default=256)
    parser.add_argument('--files', type=int, default=500)
    parser.add_argument('--sessions', type=int, default=300)
    parser.add_argument('--idle', type=int, nargs='*', default=[1000, 10000])
    parser.add_argument('--idle-all-limit', type=int, default=1000,
                        help='peers with a process per session are held at most this many')
    parser.add_argument('--only', nargs='*', help='names of the servers to run')
    parser.add_argument('--no-pin', action='store_true',
                        help='let the scheduler place servers and clients (by default the '
                             'servers run on the first processor, the clients on the others)')
    parser.add_argument('--work', default=None,
                        help='where the served files go (default: the system temporary '
                             'directory); /dev/shm takes the disk out of the figures')
    parser.add_argument('--results', default='build/bench/results.txt')
    parser.add_argument('--tls', choices=('also', 'no', 'only'), default='also',
                        help='the large transfers under PROT P, orvane against vsftpd')
    args = parser.parse_args()

    work, root = make_root('orvane-compare-', args.work)
    retr_size, stor_size = args.retr_mib << 20, args.stor_mib << 20
    with open(os.path.join(root, 'retr.bin'), 'wb') as f:
        for _ in range(args.retr_mib):
            f.write(os.urandom(1 << 20))
    with open(os.path.join(root, 'small.bin'), 'wb') as f:
        f.write(SMALL)
    for name in ('retr.bin', 'small.bin'):
        os.chmod(os.path.join(root, name), 0o644)
    source = os.path.join(work, 'stor.bin')
    with open(source, 'wb') as f:
        for _ in range(args.stor_mib):
            f.write(os.urandom(1 << 20))

    servers = make_servers(args, work, root) if args.tls != 'only' else []
    if args.only:
        servers = [s for s in servers if s.name in args.only]
    tls_servers = make_tls_servers(args, work, root) if args.tls != 'no' else []
    # On a small machine the scheduler now and then puts the client (curl) on the server's
    # processor; that transfer then takes two to four times as long. With every server on one
    # processor and every client on the others, each server meets the same conditions, as it
    # would with its clients on other machines.
    cpus = sorted(os.sched_getaffinity(0))
    placement = 'scheduler\'s choice of processors'
    if not args.no_pin and len(cpus) >= 2:
        for s in servers + tls_servers:
            s.cpus = {cpus[0]}
        os.sched_setaffinity(0, set(cpus[1:]))
        placement = 'servers on processor %d, clients on %s' % (
            cpus[0], ', '.join(str(c) for c in cpus[1:]))
    results = {s.name: {} for s in servers}
    tls_results = {s.name: {} for s in tls_servers}
    load_before = os.getloadavg()
    try:
        for s in servers:
            s.start()
        print('Warming the page cache ...', flush=True)
        for s in servers:
            retr_big(s, retr_size)
        retr = {s.name: [] for s in servers}
        stor = {s.name: [] for s in servers}
        for run in range(args.runs if servers else 0):
            # Each run starts with another server, so that none is always first after the
            # previous round (whose deleted uploads the system may still be writing back).
            order = servers[run % len(servers):] + servers[:run % len(servers)]
            for s in order:
                retr[s.name].append(retr_big(s, retr_size))
            for s in order:
                stor[s.name].append(stor_big(s, source, root, 'up-%s-%d.bin' % (s.name, run),
                                             stor_size))
            print('run %d: ' % (run + 1) + ', '.join(
                '%s %.2f/%.2f s' % (s.name, retr[s.name][-1][0], stor[s.name][-1][0])
                for s in servers), flush=True)
        for s in servers:
            r = results[s.name]
            r['retr'] = args.retr_mib / statistics.median(t for t, _ in retr[s.name])
            r['retr_cpu'] = statistics.median(c for _, c in retr[s.name]) / (args.retr_mib / 1024)
            r['stor'] = args.stor_mib / statistics.median(t for t, _ in stor[s.name])
            r['stor_cpu'] = statistics.median(c for _, c in stor[s.name]) / (args.stor_mib / 1024)
        print('Small transfers ...', flush=True)
        for s in servers:
            rate, cpu = max(files_per_second(s, args.files) for _ in range(2))
            results[s.name]['files'] = rate
            results[s.name]['files_cpu'] = cpu
        for s in servers:
            results[s.name]['sessions'] = sessions_per_second(s, args.sessions)
        for count in args.idle:
            print('Idle sessions: %d ...' % count, flush=True)
            for s in servers:
                if count > args.idle_all_limit and s.name in ('vsftpd', 'pure-ftpd', 'proftpd'):
                    continue
                results[s.name]['idle%d' % count] = idle_memory(s, count)
        for s in servers:
            s.stop()
        if tls_servers:
            print('Large transfers under TLS (PROT P) ...', flush=True)
            for s in tls_servers:
                s.start()
                retr_big(s, retr_size, TLS_CURL)
            retr = {s.name: [] for s in tls_servers}
            stor = {s.name: [] for s in tls_servers}
            for run in range(args.runs):
                order = tls_servers[run % 2:] + tls_servers[:run % 2]
                for s in order:
                    retr[s.name].append(retr_big(s, retr_size, TLS_CURL))
                for s in order:
                    stor[s.name].append(stor_big(s, source, root, 'tls-%s-%d.bin' % (s.name, run),
                                                 stor_size, TLS_CURL))
                print('TLS run %d: ' % (run + 1) + ', '.join(
                    '%s %.2f/%.2f s' % (s.name, retr[s.name][-1][0], stor[s.name][-1][0])
                    for s in tls_servers), flush=True)
            for s in tls_servers:
                r = tls_results[s.name]
                r['retr'] = args.retr_mib / statistics.median(t for t, _ in retr[s.name])
                r['retr_cpu'] = (statistics.median(c for _, c in retr[s.name]) /
                                 (args.retr_mib / 1024))
                r['stor'] = args.stor_mib / statistics.median(t for t, _ in stor[s.name])
                r['stor_cpu'] = (statistics.median(c for _, c in stor[s.name]) /
                                 (args.stor_mib / 1024))
    finally:
        for s in servers + tls_servers:
            s.stop()
        load_after = os.getloadavg()
        if not os.environ.get("KEEP_BENCH_DIR"):
            shutil.rmtree(work, ignore_errors=True)

    rows = [('RETR %d MiB, MiB/s' % args.retr_mib, 'retr', True),
            ('  server CPU s per GiB', 'retr_cpu', False),
            ('STOR %d MiB, MiB/s' % args.stor_mib, 'stor', True),
            ('  server CPU s per GiB', 'stor_cpu', False),
            ('4 KiB RETRs, one session, /s', 'files', True),
            ('  server CPU us per file', 'files_cpu', False),
            ('new sessions /s', 'sessions', True)]
    for count in args.idle:
        rows.append(('idle session KiB (%d held)' % count, 'idle%d' % count, False))
    names = [s.name for s in servers]
    lines = ['Loopback 127.0.0.1, curl and ftplib; %d runs of the large transfers (medians). '
             'Load average before %.2f, after %.2f (1 min).' % (args.runs, load_before[0],
                                                                load_after[0]),
             'Files served from %s; %s.' % (args.work or tempfile.gettempdir(), placement),
             'Ratios "xN" are orvane against that peer, >1 better for orvane.', '']
    lines.append('%-32s' % '' + ''.join('%18s' % n for n in names))

    def value(name, key):
        v = results[name].get(key)
        return v[0] if isinstance(v, tuple) else v

    for label, key, higher in rows if names else []:
        cells = []
        mine = value('orvane', key) if 'orvane' in results else None
        for n in names:
            v = value(n, key)
            if v is None:
                cells.append('%18s' % '-')
                continue
            text = '%.2f' % v if v < 100 else '%.0f' % v
            if n != 'orvane' and mine is not None and v > 0 and mine > 0:
                ratio = mine / v if higher else v / mine
                text += ' x%.2f' % ratio
            cells.append('%18s' % text)
        lines.append('%-32s' % label + ''.join(cells))
    for count in args.idle:
        held = ['%s %d MiB' % (n, results[n]['idle%d' % count][1] // 1024) for n in names
                if 'idle%d' % count in results[n]]
        if held:
            lines.append('  total Pss with %d idle sessions: %s' % (count, ', '.join(held)))
    if tls_results:
        lines += ['', 'Under TLS (AUTH TLS, PROT P; curl --ssl-reqd, session reused), '
                  'orvane against vsftpd ssl_enable=YES:']
        for label, key, higher in rows[:4]:
            mine, theirs = tls_results['orvane'][key], tls_results['vsftpd'][key]
            ratio = (mine / theirs if higher else theirs / mine) if mine > 0 and theirs > 0 else 0
            lines.append('%-32s%18.2f%18.2f x%.2f' % (label, mine, theirs, ratio))
    write_table(lines, args.results)
    return 0


def write_table(lines, path):
    """Prints the table and writes it to path (its directory made when missing)."""
    text = '\n'.join(lines) + '\n'
    print()
    print(text)
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, 'w') as f:
        f.write(text)
    print('written to', path)


if __name__ == '__main__':
    sys.exit(main())

#!/usr/bin/env python3
"""The desktop program against the daemon, with every command and answer logged; run by hand.

    bench/desktop_vs_daemon.py build/rel/src/app/orvane-ftpd build/rel/src/app/orvane-ftp-server \
        [--rounds 5] [--seconds 5] [--mib 1024] [--max-lines 100]

Both programs run in turn on the same temporary directory, whose FTPsrv.ini switches every log
category on, for the screen (the memo, and standard output) and for the file, so the desktop
program's main window shows each command in green and each answer in black. The desktop program
runs on Qt's offscreen platform with its main window open. In each round, each program (the
order alternates) is started, measured and stopped:

- busy client: one logged-in ftplib session sends NOOP, PWD and SIZE in a loop for --seconds
  (commands per second), then 4 KiB RETRs for --seconds (files per second);
- 1 GiB download: curl fetches a file of --mib MiB (MB/s, 10^6 bytes per second);
- responsiveness: while the busy client and the download run, a second session sends a NOOP
  every 50 ms and the time to its answer is kept (median and maximum). The engine runs on the
  window's own thread, so a memo or client list that held the Qt loop back would show here;
- the server's CPU time (user + system) per command, per 4 KiB RETR and per GiB, and over the
  whole round. On a shared machine the rates swing with the other programs' load; the CPU time
  per unit of work is the steadier figure.

Prints the medians per program and the ratio desktop/daemon (1.0 = as fast). The machine may be
shared: the rounds interleave the programs so that load changes hit both alike; quote `uptime`.
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
import threading
import time

SMALL = os.urandom(4096)


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def prepare(directory, mib):
    root = os.path.join(directory, 'root')
    os.makedirs(os.path.join(root, 'home'))
    with open(os.path.join(root, 'home', 'small.bin'), 'wb') as f:
        f.write(SMALL)
    block = os.urandom(1 << 20)
    with open(os.path.join(root, 'home', 'big.bin'), 'wb') as f:
        for _ in range(mib):
            f.write(block)
    with open(os.path.join(directory, 'Accounts.ini'), 'w') as f:
        f.write('[user]\r\nLogin=user\r\nPass=pw\r\nEnableLogin=1\r\nEnablePass=1\r\n'
                'Enabled=1\r\nTO=0\r\nDir0=C:\\home\r\nAttr0=RWDMLS\r\n')


def write_ini(directory, port, max_lines):
    root = os.path.join(directory, 'root')
    with open(os.path.join(directory, 'FTPsrv.ini'), 'w') as f:
        f.write('[Drives]\r\nC=%s\r\n[ServerFTP]\r\nport=%d\r\nmaxusr=0\r\n'
                'demarrageauto=1\r\n[FTPServer]\r\nTip=0\r\n' % (root, port))
        # Every event, command and answer on screen and in the file.
        for section in ('Screen', 'File'):
            f.write('[%s]\r\n' % section + ''.join('%d=1\r\n' % i for i in range(1, 13)))
            if section == 'Screen':
                f.write('13=%d\r\n' % max_lines)


def wait_listening(port, deadline):
    while time.monotonic() < deadline:
        try:
            socket.create_connection(('127.0.0.1', port), timeout=1).close()
            return
        except OSError:
            time.sleep(0.05)
    raise SystemExit('the server did not start')


def cpu_seconds(pid):
    with open('/proc/%d/stat' % pid) as f:
        fields = f.read().rsplit(')', 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf('SC_CLK_TCK')


class Prober(threading.Thread):
    """A second session that sends a NOOP every 50 ms and keeps the answer times."""

    def __init__(self, port):
        super().__init__(daemon=True)
        self.ftp = ftplib.FTP()
        self.ftp.connect('127.0.0.1', port, timeout=30)
        self.ftp.login('user', 'pw')
        self.times = []
        self.active = False
        self.stopping = False

    def run(self):
        while not self.stopping:
            if self.active:
                start = time.monotonic()
                self.ftp.voidcmd('NOOP')
                self.times.append(time.monotonic() - start)
            time.sleep(0.05)

    def stop(self):
        self.stopping = True
        self.join()
        self.ftp.close()


def busy_commands(port, seconds):
    with ftplib.FTP() as ftp:
        ftp.connect('127.0.0.1', port, timeout=30)
        ftp.login('user', 'pw')
        ftp.voidcmd('TYPE I')
        count = 0
        start = time.monotonic()
        while time.monotonic() - start < seconds:
            ftp.voidcmd('NOOP')
            ftp.pwd()
            ftp.size('small.bin')
            count += 3
        return count / (time.monotonic() - start), count


def busy_retrs(port, seconds):
    with ftplib.FTP() as ftp:
        ftp.connect('127.0.0.1', port, timeout=30)
        ftp.login('user', 'pw')
        count = 0
        start = time.monotonic()
        # Capped so that one round leaves at most a few thousand loopback ports in TIME_WAIT.
        while time.monotonic() - start < seconds and count < 2500:
            chunks = []
            ftp.retrbinary('RETR small.bin', chunks.append)
            if b''.join(chunks) != SMALL:
                raise SystemExit('a download differs from the file')
            count += 1
        return count / (time.monotonic() - start), count


def download(port, mib):
    start = time.monotonic()
    out = subprocess.run(['curl', '-s', '-S', '--max-time', '600', '-o', '/dev/null', '-w',
                          '%{size_download}', 'ftp://user:pw@127.0.0.1:%d/big.bin' % port],
                         capture_output=True, text=True, check=True)
    elapsed = time.monotonic() - start
    if int(out.stdout) != mib << 20:
        raise SystemExit('the download has %s bytes' % out.stdout)
    return (mib << 20) / elapsed / 1e6


def start(kind, binary, directory, args):
    """Starts the program on a free port; tries another port when the first was taken meanwhile
    (other programs on the machine bind ports too)."""
    env = dict(os.environ)
    if kind == 'desktop':
        env['QT_QPA_PLATFORM'] = 'offscreen'
    for attempt in range(3):
        port = free_port()
        write_ini(directory, port, args.max_lines)
        # Standard output (the event lines) goes to /dev/null, for both programs alike.
        server = subprocess.Popen([binary, str(port), '--dir', directory], env=env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            wait_listening(port, time.monotonic() + 30)
            return server, port
        except SystemExit:
            server.kill()
            server.wait()
    raise SystemExit('%s did not start' % kind)


def one_round(kind, binary, directory, args):
    server, port = start(kind, binary, directory, args)
    try:
        cpu_before = cpu_seconds(server.pid)
        prober = Prober(port)
        prober.start()
        prober.active = True
        # Each phase also gives the server's CPU time per unit of work, a figure that the
        # other programs on a shared machine disturb much less than the rates.
        result = {}
        cpu = cpu_seconds(server.pid)
        rate, count = busy_commands(port, args.seconds)
        result['commands/s'] = rate
        result['CPU us/command'] = (cpu_seconds(server.pid) - cpu) / count * 1e6
        cpu = cpu_seconds(server.pid)
        rate, count = busy_retrs(port, args.seconds)
        result['4 KiB RETR/s'] = rate
        result['CPU us/RETR'] = (cpu_seconds(server.pid) - cpu) / count * 1e6
        cpu = cpu_seconds(server.pid)
        result['RETR MB/s'] = download(port, args.mib)
        result['CPU s/GiB'] = (cpu_seconds(server.pid) - cpu) / (args.mib / 1024)
        prober.active = False
        result['CPU s'] = cpu_seconds(server.pid) - cpu_before
        prober.stop()
        result['NOOP median ms'] = statistics.median(prober.times) * 1000
        result['NOOP max ms'] = max(prober.times) * 1000
        return result
    finally:
        server.send_signal(signal.SIGTERM)
        try:
            server.wait(timeout=30)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('ftpd')
    parser.add_argument('desktop')
    parser.add_argument('--rounds', type=int, default=5)
    parser.add_argument('--seconds', type=float, default=5)
    parser.add_argument('--mib', type=int, default=1024)
    parser.add_argument('--max-lines', type=int, default=100,
                        help='the memo\'s "Max Lines" (100 by default, as a new FTPsrv.ini)')
    args = parser.parse_args()
    binaries = {'daemon': os.path.abspath(args.ftpd), 'desktop': os.path.abspath(args.desktop)}
    work = tempfile.mkdtemp(prefix='orvane-desktop-bench-')
    results = {'daemon': [], 'desktop': []}
    try:
        prepare(work, args.mib)
        print('load before: %s' % open('/proc/loadavg').read().strip())
        for r in range(args.rounds):
            order = ['daemon', 'desktop'] if r % 2 == 0 else ['desktop', 'daemon']
            for kind in order:
                res = one_round(kind, binaries[kind], work, args)
                results[kind].append(res)
                print('round %d %-7s ' % (r + 1, kind) +
                      '  '.join('%s %.1f' % (k, v) for k, v in res.items()), flush=True)
        print('load after: %s' % open('/proc/loadavg').read().strip())
        keys = list(results['daemon'][0].keys())
        print('\n%-18s %10s %10s %8s' % ('median', 'daemon', 'desktop', 'ratio'))
        for k in keys:
            a = statistics.median(x[k] for x in results['daemon'])
            b = statistics.median(x[k] for x in results['desktop'])
            print('%-18s %10.1f %10.1f %8.2f' % (k, a, b, b / a if a else float('nan')))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    sys.exit(main())

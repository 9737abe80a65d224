#!/usr/bin/env python3
"""Accuracy and server CPU of the transfer rate limits of orvane-ftpd, run by hand against a
Release build:

    bench/rate_limits.py build/rel/src/app/orvane-ftpd [--seconds 10]

For each row one ftplib client on 127.0.0.1 downloads (RETR of a sparse file, so the disk is not
the bound) or uploads (STOR from memory) for about --seconds; the row gives the rate reached,
its error against the account's DownloadRate/UploadRate, and the server's CPU time (user +
system, from /proc/PID/stat) per GiB moved. The unlimited rows use an account without rates
and move a fixed amount (4 GiB down, 1 GiB up) as fast as the loopback allows. The figures move
with the load of the machine: quote the load average printed first.
"""
import argparse
import ftplib
import io
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

KIB = 1024
MIB = 1024 * KIB
GIB = 1024 * MIB
TICKS = os.sysconf('SC_CLK_TCK')


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def account(name, **keys):
    lines = ['[%s]' % name, 'Login=' + name, 'Pass=pw', 'EnableLogin=1', 'EnablePass=1',
             'Enabled=1', 'TO=0', 'Dir0=C:\\home', 'Attr0=RWDMLS']
    lines += ['%s=%s' % item for item in keys.items()]
    return ''.join(line + '\r\n' for line in lines)


def prepare(directory, port, size):
    root = os.path.join(directory, 'root')
    os.makedirs(os.path.join(root, 'home'))
    with open(os.path.join(root, 'home', 'big.bin'), 'wb') as f:
        f.truncate(size)
    with open(os.path.join(directory, 'FTPsrv.ini'), 'w') as f:
        f.write('[Drives]\r\nC=%s\r\n[ServerFTP]\r\nport=%d\r\nmaxusr=0\r\nmaxperip=0\r\n'
                % (root, port))
        for section in ('Screen', 'File'):
            f.write('[%s]\r\n' % section + ''.join('%d=0\r\n' % i for i in range(1, 13)))
    with open(os.path.join(directory, 'Accounts.ini'), 'w') as f:
        f.write(account('r1', DownloadRate=1024, UploadRate=1024) +
                account('r50', DownloadRate=50 * 1024, UploadRate=50 * 1024) +
                account('free'))


def cpu_seconds(pid):
    with open('/proc/%d/stat' % pid) as f:
        fields = f.read().rsplit(')', 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS  # utime, stime


class Zeros(io.RawIOBase):
    """size bytes of zeros, read in the blocks ftplib asks for."""

    def __init__(self, size):
        self.left = size
        self.block = bytes(1 * MIB)

    def readable(self):
        return True

    def read(self, n=-1):
        n = min(self.left, len(self.block) if n < 0 else n)
        self.left -= n
        return self.block[:n]


def measure(port, pid, user, direction, size):
    ftp = ftplib.FTP()
    ftp.connect('127.0.0.1', port, timeout=60)
    ftp.login(user, 'pw')
    moved = [0]

    def count(block):
        moved[0] += len(block)

    cpu = cpu_seconds(pid)
    start = time.monotonic()
    if direction == 'down':
        ftp.retrbinary('RETR big.bin', count, blocksize=256 * KIB)
    else:
        ftp.storbinary('STOR up.bin', Zeros(size), blocksize=256 * KIB)
        moved[0] = size
    took = time.monotonic() - start
    cpu = cpu_seconds(pid) - cpu
    if direction == 'up':
        ftp.delete('up.bin')
    ftp.quit()
    return moved[0], took, cpu


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('ftpd')
    parser.add_argument('--seconds', type=float, default=10)
    args = parser.parse_args()
    print('load average: %s' % ' '.join(open('/proc/loadavg').read().split()[:3]))
    rows = [('r1', 'down', 1 * MIB), ('r1', 'up', 1 * MIB),
            ('r50', 'down', 50 * MIB), ('r50', 'up', 50 * MIB),
            ('free', 'down', None), ('free', 'up', None)]
    print('%-8s %-5s %12s %8s %12s %9s %12s' %
          ('account', 'dir', 'target MiB/s', 'seconds', 'reached MiB/s', 'error %',
           'CPU s / GiB'))
    for user, direction, rate in rows:
        size = int(rate * args.seconds) if rate else (4 * GIB if direction == 'down' else 1 * GIB)
        directory = tempfile.mkdtemp(prefix='orvane-rates-')
        port = free_port()
        prepare(directory, port, size)
        server = subprocess.Popen([os.path.abspath(args.ftpd), str(port), '--dir', directory],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            deadline = time.monotonic() + 10
            while True:
                try:
                    socket.create_connection(('127.0.0.1', port), timeout=1).close()
                    break
                except OSError:
                    if time.monotonic() > deadline:
                        raise
                    time.sleep(0.05)
            moved, took, cpu = measure(port, server.pid, user, direction, size)
        finally:
            server.send_signal(signal.SIGTERM)
            server.wait(timeout=10)
            shutil.rmtree(directory, ignore_errors=True)
        reached = moved / took / MIB
        error = '%+.2f' % ((reached * MIB / rate - 1) * 100) if rate else '-'
        print('%-8s %-5s %12s %8.2f %12.1f %9s %12.3f' %
              (user, direction, '%g' % (rate / MIB) if rate else 'none', took, reached, error,
               cpu / (moved / GIB)))
    return 0


if __name__ == '__main__':
    sys.exit(main())

#!/usr/bin/env python3
"""Small-transfer rates of orvane-ftpd measured with ftplib on 127.0.0.1, run by hand.

    bench/small_transfers.py build/rel/src/app/orvane-ftpd [--seconds 5]

Prints two figures, each counted for a fixed time or a fixed number of transfers, whichever
comes first:
- RETRs per second of one 4 KiB file in one logged-in session (passive mode);
- new sessions per second, each one connect, USER/PASS, one 4 KiB RETR and QUIT.

These rates are bound by how soon each reply reaches the client: a reply held back until the
client acknowledges an earlier segment costs a delayed-ACK time (tens of ms) per transfer.
The server runs on a temporary directory with one account (user/pw) and is stopped with SIGTERM.

Every transfer leaves a connection in TIME_WAIT for a minute, on the loopback's ephemeral ports
(about 28,000): the counts are capped so that one run leaves at most about 5,000, and runs
should be a minute apart.
"""
import argparse
import ftplib
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

PAYLOAD = os.urandom(4096)


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def prepare(directory, port):
    root = os.path.join(directory, 'root')
    os.makedirs(os.path.join(root, 'home'))
    with open(os.path.join(root, 'home', 'small.bin'), 'wb') as f:
        f.write(PAYLOAD)
    with open(os.path.join(directory, 'FTPsrv.ini'), 'w') as f:
        f.write('[Drives]\r\nC=%s\r\n[ServerFTP]\r\nport=%d\r\nmaxusr=0\r\n' % (root, port))
        # Logging of every command and answer off: the figures are about the protocol.
        for section in ('Screen', 'File'):
            f.write('[%s]\r\n' % section + ''.join('%d=0\r\n' % i for i in range(1, 13)))
    with open(os.path.join(directory, 'Accounts.ini'), 'w') as f:
        f.write('[user]\r\nLogin=user\r\nPass=pw\r\nEnableLogin=1\r\nEnablePass=1\r\n'
                'Enabled=1\r\nTO=0\r\nDir0=C:\\home\r\nAttr0=RWDMLS\r\n')


def wait_listening(port, deadline):
    while time.monotonic() < deadline:
        try:
            socket.create_connection(('127.0.0.1', port), timeout=1).close()
            return
        except OSError:
            time.sleep(0.05)
    raise SystemExit('the server did not start')


def retr(ftp):
    chunks = []
    ftp.retrbinary('RETR small.bin', chunks.append)
    if b''.join(chunks) != PAYLOAD:
        raise SystemExit('a download differs from the file')


MAX_RETRS = 3000
MAX_SESSIONS = 1000


def one_session_rate(port, seconds):
    with ftplib.FTP() as ftp:
        ftp.connect('127.0.0.1', port, timeout=10)
        ftp.login('user', 'pw')
        count = 0
        start = time.monotonic()
        while time.monotonic() < start + seconds and count < MAX_RETRS:
            retr(ftp)
            count += 1
        elapsed = time.monotonic() - start
        ftp.quit()
    return count / elapsed


def new_session_rate(port, seconds):
    count = 0
    start = time.monotonic()
    while time.monotonic() < start + seconds and count < MAX_SESSIONS:
        ftp = ftplib.FTP()
        ftp.connect('127.0.0.1', port, timeout=10)
        ftp.login('user', 'pw')
        retr(ftp)
        ftp.quit()
        ftp.close()
        count += 1
    return count / (time.monotonic() - start)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('ftpd')
    parser.add_argument('--seconds', type=float, default=5)
    args = parser.parse_args()
    directory = tempfile.mkdtemp(prefix='orvane-bench-')
    port = free_port()
    prepare(directory, port)
    server = subprocess.Popen([os.path.abspath(args.ftpd), str(port), '--dir', directory],
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    try:
        wait_listening(port, time.monotonic() + 10)
        print('4 KiB RETRs per second, one session: %.0f' % one_session_rate(port, args.seconds))
        print('sessions per second (login, 4 KiB RETR, QUIT): %.0f' %
              new_session_rate(port, args.seconds))
    finally:
        server.send_signal(signal.SIGTERM)
        try:
            server.wait(timeout=10)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait()
        shutil.rmtree(directory, ignore_errors=True)
    return 0


if __name__ == '__main__':
    sys.exit(main())

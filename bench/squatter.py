#!/usr/bin/env python3
"""A legitimate client's admission while a squatter holds silent connections, and the passwords
judged for one address that guesses on many connections at once under banfailures.

    bench/squatter.py build/test/src/app/orvane-ftpd

Default settings (maxusr=2, logintimeout=60). The squatter keeps SQUAT silent connections from
127.0.0.1 and reopens each one that closes; the legitimate client (127.0.0.2) tries 24 logins in
12 s. The guesser opens 200 connections from 127.0.0.3 in advance (as many as are admitted),
then sends one wrong password on each; the log tells how many were judged."""
import os, socket, subprocess, sys, tempfile, time

BINARY = sys.argv[1]
SQUAT = 8


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def start(settings):
    d = tempfile.mkdtemp()
    root = os.path.join(d, 'root')
    os.mkdir(root)
    with open(os.path.join(d, 'FTPsrv.ini'), 'w') as f:
        f.write('[Drives]\r\nC=%s\r\n[ServerFTP]\r\n%s[File]\r\n1=1\r\n' % (root, settings))
    with open(os.path.join(d, 'Accounts.ini'), 'w') as f:
        f.write('[user]\r\nLogin=user\r\nPass=pw\r\nEnableLogin=1\r\nEnablePass=1\r\n'
                'Enabled=1\r\nDir0=C:\\\r\nAttr0=RL\r\n')
    port = free_port()
    p = subprocess.Popen([BINARY, str(port), '--dir', d], stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
    for _ in range(100):
        try:
            socket.create_connection(('127.0.0.1', port), timeout=1).close()
            break
        except OSError:
            time.sleep(0.1)
    return p, port, d


def connect(port, source, timeout=2):
    s = socket.socket()
    s.settimeout(timeout)
    s.bind((source, 0))
    s.connect(('127.0.0.1', port))
    return s


def line(s):
    data = b''
    while not data.endswith(b'\n'):
        chunk = s.recv(1)
        if not chunk:
            break
        data += chunk
    return data.decode('latin-1').strip()


def squatter_figure():
    p, port, _ = start('')
    squat = []
    for _ in range(SQUAT):
        try:
            squat.append(connect(port, '127.0.0.1'))
        except OSError:
            pass
    ok = 0
    for attempt in range(24):
        # Reopen the squatter's closed connections at once.
        for i, s in enumerate(squat):
            s.setblocking(False)
            try:
                closed = s.recv(4096) == b''
            except BlockingIOError:
                closed = False
            except OSError:
                closed = True
            s.setblocking(True)
            if closed:
                try:
                    squat[i] = connect(port, '127.0.0.1')
                except OSError:
                    pass
        try:
            c = connect(port, '127.0.0.2')
            if line(c).startswith('220'):
                c.sendall(b'USER user\r\n')
                line(c)
                c.sendall(b'PASS pw\r\n')
                if line(c).startswith('230'):
                    ok += 1
                    c.sendall(b'QUIT\r\n')
            c.close()
        except OSError:
            pass
        time.sleep(0.5)
    p.terminate()
    p.wait()
    return ok


def guesses_figure():
    p, port, d = start('maxusr=0\r\nbanfailures=10\r\nloginfaildelay=1\r\n')
    conns = []
    for _ in range(200):
        try:
            s = connect(port, '127.0.0.3')
            if line(s).startswith('220'):
                conns.append(s)
            else:
                s.close()
        except OSError:
            pass
    for s in conns:
        try:
            s.sendall(b'USER user\r\nPASS wrong\r\nUSER user\r\nPASS wrong\r\n')
        except OSError:
            pass
    time.sleep(6)
    rightAfterBan = 0
    for s in conns:
        try:
            s.sendall(b'USER user\r\nPASS pw\r\n')
        except OSError:
            pass
    time.sleep(2)
    p.terminate()
    p.wait()
    with open(os.path.join(d, 'FTP.log'), encoding='latin-1') as f:
        log = f.read()
    judged = log.count('(127.0.0.3) connection refused : Bad')
    logged = log.count('user (127.0.0.3) logged in')
    return len(conns), judged, logged


print('legitimate logins under a squatter: %d of 24' % squatter_figure())
print('guesser: %d connections admitted, %d passwords judged, %d logins after the ban' %
      guesses_figure())

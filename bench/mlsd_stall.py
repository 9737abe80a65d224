#!/usr/bin/env python3
"""How long one MLSD of 8,000 subdirectories, by an account with 25 directory entries, holds
every other client: the longest NOOP round trip of a second client meanwhile (LIST beside it).

    bench/mlsd_stall.py build/test/src/app/orvane-ftpd"""
import ftplib, os, socket, subprocess, sys, tempfile, threading, time

BINARY = sys.argv[1]
d = tempfile.mkdtemp()
root = os.path.join(d, 'root')
for i in range(8000):
    os.makedirs(os.path.join(root, 'big', 'd%05d' % i))
lines = ['[user]', 'Login=user', 'Pass=pw', 'EnableLogin=1', 'EnablePass=1', 'Enabled=1',
         'Dir0=C:\\big', 'Attr0=RLS']
for i in range(1, 25):
    os.makedirs(os.path.join(root, 'other%d' % i))
    lines += ['Dir%d=C:\\other%d' % (i, i), 'Attr%d=RL' % i]
with open(os.path.join(d, 'Accounts.ini'), 'w') as f:
    f.write('\r\n'.join(lines) + '\r\n')
with socket.socket() as s:
    s.bind(('127.0.0.1', 0))
    port = s.getsockname()[1]
with open(os.path.join(d, 'FTPsrv.ini'), 'w') as f:
    f.write('[Drives]\r\nC=%s\r\n[ServerFTP]\r\nmaxusr=0\r\n' % root)
p = subprocess.Popen([BINARY, str(port), '--dir', d], stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL)
time.sleep(1.5)


def login():
    ftp = ftplib.FTP()
    ftp.connect('127.0.0.1', port, timeout=60)
    ftp.login('user', 'pw')
    ftp.cwd('/big')
    return ftp


for command in ('MLSD', 'LIST'):
    lister, watcher = login(), login()
    worst = [0.0]
    done = threading.Event()

    def watch():
        while not done.is_set():
            t = time.monotonic()
            watcher.voidcmd('NOOP')
            worst[0] = max(worst[0], time.monotonic() - t)

    thread = threading.Thread(target=watch)
    thread.start()
    time.sleep(0.2)
    lister.retrlines(command, lambda line: None)
    done.set()
    thread.join()
    print('%s: longest NOOP meanwhile %.2f s' % (command, worst[0]))
    lister.quit()
    watcher.quit()
p.terminate()
p.wait()

#!/usr/bin/env python3
"""Soak test, run by hand: many clients transferring at once against orvane-ftpd.

Each of --clients threads logs in again and again and, per session, uploads files of sizes
around the 2048-byte transfer chunk and of a few MiB, downloads them whole and from a restart
offset, lists, checks SIZE and deletes, in passive and active mode, comparing every byte. The
run fails on any mismatch, any refused or timed-out step, or a report of the sanitizers.

  tests/soak/soak_transfers.py build/test/src/app/orvane-ftpd [--seconds 120] [--clients 16]

Only 127.0.0.1 is used; the run stops by itself after the given time."""

import argparse
import ftplib
import io
import os
import random
import sys
import threading
import time
import traceback

from soak_support import SoakServer

SIZES = (0, 1, 2047, 2048, 2049, 100000, 3 * 1024 * 1024 + 7)


def prepare(directory, port):
    os.makedirs(os.path.join(directory, 'root', 'home', 'user'))
    with open(os.path.join(directory, 'FTPsrv.ini'), 'w', newline='\r\n') as f:
        f.write('[Drives]\nC=%s\n[ServerFTP]\nport=%d\nmaxusr=100\nmaxperip=0\n'
                % (os.path.join(directory, 'root'), port))
    with open(os.path.join(directory, 'Accounts.ini'), 'w', newline='\r\n') as f:
        f.write('[user]\nLogin=user\nPass=secret\nEnableLogin=1\nEnablePass=1\nEnabled=1\n'
                'Dir0=C:\\home\\user\nAttr0=RWDMLS\nratio=1\nXdl=1\nXupl=1\n')


class Worker(threading.Thread):
    def __init__(self, number, port, deadline, errors):
        super().__init__()
        self.number, self.port, self.deadline, self.errors = number, port, deadline, errors
        self.rnd = random.Random(number)
        self.files = 0

    def check(self, condition, what):
        if not condition:
            self.errors.append('client %d: %s' % (self.number, what))

    def transfer_one(self, ftp, serial):
        size = self.rnd.choice(SIZES)
        data = os.urandom(size)
        name = 'c%d-%d.bin' % (self.number, serial)
        ftp.storbinary('STOR ' + name, io.BytesIO(data))
        received = io.BytesIO()
        ftp.retrbinary('RETR ' + name, received.write)
        self.check(received.getvalue() == data, 'RETR of %s (%d bytes) differs' % (name, size))
        if size > 1:
            offset = self.rnd.randrange(1, size)
            received = io.BytesIO()
            ftp.retrbinary('RETR ' + name, received.write, rest=offset)
            self.check(received.getvalue() == data[offset:],
                       'RETR of %s from %d differs' % (name, offset))
        ftp.retrlines('LIST', lambda line: None)
        self.check(ftp.size(name) == size, 'SIZE of %s' % name)
        ftp.delete(name)
        self.files += 1

    def run(self):
        serial = 0
        while time.monotonic() < self.deadline:
            try:
                ftp = ftplib.FTP()
                ftp.connect('127.0.0.1', self.port, timeout=20)
                try:
                    ftp.login('user', 'secret')
                    ftp.set_pasv(self.rnd.random() < 0.7)
                    for _ in range(self.rnd.randrange(1, 6)):
                        serial += 1
                        self.transfer_one(ftp, serial)
                    ftp.quit()
                finally:
                    ftp.close()
            except Exception:  # noqa: BLE001 - every failure is a finding
                self.errors.append('client %d:\n%s' % (self.number, traceback.format_exc()))
                time.sleep(0.2)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('binary')
    parser.add_argument('--seconds', type=float, default=120)
    parser.add_argument('--clients', type=int, default=16)
    args = parser.parse_args()

    server = SoakServer(args.binary, prepare)
    failures = []
    workers = []
    try:
        deadline = time.monotonic() + args.seconds
        workers = [Worker(n, server.port, deadline, failures) for n in range(args.clients)]
        for worker in workers:
            worker.start()
        for worker in workers:
            worker.join()
    finally:
        failures += server.stop()
    print('%d files by %d clients in %.0f s' % (sum(w.files for w in workers), args.clients,
                                                 args.seconds))
    return server.finish(failures)


if __name__ == '__main__':
    sys.exit(main())

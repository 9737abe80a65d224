#!/usr/bin/env python3
"""Soak test, run by hand: random and malformed command lines against orvane-ftpd.

Clients log in (or not), send a mix of real commands with odd parameters, garbage bytes and
over-long lines, open passive data connections, send or drop data and vanish, some with a reset.
The run fails if the server stops, stops answering, exits with an error, or the sanitizers of an
ASan build report anything.

  tests/soak/soak_ftpd.py build/test/src/app/orvane-ftpd [--seconds 60] [--seed 1]

Only 127.0.0.1 is used; the run stops by itself after the given time."""

import argparse
import os
import random
import socket
import sys
import time

from soak_support import SoakServer

COMMANDS = ['USER', 'PASS', 'CWD', 'CDUP', 'PWD', 'XPWD', 'TYPE', 'SYST', 'NOOP', 'PORT', 'REST',
            'ABOR', 'NLST', 'DELE', 'SIZE', 'RNFR', 'RNTO', 'MKD', 'RMD', 'QUIT', 'XMKD', 'FOO']
# Transfers and PASV come more often, so that data connections are really opened.
COMMANDS += ['PASV'] * 6 + ['RETR', 'STOR', 'APPE', 'LIST'] * 3
WORDS = ['a.txt', 'b.bin', 'sub', 'x', '..', '.', '/', '\\', 'C:', 'D:\\', 'C:\\pub', '../..',
         '*', '*.*', '?', 'new', 'new2', '%IP', '%%', '" "', '-la', 'A' * 300, '\x00', '\xff\xf4',
         '127,0,0,1,100,1', '1,2,3,4,5,6', '-1', '99999999999999999999', '0', 'user', 'secret',
         'anonymous', 'x@y', 'I', 'A', 'E']


# Below the system's ephemeral ports (32768 and up on Linux), where other servers' passive ports
# and the test clients' free ports come from.
PASSIVE_PORTS = '20000-20999'


def prepare(directory, port):
    root = os.path.join(directory, 'root')
    os.makedirs(os.path.join(root, 'pub', 'sub'))
    os.makedirs(os.path.join(root, 'home', 'user', 'x'))
    with open(os.path.join(root, 'pub', 'a.txt'), 'wb') as f:
        f.write(b'a' * 5000)
    with open(os.path.join(root, 'home', 'user', 'b.bin'), 'wb') as f:
        f.write(os.urandom(70000))
    with open(os.path.join(directory, 'FTPsrv.ini'), 'w', newline='\r\n') as f:
        # Wrong passwords are answered late and end their session, but never ban 127.0.0.1.
        # The clients connect to the ports of 227 replies that later commands have made stale;
        # the server's own range, below the system's ephemeral ports, keeps such a connection
        # from taking the passive port of another server on this host (the soak of transfers,
        # an end-to-end test), whose client would then be refused.
        f.write('[Drives]\nC=%s\nD=%s\n[ServerFTP]\nport=%d\nmaxusr=50\nbanfailures=0\nmaxperip=0\nmaxprelogin=0\n'
                '[Passive]\nports=%s\n'
                '[WMessage]\nline0=Hi %%IP %%NUMBR %%TIME %%DATE\n'
                % (root, os.path.join(root, 'pub'), port, PASSIVE_PORTS))
    with open(os.path.join(directory, 'Accounts.ini'), 'w', newline='\r\n') as f:
        f.write('[anonymous]\nLogin=anonymous\nEnableLogin=0\nEnablePass=0\nEnabled=1\n'
                'Dir0=C:\\pub\nAttr0=R---LS\nratio=1\nXdl=3\nXupl=1\n'
                '[user]\nLogin=user\nPass=secret\nEnableLogin=1\nEnablePass=1\nEnabled=1\n'
                'Dir0=C:\\home\\user\nAttr0=RWDMLS\nDir1=D:\\\nAttr1=RWDMLS\nTimeOut=3\n')


class Soak:
    def __init__(self, rnd, port):
        self.rnd = rnd
        self.port = port

    def parameter(self):
        count = self.rnd.choice([0, 1, 1, 1, 2, 3])
        return ''.join(self.rnd.choice(WORDS) + self.rnd.choice(['/', '\\', ' ', ''])
                       for _ in range(count))

    def line(self):
        r = self.rnd.random()
        if r < 0.05:
            length = self.rnd.randrange(1, 80)
            return bytes(self.rnd.randrange(256) for _ in range(length)) + b'\r\n'
        if r < 0.08:
            return b'X' * self.rnd.randrange(1000, 5000) + b'\r\n'
        keyword = self.rnd.choice(COMMANDS)
        if self.rnd.random() < 0.3:
            keyword = keyword.lower()
        end = self.rnd.choice([b'\r\n', b'\n', b'\r\n', b'\r\n'])
        return (keyword + ' ' + self.parameter()).encode('latin-1') + end

    def log_in(self, control):
        control.sendall(self.rnd.choice([b'USER user\r\nPASS secret\r\n',
                                         b'USER anonymous\r\nPASS a@b\r\n']))
        received = b''
        control.settimeout(2)
        try:
            while not any(code in received for code in (b'230', b'530', b'421')):
                chunk = control.recv(65536)
                if not chunk:
                    break
                received += chunk
        except OSError:
            pass

    def open_data(self, received):
        """Connects to the port of the last 227 reply, sends or drops data."""
        start = received.rindex(b'227 ')
        numbers = received[start:].split(b'(')[1].split(b')')[0].split(b',')
        data = socket.create_connection(('127.0.0.1', int(numbers[4]) * 256 + int(numbers[5])),
                                        timeout=1)
        data.settimeout(0.1)
        if self.rnd.random() < 0.5:
            data.sendall(os.urandom(self.rnd.randrange(0, 10000)))
        if self.rnd.random() < 0.3:
            data.close()
            return None
        try:
            for _ in range(3):
                data.recv(65536)
        except socket.timeout:
            pass
        return data

    def session(self):
        control = socket.create_connection(('127.0.0.1', self.port), timeout=2)
        data_connections = []
        try:
            if self.rnd.random() < 0.8:
                self.log_in(control)
            control.settimeout(0.01)
            received = b''
            for _ in range(self.rnd.randrange(1, 40)):
                control.sendall(self.line())
                try:
                    received += control.recv(65536)
                except socket.timeout:
                    pass
                if b'227 ' in received and self.rnd.random() < 0.5:
                    try:
                        data_connections.append(self.open_data(received))
                    except (OSError, IndexError, ValueError):
                        pass
                    received = b''
        except OSError:
            pass  # the server may close the session: QUIT, time-out, refusal
        finally:
            if self.rnd.random() < 0.5:  # vanish with a reset
                control.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b'\x01' + b'\x00' * 7)
            control.close()
            for data in data_connections:
                if data is not None:
                    data.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('binary')
    parser.add_argument('--seconds', type=float, default=60)
    parser.add_argument('--seed', type=int, default=1)
    args = parser.parse_args()

    server = SoakServer(args.binary, prepare)
    failures = []
    sessions = 0
    try:
        soak = Soak(random.Random(args.seed), server.port)
        deadline = time.monotonic() + args.seconds
        while time.monotonic() < deadline and server.running():
            soak.session()
            sessions += 1
        if server.running():
            with socket.create_connection(('127.0.0.1', server.port), timeout=5) as probe:
                probe.settimeout(5)
                if not probe.recv(1000).startswith(b'220'):
                    failures.append('the server no longer greets')
    finally:
        failures += server.stop()
    print('%d sessions in %.0f s, seed %d' % (sessions, args.seconds, args.seed))
    return server.finish(failures)


if __name__ == '__main__':
    sys.exit(main())

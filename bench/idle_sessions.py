#!/usr/bin/env python3
"""Memory of an FTP server holding many idle, logged-in sessions.

Opens COUNT control connections to 127.0.0.1:PORT one after the other, logs each in and keeps
them open; prints the memory of the server's process tree (PID and its descendants) before
and while they are held, then closes them all. Output, one line each:

    before <processes> <VmRSS KiB> <Pss KiB>
    with <processes> <VmRSS KiB> <Pss KiB>
"""
import argparse
import os
import re
import socket
import sys
import time

TIMEOUT = 20


def process_tree(pid):
    children = {}
    for entry in os.listdir('/proc'):
        if not entry.isdigit():
            continue
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


def field_kib(path, name):
    with open(path) as f:
        for line in f:
            if line.startswith(name + ':'):
                return int(line.split()[1])
    return 0


def memory(pid):
    """(processes, VmRSS KiB, Pss KiB) summed over the tree. RSS counts shared pages once per
    process; Pss shares them out, so it is the fair sum for a forking server."""
    processes = rss = pss = 0
    for p in process_tree(pid):
        try:
            rss += field_kib('/proc/%d/status' % p, 'VmRSS')
            pss += field_kib('/proc/%d/smaps_rollup' % p, 'Pss')
            processes += 1
        except OSError:
            pass  # ended meanwhile
    return processes, rss, pss


class Session:
    def __init__(self, port):
        self.sock = socket.create_connection(('127.0.0.1', port), timeout=TIMEOUT)
        self.buffer = b''

    def reply(self):
        """Reads one whole reply (a multi-line reply ends with 'NNN ')."""
        while True:
            lines = self.buffer.split(b'\r\n')
            for i, line in enumerate(lines[:-1]):
                if re.match(rb'^\d{3} ', line):
                    self.buffer = b'\r\n'.join(lines[i + 1:])
                    return line.decode('latin-1')
            chunk = self.sock.recv(4096)
            if not chunk:
                raise ConnectionError('server closed the connection')
            self.buffer += chunk

    def command(self, line):
        self.sock.sendall(line.encode() + b'\r\n')
        return self.reply()

    def login(self, user, password):
        greeting = self.reply()
        if not greeting.startswith('220'):
            raise ConnectionError('greeting: ' + greeting)
        answer = self.command('USER ' + user)
        if answer.startswith('331'):
            answer = self.command('PASS ' + password)
        if not answer.startswith('230'):
            raise ConnectionError('login: ' + answer)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--port', type=int, required=True)
    parser.add_argument('--pid', type=int, required=True, help='the server (listening) process')
    parser.add_argument('--user', default='anonymous')
    parser.add_argument('--password', default='bench@')
    parser.add_argument('--count', type=int, default=1000)
    args = parser.parse_args()

    print('before %d %d %d' % memory(args.pid))
    sessions = []
    try:
        for _ in range(args.count):
            session = Session(args.port)
            sessions.append(session)
            session.login(args.user, args.password)
        # Every session is logged in; let forked helpers finish starting before measuring.
        time.sleep(1)
        print('with %d %d %d' % memory(args.pid))
        sys.stdout.flush()
        alive = sum(1 for s in sessions if s.command('NOOP').startswith('200'))
        if alive != args.count:
            raise ConnectionError('%d of %d sessions answered NOOP' % (alive, args.count))
    finally:
        for session in sessions:
            session.sock.close()


if __name__ == '__main__':
    main()

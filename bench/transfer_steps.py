#!/usr/bin/env python3
"""Times each step of a 4 KiB RETR, orvane-ftpd against its peers, with a raw-socket client.

The files-per-second row of compare.py is an ftplib loop: it says which server is faster, and
moves by a fifth from run to run. This says where a transfer's time goes: PASV to its 227, the
data connection's connect, RETR to its 150, the end of the data, the 226. Medians in
microseconds over --count transfers in one session (the first 100 are not counted), servers
on the first processor and this client on the others, as in compare.py.

Run by hand:  bench/transfer_steps.py --orvane build/bench/src/app/orvane-ftpd \\
                  --peers build/bench/peers/root [--only orvane pure-ftpd] [--count 600]
"""
import argparse
import os
import shutil
import socket
import statistics
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import compare  # noqa: E402  (the servers and their configurations)

STEPS = ('PASV', 'connect', 'RETR->150', '->data end', '->226', 'whole')
WARM_UP = 100


def reply(stream):
    """One reply, the last line of a multi-line one."""
    line = stream.readline()
    while len(line) > 3 and line[3:4] == b'-':
        line = stream.readline()
    if not line:
        raise SystemExit('the server closed the control connection')
    return line


def passive_port(line):
    numbers = line[line.index(b'(') + 1:line.index(b')')].split(b',')
    return int(numbers[4]) * 256 + int(numbers[5])


def measure(server, count):
    control = socket.create_connection(('127.0.0.1', server.port), timeout=10)
    control.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    stream = control.makefile('rb')
    reply(stream)
    for command in ('USER ' + server.user, 'PASS ' + server.password, 'TYPE I'):
        control.sendall(command.encode() + b'\r\n')
        reply(stream)
    times = {step: [] for step in STEPS}
    for i in range(count + WARM_UP):
        t0 = time.perf_counter()
        control.sendall(b'PASV\r\n')
        port = passive_port(reply(stream))
        t1 = time.perf_counter()
        data = socket.create_connection(('127.0.0.1', port), timeout=10)
        t2 = time.perf_counter()
        control.sendall(b'RETR small.bin\r\n')
        reply(stream)
        t3 = time.perf_counter()
        received = b''
        while chunk := data.recv(65536):
            received += chunk
        data.close()  # as ftplib does before it reads the 226: some servers wait for it
        t4 = time.perf_counter()
        reply(stream)
        t5 = time.perf_counter()
        if received != compare.SMALL:
            raise SystemExit('%s: a 4 KiB download differs from the file' % server.name)
        if i >= WARM_UP:
            for step, start, end in zip(STEPS, (t0, t1, t2, t3, t4, t0), (t1, t2, t3, t4, t5, t5)):
                times[step].append((end - start) * 1e6)
    control.sendall(b'QUIT\r\n')
    control.close()
    return {step: statistics.median(values) for step, values in times.items()}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--orvane', required=True)
    parser.add_argument('--vsftpd', default='/usr/sbin/vsftpd')
    parser.add_argument('--peers', required=True, help='where pure-ftpd and ProFTPD are unpacked')
    parser.add_argument('--only', nargs='*', default=['orvane', 'pure-ftpd', 'pyftpdlib'])
    parser.add_argument('--count', type=int, default=500)
    args = parser.parse_args()

    work, root = compare.make_root('orvane-steps-')
    with open(os.path.join(root, 'small.bin'), 'wb') as f:
        f.write(compare.SMALL)
    os.chmod(os.path.join(root, 'small.bin'), 0o644)
    servers = [s for s in compare.make_servers(args, work, root) if s.name in args.only]
    cpus = sorted(os.sched_getaffinity(0))
    if len(cpus) >= 2:
        for s in servers:
            s.cpus = {cpus[0]}
        os.sched_setaffinity(0, set(cpus[1:]))
    try:
        for s in servers:
            s.start()
        print('%-10s' % 'us' + ''.join('%12s' % step for step in STEPS))
        for s in servers:
            medians = measure(s, args.count)
            print('%-10s' % s.name + ''.join('%12.0f' % medians[step] for step in STEPS),
                  flush=True)
    finally:
        for s in servers:
            s.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    main()

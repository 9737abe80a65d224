#!/usr/bin/env python3
"""Many clients at once: orvane-ftpd side by side with vsftpd, pure-ftpd, ProFTPD and pyftpdlib.

Run by hand (bench/run_load.sh installs and builds what it needs and calls this). The servers
are started as bench/compare.py starts them, pinned to the first processor; the load generator
(bench/loadgen.cpp, built in Release) runs on the others and drives, for each server in turn:

- DOWNLOADS concurrent downloads of a DL_MIB file, once each (100 and 500 by default): the
  aggregate MiB/s and the fairness, slowest client's rate over the fastest's;
- FILE_CLIENTS clients each repeating PASV + RETR of a 4 KiB file for SECONDS: files/s and the
  server's CPU time per file;
- CONNECTORS clients each repeating connect, USER, PASS, QUIT for SECONDS: sessions/s and the
  server's CPU time per session;
- STORM sessions that connect and log in at once: the time until all are logged in.

During each, a probe session on its own thread times a NOOP every 10 ms: p50, p99 and the
maximum. Server CPU is utime + stime of the server's process tree (reaped children included).
Every account logs in with a SHA-512 crypt ("$6$") password hash: pure-ftpd's and ProFTPD's as
in compare.py, and orvane's too (PassHash), so that a login costs each server the same kind of
hash; vsftpd logs in anonymously, pyftpdlib compares a clear password.
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import compare  # noqa: E402  (the servers' start-up is shared with the other bench)


def loadgen(args, server, mode, clients, *extra):
    cpus = sorted(os.sched_getaffinity(0))
    argv = [args.loadgen, '--port', str(server.port), '--user', server.user, '--pass',
            server.password, '--mode', mode, '--clients', str(clients), '--server-pid',
            str(server.pid)] + [str(e) for e in extra]
    out = subprocess.run(argv, capture_output=True, text=True, timeout=900,
                         preexec_fn=(lambda: os.sched_setaffinity(0, set(cpus))))
    figures = {}
    for line in out.stdout.splitlines():
        if '=' in line:
            key, value = line.split('=', 1)
            try:
                figures[key] = float(value)
            except ValueError:
                figures[key] = value
    if 'ops' not in figures:
        raise SystemExit('%s %s: the load generator failed: %s' % (server.name, mode, out.stderr))
    return figures


def settle(seconds):
    # The connections of a phase leave ports in TIME_WAIT and processes still ending.
    time.sleep(seconds)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--orvane', required=True)
    parser.add_argument('--loadgen', required=True)
    parser.add_argument('--vsftpd', default='/usr/sbin/vsftpd')
    parser.add_argument('--peers', required=True, help='where pure-ftpd and ProFTPD are unpacked')
    parser.add_argument('--downloads', type=int, nargs='*', default=[100, 500])
    parser.add_argument('--dl-mib', type=int, default=64)
    parser.add_argument('--file-clients', type=int, default=100)
    parser.add_argument('--connectors', type=int, default=16)
    parser.add_argument('--storm', type=int, default=2000)
    parser.add_argument('--seconds', type=float, default=5)
    parser.add_argument('--only', nargs='*', help='names of the servers to run')
    parser.add_argument('--work', default=None)
    parser.add_argument('--results', default='build/bench/load-results.txt')
    args = parser.parse_args()

    work, root = compare.make_root('orvane-load-', args.work)
    with open(os.path.join(root, 'retr.bin'), 'wb') as f:
        for _ in range(args.dl_mib):
            f.write(os.urandom(1 << 20))
    with open(os.path.join(root, 'small.bin'), 'wb') as f:
        f.write(compare.SMALL)
    for name in ('retr.bin', 'small.bin'):
        os.chmod(os.path.join(root, name), 0o644)

    # compare.py's configurations: orvane's with no per-address cap, no cap on clients logging
    # in and every log category off, its account with the same SHA-512 crypt hash as pure-ftpd's
    # and ProFTPD's.
    servers = compare.make_servers(args, work, root)
    if args.only:
        servers = [s for s in servers if s.name in args.only]
    cpus = sorted(os.sched_getaffinity(0))
    if len(cpus) >= 2:
        for s in servers:
            s.cpus = {cpus[0]}
        os.sched_setaffinity(0, set(cpus[1:]))
    phases = []  # (key, label) in table order
    for n in args.downloads:
        phases.append(('dl%d' % n, '%d downloads of %d MiB' % (n, args.dl_mib)))
    phases += [('files', '%d clients, 4 KiB RETRs' % args.file_clients),
               ('sessions', '%d connectors, sessions' % args.connectors),
               ('storm', '%d sessions opening at once' % args.storm)]
    results = {s.name: {} for s in servers}
    load_before = os.getloadavg()
    try:
        for s in servers:
            s.start()
            # The page cache holds the file before anything is timed.
            loadgen(args, s, 'download', 1, '--file', 'retr.bin', '--no-probe')
        for row, (key, label) in enumerate(phases):
            print(label + ' ...', flush=True)
            # Each row starts with another server: this machine's speed drifts within minutes,
            # and the server that always went first would always take the drift.
            turn = row % len(servers)
            for s in servers[turn:] + servers[:turn]:
                if key.startswith('dl'):
                    # A healthy server moves 500 x 64 MiB in well under a minute; vsftpd leaves
                    # some downloads hanging for good, and the run must end in 15 minutes.
                    r = loadgen(args, s, 'download', int(key[2:]), '--file', 'retr.bin',
                                '--limit', 60)
                elif key == 'files':
                    r = loadgen(args, s, 'files', args.file_clients, '--file', 'small.bin',
                                '--seconds', args.seconds)
                elif key == 'sessions':
                    r = loadgen(args, s, 'sessions', args.connectors, '--seconds', args.seconds)
                else:
                    r = loadgen(args, s, 'storm', args.storm, '--limit', 60)
                results[s.name][key] = r
                print('  %-10s %s' % (s.name, ' '.join(
                    '%s=%s' % (k, v) for k, v in r.items() if k not in ('mode', 'clients'))),
                    flush=True)
                settle(2)
    finally:
        for s in servers:
            s.stop()
        load_after = os.getloadavg()
        shutil.rmtree(work, ignore_errors=True)

    names = [s.name for s in servers]

    def get(name, key, figure):
        return results[name].get(key, {}).get(figure)

    rows = []
    for n in args.downloads:
        k = 'dl%d' % n
        rows.append(('%d x %d MiB downloads, MiB/s' % (n, args.dl_mib), k, 'mib_per_s', True))
        rows.append(('  fairness slowest/fastest', k, 'fairness', True))
    rows += [('%d clients 4 KiB RETR, files/s' % args.file_clients, 'files', 'ops_per_s', True),
             ('  server CPU us per file', 'files', 'server_cpu_us_per_op', False),
             ('%d connectors, sessions/s' % args.connectors, 'sessions', 'ops_per_s', True),
             ('  server CPU us per session', 'sessions', 'server_cpu_us_per_op', False),
             ('%d sessions at once, s to open' % args.storm, 'storm', 'seconds', False)]
    for name in names:
        for n in args.downloads:
            r = results[name].get('dl%d' % n)
            if r and r.get('fastest_mib_per_s'):
                r['fairness'] = r['slowest_mib_per_s'] / r['fastest_mib_per_s']
    for key, label in phases:
        rows.append(('probe NOOP p99 ms, ' + key, key, 'probe_p99_ms', False))
    lines = ['Loopback 127.0.0.1; servers on processor %d, the load generator on the others. '
             'Load average before %.2f, after %.2f (1 min).' % (cpus[0], load_before[0],
                                                                load_after[0]),
             'Ratios "xN" are orvane against that peer, >1 better for orvane.', '']
    lines.append('%-36s' % '' + ''.join('%18s' % n for n in names))
    for label, key, figure, higher in rows:
        mine = get('orvane', key, figure) if 'orvane' in results else None
        cells = []
        for n in names:
            v = get(n, key, figure)
            if not isinstance(v, float):
                cells.append('%18s' % '-')
                continue
            text = '%.2f' % v if v < 100 else '%.0f' % v
            if n != 'orvane' and isinstance(mine, float) and v > 0 and mine > 0:
                text += ' x%.2f' % (mine / v if higher else v / mine)
            cells.append('%18s' % text)
        lines.append('%-36s' % label + ''.join(cells))
    lines.append('')
    lines.append('probe NOOP p50 / max ms:')
    for key, label in phases:
        lines.append('  %-34s' % key + ''.join(
            '%18s' % ('%.1f / %.0f' % (get(n, key, 'probe_p50_ms') or 0,
                                       get(n, key, 'probe_max_ms') or 0)) for n in names))
    errors = ['%s %s: %d errors, %d not done at the limit' % (
        n, key, get(n, key, 'errors') or 0, get(n, key, 'not_done') or 0) for n in names
        for key, _ in phases if get(n, key, 'errors') or get(n, key, 'not_done')]
    if errors:
        lines.append('Failed steps (client sessions that broke off): ' + '; '.join(errors))
    compare.write_table(lines, args.results)
    return 0


if __name__ == '__main__':
    sys.exit(main())

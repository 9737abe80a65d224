#!/usr/bin/env python3
"""Time of a refused login against orvane-ftpd, by kind of name: a name without an account, a
named account with a hashed password, one with a clear password and one that requires TLS. The
medians should be equal within the noise (every attempt costs one yescrypt hash), so that the
time of a refusal tells nothing about which names exist.

    python3 bench/login_timing.py PATH/TO/orvane-ftpd [ROUNDS]
"""
import ftplib
import os
import statistics
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e'))
from e2e_support import Ftpd, free_port, password_hash  # noqa: E402


def main():
    binary = sys.argv[1]
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 40
    with tempfile.TemporaryDirectory() as directory:
        os.makedirs(os.path.join(directory, 'home'))
        with open(os.path.join(directory, 'FTPsrv.ini'), 'w') as f:
            f.write('[Drives]\nC=%s\n[ServerFTP]\nmaxusr=0\nloginfaildelay=0\n'
                    'maxloginfailures=0\nbanfailures=0\n' % directory)
        with open(os.path.join(directory, 'Accounts.ini'), 'w') as f:
            f.write('[hashed]\nPassHash=%s\nEnablePass=1\nDir0=C:\\home\n'
                    '[clear]\nPass=pw\nEnablePass=1\nDir0=C:\\home\n'
                    '[tls]\nPass=pw\nEnablePass=1\nRequireTLS=1\nDir0=C:\\home\n'
                    % password_hash('pw'))
        port = free_port()
        ftpd = Ftpd(binary, directory, port)
        try:
            ftpd.wait_for_output('On-line')
            ftp = ftplib.FTP()
            ftp.connect('127.0.0.1', port, timeout=10)
            times = {name: [] for name in ('nobody', 'hashed', 'clear', 'tls')}
            for _ in range(rounds):
                for name, samples in times.items():
                    ftp.sendcmd('USER ' + name)
                    start = time.perf_counter()
                    try:
                        ftp.sendcmd('PASS wrong')
                    except ftplib.error_perm:
                        pass
                    samples.append(time.perf_counter() - start)
            ftp.close()
        finally:
            ftpd.stop()
    for name, samples in times.items():
        print('%-7s median %6.2f ms  stdev %5.2f ms' %
              (name, 1000 * statistics.median(samples), 1000 * statistics.stdev(samples)))


if __name__ == '__main__':
    main()

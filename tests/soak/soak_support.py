"""The server side shared by the soak tests: orvane-ftpd in a fresh temporary directory."""

import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'e2e'))
from e2e_support import free_port  # noqa: E402


class SoakServer:
    """Starts `binary` on a free port in a temporary directory that `prepare(directory, port)`
    fills with FTPsrv.ini, Accounts.ini and files, and waits until it accepts connections."""

    def __init__(self, binary, prepare):
        self.directory = tempfile.mkdtemp(prefix='orvane-soak-')
        self.port = free_port()
        prepare(self.directory, self.port)
        self.errors_path = os.path.join(self.directory, 'stderr.txt')
        with open(os.path.join(self.directory, 'stdout.txt'), 'w') as out, \
                open(self.errors_path, 'w') as err:
            self.process = subprocess.Popen([binary, str(self.port), '--dir', self.directory],
                                            stdout=out, stderr=err)
        deadline = time.monotonic() + 10
        while True:
            try:
                socket.create_connection(('127.0.0.1', self.port), timeout=1).close()
                return
            except OSError:
                if time.monotonic() > deadline or self.process.poll() is not None:
                    self.process.kill()
                    raise
                time.sleep(0.1)

    def running(self):
        return self.process.poll() is None

    def stop(self):
        """Stops the server as Ctrl+C does; returns what went wrong over the whole run."""
        failures = []
        if not self.running():
            failures.append('the server stopped with exit code %d' % self.process.returncode)
        else:
            self.process.send_signal(signal.SIGINT)
            try:
                if self.process.wait(30) != 0:
                    failures.append('the server exited with code %d' % self.process.returncode)
            except subprocess.TimeoutExpired:
                failures.append('the server did not stop within 30 s')
                self.process.kill()
                self.process.wait()
        with open(self.errors_path, errors='replace') as err:
            report = err.read()
        if 'Sanitizer' in report or 'runtime error' in report:
            failures.append('the sanitizers reported:\n' + report[:4000])
        return failures

    def finish(self, failures):
        """Prints the verdict; keeps the directory of a failed run. Returns the exit code."""
        if failures:
            print('FAILED, %d findings; files kept in %s\n%s'
                  % (len(failures), self.directory, '\n'.join(failures[:10])))
            return 1
        shutil.rmtree(self.directory)
        print('passed')
        return 0

#!/usr/bin/env bash
# Many clients at once: orvane-ftpd side by side with vsftpd, pure-ftpd, ProFTPD and pyftpdlib
# on 127.0.0.1, in one run (bench/load.py does the measuring and prints the table; the clients
# come from bench/loadgen.cpp).
# Run by hand (never by ./test or CI):  bench/run_load.sh [load.py options]
# Environment: DOWNLOADS ("100 500"), DL_MIB (64), FILE_CLIENTS (100), CONNECTORS (16),
# STORM (2000), SECONDS_EACH (5), RESULTS (build/bench/load-results.txt), WORK (temporary directory).
set -euo pipefail
cd "$(dirname "$0")/.."

# --- what the bench needs: build tools, the peers ---
source bench/install_peers.sh

echo "Building orvane-ftpd and the load generator (Release, no sanitizers) in build/bench ..."
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANE_TESTS=OFF \
  -DORVANE_SANITIZE=OFF -DORVANE_BENCH=ON >/dev/null
cmake --build build/bench --target orvane-ftpd orvane_loadgen >/dev/null

# 2,000 sessions at once hold two descriptors each, one in the server and one in the client.
ulimit -n "$(ulimit -Hn)"

read -r -a downloads <<< "${DOWNLOADS:-100 500}"
exec python3 bench/load.py --orvane build/bench/src/app/orvane-ftpd \
  --loadgen build/bench/bench/orvane_loadgen --peers "$PEERS/root" \
  --downloads "${downloads[@]}" --dl-mib "${DL_MIB:-64}" --file-clients "${FILE_CLIENTS:-100}" \
  --connectors "${CONNECTORS:-16}" --storm "${STORM:-2000}" --seconds "${SECONDS_EACH:-5}" \
  --results "${RESULTS:-build/bench/load-results.txt}" ${WORK:+--work "$WORK"} "$@"

#!/usr/bin/env bash
# Measures orvane-ftpd side by side with vsftpd, pure-ftpd, ProFTPD and pyftpdlib on 127.0.0.1,
# in one run (bench/compare.py does the measuring and prints the table).
# Run by hand (never by ./test or CI):  bench/run_bench.sh [compare.py options]
# Environment: RUNS (5), RETR_MIB (1024), STOR_MIB (256), FILES (500), SESSIONS (300),
# IDLE ("1000 10000"), RESULTS (build/bench/results.txt), WORK (the temporary directory; set
# WORK=/dev/shm to take the disk out of the upload figures).
set -euo pipefail
cd "$(dirname "$0")/.."

# --- what the bench needs: build tools, the peers ---
source bench/install_peers.sh

echo "Building orvane-ftpd (Release, no sanitizers) in build/bench ..."
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANE_TESTS=OFF \
  -DORVANE_SANITIZE=OFF >/dev/null
cmake --build build/bench --target orvane-ftpd >/dev/null

# Each idle session holds a descriptor in the server and one in the client.
ulimit -n "$(ulimit -Hn)"

read -r -a idle <<< "${IDLE:-1000 10000}"
exec python3 bench/compare.py --orvane build/bench/src/app/orvane-ftpd --peers "$PEERS/root" \
  --runs "${RUNS:-5}" --retr-mib "${RETR_MIB:-1024}" --stor-mib "${STOR_MIB:-256}" \
  --files "${FILES:-500}" --sessions "${SESSIONS:-300}" --idle "${idle[@]}" \
  --results "${RESULTS:-build/bench/results.txt}" ${WORK:+--work "$WORK"} "$@"

#!/usr/bin/env bash
# What the benches need: build tools, curl, Python 3, Debian's vsftpd and python3-pyftpdlib,
# and pure-ftpd and ProFTPD unpacked into build/bench/peers. The three conflict as ftp-server
# providers, so only vsftpd is installed; the unpacked ones are started from there and their
# packages' services are never started. Sourced by run_bench.sh and run_load.sh, from the
# repository's root; sets PEERS.
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
scripts/install-deps bench
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
  vsftpd python3-pyftpdlib curl openssl libsodium23 libcap2 libhiredis0.14 libmemcached11 \
  libmemcachedutil2 libpcre2-posix3 libacl1 >/dev/null
PEERS=$PWD/build/bench/peers
if ! [ -x "$PEERS/root/usr/sbin/proftpd" ] || ! [ -x "$PEERS/root/usr/sbin/pure-ftpd" ]; then
  mkdir -p "$PEERS"
  (cd "$PEERS" && apt-get download pure-ftpd pure-ftpd-common proftpd-core 2>/dev/null &&
    for deb in *.deb; do dpkg -x "$deb" root; done)
fi

#!/usr/bin/env bash
# Load test of tesselwick-site: starts it in demo mode on 127.0.0.1:PORT,
# checks that requests whose framing a proxy in front could read otherwise
# (a malformed request line, an unknown method, Transfer-Encoding with
# Content-Length, two or unreadable Content-Length headers) each get one
# answer and the connection closed, so that the request sent after them on
# the same connection is never answered; then runs bench/site_load against it
# twice, each client from a loopback address of its own:
#   1. 200 clients for 10 s: the program's requests, malformed ones, very long
#      URLs, requests trickled in;
#   2. 1,000 connections that send nothing and 300 that send a request a byte
#      a second, 8 per address, held open for 10 s (opened again whenever the
#      server closes them), while a new client asks for the version check
#      every 100 ms: each must be answered within 1 s.
# It fails when the server answered a framing check otherwise, died, stopped
# answering, kept the new client waiting, or its peak memory went over the bound.
#   scripts/site-load.sh [PRESET [PORT]]      defaults: ci, 8531
#
# The bound, 200 MiB: the server's data and pages take a few MiB; every
# connection may hold at most one request head (64 KiB) and one answer (the
# manual, the largest page, is well under 1 MiB), and the answering threads'
# stacks are touched only a little. 200 clients at once need some tens of MiB;
# a server that keeps whatever a client sends (a 1 GiB body, an endless line,
# a header flood) goes far beyond it within seconds. The 1,300 connections
# held open cost a few KiB each.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/processes.sh
preset="${1:-ci}"
port="${2:-8531}"
host=127.0.0.1
bound_mib=200

scripts/install-deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target tesselwick-site site_load
build="build/$preset"
log="$build/site-load-server.log"

# The second run holds 1,300 connections open, each a file descriptor on both
# sides; the server takes what the limit allows, so allow enough (root may
# raise it, others get what their hard limit gives).
ulimit -n 8192 2>/dev/null || ulimit -n "$(ulimit -Hn)" 2>/dev/null || true

port_in_use() { timeout 1 bash -c ">/dev/tcp/$host/$port" 2>/dev/null; }
if port_in_use; then
  echo "site-load: port $port is taken; give another: scripts/site-load.sh $preset PORT" >&2
  exit 1
fi

"$build/server/tesselwick-site" --demo --data server/data --host "$host" --port "$port" \
  >"$log" 2>&1 &
site_pid=$!
stop_site() { end_processes "$site_pid"; }
trap stop_site EXIT
for _ in $(seq 100); do
  port_in_use && break
  if ! kill -0 "$site_pid" 2>/dev/null; then
    echo "site-load: tesselwick-site did not start:" >&2
    tail -n 5 "$log" >&2
    exit 1
  fi
  sleep 0.1
done

status=0
"$build/bench/site_load" --host "$host" --port "$port" --pid "$site_pid" --clients 0 --framing ||
  status=$?
"$build/bench/site_load" --host "$host" --port "$port" --pid "$site_pid" --clients 200 \
  --seconds 10 --max-peak-mib "$bound_mib" || status=$?
"$build/bench/site_load" --host "$host" --port "$port" --pid "$site_pid" --clients 0 \
  --idle 1000 --trickle 300 --seconds 10 --max-probe-ms 1000 --max-peak-mib "$bound_mib" ||
  status=$?

# The server must also stop cleanly when asked.
if kill -0 "$site_pid" 2>/dev/null; then
  kill -TERM "$site_pid"
  stopped=0
  wait "$site_pid" || stopped=$?
  if [ "$stopped" -ne 0 ]; then
    echo "site-load: tesselwick-site ended with status $stopped when stopped" >&2
    status=1
  fi
else
  echo "site-load: tesselwick-site is gone" >&2
  status=1
fi
trap - EXIT
echo "site-load: $(grep -c '' "$log") lines of server log in $log"
exit "$status"

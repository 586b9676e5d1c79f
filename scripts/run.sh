#!/usr/bin/env bash
# Installs what is missing, builds, and starts TesselWick in its own working
# folder (run/), where it keeps pad.dat, tesselwick.ini and Report.htm.
# tesselwick-submit is built too, so it can be tried against the demo site.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/processes.sh
scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev --target tesselwick tesselwick-site tesselwick-submit

# The maker's web site on this machine, in demo mode: the program's Help,
# Update and the sample PAD file with its demo download sites all use it.
host=127.0.0.1
port=8417
site_url="http://$host:$port"
demo_pad_url="$site_url/demo/pad.xml"
mkdir -p run

# Sends one GET to the local site and prints the answer (headers and body).
site_get() {
  timeout 3 bash -c "exec 3<>/dev/tcp/$host/$port && \
    printf 'GET %s HTTP/1.0\r\nHost: $host\r\n\r\n' '$1' >&3 && cat <&3" 2>/dev/null
}
port_in_use() { timeout 1 bash -c ">/dev/tcp/$host/$port" 2>/dev/null; }

site_pid=""
stop_site() { end_processes "$site_pid"; }
trap stop_site EXIT

if port_in_use; then
  answer=$(site_get "/cgi-bin/versioncheck.pl?version=" || true)
  if grep -q '^SCRIPTVERSION=' <<<"$answer"; then
    echo "run.sh: using the tesselwick-site already running on $site_url"
  else
    echo "run.sh: port $port is taken by another program; stop it and try again" >&2
    exit 1
  fi
else
  build/dev/server/tesselwick-site --demo --data server/data --host "$host" --port "$port" \
    >>run/site.log 2>&1 &
  site_pid=$!
  # Wait until it answers, or say why it did not start.
  for _ in $(seq 50); do
    if ! kill -0 "$site_pid" 2>/dev/null; then
      echo "run.sh: tesselwick-site did not start:" >&2
      tail -n 5 run/site.log >&2
      site_pid=""
      exit 1
    fi
    port_in_use && break
    sleep 0.1
  done
  echo "run.sh: tesselwick-site serves $site_url (log in run/site.log)"
fi

# A first run offers the demo's sample PAD file in the PAD URL box.
if [ ! -e run/tesselwick.ini ]; then
  {
    printf 'CREATOR=TESSELWICK 1.0\r\nURL=%s\r\nURL1=%s\r\n' "$demo_pad_url" "$demo_pad_url"
    for n in $(seq 2 10); do printf 'URL%d=\r\n' "$n"; done
    printf '\r\n\r\n'
  } >run/tesselwick.ini
fi

cd run
status=0
../build/dev/src/ui/tesselwick || status=$?
exit "$status"

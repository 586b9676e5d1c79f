#!/usr/bin/env bash
# Publishes the site as plain files and serves them with nginx, the way the
# maker's real site is run, and uses it as an installed copy of the program
# would:
#   1. builds tesselwick-site and tesselwick-submit with the site address
#      http://127.0.0.1:PORT (the build setting TESSELWICK_SITE_URL, preset
#      site-check);
#   2. exports the published data and the manual (tesselwick-site --export)
#      and starts Debian's nginx on 127.0.0.1:PORT with the exported
#      configuration: one process in the foreground, with its configuration,
#      logs, pid file and temporary files in a folder of its own;
#   3. checks that nginx answers the update requests, the manual and the home
#      page with the same bytes and content types as tesselwick-site itself,
#      whatever the query string, and serves nothing else of the folder;
#   4. publishes a newer site list by exporting again while nginx runs, and
#      lets tesselwick-submit --update check the versions and download it into
#      a folder with an older list; a second run finds the list up to date.
# It prints what it does and exits non-zero on the first failure.
#   scripts/site-export-check.sh [PORT]     default 8533; tesselwick-site itself
#                                           answers on PORT+1 for the comparison
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/processes.sh
started=$SECONDS
port="${1:-8533}"
site_port=$((port + 1))
host=127.0.0.1
build=build/site-check

say() { echo "site-export-check: $*"; }
fail() {
  echo "site-export-check: FAILED: $*" >&2
  exit 1
}

# nginx serves the exported files; the rest is what building needs.
scripts/install-deps.sh nginx
nginx=$(command -v nginx || echo /usr/sbin/nginx)
[ -x "$nginx" ] || fail "nginx is not installed"

port_in_use() { timeout 1 bash -c ">/dev/tcp/$host/$1" 2>/dev/null; }
for p in "$port" "$site_port"; do
  if port_in_use "$p"; then
    fail "port $p is taken; give another: scripts/site-export-check.sh PORT"
  fi
done

say "building tesselwick-site and tesselwick-submit for the site http://$host:$port"
cmake --preset site-check -DTESSELWICK_SITE_URL="http://$host:$port" >/dev/null
cmake --build --preset site-check --target tesselwick-site tesselwick-submit
site_program="$build/server/tesselwick-site"
submit_program="$build/src/cli/tesselwick-submit"

# --- Everything started here stops when the script ends ----------------------
work=$(mktemp -d /tmp/tesselwick-site-export-check.XXXXXX)
nginx_pid=""
site_pid=""
stop() {
  end_processes "$nginx_pid" "$site_pid"
  rm -rf "$work"
}
trap stop EXIT

# Sends one GET for TARGET to PORT and writes the whole answer, head and body,
# to FILE.
http_get() {
  timeout 5 bash -c "exec 3<>/dev/tcp/$host/$1 && \
    printf 'GET %s HTTP/1.0\r\nHost: $host\r\n\r\n' '$2' >&3 && cat <&3" >"$3" 2>/dev/null || true
}
status_of() { head -n 1 "$1" | cut -d ' ' -f 2; }
header_of() {
  sed -n '1,/^\r$/p' "$1" | grep -i "^$2:" | head -n 1 | cut -d : -f 2- | sed 's/^ *//; s/\r$//'
}
body_of() { sed '1,/^\r$/d' "$1"; }
wait_for_port() {
  for _ in $(seq 100); do
    port_in_use "$1" && return 0
    kill -0 "$2" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# --- 2. Export the site and serve it with nginx ------------------------------
site="$work/site"
say "$site_program --export $site"
"$site_program" --export "$site" --data server/data --manual docs/manual.htm ||
  fail "the export failed"
for file in htdocs/cgi-bin/versioncheck.pl htdocs/cgi-bin/versionupdate.pl htdocs/manual.htm \
  htdocs/index.html nginx-site.conf; do
  [ -s "$site/$file" ] || fail "the export has no $file"
done

mkdir -p "$work/nginx/tmp"
cat >"$work/nginx/nginx.conf" <<EOF
# One nginx process in the foreground, everything it writes in this folder.
daemon off;
master_process off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events {
    worker_connections 64;
}
http {
    access_log $work/nginx/access.log;
    client_body_temp_path $work/nginx/tmp/body;
    proxy_temp_path $work/nginx/tmp/proxy;
    fastcgi_temp_path $work/nginx/tmp/fastcgi;
    uwsgi_temp_path $work/nginx/tmp/uwsgi;
    scgi_temp_path $work/nginx/tmp/scgi;
    server {
        listen $host:$port;
        include $site/nginx-site.conf;
    }
}
EOF
nginx_args=(-p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log")
"$nginx" -t -q "${nginx_args[@]}" || fail "nginx does not take the exported configuration"
say "nginx $("$nginx" -v 2>&1 | sed 's/.*\///') serving $site/htdocs on http://$host:$port"
"$nginx" "${nginx_args[@]}" &
nginx_pid=$!
wait_for_port "$port" "$nginx_pid" || {
  tail -n 5 "$work/nginx/error.log" >&2 || true
  fail "nginx did not start"
}

say "tesselwick-site serving the same data on http://$host:$site_port"
"$site_program" --data server/data --manual docs/manual.htm --port "$site_port" \
  >"$work/site.log" 2>&1 &
site_pid=$!
wait_for_port "$site_port" "$site_pid" || {
  cat "$work/site.log" >&2
  fail "tesselwick-site did not start"
}

# --- 3. The same answers as tesselwick-site, whatever the query ---------------
for target in "/cgi-bin/versioncheck.pl?version=" "/cgi-bin/versioncheck.pl?version=1999.01" \
  "/cgi-bin/versionupdate.pl?version=" "/cgi-bin/versionupdate.pl?version=2026.12&x=%20y" \
  "/manual.htm" "/"; do
  http_get "$port" "$target" "$work/nginx.answer"
  http_get "$site_port" "$target" "$work/site.answer"
  [ "$(status_of "$work/nginx.answer")" = 200 ] ||
    fail "nginx answered $target with: $(head -n 1 "$work/nginx.answer")"
  [ "$(status_of "$work/site.answer")" = 200 ] || fail "tesselwick-site did not answer $target"
  cmp -s <(body_of "$work/nginx.answer") <(body_of "$work/site.answer") ||
    fail "nginx and tesselwick-site answer $target with different bytes"
  nginx_type=$(header_of "$work/nginx.answer" Content-Type)
  site_type=$(header_of "$work/site.answer" Content-Type)
  [ "$nginx_type" = "$site_type" ] ||
    fail "$target: nginx says Content-Type: $nginx_type, tesselwick-site $site_type"
  say "$target: the same $(body_of "$work/nginx.answer" | wc -c) bytes, $nginx_type"
done
http_get "$port" "/cgi-bin/versionupdate.pl?version=" "$work/nginx.answer"
cmp -s <(body_of "$work/nginx.answer") server/data/pad.dat ||
  fail "the site list is not pad.dat byte for byte"
for target in /nginx-site.conf /htdocs/manual.htm /index.html /cgi-bin/ /no/such/page; do
  http_get "$port" "$target" "$work/nginx.answer"
  [ "$(status_of "$work/nginx.answer")" = 404 ] ||
    fail "nginx answered $target with: $(head -n 1 "$work/nginx.answer")"
done
say "nothing else of the folder is served (404)"

# --- 4. A newer site list, fetched by the program ----------------------------
data="$work/data"
mkdir -p "$data"
printf 'SCRIPTVERSION=2099.01\r\n' >"$data/pad.dat"
for n in 1 2; do
  printf 'TITLE=Loopback Site %s\r\nURL=http://%s:%s/site%s/\r\nSUBMITURL=http://%s:%s/site%s/add.htm\r\nGETORPOST=http://%s:%s/site%s/submit?pad=%%PADURL%%&cat=%%CATEGORY%%\r\n' \
    "$n" "$host" "$port" "$n" "$host" "$port" "$n" "$host" "$port" "$n" >>"$data/pad.dat"
done
printf 'VERSION=1.01\r\nSCRIPTVERSION=2099.01\r\n' >"$data/version.txt"
say "publishing site list 2099.01 while nginx runs"
"$site_program" --export "$site" --data "$data" --manual docs/manual.htm >/dev/null ||
  fail "the second export failed"

folder="$work/program"
mkdir -p "$folder"
printf 'SCRIPTVERSION=2000.01\r\nTITLE=Old Site\r\nURL=http://%s:%s/old/\r\nGETORPOST=http://%s:%s/old/submit\r\n' \
  "$host" "$port" "$host" "$port" >"$folder/pad.dat"
# The PAD file is not on the maker's site: the run stops there (status 2),
# after the update, and requests no download site.
pad_url="http://$host:$port/no-such-pad.xml"
say "$submit_program --folder $folder --update $pad_url"
status=0
timeout 120 "$submit_program" --folder "$folder" --update "$pad_url" >"$work/submit.out" \
  2>"$work/submit.err" || status=$?
sed 's/^/  /' "$work/submit.err"
grep -qx "tesselwick-submit: site list updated (version 2099.01)" "$work/submit.err" ||
  fail "tesselwick-submit did not update the site list from nginx"
[ "$status" -eq 2 ] || fail "tesselwick-submit ended with $status where 2 was due"
diff <(tr -d '\r' <"$folder/pad.dat" | sed '/^$/d') <(tr -d '\r' <"$data/pad.dat") >/dev/null ||
  fail "the downloaded pad.dat is not the published list"
grep -q "GET /cgi-bin/versioncheck.pl?version=2000.01 HTTP/1.1\" 200 .*TesselWick 1.0 Agent" \
  "$work/nginx/access.log" || fail "nginx's log shows no version check from the program"
grep -q "GET /cgi-bin/versionupdate.pl?version=2000.01 HTTP/1.1\" 200 .*TesselWick 1.0 Agent" \
  "$work/nginx/access.log" || fail "nginx's log shows no site-list download from the program"
say "the program checked the versions and downloaded site list 2099.01 from nginx"

status=0
timeout 120 "$submit_program" --folder "$folder" --update "$pad_url" >"$work/submit.out" \
  2>"$work/submit.err" || status=$?
grep -qx "tesselwick-submit: the site list is up to date (version 2099.01)" "$work/submit.err" || {
  cat "$work/submit.err" >&2
  fail "a second update did not find the list up to date"
}
say "a second update finds the list up to date"

say "all checks passed in $((SECONDS - started)) s"

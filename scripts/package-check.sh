#!/usr/bin/env bash
# Builds the Debian package and checks it the way a user would meet it:
#   1. builds it with the release preset (cmake, cpack);
#   2. validates its desktop entry and AppStream metainfo, and runs lintian on
#      it (any error fails the check);
#   3. installs it with apt-get, starts the installed tesselwick-site in demo
#      mode and runs tesselwick-submit against it (when the package has it);
#   4. starts the program from its desktop entry under a virtual X server with
#      a fresh home folder, and checks that its per-user folder was created and
#      that its window "TesselWick" appeared; then closes it.
# It prints what it does and exits non-zero on the first failure. It needs
# root (or sudo) for apt-get and leaves the package installed.
#
# Settings (environment): TESSELWICK_CHECK_PORT (default 8520) for the site,
# TESSELWICK_CHECK_DISPLAY (default :93) for the X server, and
# TESSELWICK_CHECK_SHOT=FILE to keep a screenshot of the program's window.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/processes.sh
started=$SECONDS
port="${TESSELWICK_CHECK_PORT:-8520}"
display="${TESSELWICK_CHECK_DISPLAY:-:93}"
app_id=org.tesselwick.TesselWick

say() { echo "package-check: $*"; }
fail() {
  echo "package-check: FAILED: $*" >&2
  exit 1
}

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

# --- What the checks need, besides what building needs -----------------------
scripts/install-deps.sh desktop-file-utils appstream lintian dpkg-dev fakeroot file xdotool \
  libglib2.0-bin

# --- Everything started here stops when the script ends ----------------------
work=$(mktemp -d /tmp/tesselwick-package-check.XXXXXX)
site_pid=""
xvfb_pid=""
program_pid=""
stop() {
  end_processes "$program_pid" "$site_pid" "$xvfb_pid"
  rm -rf "$work"
}
trap stop EXIT

# --- 1. Build the package ----------------------------------------------------
say "building the package (release preset)"
rm -f build/release/tesselwick_*.deb
cmake --preset release >/dev/null
cmake --build --preset release --parallel "$(nproc)"
cpack --preset release >/dev/null
deb=$(ls build/release/tesselwick_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "cpack made no build/release/tesselwick_*.deb"
say "built $deb"
dpkg-deb --field "$deb" Package Version Architecture Depends Recommends

# --- 2. Validate what it holds -----------------------------------------------
dpkg-deb -x "$deb" "$work/tree"
desktop="$work/tree/usr/share/applications/$app_id.desktop"
metainfo="$work/tree/usr/share/metainfo/$app_id.metainfo.xml"
[ -f "$desktop" ] || fail "the package has no $app_id.desktop"
[ -f "$metainfo" ] || fail "the package has no $app_id.metainfo.xml"
say "desktop-file-validate $app_id.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate found problems"
say "appstreamcli validate --no-net $app_id.metainfo.xml"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate found problems"
for size in 16x16 32x32 48x48 128x128; do
  [ -f "$work/tree/usr/share/icons/hicolor/$size/apps/$app_id.png" ] ||
    fail "the package has no $size icon"
done
[ -f "$work/tree/usr/share/icons/hicolor/scalable/apps/$app_id.svg" ] ||
  fail "the package has no scalable icon"
say "lintian $deb"
# lintian warns when run as root; that is how CI runs it.
lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian found errors"

# --- 3. Install it and use the installed programs ------------------------------
say "installing $deb"
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --reinstall "./$deb" >/dev/null
for program in tesselwick tesselwick-site; do
  [ -x "/usr/bin/$program" ] || fail "/usr/bin/$program is not installed"
done

site_url="http://127.0.0.1:$port"
# Sends one GET to the site and prints the answer's body.
site_get() {
  timeout 5 bash -c "exec 3<>/dev/tcp/127.0.0.1/$port && \
    printf 'GET %s HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n' '$1' >&3 && cat <&3" 2>/dev/null |
    sed '1,/^\r$/d'
}
if timeout 1 bash -c ">/dev/tcp/127.0.0.1/$port" 2>/dev/null; then
  fail "port $port is taken; set TESSELWICK_CHECK_PORT to a free one"
fi
say "starting the installed tesselwick-site --demo on $site_url"
/usr/bin/tesselwick-site --demo --port "$port" --demo-delay-ms 20 >"$work/site.log" 2>&1 &
site_pid=$!
for _ in $(seq 100); do
  kill -0 "$site_pid" 2>/dev/null || { cat "$work/site.log" >&2; fail "tesselwick-site ended"; }
  timeout 1 bash -c ">/dev/tcp/127.0.0.1/$port" 2>/dev/null && break
  sleep 0.1
done
# Without --data and --manual it serves the installed copies.
site_get /manual.htm >"$work/manual.htm" || true
grep -q "TesselWick Manual" "$work/manual.htm" ||
  fail "the installed tesselwick-site does not serve the installed manual"

if [ -x /usr/bin/tesselwick-submit ]; then
  folder="$work/submit"
  mkdir -p "$folder"
  # The demo site's site list names its demo sites; the program's own update
  # server address is another port, so the list is put in place here.
  site_get "/cgi-bin/versionupdate.pl?version=" >"$folder/pad.dat" || true
  grep -q '^TITLE=' "$folder/pad.dat" || fail "the demo site handed out no site list"
  say "tesselwick-submit --folder $folder $site_url/demo/pad.xml"
  status=0
  /usr/bin/tesselwick-submit --folder "$folder" "$site_url/demo/pad.xml" | tee "$work/submit.out" ||
    status=$?
  # The demo has sites that pass and sites that fail: 0 or 1, never 2 or 64.
  [ "$status" -le 1 ] || fail "tesselwick-submit ended with $status"
  grep -Eq '^[0-9]+ passed, [0-9]+ failed' "$work/submit.out" || fail "no summary line"
  [ -s "$folder/Report.htm" ] || fail "tesselwick-submit wrote no Report.htm"
  grep -q "demo/pad.xml" "$folder/tesselwick.ini" || fail "the PAD URL was not remembered"
else
  say "skipped tesselwick-submit: /usr/bin/tesselwick-submit is not in this package"
fi

# --- 4. Start the program from its desktop entry -------------------------------
if [ -e "/tmp/.X${display#:}-lock" ]; then
  fail "display $display is in use; set TESSELWICK_CHECK_DISPLAY to a free one"
fi
say "starting Xvfb on $display"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do
  [ -e "/tmp/.X11-unix/X${display#:}" ] && break
  sleep 0.1
done
home="$work/home"
mkdir -p "$home"
say "gio launch /usr/share/applications/$app_id.desktop (HOME=$home)"
env -u XDG_DATA_HOME -u XDG_CONFIG_HOME -u XDG_CACHE_HOME -u XDG_RUNTIME_DIR \
  HOME="$home" DISPLAY="$display" NO_AT_BRIDGE=1 \
  gio launch "/usr/share/applications/$app_id.desktop" >"$work/program.log" 2>&1 ||
  fail "gio launch failed: $(cat "$work/program.log")"
window=$(DISPLAY="$display" timeout 30 xdotool search --sync --onlyvisible --name '^TesselWick$' |
  head -n 1) || true
[ -n "$window" ] || fail "no window named TesselWick appeared within 30 s"
program_pid=$(DISPLAY="$display" xdotool getwindowpid "$window" 2>/dev/null || true)
say "window $window (process ${program_pid:-unknown}) appeared"
[ -d "$home/.local/share/tesselwick" ] || fail "$home/.local/share/tesselwick was not created"
say "the per-user folder $home/.local/share/tesselwick was created"
if [ -n "${TESSELWICK_CHECK_SHOT:-}" ]; then
  sleep 1
  DISPLAY="$display" import -window root "$TESSELWICK_CHECK_SHOT" && say "screenshot $TESSELWICK_CHECK_SHOT"
fi

# Escape closes the main window like Quit; the history is then saved in the
# per-user folder.
DISPLAY="$display" xdotool windowactivate --sync "$window" key --clearmodifiers Escape 2>/dev/null ||
  DISPLAY="$display" xdotool windowfocus --sync "$window" key --clearmodifiers Escape || true
if [ -n "$program_pid" ]; then
  for _ in $(seq 100); do
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$program_pid" 2>/dev/null && fail "the program did not close on Escape"
  program_pid=""
fi
[ -f "$home/.local/share/tesselwick/tesselwick.ini" ] ||
  fail "closing the program saved no tesselwick.ini in the per-user folder"
say "closed it; tesselwick.ini was saved in the per-user folder"

say "all checks passed in $((SECONDS - started)) s"

#!/usr/bin/env bash
# Sends the program SIGTERM (SIGHUP with -HUP) while its main window is open
# and checks that it closed down as Quit does: its own exit with 128 plus the
# signal's number, and the window's size and the history saved.
#   tests/gui/stop_signal.sh PROGRAM [-TERM|-HUP]
# Uses $DISPLAY when set, otherwise starts Xvfb through xvfb-run.
set -euo pipefail

program=$(realpath "$1")
signal=${2:--TERM}

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a "$0" "$program" "$signal"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/files"
printf 'URL1=http://earlier.example/pad.xml\n' >"$work/files/tesselwick.ini"
export XDG_CONFIG_HOME="$work/config" NO_AT_BRIDGE=1

"$program" --folder "$work/files" &
pid=$!
# The signal once the program has its handler (the signal's bit among those
# it catches), so that it is the program's to handle.
case "$signal" in
  -TERM) bit=$((1 << 14)) expected=143 ;;
  -HUP) bit=$((1 << 0)) expected=129 ;;
  *) echo "unknown signal $signal" >&2; exit 2 ;;
esac
for _ in $(seq 200); do
  caught=$(awk '/^SigCgt:/ { print $2 }' "/proc/$pid/status")
  if (( (0x$caught & bit) != 0 )); then break; fi
  sleep 0.05
done
kill "$signal" "$pid"
status=0
wait "$pid" || status=$?

if [ "$status" -ne "$expected" ]; then
  echo "exit status $status, not $expected" >&2
  exit 1
fi
# A program the signal had ended would have written neither file.
if [ ! -s "$work/config/tesselwick/window.ini" ]; then
  echo "the window's size was not saved" >&2
  exit 1
fi
# The history as the program writes it, its first line included.
if ! grep -q '^CREATOR=' "$work/files/tesselwick.ini" ||
  ! grep -q '^URL1=http://earlier.example/pad.xml' "$work/files/tesselwick.ini"; then
  echo "the history was not saved:" >&2
  cat -A "$work/files/tesselwick.ini" >&2
  exit 1
fi
echo "closed down with status $status"

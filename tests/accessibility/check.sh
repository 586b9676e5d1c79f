#!/usr/bin/env bash
# Starts the program under Xvfb with an accessibility bus of its own and reads
# its main window as a screen reader would (read_tree.py).
#   tests/accessibility/check.sh PROGRAM [-v]
# Uses $DISPLAY when set, otherwise starts Xvfb through xvfb-run.
set -euo pipefail

program=$(realpath "$1")
shift
here=$(cd "$(dirname "$0")" && pwd)

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a "$0" "$program" "$@"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'TITLE=First Site\nURL=http://one.example/\nTITLE=Second Site\nTITLE=Third Site\nGETORPOST=http://three.example/?%%PADURL%%\n' >"$work/pad.dat"

# A session bus of its own, on which the accessibility bus starts when the
# program asks for it; the program's settings go to the temporary folder.
# The Debian python has the GObject bindings (python3 on PATH may not).
export XDG_CONFIG_HOME="$work/config" LANG=C.UTF-8 LC_ALL=C.UTF-8 LANGUAGE=
unset NO_AT_BRIDGE
dbus-run-session -- bash -c '
  "$1" --folder "$2" &
  pid=$!
  status=0
  /usr/bin/python3 "$3" org.tesselwick.TesselWick "Third Site" "${@:4}" || status=$?
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  exit $status
' check "$program" "$work" "$here/read_tree.py" "$@"

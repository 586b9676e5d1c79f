# Sourced by the scripts that start servers of their own.

# Ends each of the given background processes that still runs (SIGTERM) and
# waits for it; empty ids are skipped.
end_processes() {
  local pid
  for pid in "$@"; do
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
      kill -TERM "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
    fi
  done
}

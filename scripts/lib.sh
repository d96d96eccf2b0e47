# Helpers shared by the test bed, the system scripts, the deploy tests and the
# benchmarks. Sourced, not run:
#   source "$(dirname "${BASH_SOURCE[0]}")/.../scripts/lib.sh"
# shellcheck shell=bash

# wait_for SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds;
# fails once SECONDS have passed without that.
wait_for() {
  local end=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.1
  done
}

# free_port: a TCP port of 127.0.0.1 free at the moment of asking.
free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# start_feedservice PREFIX EXE [ARGS...]: starts the feed service EXE on a free
# loopback port, ARGS after the defaults (so a later --listen or --port wins),
# in a session of its own with no terminal input. Its pid goes to PREFIX.pid
# and $feedservice_pid, its stdout and stderr to PREFIX.out, the port it
# listens on to PREFIX.port and $feedservice_port. Waits up to 30 s for the
# port file; if the service ends first or the file never comes, it is stopped,
# its output is shown on stderr and the function fails.
start_feedservice() {
  local prefix=$1 exe=$2
  shift 2
  rm -f "$prefix.port"
  feedservice_port=''
  setsid "$exe" --listen 127.0.0.1 --port 0 --port-file "$prefix.port" "$@" \
    </dev/null >"$prefix.out" 2>&1 &
  feedservice_pid=$!
  echo "$feedservice_pid" >"$prefix.pid"
  wait_for 30 _feedservice_listening "$prefix.port" "$feedservice_pid" || true
  if [ ! -s "$prefix.port" ]; then
    kill "$feedservice_pid" 2>/dev/null || true
    wait "$feedservice_pid" 2>/dev/null || true
    echo "the feed service $exe did not start (no port in $prefix.port); its output:" >&2
    cat "$prefix.out" >&2
    return 1
  fi
  feedservice_port=$(cat "$prefix.port")
}

# The port file is there, or there is no process left to write it.
_feedservice_listening() { [ -s "$1" ] || ! kill -0 "$2" 2>/dev/null; }

# Helpers shared by the deploy tests: a work directory removed at exit,
# free loopback ports, feed service instances started and stopped by process
# id; bounded polls and the start itself come from scripts/lib.sh.
# shellcheck shell=bash
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"

FEEDSERVICE=$(realpath "${FEEDSERVICE:?set FEEDSERVICE before sourcing lib.sh}")

work=$(mktemp -d "${TMPDIR:-/tmp}/feedservice-deploy-XXXXXX")
chmod 755 "$work"
declare -A service_pids=()
cleanup_hooks=()

cleanup() {
  local hook name
  for hook in "${cleanup_hooks[@]}"; do eval "$hook" || true; done
  for name in "${!service_pids[@]}"; do
    kill "${service_pids[$name]}" 2>/dev/null && wait "${service_pids[$name]}" 2>/dev/null
  done
  [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# start_service NAME ARGS...: the feed service on loopback with ARGS; its port
# in $work/NAME.port, its access log $work/NAME.log, its output $work/NAME.out.
start_service() {
  local name=$1 status=0
  shift
  start_feedservice "$work/$name" "$FEEDSERVICE" --access-log "$work/$name.log" "$@" || status=$?
  service_pids[$name]=$feedservice_pid
  [ "$status" -eq 0 ] || fail "service $name did not start"
}

port_of() { cat "$work/$1.port"; }

# stop_service NAME: SIGTERM, and the process must end by itself with status 0.
stop_service() {
  local pid=${service_pids[$1]} status=0
  kill -TERM "$pid"
  wait "$pid" || status=$?
  unset "service_pids[$1]"
  [ "$status" -eq 0 ] || fail "service $1 ended with status $status after SIGTERM"
}

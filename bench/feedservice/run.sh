#!/usr/bin/env bash
# Throughput and latency of the feed service under wrk, beside nginx serving the
# same page as a static file, in one run on loopback.
#
#   bench/feedservice/run.sh FEEDSERVICE_EXE OUT_DIR [SECONDS] [CONNECTIONS] [THREADS]
#
# Three rows: the service's generated page for "India news", the same bytes as
# an overlay file from its data directory, and nginx serving the same bytes for
# the same address. Both servers write an access log to a file. Results go to
# OUT_DIR/feedservice-results.txt (summary first, then wrk's full output).
# The bound: the service's p99 latency stays under 50 ms (a ticker sends one
# request per refresh; this is headroom, not a need).
set -euo pipefail

exe=${1:?usage: run.sh FEEDSERVICE_EXE OUT_DIR [SECONDS] [CONNECTIONS] [THREADS]}
out=${2:?usage: run.sh FEEDSERVICE_EXE OUT_DIR [SECONDS] [CONNECTIONS] [THREADS]}
seconds=${3:-10}
connections=${4:-16}
threads=${5:-2}
p99_bound_ms=50

for tool in wrk nginx curl python3; do
  command -v "$tool" >/dev/null || { echo "run.sh: $tool is not installed" >&2; exit 2; }
done

mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/feedservice-bench-XXXXXX")
chmod 755 "$work"
results=$out/feedservice-results.txt
query='/cgi-local/page?c=India%20news&o=xml'

svc_pid='' ngx_started=''
cleanup() {
  [ -n "$svc_pid" ] && kill "$svc_pid" 2>/dev/null && wait "$svc_pid" 2>/dev/null
  [ -n "$ngx_started" ] && [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

wait_for() {  # wait_for SECONDS COMMAND...: bounded poll
  local end=$((SECONDS + $1)); shift
  until "$@"; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.1
  done
}

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# The service, on a free port.
mkdir -p "$work/feeds" "$work/html/cgi-local"
"$exe" --port 0 --port-file "$work/port" --data "$work/feeds" \
  --access-log "$work/feedservice.log" 2>"$work/feedservice.err" &
svc_pid=$!
wait_for 10 test -s "$work/port" || { echo "feed service did not start" >&2; exit 1; }
svc_port=$(cat "$work/port")
svc="http://127.0.0.1:$svc_port"

# The page it generates, saved for the overlay and for nginx.
curl -sf "$svc$query" -o "$work/page.xml"
cp "$work/page.xml" "$work/html/cgi-local/page.xml"
overlay_name='Bench%20overlay'
cp "$work/page.xml" "$work/feeds/Bench%20overlay.xml"  # the file name is the encoded name

# nginx with the same page at the same address.
ngx_port=$(free_port)
cat >"$work/nginx.conf" <<CONF
worker_processes auto;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 1024; }
http {
  access_log $work/nginx-access.log;
  server {
    listen 127.0.0.1:$ngx_port;
    location = /cgi-local/page {
      default_type text/xml;
      alias $work/html/cgi-local/page.xml;
    }
  }
}
CONF
nginx -p "$work" -c "$work/nginx.conf"
ngx_started=1
ngx="http://127.0.0.1:$ngx_port"
wait_for 10 curl -sf "$ngx$query" -o /dev/null || { echo "nginx did not start" >&2; exit 1; }

# All three rows must serve the very same bytes.
curl -sf "$svc/cgi-local/page?c=$overlay_name&o=xml" | cmp -s - "$work/page.xml" ||
  { echo "overlay page differs" >&2; exit 1; }
curl -sf "$ngx$query" | cmp -s - "$work/page.xml" || { echo "nginx page differs" >&2; exit 1; }

run_wrk() {  # run_wrk LABEL URL
  echo "== $1: $2" >>"$work/raw.txt"
  wrk -t"$threads" -c"$connections" -d"${seconds}s" --latency "$2" | tee -a "$work/raw.txt" >"$work/one.txt"
  python3 - "$1" "$work/one.txt" "$work/p99-$1" >>"$work/summary.txt" <<'PY'
import re, sys
label, path, p99_path = sys.argv[1], sys.argv[2], sys.argv[3]
text = open(path).read()
def ms(v):
    m = re.match(r"([\d.]+)(us|ms|s)", v)
    n, unit = float(m.group(1)), m.group(2)
    return n / 1000 if unit == "us" else n * 1000 if unit == "s" else n
rps = float(re.search(r"Requests/sec:\s+([\d.]+)", text).group(1))
pct = {p: ms(v) for p, v in re.findall(r"^\s+(\d+)%\s+(\S+)", text, re.M)}
errors = re.search(r"Non-2xx or 3xx responses: (\d+)|Socket errors: (.*)", text)
print(f"{label:<28} {rps:>10.0f} {pct['50']:>8.2f} {pct['90']:>8.2f} {pct['99']:>8.2f}  "
      f"{errors.group(0) if errors else 'no errors'}")
open(p99_path, "w").write(f"{pct['99']:.2f}\n")
PY
}

{
  echo "feed service benchmark, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) CPUs"
  echo "wrk -t$threads -c$connections -d${seconds}s --latency; page of $(stat -c %s "$work/page.xml") bytes"
  echo
  printf '%-28s %10s %8s %8s %8s\n' "server" "req/s" "p50 ms" "p90 ms" "p99 ms"
} >"$work/summary.txt"
run_wrk "feedservice (generated)" "$svc$query"
run_wrk "feedservice (overlay file)" "$svc/cgi-local/page?c=$overlay_name&o=xml"
run_wrk "nginx (static file)" "$ngx$query"

p99=$(cat "$work/p99-feedservice (generated)")
verdict=$(python3 -c "print('within' if float('$p99') < $p99_bound_ms else 'OVER')")
echo >>"$work/summary.txt"
echo "bound: feedservice p99 < $p99_bound_ms ms: $verdict (p99 $p99 ms)" >>"$work/summary.txt"

{ cat "$work/summary.txt"; echo; cat "$work/raw.txt"; } >"$results"
cat "$work/summary.txt"
echo "results: $results"

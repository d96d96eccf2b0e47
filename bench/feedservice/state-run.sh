#!/usr/bin/env bash
# One full round of 2000 live sources and a restart from the kept state, with
# nginx serving the fixture feeds (with ETags) on loopback.
#
#   bench/feedservice/state-run.sh FEEDSERVICE_EXE OUT_DIR [SOURCES] [REFRESH]
#
# 2000 fixture RSS feeds of 20 items each, spread over all 326 categories and
# over 40 loopback addresses (a publisher's section feeds share a host, and
# the service fetches at most 2 at a time from one host). The service runs
# with its default --parallel and --state in a scratch directory, and a short
# --refresh (default 60 s) so that the round after the restart comes within
# the run. Figures:
#   - the first round: time until every source has been fetched once (beside
#     the floor, a plain client downloading the same feeds 4 at a time), the
#     service's peak memory, and page latency (p50/p99) of a client asking
#     category pages one after another during the round;
#   - the restart: the first answer of every category page (must be 200 and
#     the same bytes and ETag as before the stop), the time until all of them
#     were served, and the share of 304 answers nginx gave in the first round
#     after the restart (the feeds did not change).
# Bounds: every page served from the state at the first request; at least
# 95 % 304 in the round after the restart; a full round well inside the default
# 900 s refresh (under a tenth of it).
set -euo pipefail

exe=${1:?usage: state-run.sh FEEDSERVICE_EXE OUT_DIR [SOURCES] [REFRESH]}
out=${2:?usage: state-run.sh FEEDSERVICE_EXE OUT_DIR [SOURCES] [REFRESH]}
sources=${3:-2000}
refresh=${4:-60}
hosts=40

for tool in nginx python3; do
  command -v "$tool" >/dev/null || { echo "state-run.sh: $tool is not installed" >&2; exit 2; }
done

repo=$(cd "$(dirname "$0")/../.." && pwd)
source "$repo/scripts/lib.sh"
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/feedservice-state-bench-XXXXXX")
chmod 755 "$work"
results=$out/feedservice-state-results.txt

svc_pid='' ngx_started=''
cleanup() {
  [ -n "$svc_pid" ] && kill "$svc_pid" 2>/dev/null && wait "$svc_pid" 2>/dev/null
  [ -n "$ngx_started" ] && [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

port=$(free_port)

# The fixture feeds and the sources file naming them.
mkdir -p "$work/html/sources" "$work/state"
python3 - "$repo/common/Catalogue.cpp" "$work/html/sources" "$work/sources.opml" \
  "$work/categories.txt" "$sources" "$hosts" "$port" <<'PY'
import re, sys
from xml.sax.saxutils import quoteattr
catalogue, out, opml_path, names_path = sys.argv[1:5]
count, hosts, port = int(sys.argv[5]), int(sys.argv[6]), sys.argv[7]
names = re.findall(r'\{"([^"]+)", (\d{3})\}', open(catalogue).read())
names = [n for n, c in names if 101 <= int(c) <= 426]
assert len(names) == 326, len(names)
by_category = {n: [] for n in names}
for i in range(count):
    by_category[names[i % len(names)]].append(i)
lines = ['<?xml version="1.0"?>', '<opml version="2.0"><body>']
for name, ids in by_category.items():
    lines.append(f"<outline text={quoteattr(name)}>")
    for i in ids:
        items = "".join(
            f"<item><title>Source {i} story {j}</title><link>http://news{i}.example/{j}.html</link>"
            f"<pubDate>Tue, {10 + j % 18:02d} Jun 2003 {j % 24:02d}:{i % 60:02d}:00 GMT</pubDate>"
            f"<description>{'Body text. ' * 20}</description></item>\n" for j in range(20))
        with open(f"{out}/f{i}.xml", "w") as f:
            f.write(f'<?xml version="1.0" encoding="UTF-8"?>\n<rss version="2.0"><channel>'
                    f"<title>Source {i}</title>\n{items}</channel></rss>\n")
        host = f"127.0.0.{2 + i % hosts}"
        lines.append(f'  <outline type="rss" text="Source {i}" xmlUrl="http://{host}:{port}/sources/f{i}.xml"/>')
    lines.append("</outline>")
lines.append("</body></opml>")
open(opml_path, "w").write("\n".join(lines) + "\n")
open(names_path, "w").write("\n".join(names) + "\n")
PY

# nginx serves them as static files, with its ETag and Last-Modified, on every
# one of the loopback addresses.
listen=$(for h in $(seq 2 $((hosts + 1))); do echo "    listen 127.0.0.$h:$port;"; done)
cat >"$work/nginx.conf" <<CONF
worker_processes 1;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 1024; }
http {
  log_format timed '\$msec \$status \$uri';
  access_log $work/nginx-access.log timed;
  server {
$listen
    location /sources/ {
      default_type application/rss+xml;
      alias $work/html/sources/;
    }
  }
}
CONF
nginx -p "$work" -c "$work/nginx.conf"
ngx_started=1
wait_for 10 python3 -c "import urllib.request; urllib.request.urlopen('http://127.0.0.2:$port/sources/f0.xml', timeout=5)" ||
  { echo "nginx did not start" >&2; exit 1; }

run_service() {  # run_service NAME: the service with the sources and the state
  start_feedservice "$work/$1" "$exe" --sources "$work/sources.opml" --state "$work/state" \
    --refresh "$refresh"
  svc_pid=$feedservice_pid
}
stop_service() {
  kill "$svc_pid" && wait "$svc_pid" 2>/dev/null || true
  svc_pid=''
}

# The measuring client: rounds, page latency, restarts.
measure=$work/measure.py
cat >"$measure" <<'PY'
import http.client, sys, time, urllib.parse

def pages(names):
    return ["/cgi-local/page?c=" + urllib.parse.quote(n, safe="") + "&o=xml" for n in names]

def health(port):
    c = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    c.request("GET", "/health/sources")
    rows = c.getresponse().read().decode("utf-8", "replace").splitlines()[2:]
    return [r.split("\t") for r in rows if r]

def get(conn, path):
    conn.request("GET", path)
    r = conn.getresponse()
    return r.status, r.getheader("ETag"), r.read()

mode, port, names_path, pid = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
names = open(names_path).read().split("\n")[:-1]
paths = pages(names)
start = float(sys.argv[5])

if mode == "round":
    # Until every source has been fetched once, ask pages one after another.
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    latencies, i, deadline = [], 0, start + 900
    while True:
        rows = health(port)
        if rows and all(int(r[4]) >= 1 for r in rows):
            break
        if time.time() > deadline:
            sys.exit("the round did not finish within 900 s")
        for _ in range(50):
            t = time.perf_counter()
            get(conn, paths[i % len(paths)])
            latencies.append((time.perf_counter() - t) * 1000)
            i += 1
    took = time.time() - start
    hwm = next(l.split()[1] for l in open(f"/proc/{pid}/status") if l.startswith("VmHWM"))
    latencies.sort()
    pct = lambda p: latencies[min(len(latencies) - 1, int(len(latencies) * p))]
    ok = sum(1 for r in rows if r[2] == "ok")
    print(f"round {took:.1f} {int(hwm) / 1024:.1f} {len(latencies)} {pct(0.5):.2f} {pct(0.99):.2f} {ok} {len(rows)}")
    # What every page is now, for the comparison after the restart.
    with open(sys.argv[6], "w") as f:
        for p in paths:
            status, etag, body = get(conn, p)
            f.write(f"{status}\t{etag}\t{hash(body)}\n")
elif mode == "restart":
    # Every page once, as soon as the service listens; then until all served.
    before = [l.split("\t") for l in open(sys.argv[6]).read().splitlines()]
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    first_ok = same = 0
    for p, (status, etag, digest) in zip(paths, before):
        s, e, body = get(conn, p)
        first_ok += s == 200
        same += s == int(status) and e == etag and str(hash(body)) == digest
    took = time.time() - start
    print(f"restart {took:.2f} {first_ok} {same} {len(paths)}")
PY

# The floor: the same feeds downloaded once by a plain client with as many
# fetches at a time as the service's default --parallel (4).
floor_s=$(python3 - "$work/sources.opml" <<'PY'
import re, sys, time, urllib.request
from concurrent.futures import ThreadPoolExecutor
urls = re.findall(r'xmlUrl="([^"]+)"', open(sys.argv[1]).read())
t = time.time()
with ThreadPoolExecutor(4) as pool:
    list(pool.map(lambda u: urllib.request.urlopen(u, timeout=30).read(), urls))
print(f"{time.time() - t:.2f}")
PY
)

# The first round, from a service with an empty state.
t0=$(python3 -c 'import time; print(time.time())')
run_service first
PYTHONHASHSEED=0 python3 "$measure" round "$feedservice_port" "$work/categories.txt" "$svc_pid" \
  "$t0" "$work/pages-before.txt" >"$work/round.txt"
read -r _ round_s peak_mib requests p50 p99 ok total <"$work/round.txt"
stop_service

# The restart: pages at the first request, then the first round after it.
restart_mark=$(python3 -c 'import time; print(time.time())')
run_service second
PYTHONHASHSEED=0 python3 "$measure" restart "$feedservice_port" "$work/categories.txt" "$svc_pid" \
  "$restart_mark" "$work/pages-before.txt" >"$work/restart.txt"
read -r _ restart_s first_ok same pages <"$work/restart.txt"
round_done() {  # every fixture feed asked once since the restart
  python3 - "$work/nginx-access.log" "$restart_mark" "$sources" <<'PY'
import sys
seen = set()
for line in open(sys.argv[1]):
    t, status, uri = line.split()
    if float(t) >= float(sys.argv[2]):
        seen.add(uri)
sys.exit(0 if len(seen) >= int(sys.argv[3]) else 1)
PY
}
wait_for $((refresh * 2 + 600)) round_done || { echo "no full round after the restart" >&2; exit 1; }
share=$(python3 - "$work/nginx-access.log" "$restart_mark" <<'PY'
import sys
first = {}
for line in open(sys.argv[1]):
    t, status, uri = line.split()
    if float(t) >= float(sys.argv[2]) and uri not in first:
        first[uri] = status
print(f"{100 * sum(1 for s in first.values() if s == '304') / len(first):.1f} {len(first)}")
PY
)
read -r share304 asked <<<"$share"
stop_service

verdict() { python3 -c "print('within' if $1 else 'OVER')"; }
{
  echo "feed service kept state, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) CPUs"
  echo "$sources fixture sources (20 items each) over 326 categories and $hosts loopback hosts," \
    "nginx with ETags; default --parallel, --refresh $refresh"
  echo
  echo "first round (empty state):     ${round_s} s, $ok of $total sources ok;" \
    "$(python3 -c "print(f'{$round_s / $floor_s:.2f}')")x the floor (a plain client downloading them all, 4 at a time: ${floor_s} s)"
  echo "peak memory (VmHWM):           ${peak_mib} MiB"
  echo "pages during the round:        $requests requests, p50 ${p50} ms, p99 ${p99} ms"
  echo "restart, every page served:    ${restart_s} s after the start; first answers 200: $first_ok of $pages;" \
    "same bytes and ETag as before the stop: $same"
  echo "round after the restart:       ${share304} % answered 304 ($asked feeds asked)"
  echo
  echo "bound: every page served from the state at the first request: $(verdict "$first_ok == $pages and $same == $pages")"
  echo "bound: at least 95 % 304 after the restart: $(verdict "$share304 >= 95")"
  echo "bound: a full round well inside the default 900 s refresh (< 90 s): $(verdict "$round_s < 90")"
} | tee "$results"

#!/usr/bin/env bash
# The repository's nginx configuration, run by the real nginx on loopback in
# front of two real feed service instances: pages byte-identical through the
# cache, one upstream request per page and max-age under load, the last page
# kept while the service is down and replaced once it is back, and either
# instance able to stop without a request failing.
#
#   nginx_cache_test.sh FEEDSERVICE_EXE REPOSITORY_DIR
FEEDSERVICE=${1:?usage: nginx_cache_test.sh FEEDSERVICE_EXE REPOSITORY_DIR}
repo=${2:?usage: nginx_cache_test.sh FEEDSERVICE_EXE REPOSITORY_DIR}
source "$repo/deploy/tests/lib.sh"
for tool in nginx wrk curl python3; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/install-deps)"
done

max_age=2
mkdir -p "$work/feeds"
page_of() { echo "/cgi-local/page?c=$1&o=xml"; }
# An overlay page with bytes a cache must not touch: Windows-1252, CR LF, no
# final line feed.
printf '<?xml version="1.0" encoding="windows-1252"?>\r\n<headlines>\r\n<item><url>http://a.example/1</url><headline_text>caf\xe9 \x93one\x94</headline_text></item>\r\n</headlines>' \
  >"$work/feeds/Overlay%20test.xml"

start_service a --port 0 --data "$work/feeds" --max-age $max_age
start_service b --port 0 --data "$work/feeds" --max-age $max_age
port_a=$(port_of a)
port_b=$(port_of b)

# The configuration under test, with loopback addresses and paths of this run.
ngx_port=$(free_port)
sed -e "s#/var/cache/nginx/feedservice#$work/cache#" \
  -e "s#listen 80;#listen 127.0.0.1:$ngx_port;#" \
  -e "s#server 127.0.0.1:8642 #server 127.0.0.1:$port_a #" \
  -e "s#server 127.0.0.1:8643 #server 127.0.0.1:$port_b #" \
  "$repo/deploy/nginx/feedservice.conf" >"$work/feedservice.conf"
for expected in "$work/cache" "127.0.0.1:$ngx_port" "127.0.0.1:$port_a" "127.0.0.1:$port_b"; do
  grep -qF "$expected" "$work/feedservice.conf" || fail "configuration no longer has the line for $expected"
done
cat >"$work/nginx.conf" <<CONF
worker_processes 1;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 512; }
http {
  access_log $work/nginx-access.log;
  client_body_temp_path $work/body;
  proxy_temp_path $work/proxy;
  include $work/feedservice.conf;
}
CONF
nginx -t -q -p "$work" -c "$work/nginx.conf" || fail "nginx rejects the configuration"
nginx -p "$work" -c "$work/nginx.conf"
cleanup_hooks+=('kill "$(cat "$work/nginx.pid")" 2>/dev/null')
ngx="http://127.0.0.1:$ngx_port"
wait_for 10 curl -sf -o /dev/null "$ngx/health" || fail "nginx did not start"

# requests_for LOG... PATH: how many requests the service logs name PATH in.
upstream_count() {
  local path=$1
  shift
  cat "$@" | awk -v p="$path" '$2 == p' | wc -l
}

echo "-- pages byte-identical through the cache, the ticker's no-cache request included"
for name in 'India%20news' 'AT%26amp%3BT%20news' 'Overlay%20test' 'Not%20a%20category'; do
  path=$(page_of "$name")
  curl -sf "http://127.0.0.1:$port_a$path" -o "$work/direct.xml"
  for pass in miss hit ticker; do
    extra=()
    [ $pass = ticker ] && extra=(-H 'Cache-Control: no-cache' -H 'Pragma: no-cache')
    curl -sf "${extra[@]}" -D "$work/head.txt" "$ngx$path" -o "$work/proxied.xml" ||
      fail "$name ($pass) through nginx"
    cmp -s "$work/direct.xml" "$work/proxied.xml" || fail "$name ($pass) differs through the cache"
  done
  grep -qi '^X-Cache-Status: HIT' "$work/head.txt" || fail "$name: the ticker's request was not served from the cache"
  grep -qi '^ETag: "' "$work/head.txt" || fail "$name: no ETag through the cache"
done

echo "-- under load, at most one upstream request per page and max-age (plus revalidations)"
path=$(page_of 'Europe%20news')
before=$(upstream_count "$path" "$work/a.log" "$work/b.log")
start=$(date +%s.%N)
wrk -t2 -c8 -d1s "$ngx$path" >"$work/wrk.txt"
elapsed=$(python3 -c "import time; print(time.time() - $start)")
done_requests=$(awk '/requests in/ { print $1 }' "$work/wrk.txt")
grep -q 'Non-2xx' "$work/wrk.txt" && fail "non-2xx answers under load: $(cat "$work/wrk.txt")"
[ "$done_requests" -ge 1000 ] || fail "only $done_requests requests under load"
upstream=$(($(upstream_count "$path" "$work/a.log" "$work/b.log") - before))
bound=$(python3 -c "import math; print(2 * (math.ceil($elapsed / $max_age) + 1))")
echo "$done_requests requests through nginx in ${elapsed:0:4} s, $upstream reached the service (bound $bound)"
[ "$upstream" -ge 1 ] && [ "$upstream" -le "$bound" ] || fail "$upstream upstream requests for $done_requests (bound $bound)"

echo "-- service stopped: the cache keeps answering the last page; back: the new page"
path=$(page_of 'Overlay%20test')
cp "$work/feeds/Overlay%20test.xml" "$work/v1.xml"
curl -sf "$ngx$path" -o /dev/null
stop_service a
stop_service b
printf '<?xml version="1.0"?>\n<headlines><item><url>http://a.example/2</url><headline_text>second</headline_text></item></headlines>\n' \
  >"$work/feeds/Overlay%20test.xml"
# Until the cached copy expires and an update fails, then some more: always v1.
stale_seen() {
  curl -sf -D "$work/head.txt" "$ngx$path" -o "$work/proxied.xml" || fail "no page while the service is down"
  cmp -s "$work/v1.xml" "$work/proxied.xml" || fail "another page while the service is down"
  grep -qi '^X-Cache-Status: STALE\|^X-Cache-Status: UPDATING' "$work/head.txt"
}
wait_for $((max_age + 10)) stale_seen || fail "the cached copy never went stale"
for _ in 1 2 3; do stale_seen || true; done
start_service a --port "$port_a" --data "$work/feeds" --max-age $max_age
new_page_seen() {
  curl -sf "$ngx$path" -o "$work/proxied.xml" || fail "no page while the service comes back"
  cmp -s "$work/feeds/Overlay%20test.xml" "$work/proxied.xml"
}
wait_for 20 new_page_seen || fail "the new page never came through"

echo "-- two instances as one upstream: either one stopped, every request gets a page"
# back_in_upstream NAME: nginx sends requests to that instance again (after a
# failure it leaves it alone for fail_timeout), as a rolling restart waits for.
probe=0
back_in_upstream() {
  local before
  before=$(wc -l <"$work/$1.log")
  probe=$((probe + 1))
  curl -sf "$ngx$(page_of "Probe%20$probe")" -o /dev/null || fail "probe $probe failed"
  [ "$(wc -l <"$work/$1.log")" -gt "$before" ]
}
start_service b --port "$port_b" --data "$work/feeds" --max-age $max_age
wait_for 15 back_in_upstream b || fail "nginx does not send requests to b again"
for round in b a; do
  stop_service $round
  up=a
  [ $round = a ] && up=b
  for i in $(seq 1 12); do
    path=$(page_of "Failover%20$round%20$i")  # uncached: each goes to the upstream
    curl -sf "$ngx$path" -o "$work/proxied.xml" || fail "request $i failed with $round stopped"
    curl -sf "http://127.0.0.1:$(port_of $up)$path" | cmp -s - "$work/proxied.xml" ||
      fail "request $i with $round stopped: not the service's page"
  done
  start_service $round --port "$(eval echo \$port_$round)" --data "$work/feeds" --max-age $max_age
  wait_for 15 back_in_upstream $round || fail "nginx does not send requests to $round again"
done

echo "-- restarted with its sources down and no state: 503, and nginx keeps the last page"
# A live instance on a's port, its one feed served by a fixture instance.
printf '<?xml version="1.0"?>\n<rss version="2.0"><channel><title>F</title><item><title>Live one</title><link>http://l.example/1</link></item></channel></rss>\n' \
  >"$work/feeds/Live%20feed.xml"
start_service fixture --port 0 --data "$work/feeds"
cat >"$work/sources.opml" <<OPML
<opml version="2.0"><body><outline text="India news">
<outline xmlUrl="http://127.0.0.1:$(port_of fixture)/cgi-local/page?c=Live%20feed&amp;o=xml"/>
</outline></body></opml>
OPML
stop_service a
stop_service b
live_args=(--port "$port_a" --sources "$work/sources.opml" --max-age $max_age --refresh 1 --retry 1)
start_service a "${live_args[@]}" --state "$work/state-1"
path=$(page_of 'India%20news')
live_seen() {
  curl -sf "$ngx$path" -o "$work/live.xml" && grep -q '<headline_text>Live one<' "$work/live.xml"
}
wait_for 20 live_seen || fail "the live page never came through nginx"
stop_service fixture
stop_service a
start_service a "${live_args[@]}" --state "$work/state-2"
direct=$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port_a$path")
[ "$direct" = 503 ] || fail "a restart with its sources down and no state answers $direct, not 503"
# Past max-age nginx asks again, gets 503, and keeps answering the last page.
stale_live() {
  curl -sf -D "$work/head.txt" "$ngx$path" -o "$work/proxied.xml" || fail "no page through nginx after the restart"
  cmp -s "$work/live.xml" "$work/proxied.xml" || fail "another page through nginx after the restart"
  grep -qi '^X-Cache-Status: STALE\|^X-Cache-Status: UPDATING' "$work/head.txt"
}
wait_for $((max_age + 10)) stale_live || fail "nginx did not keep the last page"
for _ in 1 2 3; do stale_live || true; done
echo "PASS"

#!/usr/bin/env bash
# What an operator watches, on a service with live fixture feeds (served by a
# second instance from its overlay directory): one good source whose texts
# carry markup characters, one source that fails, one feed that is not XML.
# /metrics passes promtool's check, counts what happened and is scraped by a
# real Prometheus server; the status page,
# loaded in headless Chromium, shows the headlines as links, marks the failed
# sources, and shows every text as text. Screenshot: BUILD/screenshots/status-page.png.
#
#   observe_test.sh FEEDSERVICE_EXE REPOSITORY_DIR BUILD_DIR
FEEDSERVICE=${1:?usage: observe_test.sh FEEDSERVICE_EXE REPOSITORY_DIR BUILD_DIR}
repo=${2:?usage: observe_test.sh FEEDSERVICE_EXE REPOSITORY_DIR BUILD_DIR}
build=${3:?usage: observe_test.sh FEEDSERVICE_EXE REPOSITORY_DIR BUILD_DIR}
source "$repo/deploy/tests/lib.sh"
for tool in promtool prometheus chromium convert curl python3; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/install-deps)"
done

# The fixture feeds, as overlay pages of a plain instance.
mkdir -p "$work/feeds"
{
  echo '<?xml version="1.0" encoding="UTF-8"?><rss version="2.0"><channel><title>Fixture &amp; Co</title>'
  for i in 1 2 3 4 5 6; do
    echo "<item><title>Story $i: AT&amp;T &lt;3 caf&#233; &quot;quoted&quot;</title><link>http://news.example/$i.html</link></item>"
  done
  echo '</channel></rss>'
} >"$work/feeds/Fixture%20one.xml"
echo 'this is not a feed' >"$work/feeds/Fixture%20broken.xml"
start_service fixtures --port 0 --data "$work/feeds"
fx="http://127.0.0.1:$(port_of fixtures)"
cat >"$work/sources.opml" <<OPML
<?xml version="1.0"?>
<opml version="2.0"><body>
<outline text="India news">
  <outline type="rss" text="good" xmlUrl="$fx/cgi-local/page?c=Fixture%20one&amp;o=xml"/>
  <outline type="rss" text="gone" xmlUrl="$fx/missing.xml?tag=&lt;b&gt;bold&lt;/b&gt;"/>
</outline>
<outline text="UK news">
  <outline type="rss" text="broken" xmlUrl="$fx/cgi-local/page?c=Fixture%20broken&amp;o=xml"/>
</outline>
</body></opml>
OPML
start_service live --port 0 --sources "$work/sources.opml" --retry 3600
svc="http://127.0.0.1:$(port_of live)"
settled() { ! curl -sf "$svc/health/sources" | awk -F'\t' 'NR > 2' | grep -q 'pending'; }
wait_for 20 settled || fail "sources still pending: $(curl -s "$svc/health/sources")"
curl -sf "$svc/cgi-local/page?c=India%20news&o=xml" -o /dev/null
# UK news's one source has never had items: 503, not an empty page.
uk=$(curl -s -H 'If-None-Match: "no"' -o /dev/null -w '%{http_code}' "$svc/cgi-local/page?c=UK%20news&o=xml")
[ "$uk" = 503 ] || fail "a category never filled answers $uk"
curl -s "$svc/nowhere" -o /dev/null

echo "-- /metrics: promtool's check, and the counts"
curl -sf -D "$work/metrics.head" "$svc/metrics" -o "$work/metrics.txt"
grep -qi '^Content-Type: text/plain; version=0.0.4' "$work/metrics.head" || fail "metrics content type"
promtool check metrics <"$work/metrics.txt" || fail "promtool rejects /metrics: $(cat "$work/metrics.txt")"
expect_metric() {  # expect_metric REGEX: a sample line matching it
  grep -Eq "$1" "$work/metrics.txt" || fail "no metric matching $1 in: $(cat "$work/metrics.txt")"
}
good='category="India news",url="[^"]*Fixture%20one[^"]*"'
expect_metric "^feedservice_source_fetches_total\{$good,outcome=\"ok\"\} 1$"
expect_metric "^feedservice_source_items\{$good\} 6$"
expect_metric "^feedservice_source_fetched_bytes_total\{$good\} [1-9][0-9]+$"
expect_metric "^feedservice_source_last_success_timestamp_seconds\{$good\} [1-9][0-9]{9}$"
expect_metric '^feedservice_source_fetches_total\{category="India news",url="[^"]*missing[^"]*",outcome="error"\} 1$'
expect_metric '^feedservice_source_fetches_total\{category="UK news",url="[^"]*broken[^"]*",outcome="error"\} 1$'
expect_metric '^feedservice_source_last_success_timestamp_seconds\{category="UK news",[^}]*\} 0$'
expect_metric '^feedservice_pages_served_total\{origin="live"\} 1$'
expect_metric '^feedservice_http_requests_total\{route="page",status="200"\} 1$'
expect_metric '^feedservice_http_requests_total\{route="page",status="503"\} 1$'
expect_metric '^feedservice_http_requests_total\{route="other",status="404"\} 1$'
expect_metric '^feedservice_http_request_duration_seconds_count\{route="page"\} 2$'
expect_metric '^feedservice_source_fetch_duration_seconds_count 3$'
expect_metric "^feedservice_source_next_due_timestamp_seconds\{$good\} [1-9][0-9]{9}$"
expect_metric "^feedservice_source_newest_item_age_seconds\{$good\} [0-9]+$"
expect_metric "^feedservice_source_gone\{$good\} 0$"
expect_metric '^feedservice_sources_overdue 0$'

echo "-- a real Prometheus server on loopback scrapes it"
prom_port=$(free_port)
cat >"$work/prometheus.yml" <<YML
global:
  scrape_interval: 1s
scrape_configs:
  - job_name: feedservice
    static_configs:
      - targets: ['127.0.0.1:$(port_of live)']
YML
prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/tsdb" \
  --web.listen-address="127.0.0.1:$prom_port" >"$work/prometheus.log" 2>&1 &
prom_pid=$!
cleanup_hooks+=('kill "$prom_pid" 2>/dev/null && wait "$prom_pid"')
query() { curl -sf --get "http://127.0.0.1:$prom_port/api/v1/query" --data-urlencode "query=$1"; }
scraped() { query "feedservice_source_items{category=\"India news\"} == 6" | grep -q '"value"'; }
wait_for 40 scraped || fail "Prometheus did not scrape the items: $(tail -3 "$work/prometheus.log")"
query 'up{job="feedservice"}' | grep -q '"1"\]' || fail "Prometheus reports the target down"

echo "-- the status page in headless Chromium"
browse() {  # browse ARGS...: chromium on loopback only, with a fresh profile
  local profile
  profile=$(mktemp -d "$work/profile-XXXXXX")
  timeout 60 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --disable-extensions --user-data-dir="$profile" \
    --host-resolver-rules='MAP * ~NOTFOUND, EXCLUDE 127.0.0.1' "$@" 2>>"$work/chromium.err"
}
browse --dump-dom "$svc/" >"$work/dom.html" || fail "chromium could not load the status page: $(tail "$work/chromium.err")"
python3 - "$work/dom.html" <<'PY' || fail "status page content"
import html.parser, sys
class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.rows, self.links, self.tags, self.stack = [], [], [], []
        self.row = None
    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        self.tags.append(tag)
        if tag == "tr":
            self.row = [a.get("class", ""), ""]
        if tag == "a":
            self.links.append([a.get("href"), ""])
        self.stack.append(tag)
    def handle_endtag(self, tag):
        if tag == "tr" and self.row:
            self.rows.append(self.row)
            self.row = None
        if self.stack and self.stack[-1] == tag:
            self.stack.pop()
    def handle_data(self, data):
        if self.row is not None:
            self.row[1] += data + "|"
        if "a" in self.stack and self.links:
            self.links[-1][1] += data
p = Page()
p.feed(open(sys.argv[1], encoding="utf-8").read())
failed = [r for r in p.rows if r[0] == "failed"]
good = [r for r in p.rows if r[0] == "ok"]
assert len(failed) == 2, f"failed rows: {p.rows}"
assert any("missing.xml?tag=<b>bold</b>" in r[1] and "|error|" in r[1] for r in failed), failed
assert len(good) == 1 and "|6|" in good[0][1], good
assert "b" not in p.tags and "script" not in p.tags, "markup from a feed became an element"
assert len(p.links) == 6, p.links
for i, (href, text) in enumerate(p.links, 1):
    assert href == f"http://news.example/{i}.html", href
    # Markup characters shown as text, Windows-1252 read right.
    assert text == f'Story {i}: AT&T <3 café "quoted"', text
PY
mkdir -p "$build/screenshots"
shot="$build/screenshots/status-page.png"
rm -f "$shot"
browse --screenshot="$shot" --window-size=1100,700 --hide-scrollbars "$svc/" >/dev/null ||
  fail "chromium could not take the screenshot"
[ -s "$shot" ] || fail "no screenshot"
# The failed rows stand out: their background colour covers a good stretch.
red=$(convert "$shot" -format %c histogram:info:- | awk 'tolower($0) ~ /#f8d0d0/ { n += $1 } END { print n + 0 }')
[ "$red" -ge 5000 ] || fail "failed sources do not stand out ($red pixels of their colour)"
echo "screenshot: $shot ($red pixels mark the failed sources)"
echo "PASS"

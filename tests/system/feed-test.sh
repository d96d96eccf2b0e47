#!/usr/bin/env bash
# feed-test.sh live|codepage TESTBED_DIR FEEDSERVICE DRIVER FIXTURES: the ticker
# under Wine showing headlines that came from live feeds. A feed service on the
# test bed's data directory serves the fixture feeds (with a max-age of 1 s, so
# that their freshness does not hold back the refresh); a second one reads them
# as the live sources of one category, and the driver points the ticker at that
# second service.
#   live      "Europe news" from an RSS 2.0 and an Atom fixture feed.
#   codepage  "Russia news" from a Cyrillic fixture feed, which the second
#             service writes in Windows-1251, shown in a Russian-language Wine
#             session (LANG=ru_RU.UTF-8, so ANSI code page 1251).
set -euo pipefail
usage='usage: feed-test.sh live|codepage TESTBED_DIR FEEDSERVICE DRIVER FIXTURES'
[ $# -eq 5 ] || { echo "$usage" >&2; exit 2; }
kind=$1 bed=$2 feed=$3 driver=$4 fixtures=$5
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"

# Per kind: the category, its sources as NAME=FIXTURE (NAME is the overlay
# page in the test bed's data directory), a link that each source's items
# carry, the second service's own options, and the Wine session's locale.
case $kind in
live)
  category='Europe news'
  sources=(RssFixture=live-rss.xml AtomFixture=live-atom.xml)
  links=(news.example.org/storm news.example.org/markets)
  options=(--refresh 1)
  session=()
  ;;
codepage)
  if ! locale -a | grep -qix 'ru_RU.utf8'; then
    echo "the locale ru_RU.UTF-8 is missing (scripts/install-deps generates it)" >&2
    exit 1
  fi
  category='Russia news'
  sources=(RussianFixture=live-russian.xml)
  links=(news.example.ru/afiny)
  options=(--charset windows-1251)
  session=(LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8)
  ;;
*)
  echo "$usage" >&2
  exit 2
  ;;
esac

source "$bed/env"
work=$bed/$kind
rm -rf "$work" && mkdir -p "$work"

cleanup() {
  local entry
  for entry in feedservice fixtures; do
    [ -f "$work/$entry.pid" ] && kill "$(cat "$work/$entry.pid")" 2>/dev/null || true
  done
  for entry in "${sources[@]}"; do rm -f "$bed/feeds/${entry%%=*}.xml"; done
}
trap cleanup EXIT

start_feedservice "$work/fixtures" "$feed" --data "$bed/feeds" --max-age 1
fixtures_port=$feedservice_port

{
  echo '<?xml version="1.0" encoding="UTF-8"?>'
  echo '<opml version="2.0">'
  echo '  <head><title>Fixture sources</title></head>'
  echo '  <body>'
  echo "    <outline text=\"$category\">"
  for entry in "${sources[@]}"; do
    name=${entry%%=*}
    cp "$fixtures/${entry#*=}" "$bed/feeds/$name.xml"
    echo "      <outline type=\"rss\" text=\"$name\"" \
      "xmlUrl=\"http://127.0.0.1:$fixtures_port/cgi-local/page?c=$name&amp;o=xml\"/>"
  done
  echo '    </outline>'
  echo '  </body>'
  echo '</opml>'
} >"$work/sources.opml"

start_feedservice "$work/feedservice" "$feed" --sources "$work/sources.opml" --retry 1 \
  --access-log "$work/feedservice.log" "${options[@]}"
port=$feedservice_port

# Every source fetched once: the page holds an item of each.
all_fetched() {
  local page link
  page=$(curl -sf "http://127.0.0.1:$port/cgi-local/page?c=${category// /%20}&o=xml") || return 1
  for link in "${links[@]}"; do [[ $page == *"$link"* ]] || return 1; done
}
wait_for 30 all_fetched || {
  cat "$work/feedservice.out"
  curl -s "http://127.0.0.1:$port/health/sources"
  exit 1
}

env "${session[@]}" LIVE_FEED_HOST="127.0.0.1:$port" wine "$driver"

#!/usr/bin/env bash
# The whole ticker measured from the outside, under Wine in a test bed of its
# own (private prefix, Xvfb, feed service), in one run:
#  - start-up: Vantrel.exe until its final caption shows the headlines, beside
#    a minimal dialog program, as a ratio of medians;
#  - refresh: one "Reload NEWS" pass for a twenty-item page and for a 1 MiB
#    page, beside curl fetching the same address from the Linux side (and
#    WinINet fetching it inside Wine, to split the network from the pass);
#  - footprint: the ticker's working set after start-up and after 100 reloads
#    (growth flagged above 10 %), beside the minimal dialog program, and the
#    sizes of the executables.
#
#   bench/system/run.sh BUILD_DIR FEEDSERVICE_EXE [START_RUNS] [RELOADS] [BIG_RELOADS]
#
# BUILD_DIR is the host build. It measures the i686 build (BUILD_DIR/win32)
# where this host runs 32-bit x86 programs, and otherwise the x86_64 build
# (BUILD_DIR/win64) under Wine's 64-bit loader; the summary names which.
# Results go to BUILD_DIR/bench/system-results.txt: the summary, then every raw
# figure.
set -euo pipefail

usage='usage: run.sh BUILD_DIR FEEDSERVICE_EXE [START_RUNS] [RELOADS] [BIG_RELOADS]'
build=${1:?$usage}
feed=${2:?$usage}
start_runs=${3:-9}
reloads=${4:-100}
big_reloads=${5:-20}

for tool in curl wine Xvfb awk; do
  command -v "$tool" >/dev/null || { echo "run.sh: $tool is not installed" >&2; exit 2; }
done

here=$(cd "$(dirname "$0")" && pwd)
scripts=$(cd "$here/../../scripts" && pwd)
if "$scripts/wine-check" win32 2>/dev/null; then
  arch=win32 processor=i686
else
  "$scripts/wine-check" win64 || exit 2
  arch=win64 processor=x86_64
fi
build=$(cd "$build" && pwd)
winbuild=$build/$arch
out=$build/bench
state=$out/system-testbed
raw=$out/system-driver.txt
results=$out/system-results.txt
mkdir -p "$out"

for f in bench_driver.exe Vantrel.exe Setup.exe minimal_dialog.exe; do
  [ -f "$winbuild/$f" ] || { echo "run.sh: $winbuild/$f is missing; build first" >&2; exit 2; }
done

winpath() { echo "Z:$1" | tr / '\\'; }

"$scripts/testbed" up "$state" "$feed" $arch
trap '"$scripts/testbed" down "$state"' EXIT

# ---- Windows side: start-up, reloads, memory.
rm -f "$raw"
(
  source "$state/env"
  export VANTREL_BIN VANTREL_SRC
  VANTREL_BIN=$(winpath "$winbuild")
  VANTREL_SRC=$(winpath "$(cd "$here/../.." && pwd)")
  wine "$winbuild/bench_driver.exe" "$(winpath "$raw")" "$start_runs" "$reloads" "$big_reloads"
)
grep -q '^done 1$' "$raw" || { echo "run.sh: the driver did not finish" >&2; exit 1; }

get() { awk -v k="$1" '$1 == k { $1 = ""; sub(/^ /, ""); print; exit }' "$raw"; }

# ---- Linux side: curl fetching the same pages, one connection per fetch as
# the ticker makes it. time_total covers connection, request and body.
port=$(cat "$state/feedservice.port")
curl_median() {  # curl_median QUERY RUNS: median seconds, as milliseconds
  local url="http://127.0.0.1:$port$1" i
  for ((i = 0; i < $2 + 1; i++)); do
    curl -sf --noproxy '*' -o /dev/null -w '%{time_total}\n' "$url"
  done | tail -n +2 | sort -n | awk '{ v[NR] = $1 * 1000 }
    END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'
}
curl_twenty=$(curl_median "$(get page.twenty.query)" "$reloads")
curl_big=$(curl_median "$(get page.big.query)" "$big_reloads")

size() { stat -c %s "$1"; }
release=$(ls -d "$winbuild"/release/Vantrel-*/ | head -n1) && release=${release%/}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a / b }'; }
kib() { awk -v a="$1" 'BEGIN { printf "%.0f", a / 1024 }'; }

{
  echo "System benchmark, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) CPUs, load $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "command: bench/system/run.sh $build $feed $start_runs $reloads $big_reloads"
  echo "build measured: $processor ($winbuild)"
  echo
  echo "Start-up (CreateProcess to the window shown; median of $(get startup.runs) runs after one warm-up)"
  printf '  %-44s %8s ms\n' "minimal dialog program" "$(get startup.minimal.median_ms)"
  printf '  %-44s %8s ms\n' "Vantrel.exe, final caption with headlines" "$(get startup.ticker.median_ms)"
  printf '  %-44s %8s x\n' "ratio" "$(get startup.ratio)"
  printf '  %-44s %8s ms\n' "minimal dialog fetching the page first" "$(get startup.fetching.median_ms)"
  printf '  %-44s %8s x\n' "ratio to the fetching floor" "$(get startup.fetching_ratio)"
  echo
  echo "Refresh (\"Reload NEWS\" posted to the final caption; medians)"
  printf '  %-30s %10s %10s %10s\n' page "ticker ms" "curl ms" ratio
  printf '  %-30s %10s %10s %10s\n' "twenty items, $(get page.twenty.bytes) B" \
    "$(get refresh.twenty.median_ms)" "$curl_twenty" "$(ratio "$(get refresh.twenty.median_ms)" "$curl_twenty")"
  printf '  %-30s %10s %10s %10s\n' "1 MiB, $(get page.big.bytes) B" \
    "$(get refresh.big.median_ms)" "$curl_big" "$(ratio "$(get refresh.big.median_ms)" "$curl_big")"
  echo "  passes: $(get refresh.twenty.passes) and $(get refresh.big.passes);" \
    "p90 $(get refresh.twenty.p90_ms) and $(get refresh.big.p90_ms) ms"
  echo "  the download alone in Wine (WinINet, reads of 1023 bytes into memory):" \
    "$(get wininet.twenty.median_ms) and $(get wininet.big.median_ms) ms"
  echo
  echo "Footprint (KiB: peak working set / working set / private bytes)"
  m() { echo "$(get "$1.peak_kib") / $(get "$1.working_kib") / $(get "$1.private_kib")"; }
  printf '  %-44s %s\n' "minimal dialog program, shown" "$(m memory.minimal)"
  printf '  %-44s %s\n' "Vantrel.exe after start-up" "$(m memory.ticker.startup)"
  printf '  %-44s %s\n' "Vantrel.exe after $(get memory.ticker.reloads.count) reloads" "$(m memory.ticker.reloads)"
  printf '  %-44s %s\n' "Vantrel.exe after the 1 MiB reloads" "$(m memory.ticker.big)"
  echo "  growth over the reloads: peak $(get memory.ticker.peak_growth_percent) %," \
    "private $(get memory.ticker.private_growth_percent) %" \
    "(bound $(get memory.ticker.growth_bound_percent) %; flagged: $(get memory.ticker.growth_flagged))"
  echo
  echo "Executable sizes (bytes, KiB)"
  for f in "$winbuild/Vantrel.exe" "$winbuild/Setup.exe" "$release/Vantrel.exe" "$release/Setup.exe" \
    "$winbuild/minimal_dialog.exe"; do
    printf '  %-60s %9s %6s\n' "${f#"$build"/}" "$(size "$f")" "$(kib "$(size "$f")")"
  done
  echo
  echo "Raw figures of the driver:"
  sed 's/^/  /' "$raw"
  echo "  curl.twenty.median_ms $curl_twenty"
  echo "  curl.big.median_ms $curl_big"
} >"$results"
cat "$results"

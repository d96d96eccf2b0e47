#!/usr/bin/env bash
# Running as a system service: the unit passes systemd-analyze verify, its
# command line starts the program as written, and SIGTERM stops accepting,
# lets the request in flight finish, and ends the process with status 0.
#
#   service_test.sh FEEDSERVICE_EXE REPOSITORY_DIR BUILD_DIR
FEEDSERVICE=${1:?usage: service_test.sh FEEDSERVICE_EXE REPOSITORY_DIR BUILD_DIR}
repo=${2:?usage: service_test.sh FEEDSERVICE_EXE REPOSITORY_DIR BUILD_DIR}
source "$repo/deploy/tests/lib.sh"
for tool in systemd-analyze curl python3; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/install-deps)"
done
unit=$repo/deploy/systemd/feedservice@.service

echo "-- systemd-analyze verify, with no complaint at all"
mkdir -p "$work/units"
sed "s#/usr/local/bin/feedservice#$FEEDSERVICE#" "$unit" >"$work/units/feedservice@.service"
ln -s feedservice@.service "$work/units/feedservice@8642.service"
systemd-analyze verify --man=no "$work/units/feedservice@8642.service" >"$work/verify.txt" 2>&1 ||
  fail "systemd-analyze verify: $(cat "$work/verify.txt")"
[ ! -s "$work/verify.txt" ] || fail "systemd-analyze verify complains: $(cat "$work/verify.txt")"

echo "-- the unit's command line, with this run's port and paths, serves"
exec_line=$(sed -n '/^ExecStart=/,/[^\\]$/p' "$unit" | sed 's/\\$//' | tr -s ' \n' ' ')
mkdir -p "$work/etc" "$work/srv" "$work/state/0"
cat >"$work/etc/sources.opml" <<'OPML'
<?xml version="1.0"?>
<opml version="2.0"><body><outline text="India news">
<outline type="rss" xmlUrl="http://127.0.0.1:9/closed.xml"/></outline></body></opml>
OPML
args=$(echo "${exec_line#ExecStart=/usr/local/bin/feedservice }" |
  sed -e "s#%i#0#g" -e "s#/etc/feedservice/#$work/etc/#" -e "s#/srv/feedservice#$work/srv#" \
    -e "s#/var/lib/feedservice/#$work/state/#" -e "s#--access-log [^ ]*#--access-log $work/unit.log#")
# shellcheck disable=SC2086  # the unit's arguments, split as systemd splits them
start_service unit $args
curl -sf -D "$work/head.txt" "http://127.0.0.1:$(port_of unit)/cgi-local/page?c=Jokes&o=xml" -o /dev/null ||
  fail "the unit's command line does not serve"
grep -qi '^Cache-Control: public, max-age=60,' "$work/head.txt" || fail "the unit's max-age is not in force"
# Its one source never answers and nothing is kept yet: no page rather than an empty one.
status=$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$(port_of unit)/cgi-local/page?c=India%20news&o=xml")
[ "$status" = 503 ] || fail "a category never filled answers $status, not 503"
# The state goes to the unit's state directory.
wait_for 10 test -s "$work/state/0/state.db" || fail "no state in the unit's state directory"
stop_service unit

echo "-- SIGTERM: stop accepting, finish the answer in flight, status 0"
# A page larger than what the kernel buffers on both sides can hold, so that
# its answer is still being sent when the signal comes.
mkdir -p "$work/big"
python3 -c 'import sys; sys.stdout.write("<?xml version=\"1.0\"?>\n<headlines>\n" + "<item><url>http://a.example/x</url><headline_text>long</headline_text></item>\n" * 160000 + "</headlines>\n")' \
  >"$work/big/Big%20page.xml"
start_service drain --port 0 --data "$work/big"
port=$(port_of drain)
python3 - "$port" "${service_pids[drain]}" "$work/big/Big%20page.xml" <<'PY' || fail "drain"
import os, signal, socket, sys, time
port, pid, expected = int(sys.argv[1]), int(sys.argv[2]), open(sys.argv[3], "rb").read()

def accepting():
    try:
        socket.create_connection(("127.0.0.1", port), timeout=1).close()
        return True
    except OSError:
        return False

sock = socket.create_connection(("127.0.0.1", port), timeout=10)
sock.sendall(b"GET /cgi-local/page?c=Big%20page&o=xml HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
data = bytearray(sock.recv(16384))  # the answer has begun; most of it waits in the server
os.kill(pid, signal.SIGTERM)
for _ in range(100):  # bounded poll: new connections are refused soon
    if not accepting():
        break
    time.sleep(0.05)
else:
    raise SystemExit("still accepting connections after SIGTERM")
while True:
    chunk = sock.recv(1 << 20)
    if not chunk:
        break
    data += chunk
head, _, body = bytes(data).partition(b"\r\n\r\n")
assert head.startswith(b"HTTP/1.1 200 OK"), head[:100]
assert body == expected, f"{len(body)} of {len(expected)} bytes"
PY
stop_status=0
wait "${service_pids[drain]}" || stop_status=$?
unset "service_pids[drain]"
[ "$stop_status" -eq 0 ] || fail "ended with status $stop_status after SIGTERM"
echo "PASS"

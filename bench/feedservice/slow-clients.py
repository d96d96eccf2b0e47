#!/usr/bin/env python3
"""Holds slow and idle connections to a server until killed (SIGTERM).

    slow-clients.py PORT [TRICKLING] [IDLE] [READY_FILE]

TRICKLING connections (default 100) send a request head one header line per
second and never finish it; IDLE connections (default 500) send nothing. They
come from loopback addresses other than 127.0.0.1 (100 per address), so that a
client on 127.0.0.1 is not counted with them. A connection the server closes is
opened again at once, so the number held stays the same. READY_FILE, if given,
is written once all are connected; on SIGTERM the number of connections the
server closed is printed.
"""
import selectors
import signal
import socket
import sys
import time

port = int(sys.argv[1])
trickling = int(sys.argv[2]) if len(sys.argv) > 2 else 100
idle = int(sys.argv[3]) if len(sys.argv) > 3 else 500
ready = sys.argv[4] if len(sys.argv) > 4 else None

selector = selectors.DefaultSelector()
closed_by_server = 0


def source(kind, i):
    # Idle ones from 127.0.1.x, trickling ones from 127.0.2.x.
    return f"127.0.{1 if kind == 'idle' else 2}.{1 + i // 100}"


def connect(kind, i):
    s = socket.socket()
    s.bind((source(kind, i), 0))
    s.connect(("127.0.0.1", port))
    s.setblocking(False)
    if kind == "trickle":
        s.send(b"GET /health HTTP/1.1\r\n")
    selector.register(s, selectors.EVENT_READ, (kind, i))
    return s


def stop(*_):
    print(f"slow-clients: {closed_by_server} connections closed by the server and reopened")
    sys.exit(0)


signal.signal(signal.SIGTERM, stop)
socks = {("trickle", i): connect("trickle", i) for i in range(trickling)}
socks.update({("idle", i): connect("idle", i) for i in range(idle)})
if ready:
    open(ready, "w").write(f"{len(socks)}\n")

line = 0
next_line = time.monotonic() + 1
while True:
    for key, _ in selector.select(timeout=max(0, next_line - time.monotonic())):
        s = key.fileobj
        try:
            data = s.recv(4096)
        except OSError:
            data = b""
        if not data:  # closed by the server (a deadline): open another
            selector.unregister(s)
            s.close()
            closed_by_server += 1
            socks[key.data] = connect(*key.data)
    if time.monotonic() >= next_line:
        next_line += 1
        line += 1
        for (kind, i), s in socks.items():
            if kind == "trickle":
                try:
                    s.send(f"X-Line-{line}: 1\r\n".encode())
                except OSError:
                    pass

#!/usr/bin/env python3
"""Holds slow and idle connections to 127.0.0.1:PORT for the load figures (bench/service/run.sh).

usage: slow_clients.py PORT SLOW IDLE SECONDS

SLOW connections send a request line, then one header line every 2 s, and never finish their
request; IDLE ones send nothing. Each connection the server closes is opened again at once, so the
counts stay as asked. Prints "ready" once all are open, stops by itself after SECONDS (or on
SIGTERM or SIGINT) and prints one line:
    slow_clients open=N closed_by_server=N failures=N
"""
import errno
import resource
import selectors
import signal
import socket
import sys
import time

LINE_EVERY = 2.0


def main():
    port, slow, idle, seconds = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), float(sys.argv[4])
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))

    stopping = False

    def stop(*_):
        nonlocal stopping
        stopping = True

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)

    selector = selectors.DefaultSelector()
    counts = {"closed_by_server": 0, "failures": 0}
    clients = []  # [socket or None, slow, next line time, lines sent]

    def connect(client):
        try:
            sock = socket.create_connection(("127.0.0.1", port), timeout=5)
        except OSError:
            counts["failures"] += 1
            client[0] = None
            return
        sock.setblocking(False)
        client[0], client[2], client[3] = sock, time.monotonic() + LINE_EVERY, 0
        if client[1]:
            sock.send(b"POST /service HTTP/1.1\r\n")
        selector.register(sock, selectors.EVENT_READ, client)

    def closed(client):
        selector.unregister(client[0])
        client[0].close()
        counts["closed_by_server"] += 1
        connect(client)

    start = time.monotonic()
    for i in range(slow + idle):
        client = [None, i < slow, 0.0, 0]
        clients.append(client)
        connect(client)
        # Spread the header lines over the two seconds, as independent clients would send them.
        if client[1]:
            client[2] = start + LINE_EVERY * i / slow
    print("ready", flush=True)

    deadline = time.monotonic() + seconds
    while not stopping and time.monotonic() < deadline:
        for key, _ in selector.select(timeout=0.1):
            client = key.data
            try:
                if not client[0].recv(4096):
                    closed(client)
            except BlockingIOError:
                pass
            except OSError:
                closed(client)
        now = time.monotonic()
        for client in clients:
            if client[0] is None:
                connect(client)
            elif client[1] and now >= client[2]:
                try:
                    client[0].send(b"X-Slow-%d: still coming\r\n" % client[3])
                except BlockingIOError:
                    pass
                except OSError as error:
                    if error.errno not in (errno.EAGAIN, errno.EINTR):
                        closed(client)
                        continue
                client[2] += LINE_EVERY
                client[3] += 1

    open_now = sum(1 for client in clients if client[0] is not None)
    print("slow_clients open=%d closed_by_server=%d failures=%d"
          % (open_now, counts["closed_by_server"], counts["failures"]), flush=True)
    for client in clients:
        if client[0] is not None:
            client[0].close()


if __name__ == "__main__":
    main()

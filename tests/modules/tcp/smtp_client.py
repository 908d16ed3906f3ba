#!/usr/bin/env python3
"""A real SMTP client (Python's smtplib) for the mail receiver's tests.

    smtp_client.py PORT SOURCE_ADDRESS OUTDIR

Four clients at once (the first after HELO, so without the SIZE parameter)
send 25 mails each, the first one with lines the client must stuff, and write
every message they hand over as OUTDIR/sent-<n>.eml, the bytes the server
should store.
"""
import concurrent.futures
import itertools
import os
import smtplib
import sys

port, source, outdir = int(sys.argv[1]), sys.argv[2], sys.argv[3]
numbers = itertools.count()  # next() on it is atomic: the threads share it
# A leading dot, two dots, a lone dot, and 8-bit text.
PLAIN = ("From: a@example.test\r\nTo: b@example.test\r\nSubject: 中文\r\n\r\nline one\r\n"
         ".leading dot\r\n..two dots\r\n.\r\n \r\n正文 last line\r\n").encode()


def report(n) -> bytes:
    lines = "".join("line %d of report %d, 日志\r\n" % (i, n) for i in range(400))
    return ("Subject: report %d\r\n\r\n%s" % (n, lines)).encode()


def client(k):
    with smtplib.SMTP("127.0.0.1", port, source_address=(source, 0), timeout=30) as smtp:
        if k == 0:
            smtp.helo()
        for n in range(25):
            data = report(k * 100 + n) if n else PLAIN
            smtp.sendmail("a@example.test", ["b@example.test", "c@example.test"], data)
            with open(os.path.join(outdir, "sent-%d.eml" % next(numbers)), "wb") as f:
                f.write(data)


with concurrent.futures.ThreadPoolExecutor(4) as pool:
    for session in [pool.submit(client, k) for k in range(4)]:
        session.result()  # raises what the client raised

#!/usr/bin/env python3
"""Mail load for the mail receiver benchmark (loopback only).

    mail_load.py PORT MAIL_DIR PID [--count 2000] [--clients 4]

Builds COUNT distinct mails of about 20 KB (text and a 10 KB attachment),
sends them with CLIENTS concurrent smtplib sessions (one process each) to
127.0.0.1:PORT, then checks that MAIL_DIR holds exactly one file per mail,
byte for byte as sent, and no temporary file. Prints mails per second stored
(first connection to the last reply, which comes once the file is renamed
into place) and the peak resident memory of process PID.
"""
import argparse
import email.policy
import hashlib
import multiprocessing
import os
import smtplib
import sys
import threading
import time
from email.message import EmailMessage


def build(n):
    msg = EmailMessage(policy=email.policy.SMTP)
    msg["From"] = "Router 7 <router7@example.test>"
    msg["To"] = "audit@example.test, archive@example.test"
    msg["Subject"] = "captured mail %06d" % n
    msg["Message-ID"] = "<%06d@bench.example.test>" % n
    line = "mail %06d: the quick brown fox jumps over the lazy dog 0123456789\n" % n
    msg.set_content(line * 85)  # about 6 KB of text
    blob = bytes((i * 31 + n * 7) % 251 for i in range(10 * 1024))
    msg.add_attachment(blob, maintype="application", subtype="octet-stream", filename="capture-%06d.bin" % n)
    msg.set_boundary("==bench-boundary-%06d==" % n)  # the same bytes in every process
    return msg.as_bytes()


def client(port, numbers, ready, results):
    mails = [build(n) for n in numbers]  # built before the clock starts
    sent = 0
    try:
        with smtplib.SMTP("127.0.0.1", port, timeout=120) as smtp:
            ready.wait()
            for data in mails:
                smtp.sendmail("router7@example.test", ["audit@example.test", "archive@example.test"], data)
                sent += 1
    except Exception as e:
        print("client failed: %r" % e, file=sys.stderr)
        ready.abort()
    finally:
        results.put(sent)


def peak_rss_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return -1


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("port", type=int)
    ap.add_argument("mail_dir")
    ap.add_argument("pid", type=int)
    ap.add_argument("--count", type=int, default=2000)
    ap.add_argument("--clients", type=int, default=4)
    a = ap.parse_args()

    sent = {}
    for n in range(a.count):
        data = build(n)
        sent[hashlib.sha256(data).hexdigest()] = len(data)
    mean_size = sum(sent.values()) / len(sent)
    rss_before = peak_rss_kib(a.pid)

    ready = multiprocessing.Barrier(a.clients + 1)
    results = multiprocessing.Queue()
    clients = [multiprocessing.Process(target=client, args=(a.port, list(range(k, a.count, a.clients)), ready, results))
               for k in range(a.clients)]
    for c in clients:
        c.start()
    try:
        ready.wait()
    except threading.BrokenBarrierError:
        pass
    start = time.monotonic()
    done = sum(results.get() for _ in clients)
    elapsed = time.monotonic() - start
    for c in clients:
        c.join()

    names = os.listdir(a.mail_dir) if os.path.isdir(a.mail_dir) else []
    temporary = [x for x in names if x.startswith(".")]
    stored = {}
    for name in names:
        if name.startswith("."):
            continue
        with open(os.path.join(a.mail_dir, name), "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
        stored[digest] = stored.get(digest, 0) + 1
    identical = sum(1 for d in sent if stored.get(d) == 1)
    complete = done == a.count and identical == a.count and len(names) == a.count and not temporary

    print("mails sent            %d by %d clients, %.1f KB each on average" % (done, a.clients, mean_size / 1024))
    print("time                  %.2f s" % elapsed)
    print("mails stored / s      %.0f" % (done / elapsed))
    print("MB stored / s         %.1f" % (done * mean_size / elapsed / 1e6))
    print("files                 %d, identical to a sent mail %d, temporary %d" % (len(names), identical, len(temporary)))
    print("every file complete   %s" % ("yes" if complete else "NO"))
    print("program peak memory   %.1f MiB (%.1f MiB before sending)" % (peak_rss_kib(a.pid) / 1024, rss_before / 1024))
    return 0 if complete else 1


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""A real SMTP client (Python's smtplib) for the mail receiver's tests.

    smtp_client.py PORT SOURCE_ADDRESS OUTDIR

Sends plain, multipart and encoded-subject mails, then 25 mails from each of
four clients at once, and writes every message it hands over as
OUTDIR/sent-<n>.eml, the bytes the server should store.
"""
import base64
import email.policy
import itertools
import os
import smtplib
import sys
import threading
from email.message import EmailMessage
from email.mime.text import MIMEText

port, source, outdir = int(sys.argv[1]), sys.argv[2], sys.argv[3]
numbers = itertools.count()  # next() on it is atomic: the threads share it


def connect():
    return smtplib.SMTP("127.0.0.1", port, source_address=(source, 0), timeout=30)


def deliver(smtp, data: bytes, to=("b@example.test",)):
    smtp.sendmail("a@example.test", list(to), data)
    with open(os.path.join(outdir, "sent-%d.eml" % next(numbers)), "wb") as f:
        f.write(data)


def with_attachment(n=0) -> bytes:
    msg = EmailMessage(policy=email.policy.SMTP)
    msg["From"] = "Router <a@example.test>"
    msg["To"] = "b@example.test, c@example.test"
    msg["Subject"] = "report %d" % n
    msg.set_content("See the attached file.\n" * 200)
    blob = bytes((i * 7 + n) % 256 for i in range(10 * 1024))
    msg.add_attachment(blob, maintype="application", subtype="octet-stream", filename="report.bin")
    return msg.as_bytes()


def encoded_subject(text, charset) -> bytes:
    # Written out: Python's own encoder names GB2312 "eucgb2312_cn".
    word = "=?%s?B?%s?=" % (charset, base64.b64encode(text.encode(charset)).decode())
    msg = MIMEText("正文 body\n", "plain", "utf-8")
    msg["From"], msg["To"], msg["Subject"] = "a@example.test", "b@example.test", word
    return msg.as_bytes().replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


with connect() as smtp:
    # Lines the client must stuff: a leading dot, two dots, a lone dot.
    deliver(smtp, b"From: a@example.test\r\nTo: b@example.test\r\nSubject: plain\r\n\r\n"
            b"line one\r\n.leading dot\r\n..two dots\r\n.\r\n \r\nlast line\r\n")
    deliver(smtp, with_attachment(), to=("b@example.test", "c@example.test"))
with connect() as smtp:
    deliver(smtp, encoded_subject("中文主题 UTF-8", "UTF-8"))
with connect() as smtp:
    smtp.helo()  # HELO instead of EHLO: no SIZE parameter
    deliver(smtp, encoded_subject("邮件标题 GB2312", "GB2312"))

failed = []


def client(k):
    try:
        with connect() as smtp:
            for n in range(25):
                deliver(smtp, with_attachment(k * 100 + n))
    except Exception as e:  # reported below: a thread's exception ends only the thread
        failed.append(e)


threads = [threading.Thread(target=client, args=(k,)) for k in range(4)]
for t in threads:
    t.start()
for t in threads:
    t.join()
if failed:
    sys.exit("client failed: %r" % failed[0])

#!/usr/bin/env python3
"""send_view_mails.py PORT SCENARIO (plain:N, varied or content): delivers the
mails of the e-mail view tests to the mail receiver module with smtplib, from
127.0.0.1, and writes att-<name> with the bytes of every attachment sent into
the working directory. The varied mails' From and Subject take shapes the
decoder suites do not check."""
import base64
import smtplib
import sys
from email.mime.base import MIMEBase
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText
from email import encoders

port, scenario = int(sys.argv[1]), sys.argv[2]


def crlf(data: bytes) -> bytes:
    return data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


def word(text):
    return "=?UTF-8?B?%s?=" % base64.b64encode(text.encode()).decode()


def head_only(headers: str, charset="utf-8") -> bytes:
    return crlf((headers + "To: b@example.test\n\nbody\n").encode(charset))


def attachment(data, name):
    part = MIMEBase("application", "octet-stream")
    part.set_payload(data)
    encoders.encode_base64(part)
    shown = name if name.isascii() else word(name)
    part["Content-Disposition"] = 'attachment; filename="%s"' % shown
    with open("att-" + name, "wb") as f:
        f.write(data)
    return part


def with_parts(subject, text, charset, attachments=()):
    msg = MIMEMultipart()
    msg["Subject"] = subject
    msg.attach(MIMEText(text, "plain", charset))
    for a in attachments:
        msg.attach(a)
    return crlf(msg.as_bytes())


def plain(n):
    return [head_only("From: Sender %d <s%d@example.test>\nSubject: mail %d\n" % (k, k, k))
            for k in range(1, n + 1)]


def varied():
    return [
        head_only("From:   spaced   name  <s@x.example>\nSubject: %s\n" % word("长主题" * 40)),
        head_only("From: 李四 <lisi@example.cn>\nSubject: 原始 UTF-8 标题\n"),
        head_only("From: 王五 <ww@example.cn>\nSubject: 原始 GB 标题\n", charset="gb18030"),
        head_only("From: just a phrase\nSubject: =?UTF-8?B?5pc=?= =?UTF-8?B?pQ==?= split\n"),
        head_only("From: Dr. Who <who@x.example>\nSubject:    spaced out   \n"),
        head_only("From: Team: a@x.example, \"B\" <b@y.example>;\nSubject: group sender\n"),
        head_only("From: \"a\\\"b\" <q@x.example>\nSubject: Re: %s suffix\n" % word("回复")),
        head_only("From: x@example.test (a comment)\nSubject: %s\n" % ("ascii " * 50)),
        head_only("From: %s <emoji@example.test>\nSubject: %s\n" % (word("😀 smile"), word("表情 😀"))),
    ]


def content():
    sample = bytes((i * 7 + 2 + i // 251) & 0xFF for i in range(10000))
    return [
        with_parts("base64 body", "正文第一行 base64\nline two\n", "utf-8",
                   [attachment(sample, "data.bin"), attachment("附件内容\n".encode(), "说明.txt")]),
        with_parts("7bit body", "seven bit text\nsecond line\n", "us-ascii"),
    ]


mails = plain(int(scenario[6:])) if scenario.startswith("plain:") else \
    {"varied": varied, "content": content}[scenario]()

with smtplib.SMTP("127.0.0.1", port, source_address=("127.0.0.1", 0), timeout=30) as smtp:
    for data in mails:
        smtp.sendmail("a@example.test", ["b@example.test"], data)

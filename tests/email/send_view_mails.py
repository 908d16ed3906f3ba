#!/usr/bin/env python3
"""Delivers the mails of the e-mail view tests to the mail receiver module
with Python's smtplib, one after the other, from 127.0.0.1.

    send_view_mails.py PORT SCENARIO OUTDIR

Scenarios:
  plain:N   N mails, k = 1 .. N: From "Sender k <sk@example.test>",
            Subject "mail k", To "b@example.test"
  varied    15 mails whose From and Subject headers take the shapes mailers
            write: encoded words in UTF-8 and GB2312, B and Q, folded lines,
            quoted names, comments, groups, several senders, raw 8-bit UTF-8
            and GB18030, missing headers, values longer than the list shows
  chinese   one mail with Chinese headers, a base64 UTF-8 body and one
            attachment with a Chinese name
  content   two mails: "base64 body" (UTF-8 base64 text, two attachments)
            and "7bit body" (7-bit text, no attachment)

Writes OUTDIR/att-<name> with the bytes of every attachment it sent (names
in UTF-8) and OUTDIR/body-<subject> with every text body.
"""
import base64
import os
import smtplib
import sys
from email.mime.base import MIMEBase
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText
from email import encoders

port, scenario, outdir = int(sys.argv[1]), sys.argv[2], sys.argv[3]


def crlf(data: bytes) -> bytes:
    return data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


def word(charset, text, kind="B"):
    raw = text.encode(charset)
    if kind == "B":
        return "=?%s?B?%s?=" % (charset, base64.b64encode(raw).decode())
    return "=?%s?Q?%s?=" % (charset, "".join(
        chr(b) if chr(b).isascii() and chr(b).isalnum() else "=%02X" % b for b in raw))


def head_only(headers: str, charset="utf-8") -> bytes:
    return crlf((headers + "To: b@example.test\n\nbody\n").encode(charset))


def sample(size, seed):
    return bytes((i * 7 + seed + i // 251) & 0xFF for i in range(size))


def save(prefix, name, data: bytes):
    with open(os.path.join(outdir, prefix + name), "wb") as f:
        f.write(data)


def attachment(data, name, charset="UTF-8"):
    part = MIMEBase("application", "octet-stream")
    part.set_payload(data)
    encoders.encode_base64(part)
    shown = name if name.isascii() else word(charset, name)
    part["Content-Disposition"] = 'attachment; filename="%s"' % shown
    save("att-", name, data)
    return part


def with_parts(subject, sender, text, charset, attachments=()):
    msg = MIMEMultipart()
    msg["From"] = sender
    msg["To"] = "b@example.test"
    msg["Subject"] = subject
    msg.attach(MIMEText(text, "plain", charset))
    for a in attachments:
        msg.attach(a)
    save("body-", subject if subject.isascii() else "chinese", text.encode("utf-8"))
    return crlf(msg.as_bytes())


def plain(n):
    return [head_only("From: Sender %d <s%d@example.test>\nSubject: mail %d\n" % (k, k, k))
            for k in range(1, n + 1)]


def varied():
    return [
        head_only("From: A B <a@b.example>, c@d.example (C D)\nSubject: plain ascii\n"),
        head_only("From: \"Zhang, San\" <zhang@example.cn>\n"
                  "Subject: a subject folded\n over two\n\tlines\n"),
        head_only("From: %s <zs@example.cn>\nSubject: %s\n"
                  % (word("UTF-8", "张三"), word("UTF-8", "中文主题 UTF-8"))),
        head_only("From: %s <admin@example.cn>\nSubject: %s %s\n"
                  % (word("GB2312", "网络管理员"), word("GB2312", "日志服务"), word("gb2312", "每日报告"))),
        head_only("From: %s <cafe@example.fr>\nSubject: %s\n"
                  % (word("utf-8", "Café", "Q"), word("utf-8", "café au lait", "Q"))),
        head_only("From:   spaced   name  <s@x.example>\nSubject: %s\n" % word("UTF-8", "长主题" * 40)),
        head_only("From: 李四 <lisi@example.cn>\nSubject: 原始 UTF-8 标题\n"),
        head_only("From: 王五 <ww@example.cn>\nSubject: 原始 GB 标题\n", charset="gb18030"),
        head_only("From: undisclosed-recipients:;\n"),
        head_only("From: just a phrase\nSubject: =?UTF-8?B?5pc=?= =?UTF-8?B?pQ==?= split\n"),
        head_only("From: Dr. Who <who@x.example>\nSubject:    spaced out   \n"),
        head_only("From: Team: a@x.example, \"B\" <b@y.example>;\nSubject: group sender\n"),
        head_only("From: \"a\\\"b\" <q@x.example>\nSubject: Re: %s suffix\n" % word("UTF-8", "回复")),
        head_only("From: x@example.test (a comment)\nSubject: %s\n" % ("ascii " * 50)),
        head_only("From: =?UTF-8?B?%s?= <emoji@example.test>\nSubject: %s\n"
                  % (base64.b64encode("😀 smile".encode()).decode(), word("UTF-8", "表情 😀"))),
    ]


def chinese():
    return [with_parts("中文主题", "%s <zhang@example.cn>" % word("UTF-8", "张三"),
                       "你好，这是中文正文。\n第二行\n", "utf-8",
                       [attachment(sample(3000, 1), "报告.bin")])]


def content():
    return [
        with_parts("base64 body", "a@example.test", "正文第一行 base64\nline two\n", "utf-8",
                   [attachment(sample(10000, 2), "data.bin"),
                    attachment("附件内容\n".encode("utf-8"), "说明.txt")]),
        with_parts("7bit body", "a@example.test", "seven bit text\nsecond line\n", "us-ascii"),
    ]


if scenario.startswith("plain:"):
    mails = plain(int(scenario.split(":")[1]))
else:
    mails = {"varied": varied, "chinese": chinese, "content": content}[scenario]()

with smtplib.SMTP("127.0.0.1", port, source_address=("127.0.0.1", 0), timeout=30) as smtp:
    for data in mails:
        smtp.sendmail("a@example.test", ["b@example.test"], data)

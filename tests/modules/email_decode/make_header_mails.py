"""make_header_mails.py DIR: writes real-world-shaped mails into DIR, and in
DIR/expected what Python's email package reads from them, tab-separated
(\\\\, \\t and \\n escaped): "H mail header value" ("\\x01": no such header)
and "R mail count address|shown ..." (To, then Cc; "Name <address>" or address).
"""

import os
import sys
from email import message_from_bytes, policy
from email.headerregistry import Address
from email.message import EmailMessage

HEADERS = ("Subject", "From", "To", "Cc", "Reply-To")
MISSING = "\x01"


def raw(text, linesep="\r\n", charset="utf-8"):
    return text.replace("\n", linesep).encode(charset)


def made_by_package():
    msg = EmailMessage(policy=policy.SMTP)
    msg["Subject"] = "日志服务器每日报告：路由器 10.0.0.2 的访问记录与攻击告警汇总（第 42 期）"
    msg["From"] = Address("网络管理员", "admin", "example.cn")
    msg["To"] = [Address("张三", "zhangsan", "example.cn"), Address("Li, Si", "lisi", "example.com"),
                 Address("", "wangwu", "example.org"), Address("Zoë Müller", "zoe", "example.de")]
    msg["Cc"] = [Address("运维组", "ops", "example.cn"), Address("", "audit", "example.net")]
    msg["Reply-To"] = Address("", "noreply", "example.cn")
    msg.set_content("正文\n")
    return msg.as_bytes()


MAILS = {
    "folded.eml": raw(
        "Received: from mx.example.com (mx.example.com [192.0.2.1])\n"
        "\tby mail.example.cn with ESMTP id 123; Mon, 1 Jan 2024 10:00:00 +0800\n"
        "From: \"Zhang, San\" <zhang@example.cn>\n"
        "To: alice@example.com, \"Bob B.\" <bob@example.com>,\n"
        "\t=?UTF-8?B?5byg5LiJ?= <zs@example.cn>\n"
        "Cc: carol@example.com\n"
        "Subject: This is a long subject line that has been folded\n"
        " over several lines by the sending\n"
        "\tmail client\n"
        "MIME-Version: 1.0\n"
        "Content-Type: text/plain; charset=utf-8\n\nbody\n"),
    "package.eml": made_by_package(),
    "gb2312.eml": raw(
        "From: =?GB2312?B?zfjC57ncwO3Usg==?= <admin@example.cn>\n"
        "To: =?gb2312?Q?=D5=C5=C8=FD?= <zs@example.cn>, =?gb2312?B?wO7LxA==?= <ls@example.cn>\n"
        "Subject: =?gb2312?B?yNXWvrf+zvHG9w==?= =?gb2312?B?w7/I1bGouOY=?=\n"
        "Content-Type: text/plain; charset=gb2312\n\n\xd5\xfd\xce\xc4\n", charset="latin-1"),
    "lf_case.eml": raw(
        "SUBJECT: Hello\n"
        "from: a@b.example\n"
        "TO: x@y.example\n"
        "cc: \"Q, R\" <q@r.example>, s@t.example\n\nbody\n", linesep="\n"),
    "group.eml": raw(
        "From: Router <router@example.com>\n"
        "To: Team: a@x.example, \"B\" <b@y.example>;, c@z.example\n"
        "Subject: =?utf-8?q?caf=C3=A9_au_lait?=\n\n"),
    "missing.eml": raw("Received: by nobody\nX-Note: no subject, no recipients\n\nbody\n"),
    "long.eml": raw("From: x@y.example\nSubject: " + "长主题" * 100 + "\n\n"),
    # Comments name nobody; names are quoted and blanks folded as Python
    # writes them; a group may be empty; a phrase alone is an address.
    "comments.eml": raw(
        "From: x@example.test (a (nested) comment)\n"
        "Reply-To: undisclosed-recipients:;\n"
        "To: plain@example.test\n"
        "Subject: comments\n\n"),
    "names.eml": raw(
        "From: \"a\\\"b\" <q@x.example>\n"
        "Reply-To:   spaced   name  <s@x.example>  (c), Dr. Who <who@x.example>\n"
        "To: Dr. Who <who@x.example>\n"
        "Subject: names\n\n"),
    "phrase.eml": raw("From: just a phrase\nSubject: phrase\n\n"),
}


def main(out):
    os.makedirs(out, exist_ok=True)
    lines = []
    for name, data in MAILS.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
        msg = message_from_bytes(data, policy=policy.default)
        lines += [("H", name, h, MISSING if msg[h] is None else str(msg[h])) for h in HEADERS]
        recipients = [a for h in ("To", "Cc") if msg[h] is not None for a in msg[h].addresses]
        shown = [a.addr_spec + "|" + ("%s <%s>" % (a.display_name, a.addr_spec)
                                      if a.display_name else a.addr_spec) for a in recipients]
        lines.append(("R", name, str(len(recipients)), *shown))
    # A mail file whose name is GB18030, not UTF-8.
    with open(os.path.join(os.fsencode(out), "\u4e2d\u6587.eml".encode("gb18030")), "wb") as f:
        f.write(raw("Subject: gb name\nTo: a@b.example\n\n"))
    with open(os.path.join(out, "expected"), "w", encoding="utf-8") as f:
        for fields in lines:
            f.write("\t".join(x.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")
                              for x in fields) + "\n")


if __name__ == "__main__":
    main(sys.argv[1])

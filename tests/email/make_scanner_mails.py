"""make_scanner_mails.py DIR: writes the mails of mime_scanner_test.cpp, made
with Python's email package, and what the scanners must find in them:
"manifest" (one mail name a line), <mail>.body (the plain-text body in UTF-8;
absent: no body), <mail>.names (attachment names, one a line) and
<mail>.att<i> (the bytes of attachment i)."""

import base64
import os
import sys
from email import encoders
from email.mime.base import MIMEBase
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText
from email.policy import compat32

CRLF = compat32.clone(linesep="\r\n")
LF = compat32.clone(linesep="\n")

BODY = "日志服务器的邮件正文。" * 12 + "\nsecond line, ASCII\n"


def attachment(data, name, long_line=False, charset=None):
    part = MIMEBase("application", "octet-stream")
    part.set_payload(data)
    encoders.encode_base64(part)  # 76-character lines
    if long_line:
        part.set_payload(base64.b64encode(data).decode() + "\n")
    if charset:
        name = "=?%s?B?%s?=" % (charset, base64.b64encode(name.encode(charset)).decode())
    part["Content-Disposition"] = 'attachment; filename="%s"' % name
    return part


def mail(text=None, charset="utf-8", attachments=(), policy=CRLF):
    msg = MIMEMultipart()
    for part in ([MIMEText(text, "plain", charset)] if text else []) + list(attachments):
        msg.attach(part)
    return msg.as_bytes(policy=policy)


def sample(size):
    return bytes((i * 7 + i // 251) & 0xFF for i in range(size))


def cases():
    """(name, mail, body or None, [(name, bytes)])"""
    one = sample(1)
    sizes = [("s1.bin", one), ("s57.bin", sample(57)), ("s100k.bin", sample(100 * 1024)),
             ("s5m.bin", os.urandom(5 * 1024 * 1024))]
    # "\n" only: header blocks end at "\n\n", lines at "\n".
    yield "lf.eml", mail(BODY, attachments=[attachment(one, "a.bin")], policy=LF), BODY, \
        [("a.bin", one)]
    yield "gb2312.eml", mail("中文正文，GB2312。\n", "gb2312"), "中文正文，GB2312。\n", []
    # A 7-bit body ends at the last boundary before it, here a plain token
    # of a part nested in another.
    inner = MIMEMultipart("alternative", boundary="inner_b",
                          _subparts=[MIMEText("plain ascii\nbody\n", "plain", "us-ascii")])
    seven = mail(attachments=[inner]).replace(b'"inner_b"', b"inner_b")
    yield "seven_bit.eml", seven, "plain ascii\r\nbody\r\n", []
    # A short last base64 line followed by the delimiter without an empty line:
    # the delimiter is not decoded into the text.
    yield "short_last.eml", mail(BODY).replace(b"\r\n\r\n--=", b"\r\n--="), BODY, []
    # Markers in another letter case are not found.
    other = mail(BODY, attachments=[attachment(one, "x.bin")])
    other = other.replace(b"Content-Type: text/plain", b"Content-type: text/plain")
    other = other.replace(b"Content-Disposition: attachment", b"content-disposition: attachment")
    yield "other_case.eml", other, None, []
    # Names: "?B?" words in UTF-8 and GB2312, and names that try to leave the folder.
    named = [("中文附件.txt", b"u", "utf-8"), ("中文附件.txt", b"g", "gb2312"),
             ("../../config", b"plain", None), ("../../config", b"word", "utf-8")]
    parts = [attachment(data, name, charset=charset) for name, data, charset in named]
    yield "names.eml", mail("names\n", attachments=parts), "names\n", [n[:2] for n in named]
    # Sizes, with "=" and "==" padding, 76-character lines and one long line.
    for long_line in (False, True):
        parts = [attachment(data, name, long_line) for name, data in sizes]
        yield "sizes_%d.eml" % long_line, mail("sizes\n", attachments=parts), "sizes\n", sizes


def put(name, data):
    with open(os.path.join(sys.argv[1], name), "wb") as f:
        f.write(data)


os.makedirs(sys.argv[1], exist_ok=True)
names = []
for name, data, body, atts in cases():
    put(name, data)
    if body is not None:
        put(name + ".body", body.encode())
    put(name + ".names", "".join(n + "\n" for n, _ in atts).encode())
    for i, (_, content) in enumerate(atts):
        put("%s.att%d" % (name, i), content)
    names.append(name)
put("manifest", "".join(n + "\n" for n in names).encode())

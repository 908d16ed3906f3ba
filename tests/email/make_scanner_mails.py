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


def encoded_word(charset, text):
    return "=?%s?B?%s?=" % (charset, base64.b64encode(text.encode(charset)).decode())


def attachment(data, name, long_line=False, name_charset=None):
    part = MIMEBase("application", "octet-stream")
    if long_line:
        part.set_payload(base64.b64encode(data).decode("ascii") + "\n")
        part["Content-Transfer-Encoding"] = "base64"
    else:
        part.set_payload(data)
        encoders.encode_base64(part)  # 76-character lines
    shown = encoded_word(name_charset, name) if name_charset else name
    part["Content-Disposition"] = 'attachment; filename="%s"' % shown
    return part


def mail(text=None, charset="utf-8", attachments=()):
    msg = MIMEMultipart()
    if text is not None:
        msg.attach(MIMEText(text, "plain", charset))
    for a in attachments:
        msg.attach(a)
    return msg


def sample(size):
    return bytes((i * 7 + i // 251) & 0xFF for i in range(size))


def cases():
    """(name, message or bytes, body or None, [(name, bytes)])"""
    one = sample(1)
    sizes = [("1", one), ("57", sample(57)), ("100k", sample(100 * 1024)),
             ("5m", os.urandom(5 * 1024 * 1024))]
    # "\n" only: header blocks end at "\n\n", lines at "\n".
    yield "lf.eml", mail(BODY, attachments=[attachment(one, "a.bin")]).as_bytes(policy=LF), \
        BODY, [("a.bin", one)]
    yield "gb2312.eml", mail("中文正文，GB2312。\n", "gb2312").as_bytes(policy=CRLF), \
        "中文正文，GB2312。\n", []
    # A 7-bit body ends at the last boundary before it, here a plain token
    # of a part nested in another.
    inner = MIMEMultipart("alternative", boundary="inner_b",
                          _subparts=[MIMEText("plain ascii\nbody\n", "plain", "us-ascii")])
    seven = mail(attachments=[inner]).as_bytes(policy=CRLF).replace(b'"inner_b"', b"inner_b")
    yield "seven_bit.eml", seven, "plain ascii\r\nbody\r\n", []
    # A short last base64 line followed by the delimiter without an empty line:
    # the delimiter is not decoded into the text.
    short = mail(BODY).as_bytes(policy=CRLF).replace(b"\r\n\r\n--=", b"\r\n--=")
    yield "short_last.eml", short, BODY, []
    # Markers in another letter case are not found.
    other = mail(BODY, attachments=[attachment(one, "x.bin")]).as_bytes(policy=CRLF)
    other = other.replace(b"Content-Type: text/plain", b"Content-type: text/plain")
    other = other.replace(b"Content-Disposition: attachment", b"content-disposition: attachment")
    yield "other_case.eml", other, None, []
    # Names: "?B?" words in UTF-8 and GB2312, and names that try to leave the folder.
    names = mail("names\n", attachments=[
        attachment(b"u", "中文附件.txt", name_charset="utf-8"),
        attachment(b"g", "中文附件.txt", name_charset="gb2312"),
        attachment(b"plain", "../../config"),
        attachment(b"word", "../../config", name_charset="utf-8")])
    yield "names.eml", names.as_bytes(policy=CRLF), "names\n", [
        ("中文附件.txt", b"u"), ("中文附件.txt", b"g"),
        ("../../config", b"plain"), ("../../config", b"word")]
    # Sizes, with "=" and "==" padding, 76-character lines and one long line.
    for long_line in (False, True):
        parts = [attachment(data, "s%s.bin" % label, long_line) for label, data in sizes]
        name = "sizes_%s.eml" % ("long" if long_line else "76")
        yield name, mail("sizes\n", attachments=parts).as_bytes(policy=CRLF), "sizes\n", \
            [("s%s.bin" % label, data) for label, data in sizes]


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

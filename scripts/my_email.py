"""Mail helpers of the log server: header values of captured mail files and
removal of a router's mail files.

Paths arrive as str decoded with "surrogateescape", so file names in any
encoding reach the file system byte for byte. The second argument of the
header functions names the mail file when the first one is a directory.

The program writes its workbooks through its Excel writer module; the excel
functions here only answer, for callers that look them up.
"""

import base64
import codecs
import email
import email.policy
import os
import re
import sys

MAIL_NAME = "c.eml"

# Header block read at most; a header line is never anywhere near this.
_HEAD_LIMIT = 1 << 20

_ENCODED_WORD = re.compile(rb"=\?([^?\s]+)\?([bBqQ])\?([^?\s]*)\?=")
_HEX = re.compile(rb"=([0-9A-Fa-f]{2})")

# Labels that mail programs use for charsets with a larger superset.
_SUPERSETS = {"gb2312": "gb18030", "gbk": "gb18030", "x-gbk": "gb18030",
              "euc-cn": "gb18030", "ascii": "utf-8", "us-ascii": "utf-8"}


def _mail_path(path, name=MAIL_NAME):
    if os.path.isdir(path):
        return os.path.join(path, name)
    return path


def _header_bytes(path, field):
    """The raw, unfolded value of the first header `field`, or None."""
    with open(path, "rb") as f:
        data = f.read(_HEAD_LIMIT)
    wanted = field.lower().encode("ascii")
    value = None
    for line in data.splitlines():
        if not line.strip():
            break
        if line[:1] in (b" ", b"\t"):
            if value is not None:
                value += line
            continue
        if value is not None:
            break
        name, colon, rest = line.partition(b":")
        if colon and name.strip().lower() == wanted:
            value = rest
    return value


def _codec(charset):
    charset = charset.split("*", 1)[0].lower()
    charset = _SUPERSETS.get(charset, charset)
    try:
        return codecs.lookup(charset).name
    except LookupError:
        return "utf-8"


def _decode_raw(data):
    """Header bytes outside encoded words: UTF-8, else the Chinese code page."""
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError:
        return data.decode("gb18030", errors="replace")


def _word_bytes(encoding, text):
    if encoding in b"bB":
        text += b"=" * (-len(text) % 4)
        try:
            return base64.b64decode(text)
        except ValueError:
            return text
    text = text.replace(b"_", b" ")
    return _HEX.sub(lambda m: bytes([int(m.group(1), 16)]), text)


def decode_header_value(raw):
    """Decodes RFC 2047 encoded words. Neighbouring words of one charset are
    decoded together, since a character may be split across them; the blanks
    between encoded words are dropped."""
    out = []
    pending = []  # [codec, bytes] of the encoded words seen last
    pos = 0
    for m in _ENCODED_WORD.finditer(raw):
        between = raw[pos:m.start()]
        codec = _codec(m.group(1).decode("ascii", errors="replace"))
        data = _word_bytes(m.group(2), m.group(3))
        if pending and not between.strip() and pending[0] == codec:
            pending[1] += data
        else:
            if pending:
                out.append(pending[1].decode(pending[0], errors="replace"))
            if not (pending and not between.strip()):
                out.append(_decode_raw(between))
            pending = [codec, data]
        pos = m.end()
    if pending:
        out.append(pending[1].decode(pending[0], errors="replace"))
    out.append(_decode_raw(raw[pos:]))
    return "".join(out).strip()


def _header(path, name, field):
    raw = _header_bytes(_mail_path(path, name), field)
    return "" if raw is None else decode_header_value(raw)


def GetEmail_subject(path, name=MAIL_NAME):
    """The Subject of a mail file, decoded; "" when it has none."""
    return _header(path, name, "Subject")


def GetEmail_from(path, name=MAIL_NAME):
    """The From of a mail file, decoded; "" when it has none."""
    return _header(path, name, "From")


def _message(path, name):
    with open(_mail_path(path, name), "rb") as f:
        return email.message_from_binary_file(f, policy=email.policy.default)


def GetEmail_content(path="", name=MAIL_NAME):
    """The plain-text body of a mail file; "" when there is none or the file
    cannot be read."""
    try:
        body = _message(path, name).get_body(preferencelist=("plain",))
        return body.get_content() if body is not None else ""
    except (OSError, LookupError, ValueError):
        return ""


def GetEmail_attach(path="", name=MAIL_NAME):
    """The file names of a mail's attachments, one a line."""
    try:
        names = [part.get_filename() or ""
                 for part in _message(path, name).iter_attachments()]
        return "\n".join(names)
    except (OSError, LookupError, ValueError):
        return ""


def removeFileInFirstDir(path):
    """Deletes the regular files directly in the directory `path`; its
    subdirectories and links stay. Returns how many were deleted."""
    removed = 0
    try:
        entries = list(os.scandir(path))
    except (FileNotFoundError, NotADirectoryError):
        return 0
    for entry in entries:
        try:
            if entry.is_file(follow_symlinks=False):
                os.remove(entry.path)
                removed += 1
        except OSError as e:
            print("cannot delete %s: %s" % (entry.path, e.strerror), file=sys.stderr)
    return removed


def add(a=0, b=0):
    return a + b


def create_excel(*args):
    return 0


def excel_write(*args):
    return 0


def excel_open_speed(*args):
    return 0


def excel_write_speed(*args):
    return 0


def excel_over_speed(*args):
    return 0

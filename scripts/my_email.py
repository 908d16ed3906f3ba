"""Mail helpers of the log server: header values of captured mail files and
removal of a router's mail files.

Paths arrive as str decoded with "surrogateescape", so file names in any
encoding reach the file system byte for byte. The second argument of the
header functions names the mail file when the first one is a directory.

The program writes its workbooks through its Excel writer module; the excel
functions here only answer, for callers that look them up.
"""

import email
import email.parser
import email.policy
import os
import re
import sys

MAIL_NAME = "c.eml"

# Header block read at most; a header line is never anywhere near this.
_HEAD_LIMIT = 1 << 20


def _mail_path(path, name=MAIL_NAME):
    if os.path.isdir(path):
        return os.path.join(path, name)
    return path


def _head_text(path):
    """The header block of a mail file as text: UTF-8 when it is valid
    UTF-8, else GB18030 (raw 8-bit header text of Chinese mailers)."""
    with open(path, "rb") as f:
        data = f.read(_HEAD_LIMIT)
    ends = [i for i in (data.find(b"\n\n"), data.find(b"\n\r\n")) if i >= 0]
    if ends:
        data = data[:min(ends) + 1]
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError:
        return data.decode("gb18030", errors="replace")


def _header(path, name, field):
    """The decoded value of the first header `field`, as Python's email
    package reads it (encoded words in any charset, folded lines); ""
    when the mail has none."""
    text = _head_text(_mail_path(path, name))
    try:
        value = email.parser.HeaderParser(policy=email.policy.default).parsestr(text)[field]
    except (ValueError, LookupError, IndexError, TypeError, AttributeError):
        # A value the parser cannot take apart: the raw text, unfolded.
        value = email.parser.HeaderParser(policy=email.policy.compat32).parsestr(text)[field]
        value = None if value is None else re.sub(r"\r?\n[ \t]", " ", str(value))
    return "" if value is None else str(value).strip()


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

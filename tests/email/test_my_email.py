"""my_email.py's header functions against Python's email package, over the
real-world-shaped mails of the "email_decode.dll" tests, and its removal of
a router's mail files."""

import email
import email.policy
import os
import sys
import tempfile
import unittest

SOURCE_DIR = os.environ.get(
    "SOURCE_DIR", os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
sys.path.insert(0, os.path.join(SOURCE_DIR, "scripts"))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "modules", "email_decode"))

import make_header_mails  # noqa: E402
import my_email  # noqa: E402

EXTRA = {
    "split_char.eml": b"Subject: =?UTF-8?B?5pc=?= =?UTF-8?B?pQ==?=\r\nFrom: a@b.example\r\n\r\n",
    "raw_gb.eml": "Subject: 原始 GB 标题\r\nFrom: 张三 <z@x.cn>\r\n\r\n".encode("gb18030"),
    "raw_utf8.eml": "Subject: 原始 UTF-8 标题\r\n\r\n".encode("utf-8"),
}


def write(path, data=b"x"):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


class Headers(unittest.TestCase):
    def test_subject_and_from_as_the_email_package_reads_them(self):
        with tempfile.TemporaryDirectory() as d:
            for name, data in list(make_header_mails.MAILS.items()) + list(EXTRA.items()):
                write(os.path.join(d, name), data)
                try:
                    text = data.decode("utf-8")
                except UnicodeDecodeError:
                    text = data.decode("gb18030")
                msg = email.message_from_string(text, policy=email.policy.default)
                for field, function in (("Subject", my_email.GetEmail_subject),
                                        ("From", my_email.GetEmail_from)):
                    with self.subTest(mail=name, field=field):
                        want = "" if msg[field] is None else str(msg[field])
                        self.assertEqual(function(os.path.join(d, name), "c.eml"), want)
            # A file name that is no UTF-8 reaches the script through the escapes.
            raw = os.fsencode(d) + b"/\xc4\xe3.eml"
            os.rename(os.path.join(d, "split_char.eml"), raw)
            self.assertEqual(my_email.GetEmail_subject(raw.decode("utf-8", "surrogateescape")), "日")


class Remove(unittest.TestCase):
    def test_only_files_directly_inside(self):
        with tempfile.TemporaryDirectory() as d:
            below = ["sub/keep.eml", "sub/deeper/keep2"]
            for rel in ["1.eml", ".hidden", "中文.eml"] + below:
                write(os.path.join(d, rel))
            self.assertEqual(my_email.removeFileInFirstDir(d), 3)
            left = [os.path.relpath(os.path.join(r, f), d) for r, _, fs in os.walk(d) for f in fs]
            self.assertEqual(sorted(left), sorted(below))
            self.assertEqual(my_email.removeFileInFirstDir(d), 0)


if __name__ == "__main__":
    unittest.main()

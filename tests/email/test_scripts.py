"""js_inter.py and my_email.py on their own, from the source tree."""

import os
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True
SOURCE_DIR = os.environ.get(
    "SOURCE_DIR", os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
sys.path.insert(0, os.path.join(SOURCE_DIR, "scripts"))
TABLES = os.path.join(SOURCE_DIR, "data", "tables")

import js_inter  # noqa: E402
import my_email  # noqa: E402


def table_keys(name):
    keys = []
    with open(os.path.join(TABLES, name), encoding="utf-8") as f:
        for line in f:
            if line.strip() and not line.startswith("#"):
                keys.append(line.split("\t", 1)[0])
    return keys


class Tables(unittest.TestCase):
    def test_three_languages_hold_the_same_keys(self):
        chinese = table_keys("js_chinese.txt")
        self.assertGreaterEqual(len(chinese), 60)
        self.assertEqual(len(chinese), len(set(chinese)), "duplicate keys")
        self.assertEqual(chinese, table_keys("js_en.txt"))
        self.assertEqual(chinese, table_keys("js_fanti.txt"))
        self.assertTrue(all(k == k.lower() for k in chinese))


class Lookups(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        js_inter.TABLE_DIR = TABLES
        js_inter.init_js_chinese("ok")
        js_inter.init_js_en("ok")
        js_inter.init_js_fanti("ok")

    def test_quoted_pieces_stand_for_themselves(self):
        # Known words and '+' inside quotes are left alone.
        self.assertEqual(js_inter.get_js_value_en("kernel+syslog.warnat+' link '+' a+b '"),
                         "kernel system warning link  a+b ")
        self.assertEqual(js_inter.split_key("a+'b"), [("a", False), ("'b", False)])
        self.assertEqual(js_inter.split_key("'it's'+x"), [("it's", True), ("x", False)])

    def test_unknown_words_and_blanks_stay(self):
        self.assertEqual(js_inter.get_js_value_chinese("foo+bar"), "foo bar")
        self.assertEqual(js_inter.get_js_value_chinese("a++b+"), "a  b ")
        self.assertEqual(js_inter.get_js_value_chinese(""), "")
        # Bytes that were no UTF-8 pass through as the bridge's escapes.
        odd = b"\xc4\xe3+link".decode("utf-8", "surrogateescape")
        self.assertEqual(js_inter.get_js_value_chinese(odd),
                         b"\xc4\xe3 \xe9\x93\xbe\xe8\xb7\xaf".decode("utf-8", "surrogateescape"))

    def test_case_punctuation_and_names(self):
        self.assertEqual(js_inter.get_js_value_chinese("Link+DOWN,+(eth1)"),
                         "链路 断开, (eth1)")
        self.assertEqual(js_inter.get_js_value_en("DROP+SRC=1.2.3.4+DPT=23"),
                         "drop source=1.2.3.4 destination port=23")


class TableFile(unittest.TestCase):
    def test_bad_lines_are_skipped_and_a_missing_file_raises(self):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "t.txt")
            with open(path, "w", encoding="utf-8") as f:
                f.write("# c\n\nok\tfine\nno tab here\nbad key\tx\nempty\t\nok\tlater\n")
            self.assertEqual(js_inter.read_table(path), {"ok": "later"})
            with self.assertRaises(OSError):
                js_inter.read_table(os.path.join(d, "missing.txt"))


class Mail(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.path = self.dir.name

    def tearDown(self):
        self.dir.cleanup()

    def mail(self, name, data):
        path = os.path.join(self.path, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def test_headers_are_decoded(self):
        path = self.mail("a.eml",
                         b"Received: x\r\nFrom: =?gb2312?B?1cXI/Q==?= <z@x.cn>\r\n"
                         b"subject: =?utf-8?q?=E6=97=A5=E5=BF=97_?=\r\n"
                         b"\t=?utf-8?b?5pyN5Yqh?=\r\n\r\nSubject: body\r\n")
        self.assertEqual(my_email.GetEmail_subject(path, "c.eml"), "日志 服务")
        self.assertEqual(my_email.GetEmail_from(path, "c.eml"), "张三 <z@x.cn>")

    def test_split_character_raw_bytes_and_absent_header(self):
        # One character split over two encoded words.
        path = self.mail("b.eml", b"Subject: =?UTF-8?B?5pc=?= =?UTF-8?B?pQ==?= \xc4\xe3\r\n\r\n")
        self.assertEqual(my_email.GetEmail_subject(path), "日 你")
        self.assertEqual(my_email.GetEmail_from(path), "")
        with self.assertRaises(OSError):
            my_email.GetEmail_subject(os.path.join(self.path, "none.eml"))

    def test_file_names_in_any_encoding(self):
        raw = os.fsencode(self.path) + b"/\xc4\xe3.eml"
        with open(raw, "wb") as f:
            f.write(b"Subject: gb\n\n")
        name = raw.decode("utf-8", "surrogateescape")
        self.assertEqual(my_email.GetEmail_subject(name), "gb")

    def test_remove_files_in_first_dir(self):
        self.mail("1.eml", b"x")
        self.mail("2.eml", b"y")
        os.mkdir(os.path.join(self.path, "attach"))
        self.mail(os.path.join("attach", "kept"), b"z")
        outside = tempfile.NamedTemporaryFile(delete=False)
        outside.close()
        os.symlink(outside.name, os.path.join(self.path, "link"))
        try:
            self.assertEqual(my_email.removeFileInFirstDir(self.path + "/"), 2)
            self.assertEqual(sorted(os.listdir(self.path)), ["attach", "link"])
            self.assertTrue(os.path.exists(outside.name))
        finally:
            os.unlink(outside.name)
        self.assertEqual(my_email.removeFileInFirstDir(os.path.join(self.path, "gone")), 0)
        self.assertEqual(my_email.removeFileInFirstDir(""), 0)

    def test_other_functions_answer(self):
        path = self.mail("d.eml", b"Subject: s\n\nplain body\n")
        self.assertEqual(my_email.GetEmail_content(path), "plain body\n")
        self.assertEqual(my_email.GetEmail_attach(path), "")
        self.assertEqual(my_email.GetEmail_content(), "")
        for f in (my_email.create_excel, my_email.excel_write, my_email.excel_open_speed,
                  my_email.excel_write_speed, my_email.excel_over_speed):
            self.assertEqual(f("a", "b"), 0)
        self.assertEqual(my_email.add(1, 2), 3)


if __name__ == "__main__":
    unittest.main()

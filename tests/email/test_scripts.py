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

    def test_three_texts_at_once_are_the_three_single_ones(self):
        for key in ["Link+DOWN,+(eth1)", "kernel+syslog.warnat+' link '+' a+b '", "", "a++b+"]:
            single = [js_inter.get_js_value_chinese(key), js_inter.get_js_value_en(key),
                      js_inter.get_js_value_fanti(key)]
            self.assertEqual(js_inter.get_js_values(key).split("\0"), single, key)


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
    """Headers and removal are tested in test_my_email.py."""

    def test_file_names_in_any_encoding_and_the_body(self):
        with tempfile.TemporaryDirectory() as d:
            raw = os.fsencode(d) + b"/\xc4\xe3.eml"
            with open(raw, "wb") as f:
                f.write(b"Subject: gb\n\nplain body\n")
            name = raw.decode("utf-8", "surrogateescape")
            self.assertEqual(my_email.GetEmail_subject(name), "gb")
            self.assertEqual(my_email.GetEmail_content(name), "plain body\n")
            self.assertEqual(my_email.GetEmail_attach(name), "")
            self.assertEqual(my_email.GetEmail_content(), "")
            with self.assertRaises(OSError):
                my_email.GetEmail_subject(os.path.join(d, "none.eml"))


if __name__ == "__main__":
    unittest.main()

"""js_inter.py on its own, from the source tree."""

import os
import sys
import tempfile
import unittest

SOURCE_DIR = os.environ.get(
    "SOURCE_DIR", os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
sys.path.insert(0, os.path.join(SOURCE_DIR, "scripts"))
TABLES = os.path.join(SOURCE_DIR, "data", "tables")

import js_inter  # noqa: E402


def table_keys(name):
    with open(os.path.join(TABLES, name), encoding="utf-8") as f:
        return [line.split("\t", 1)[0] for line in f if line.strip() and not line.startswith("#")]


class Tables(unittest.TestCase):
    def test_three_languages_hold_the_same_keys(self):
        chinese = table_keys("js_chinese.txt")
        self.assertGreaterEqual(len(chinese), 60)
        self.assertEqual(len(chinese), len(set(chinese)), "duplicate keys")
        self.assertEqual(chinese, table_keys("js_en.txt"))
        self.assertEqual(chinese, table_keys("js_fanti.txt"))
        self.assertTrue(all(k == k.lower() for k in chinese))

    def test_bad_lines_are_skipped_and_a_missing_file_raises(self):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "t.txt")
            with open(path, "w", encoding="utf-8") as f:
                f.write("# c\n\nok\tfine\nno tab here\nbad key\tx\nempty\t\nok\tlater\n")
            self.assertEqual(js_inter.read_table(path), {"ok": "later"})
            with self.assertRaises(OSError):
                js_inter.read_table(os.path.join(d, "missing.txt"))


class Lookups(unittest.TestCase):
    def test_display_texts_and_the_three_at_once(self):
        js_inter.TABLE_DIR = TABLES
        for init in (js_inter.init_js_chinese, js_inter.init_js_en, js_inter.init_js_fanti):
            init("ok")
        zh, en = js_inter.get_js_value_chinese, js_inter.get_js_value_en
        # Bytes that were no UTF-8 pass through as the bridge's escapes.
        odd = b"\xc4\xe3+link".decode("utf-8", "surrogateescape")
        odd_text = b"\xc4\xe3 \xe9\x93\xbe\xe8\xb7\xaf".decode("utf-8", "surrogateescape")
        for function, key, want in [
            # Known words and '+' inside quotes are left alone.
            (en, "kernel+syslog.warnat+' link '+' a+b '", "kernel system warning link  a+b "),
            (zh, "a++b+", "a  b "),
            (zh, "", ""),
            (zh, odd, odd_text),
            (zh, "Link+DOWN,+(eth1)", "链路 断开, (eth1)"),
            (en, "DROP+SRC=1.2.3.4+DPT=23", "drop source=1.2.3.4 destination port=23"),
        ]:
            with self.subTest(key=key):
                self.assertEqual(function(key), want)
                self.assertEqual(js_inter.get_js_values(key).split("\0"),
                                 [zh(key), en(key), js_inter.get_js_value_fanti(key)])
        self.assertEqual(js_inter.split_key("a+'b"), [("a", False), ("'b", False)])
        self.assertEqual(js_inter.split_key("'it's'+x"), [("it's", True), ("x", False)])


if __name__ == "__main__":
    unittest.main()

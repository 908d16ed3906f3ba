"""Display texts of router log texts in simplified Chinese, English and
traditional Chinese.

Tables: js_chinese.txt, js_en.txt and js_fanti.txt in the directory of this
module (the run directory). Each is UTF-8 text, one entry per line:

    key<TAB>text

Blank lines and lines whose first character is '#' are ignored. A key is one
word (no blank, '+' or quote); its text is how that word reads in the
language. The three files hold the same keys.

A log text arrives '+'-joined: the program turns every blank into '+', and
the "syslog.warnat" rewrite gives a+b+' c '+' d e '. The text is split into
pieces at '+'; a piece that starts with a quote and whose closing quote comes
right before a '+' (or the end) is a quoted piece and may hold '+' itself.

- a quoted piece stands for itself without its quotes, untranslated;
- a word the table knows becomes its text in the language;
- any other word stays as it is.

A word is known when the table has it as it is, in lower case, or with
punctuation around it taken off (the punctuation is kept); in "name=value"
the name alone is looked up. The pieces are joined with one blank, left out
where a quoted piece already has a blank at that edge, so that a text without
known words comes back with its blanks as they were.
"""

import os
import sys

TABLE_DIR = os.path.dirname(os.path.abspath(__file__))

TABLE_FILES = {
    "chinese": "js_chinese.txt",
    "en": "js_en.txt",
    "fanti": "js_fanti.txt",
}

# language -> {key: text}; empty until the language's init function ran.
tables = {lang: {} for lang in TABLE_FILES}

_PUNCTUATION = ".,;:!?()[]{}<>\"'"


def read_table(path):
    """Reads one table file into a dict. Malformed lines are reported on
    standard error and skipped; a missing file raises OSError."""
    table = {}
    name = os.path.basename(path)
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\r\n")
            if not line.strip() or line.startswith("#"):
                continue
            key, tab, text = line.partition("\t")
            key = key.strip()
            text = text.strip()
            if not tab or not key or not text:
                print("%s:%d: not \"key<TAB>text\", skipped" % (name, number),
                      file=sys.stderr)
                continue
            if any(c in key for c in " +'"):
                print("%s:%d: key %r is not one word, skipped" % (name, number, key),
                      file=sys.stderr)
                continue
            if key in table:
                print("%s:%d: key %r again, the later text counts" % (name, number, key),
                      file=sys.stderr)
            table[key] = text
    return table


def load(lang):
    tables[lang] = {}
    tables[lang] = read_table(os.path.join(TABLE_DIR, TABLE_FILES[lang]))
    return len(tables[lang])


def init_js_chinese(arg="ok"):
    return load("chinese")


def init_js_en(arg="ok"):
    return load("en")


def init_js_fanti(arg="ok"):
    return load("fanti")


def split_key(key):
    """Splits a '+'-joined text into (piece, quoted) pairs."""
    pieces = []
    i = 0
    n = len(key)
    while True:
        if key.startswith("'", i):
            # A quoted piece ends at the first quote that is followed by '+'
            # or by the end of the text.
            j = i + 1
            while True:
                j = key.find("'", j)
                if j < 0 or j + 1 == n or key[j + 1] == "+":
                    break
                j += 1
            if j > i:
                pieces.append((key[i + 1:j], True))
                if j + 1 >= n:
                    return pieces
                i = j + 2
                continue
        j = key.find("+", i)
        if j < 0:
            pieces.append((key[i:], False))
            return pieces
        pieces.append((key[i:j], False))
        i = j + 1


def _find(table, word):
    text = table.get(word)
    if text is None:
        text = table.get(word.lower())
    return text


def translate_word(table, word):
    """The text of one word, or None when the table does not know it."""
    if not word:
        return None
    text = _find(table, word)
    if text is not None:
        return text
    core = word.strip(_PUNCTUATION)
    if core and core != word:
        text = _find(table, core)
        if text is not None:
            start = word.index(core)
            return word[:start] + text + word[start + len(core):]
    name, eq, value = word.partition("=")
    if eq and name:
        text = _find(table, name)
        if text is not None:
            return text + "=" + value
    return None


def translate(lang, key):
    return translate_pieces(tables[lang], split_key(key))


def translate_pieces(table, pieces):
    result = []
    prev_quoted_blank = False  # the previous piece is quoted and ends in a blank
    for piece, quoted in pieces:
        if quoted:
            text = piece
        else:
            text = translate_word(table, piece)
            if text is None:
                text = piece
        if result and not prev_quoted_blank and not (quoted and text[:1].isspace()):
            result.append(" ")
        result.append(text)
        prev_quoted_blank = quoted and text[-1:].isspace()
    return "".join(result)


def get_js_value_chinese(key):
    return translate("chinese", key)


def get_js_value_en(key):
    return translate("en", key)


def get_js_value_fanti(key):
    return translate("fanti", key)


def get_js_values(key):
    """The three texts of a key in the order chinese, en, fanti, joined by
    NUL characters: one call where three would split the key three times and
    cross into the script three times."""
    pieces = split_key(key)
    return "\0".join(translate_pieces(tables[lang], pieces)
                      for lang in ("chinese", "en", "fanti"))


def get_js_b_exist_chinese(word):
    """ "3" when the tables know the word, "1" otherwise."""
    return "3" if translate_word(tables["chinese"], word) is not None else "1"


if __name__ == "__main__":
    # python3 js_inter.py KEY...: shows the three texts of each key.
    init_js_chinese()
    init_js_en()
    init_js_fanti()
    for arg in sys.argv[1:]:
        print(get_js_b_exist_chinese(arg.split("+", 1)[0]), arg)
        for lang in ("chinese", "en", "fanti"):
            print("  %-8s%s" % (lang, translate(lang, arg)))

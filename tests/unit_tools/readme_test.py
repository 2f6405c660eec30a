#!/usr/bin/env python3
"""The README tells the truth about the settings and pictures: its settings table is the one the
tools hold (camtag-render --list-settings: every name, meaning, default and the values taken),
and every whole picture it shows gives what the help file's picture topic says it gives (the
help test checks those against the module's own text code).
Usage: readme_test.py SOURCE_DIR BUILD_DIR"""

import html
import os
import re
import subprocess
import sys
import unittest

SOURCE, BUILD = sys.argv[1:3] if len(sys.argv) == 3 else (None, None)


def readme():
    with open(os.path.join(SOURCE, "README.md"), encoding="utf-8") as f:
        return f.read()


class Readme(unittest.TestCase):
    def test_the_settings_table_is_the_tools_own(self):
        listed = subprocess.run([os.path.join(SOURCE, "scripts", "wine-run.sh"),
                                 os.path.join(BUILD, "tools", "camtag-render", "camtag-render.exe"), "--list-settings"],
                                check=True, stdout=subprocess.PIPE, text=True, timeout=120).stdout.splitlines()
        self.assertGreater(len(listed), 20)
        rows = [line for line in readme().splitlines() if re.match(r"^\| `[a-z]+` \|", line)]
        expected = []
        for line in listed:
            name, meaning, default, values = line.split("\t")
            expected.append("| `%s` | %s | %s | %s |" % (name, meaning, default, values))
        self.assertEqual(rows, expected)

    def test_the_pictures_give_what_the_help_says(self):
        with open(os.path.join(SOURCE, "docs", "help", "Format.htm"), encoding="utf-8") as f:
            page = f.read()
        helped = {html.unescape(picture): html.unescape(gives) for picture, gives in
                  re.findall(r"<tr><td><code>(.*?)</code></td><td><code>(.*?)</code></td>", page)}
        shown = []
        lines = readme().splitlines()
        for header in ("| date token | gives | time token | gives |", "| picture | gives | picture | gives |"):
            at = lines.index(header) + 2
            while at < len(lines) and lines[at].startswith("|"):
                cells = [c.strip() for c in lines[at].strip("|").split("|")]
                for picture, gives in ((cells[0], cells[1]), (cells[2], cells[3])):
                    # "`d` / `dd`" gives "7 / 07"; notes in brackets are no part of the result.
                    gives = re.sub(r" \(.*\)$", "", gives).split(" / ")
                    pictures = [re.sub(r"^`(.*)`( \(built in\))?$", r"\1", p) for p in picture.split(" / ")]
                    self.assertEqual(len(pictures), len(gives), lines[at])
                    shown += zip(pictures, gives)
                at += 1
        self.assertGreaterEqual(len(shown), 30)
        for picture, gives in shown:
            self.assertIn(picture, helped, "the help file does not show " + picture)
            self.assertEqual(gives, helped[picture], picture)


if __name__ == "__main__":
    if SOURCE is None:
        sys.exit("usage: readme_test.py SOURCE_DIR BUILD_DIR")
    unittest.main(argv=[sys.argv[0], "-v"])

#!/usr/bin/env python3
"""Checks the built help file with an independent reader (extract_chmLib of chmlib) and the help
sources as a reader of the repository sees them:
  - the help file holds both topics, each as the repository has it (pictures made local), and
    every picture they show, as the PNG files of docs/;
  - every link and picture reference inside the help file and inside the repository's topics
    resolves, including the #fragment of a link into a page;
  - nothing points outside (the help must work offline).
Usage: check_help.py CAMTAG.CHM HELP_SOURCE_DIR DOCS_DIR
"""
import html.parser
import os
import subprocess
import sys
import tempfile
import urllib.parse

TOPICS = ("Camtag.htm", "Format.htm")


class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.references = []  # (kind, value)
        self.anchors = set()

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        for name in ("id",):
            if attrs.get(name):
                self.anchors.add(attrs[name])
        if tag == "a" and attrs.get("name"):
            self.anchors.add(attrs["name"])
        if tag in ("a", "link") and attrs.get("href"):
            self.references.append((tag, attrs["href"]))
        if tag == "img" and attrs.get("src"):
            self.references.append(("img", attrs["src"]))
        if tag == "param" and (attrs.get("name") or "").lower() == "local":
            self.references.append(("contents", attrs.get("value") or ""))


def parse(path):
    page = Page()
    with open(path, encoding="ascii") as f:
        page.feed(f.read())
    return page


def check_links(root, pages, failures, where):
    """Every reference of the given pages (paths relative to root) resolves inside the tree."""
    parsed = {}
    for name in pages:
        parsed[name] = parse(os.path.join(root, name))
    for name, page in parsed.items():
        for kind, value in page.references:
            target = urllib.parse.urlsplit(value)
            if target.scheme or target.netloc:
                failures.append(f"{where}/{name}: {kind} points outside: {value}")
                continue
            path = os.path.normpath(os.path.join(os.path.dirname(name), urllib.parse.unquote(target.path))) if target.path else name
            full = os.path.join(root, path)
            if not os.path.isfile(full):
                failures.append(f"{where}/{name}: {kind} {value} does not resolve")
                continue
            if kind == "img":
                with open(full, "rb") as f:
                    if f.read(8) != b"\x89PNG\r\n\x1a\n":
                        failures.append(f"{where}/{name}: picture {value} is not a PNG file")
            if target.fragment:
                anchors = (parsed.get(path) or parse(full)).anchors
                if target.fragment not in anchors:
                    failures.append(f"{where}/{name}: {value}: no anchor #{target.fragment} in {path}")
    return parsed


def main():
    chm, source, docs = sys.argv[1:4]
    failures = []
    # The repository's own topics, as read there (pictures one folder up).
    check_links(os.path.dirname(os.path.abspath(source)), [os.path.join(os.path.basename(source), t) for t in TOPICS], failures, "repository")
    with tempfile.TemporaryDirectory() as out:
        run = subprocess.run(["extract_chmLib", chm, out], capture_output=True, text=True)
        if run.returncode != 0:
            failures.append(f"extract_chmLib failed: {run.stderr.strip()}")
        for topic in TOPICS:
            inside = os.path.join(out, topic)
            if not os.path.isfile(inside):
                failures.append(f"help file: topic {topic} is missing")
                continue
            with open(os.path.join(source, topic), encoding="ascii") as f:
                expected = f.read().replace('src="../', 'src="')
            with open(inside, encoding="ascii") as f:
                if f.read() != expected:
                    failures.append(f"help file: {topic} differs from docs/help/{topic} (stale build?)")
        if not failures:
            pages = list(TOPICS) + [p for p in os.listdir(out) if p.endswith(".hhc")]
            parsed = check_links(out, pages, failures, "help file")
            for topic in TOPICS:
                pictures = [v for k, v in parsed[topic].references if k == "img"]
                if not pictures:
                    failures.append(f"help file: {topic} shows no picture")
                for picture in pictures:
                    with open(os.path.join(out, picture), "rb") as a, open(os.path.join(docs, picture), "rb") as b:
                        if a.read() != b.read():
                            failures.append(f"help file: {picture} differs from docs/{picture}")
    for failure in failures:
        print(failure)
    if not failures:
        print(f"{chm}: both topics, their pictures and every link are in order")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Checks that every relative link in README.md and docs/*.md names a file that exists,
and, when it names a heading (#...) of a Markdown file, that the heading exists.

    scripts/check-links.py [ROOT]    (default: the repository this script is in)

Prints each broken link as FILE:LINE: TARGET (why) and exits with 1 when there is one.
Links in code (fenced blocks, `spans`) are text, not links, and are not checked.
"""
import pathlib
import re
import sys
import urllib.parse

# [text](target) and ![alt](target), the target up to a blank or the closing parenthesis
# (an optional "title" after a blank is left out); and reference definitions [x]: target.
INLINE = re.compile(r"!?\[[^\]]*\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)")
REFERENCE = re.compile(r"^\s{0,3}\[[^\]]+\]:\s+<?(\S+?)>?(?:\s|$)")
FENCE = re.compile(r"^\s{0,3}(```|~~~)")
CODE_SPAN = re.compile(r"(`+).+?\1")


def anchors(path):
    """The ids GitHub gives the headings of a Markdown file."""
    ids, seen, fenced = set(), {}, False
    for line in path.read_text(encoding="utf-8").splitlines():
        if FENCE.match(line):
            fenced = not fenced
            continue
        heading = re.match(r"^\s{0,3}#{1,6}\s+(.*?)\s*#*\s*$", line)
        if fenced or not heading:
            continue
        slug = re.sub(r"[^\w\- ]", "", heading.group(1).lower()).replace(" ", "-")
        count = seen.get(slug, 0)
        seen[slug] = count + 1
        ids.add(slug if count == 0 else f"{slug}-{count}")
    return ids


def broken_links(root):
    pages = [root / "README.md"] + sorted((root / "docs").glob("*.md"))
    for page in pages:
        if not page.is_file():
            continue
        fenced = False
        for number, line in enumerate(page.read_text(encoding="utf-8").splitlines(), 1):
            if FENCE.match(line):
                fenced = not fenced
                continue
            if fenced:
                continue
            text = CODE_SPAN.sub("", line)
            targets = INLINE.findall(text) + REFERENCE.findall(text)
            for target in targets:
                if re.match(r"^[a-zA-Z][a-zA-Z0-9+.-]*:", target):
                    continue  # http:, https:, mailto: ...: not a file of this repository
                name, _, fragment = target.partition("#")
                file = (page.parent / urllib.parse.unquote(name)).resolve() if name else page
                where = f"{page.relative_to(root)}:{number}: {target}"
                if not file.exists():
                    yield f"{where} (no such file)"
                elif fragment and file.suffix == ".md" and fragment not in anchors(file):
                    yield f"{where} (no such heading in {file.name})"


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent)
    broken = list(broken_links(root.resolve()))
    for line in broken:
        print(line, file=sys.stderr)
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main())

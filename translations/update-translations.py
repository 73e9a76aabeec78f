#!/usr/bin/env python3
"""Brings the translation sources in line with the code.

Runs lupdate over the wizard's sources, then gives every new or moved text the
translation it already has elsewhere in the same file (a text that changed its
context, or one first written down outside the code), drops the texts the code no
longer has, and lists what is still untranslated. Exit status 1 when anything is.

Usage: translations/update-translations.py [LUPDATE]
"""
import os
import subprocess
import sys
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
LUPDATE = sys.argv[1] if len(sys.argv) > 1 else "/usr/lib/qt6/bin/lupdate"
LCONVERT = os.path.join(os.path.dirname(LUPDATE), "lconvert")
# Folders whose texts a user can see. The pictures' captions are drawn by the
# picture tool, so its texts are translated like the wizard's.
SOURCES = [d for d in ("ui", "wizard", "resources", "tools/draw-pictures")
           if os.path.isdir(os.path.join(ROOT, d))]
LANGUAGES = ("fr", "de", "pt", "es")


def translation_of(message):
    node = message.find("translation")
    return node, (node.get("type") if node is not None else None)


def sync(ts_path):
    tree = ET.parse(ts_path)
    root = tree.getroot()
    pool = {}
    for message in root.iter("message"):
        node, kind = translation_of(message)
        text = node.text if node is not None else None
        if text and kind in (None, "vanished", "obsolete"):
            pool.setdefault(message.findtext("source"), text)
    missing = []
    for context in list(root.findall("context")):
        for message in list(context.findall("message")):
            node, kind = translation_of(message)
            if kind in ("vanished", "obsolete"):
                context.remove(message)
                continue
            source = message.findtext("source")
            if kind == "unfinished" or node is None or not node.text:
                if source in pool:
                    if node is None:
                        node = ET.SubElement(message, "translation")
                    node.text = pool[source]
                    node.attrib.pop("type", None)
                else:
                    missing.append((context.findtext("name"), source))
        if not context.findall("message"):
            root.remove(context)
    tree.write(ts_path, encoding="utf-8", xml_declaration=True)
    # lconvert writes the file back in lupdate's own layout.
    subprocess.run([LCONVERT, "-i", ts_path, "-o", ts_path], check=True)
    return missing


def main():
    status = 0
    for lang in LANGUAGES:
        ts_path = os.path.join(HERE, f"zerviko_{lang}.ts")
        subprocess.run([LUPDATE, "-silent", "-locations", "none", "-extensions", "cpp,h,ui", "-I", ROOT,
                        *[os.path.join(ROOT, d) for d in SOURCES], "-ts", ts_path],
                       check=True)
        for context, source in sync(ts_path):
            print(f"{os.path.basename(ts_path)}: untranslated in {context}: {source!r}")
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Writes the texts of the Windows wizard's resource script for one language.

The Windows wizard and the Qt wizard share one translation: each text of the
resource script (the string table and the dialogs' own texts) is a message of the
Qt Linguist file, found by its context and English source. The output is a header of
#define lines that the resource script includes, every text in Windows-1252 (the
resource compiler's code page), written with octal escapes so the header is ASCII.

Usage: rc-texts.py OUTPUT.h VERSION TS     the language of the file TS
       rc-texts.py OUTPUT.h VERSION TS --english
                                           the English sources, checked against TS

Fails, writing nothing, when a text has no finished translation or holds a
character that Windows-1252 cannot hold.
"""
import os
import sys
import xml.etree.ElementTree as ET

# (macro, context, English source). %1 in a text of VERSIONED becomes the program's
# version; in the others, %1 and %2 stay for the program to fill in.
TEXTS = [
    ("TEXT_IDS_132", "StringTable", "Select the model and port to program"),
    ("TEXT_IDS_133", "StringTable", "Select a port"),
    ("TEXT_IDS_134", "StringTable", "No file selected.\n\nPlease select a file."),
    ("TEXT_IDS_135", "StringTable", "Error"),
    ("TEXT_IDS_136", "StringTable", "Firmware has been successfully loaded."),
    ("TEXT_IDS_137", "StringTable", "Select the file to download"),
    ("TEXT_IDS_138", "StringTable", "Tarno ZERVIKO Firmware Loader"),
    ("TEXT_IDS_139", "StringTable", "Programming the ZERVIKO - ABC Layout"),
    ("TEXT_IDS_140", "StringTable",
     "The selected drive is unavailable.\n\nPlease select another drive."),
    ("TEXT_IDS_141", "StringTable", "Programming the ZERVIKO - Keyboard Layout"),
    ("TEXT_IDS_142", "StringTable",
     "The selected file is unavailable.\n\nPlease select another file."),
    ("TEXT_IDS_143", "StringTable",
     "The selected file is unusable.\n\nPlease select another file."),
    ("TEXT_IDS_144", "StringTable", "File transfer error.\n\nProgramming terminated."),
    ("TEXT_IDS_145", "StringTable", "Success"),
    ("TEXT_IDS_146", "StringTable",
     "The status log could not be written:\n\n%1\n%2\n\n"
     "The log is incomplete; later runs are not written to it."),
    ("TEXT_IDS_147", "StringTable",
     "\"%1\" is held by another loader: this one keeps no status log."),
    ("TEXT_IDS_INVALID_ARGUMENT", "StringTable", "An invalid argument was encountered."),
    ("TEXT_BACK", "CMainDlg", "Back"),
    ("TEXT_NEXT", "CMainDlg", "Next"),
    ("TEXT_EXIT", "CMainDlg", "Exit"),
    ("TEXT_INFO", "CMainDlg", "ZERVIKO Firmware Loader\nVersion %1\nTarno Corp."),
    ("TEXT_BUSY_CAPTION", "CMessageDialog", "Updating Firmware..."),
    ("TEXT_BUSY", "CMessageDialog",
     "Do not press any printer keys or disconnect power while the unit is being "
     "programmed as this will damage the printer!"),
    ("TEXT_PORT_PROMPT", "CPagePrinterPort", "Select the model and port to program"),
    ("TEXT_PORT_LABEL", "CPagePrinterPort", "Select a port"),
    ("TEXT_FILE_TITLE", "CPageFileChooser", "Programming the Zerviko"),
    ("TEXT_PROGRAM_TITLE", "CPageProgram", "Programming the Zerviko"),
    ("TEXT_STATIC", "CPageProgram", "Static"),
    ("TEXT_PROGRAM", "CPageProgram", "Program"),
]
VERSIONED = {"TEXT_INFO"}


def fail(message):
    print("rc-texts: " + message, file=sys.stderr)
    sys.exit(1)


def messages(ts_path):
    """{(context, source): translation or None when unfinished}"""
    try:
        root = ET.parse(ts_path).getroot()
    except (OSError, ET.ParseError) as error:
        fail("%s: %s" % (ts_path, error))
    found = {}
    for context in root.iter("context"):
        name = context.findtext("name")
        for message in context.iter("message"):
            node = message.find("translation")
            kind = node.get("type") if node is not None else None
            text = node.text if node is not None else None
            if kind in ("vanished", "obsolete"):
                continue
            found[(name, message.findtext("source"))] = text if kind is None and text else None
    return found


def rc_string(text, macro, ts_path):
    try:
        data = text.encode("cp1252")
    except UnicodeEncodeError as error:
        fail("%s: %s: %r cannot be written in Windows-1252" % (ts_path, macro, error.object[error.start:error.end]))
    out = ['"']
    for byte in data:
        char = chr(byte)
        if char == '"':
            out.append('""')
        elif char == "\\":
            out.append("\\\\")
        elif char == "\n":
            out.append("\\n")
        elif 0x20 <= byte < 0x7F:
            out.append(char)
        else:
            out.append("\\%03o" % byte)
    out.append('"')
    return "".join(out)


def main(argv):
    if len(argv) not in (4, 5) or (len(argv) == 5 and argv[4] != "--english"):
        print(__doc__, file=sys.stderr)
        return 2
    output, version, ts_path = argv[1:4]
    english = len(argv) == 5
    found = messages(ts_path)
    lines = ["// Written by the build from %s%s: do not edit." %
             (os.path.basename(ts_path), " (the English sources)" if english else ""),
             "#pragma once"]
    for macro, context, source in TEXTS:
        if (context, source) not in found:
            fail("%s: no message %r in context %s" % (ts_path, source, context))
        text = source if english else found[(context, source)]
        if text is None:
            fail("%s: %r in context %s is not translated" % (ts_path, source, context))
        lines.append("#define %s %s" % (macro, rc_string(text.replace("%1", version) if macro in VERSIONED else text, macro, ts_path)))
    numbers = (version.split(".") + ["0"] * 4)[:4]
    lines.append("#define ZERVIKO_VERSION_NUMBERS %s" % ",".join(str(int(n)) for n in numbers))
    lines.append("#define ZERVIKO_VERSION_TEXT %s" % rc_string(version, "version", ts_path))
    text = "\n".join(lines) + "\n"
    with open(output, "w", encoding="ascii", newline="\n") as stream:
        stream.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

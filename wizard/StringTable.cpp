#include "wizard/StringIds.h"

// Marks the texts for the translators' tool (Qt's lupdate reads the mark); to the
// compiler it is the text alone.
#define QT_TRANSLATE_NOOP(context, text) text

namespace zerviko::wizard {
namespace {

struct StringEntry {
  int id;
  const char* text;
};

constexpr StringEntry kStrings[] = {
    {IDS_SELECT_MODEL_AND_PORT, QT_TRANSLATE_NOOP("StringTable", "Select the model and port to program")},
    {IDS_SELECT_PORT, QT_TRANSLATE_NOOP("StringTable", "Select a port")},
    {IDS_NO_FILE_SELECTED, QT_TRANSLATE_NOOP("StringTable", "No file selected.\n\nPlease select a file.")},
    {IDS_CAPTION_ERROR, QT_TRANSLATE_NOOP("StringTable", "Error")},
    {IDS_FIRMWARE_LOADED, QT_TRANSLATE_NOOP("StringTable", "Firmware has been successfully loaded.")},
    {IDS_SELECT_FILE, QT_TRANSLATE_NOOP("StringTable", "Select the file to download")},
    {IDS_APP_TITLE, QT_TRANSLATE_NOOP("StringTable", "Tarno ZERVIKO Firmware Loader")},
    {IDS_TITLE_ABC_LAYOUT, QT_TRANSLATE_NOOP("StringTable", "Programming the ZERVIKO - ABC Layout")},
    {IDS_DRIVE_UNAVAILABLE,
     QT_TRANSLATE_NOOP("StringTable", "The selected drive is unavailable.\n\nPlease select another drive.")},
    {IDS_TITLE_KEYBOARD_LAYOUT, QT_TRANSLATE_NOOP("StringTable", "Programming the ZERVIKO - Keyboard Layout")},
    {IDS_FILE_UNAVAILABLE,
     QT_TRANSLATE_NOOP("StringTable", "The selected file is unavailable.\n\nPlease select another file.")},
    {IDS_FILE_UNUSABLE,
     QT_TRANSLATE_NOOP("StringTable", "The selected file is unusable.\n\nPlease select another file.")},
    {IDS_TRANSFER_ERROR, QT_TRANSLATE_NOOP("StringTable", "File transfer error.\n\nProgramming terminated.")},
    {IDS_CAPTION_SUCCESS, QT_TRANSLATE_NOOP("StringTable", "Success")},
    {IDS_LOG_WRITE_FAILED,
     QT_TRANSLATE_NOOP("StringTable", "The status log could not be written:\n\n%1\n%2\n\n"
                                      "The log is incomplete; later runs are not written to it.")},
    {IDS_LOG_IN_USE,
     QT_TRANSLATE_NOOP("StringTable", "\"%1\" is held by another loader: this one keeps no status log.")},
    {IDS_INVALID_ARGUMENT, QT_TRANSLATE_NOOP("StringTable", "An invalid argument was encountered.")},
};

}  // namespace

const char* StringTableSource(int id) {
  for (const StringEntry& entry : kStrings) {
    if (entry.id == id) return entry.text;
  }
  return "";
}

}  // namespace zerviko::wizard

// The program's string table: every message and title the pages show, under the ids
// the language packs translate. The texts are looked up in the "StringTable"
// translation context, so a language pack's .qm replaces them.
#pragma once

#include <QString>

enum StringId : int {
  IDS_SELECT_MODEL_AND_PORT = 132,    // "Select the model and port to program"
  IDS_SELECT_PORT = 133,              // "Select a port"
  IDS_NO_FILE_SELECTED = 134,         // "No file selected.\n\nPlease select a file."
  IDS_CAPTION_ERROR = 135,            // "Error"
  IDS_FIRMWARE_LOADED = 136,          // "Firmware has been successfully loaded."
  IDS_SELECT_FILE = 137,              // "Select the file to download"
  IDS_APP_TITLE = 138,                // "Tarno ZERVIKO Firmware Loader"
  IDS_TITLE_ABC_LAYOUT = 139,         // "Programming the ZERVIKO - ABC Layout"
  IDS_DRIVE_UNAVAILABLE = 140,        // "The selected drive is unavailable..."
  IDS_TITLE_KEYBOARD_LAYOUT = 141,    // "Programming the ZERVIKO - Keyboard Layout"
  IDS_FILE_UNAVAILABLE = 142,         // "The selected file is unavailable..."
  IDS_FILE_UNUSABLE = 143,            // "The selected file is unusable..."
  IDS_TRANSFER_ERROR = 144,           // "File transfer error.\n\nProgramming terminated."
  IDS_CAPTION_SUCCESS = 145,          // "Success"
  // The dialog framework's own message for a page that refuses an empty choice.
  IDS_INVALID_ARGUMENT = 0xF000,      // "An invalid argument was encountered."
};

// The translation context of the string table.
inline constexpr const char* kStringTableContext = "StringTable";

// The text of id in the current language; an unknown id gives an empty text.
QString TableString(int id);

// The English source text of id, as the translators see it; empty when unknown.
const char* StringTableSource(int id);

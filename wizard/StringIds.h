// The program's string table: the ids of every message and title the pages show, in
// one place. The views turn an id into text: the Qt wizard through its translations,
// the Windows wizard through the string table of its resource script (or of the
// language library in use). StringTableSource gives the English text, the source the
// translators work from.
#pragma once

namespace zerviko::wizard {

enum StringId : int {
  IDS_SELECT_MODEL_AND_PORT = 132,  // "Select the model and port to program"
  IDS_SELECT_PORT = 133,            // "Select a port"
  IDS_NO_FILE_SELECTED = 134,       // "No file selected.\n\nPlease select a file."
  IDS_CAPTION_ERROR = 135,          // "Error"
  IDS_FIRMWARE_LOADED = 136,        // "Firmware has been successfully loaded."
  IDS_SELECT_FILE = 137,            // "Select the file to download"
  IDS_APP_TITLE = 138,              // "Tarno ZERVIKO Firmware Loader"
  IDS_TITLE_ABC_LAYOUT = 139,       // "Programming the ZERVIKO - ABC Layout"
  IDS_DRIVE_UNAVAILABLE = 140,      // "The selected drive is unavailable..."
  IDS_TITLE_KEYBOARD_LAYOUT = 141,  // "Programming the ZERVIKO - Keyboard Layout"
  IDS_FILE_UNAVAILABLE = 142,       // "The selected file is unavailable..."
  IDS_FILE_UNUSABLE = 143,          // "The selected file is unusable..."
  IDS_TRANSFER_ERROR = 144,         // "File transfer error.\n\nProgramming terminated."
  IDS_CAPTION_SUCCESS = 145,        // "Success"
  // The status log: a write failed (%1 the log, %2 the reason); another loader holds it.
  IDS_LOG_WRITE_FAILED = 146,       // "The status log could not be written..."
  IDS_LOG_IN_USE = 147,             // "\"%1\" is held by another loader..."
  // The dialog framework's own message for a page that refuses an empty choice.
  IDS_INVALID_ARGUMENT = 0xF000,    // "An invalid argument was encountered."
};

// The translation context of the string table (the Qt wizard's translations).
inline constexpr const char* kStringTableContext = "StringTable";

// The English text of id; the empty text for an id not in the table.
const char* StringTableSource(int id);

// Every id of the table, in id order (for views that load the whole table, and tests).
inline constexpr StringId kStringIds[] = {
    IDS_SELECT_MODEL_AND_PORT, IDS_SELECT_PORT,      IDS_NO_FILE_SELECTED,
    IDS_CAPTION_ERROR,         IDS_FIRMWARE_LOADED,  IDS_SELECT_FILE,
    IDS_APP_TITLE,             IDS_TITLE_ABC_LAYOUT, IDS_DRIVE_UNAVAILABLE,
    IDS_TITLE_KEYBOARD_LAYOUT, IDS_FILE_UNAVAILABLE, IDS_FILE_UNUSABLE,
    IDS_TRANSFER_ERROR,        IDS_CAPTION_SUCCESS,  IDS_LOG_WRITE_FAILED,
    IDS_LOG_IN_USE,            IDS_INVALID_ARGUMENT,
};

}  // namespace zerviko::wizard

// The identifiers of the Windows wizard's resources: dialog templates, controls,
// strings, bitmaps and the icon. The language libraries carry the same resources under
// the same identifiers, so every lookup works the same in each language.
#pragma once

// Dialog templates.
#define IDD_PRINTER_PORT 102   // model and port page
#define IDD_MESSAGE 103        // the busy window shown during a run
#define IDD_FILE_CHOOSER 133   // firmware file page
#define IDD_PROGRAM 142        // programming page
#define IDD_MAIN 143           // the wizard's main dialog

// Controls of the main dialog.
#define IDC_NEXT 1000
#define IDC_EXIT 1001
#define IDC_BACK 1002
#define IDC_INFO 1031

// Controls of the model and port page.
#define IDC_PORT_PROMPT 1002
#define IDC_PORT_LIST 1003
#define IDC_PORT_LABEL 1004
#define IDC_MODEL_KEYBOARD 1007
#define IDC_MODEL_ABC 1008

// Controls of the file and programming pages.
#define IDC_TITLE 1009
#define IDC_FILE_PROMPT 1010
#define IDC_DRIVE_LIST 1012
#define IDC_FOLDER_TREE 1014
#define IDC_FILE_LIST 1015
#define IDC_FILE_STATUS 1016
#define IDC_REVISION 1017
#define IDC_PROGRAM 1019
#define IDC_PROGRESS 1020
#define IDC_PERCENT 1021
#define IDC_DEVICE_SETUP 1024

// The string table: the ids of wizard/StringIds.h, which the program's code uses; the
// resource compiler cannot read that header.
#ifdef RC_INVOKED
#define IDS_SELECT_MODEL_AND_PORT 132
#define IDS_SELECT_PORT 133
#define IDS_NO_FILE_SELECTED 134
#define IDS_CAPTION_ERROR 135
#define IDS_FIRMWARE_LOADED 136
#define IDS_SELECT_FILE 137
#define IDS_APP_TITLE 138
#define IDS_TITLE_ABC_LAYOUT 139
#define IDS_DRIVE_UNAVAILABLE 140
#define IDS_TITLE_KEYBOARD_LAYOUT 141
#define IDS_FILE_UNAVAILABLE 142
#define IDS_FILE_UNUSABLE 143
#define IDS_TRANSFER_ERROR 144
#define IDS_CAPTION_SUCCESS 145
#define IDS_LOG_WRITE_FAILED 146
#define IDS_LOG_IN_USE 147
// The dialog framework's own message for a page that refuses an empty choice.
#define IDS_INVALID_ARGUMENT 0xF000
#endif

// Bitmaps known by number; the buttons' pictures are known by name ("BACKU", ...).
#define IDB_MODEL_ABC 129
#define IDB_MODEL_KEYBOARD 131
#define IDB_DRIVE_REMOVABLE 134
#define IDB_DRIVE_CDROM 135
#define IDB_DRIVE_FIXED 138
#define IDB_FOLDER_CLOSED 140
#define IDB_FOLDER_OPEN 141
#define IDB_LOGO 142

#define IDI_APP 158

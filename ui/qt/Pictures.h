// The wizard's pictures, looked up by name. A language pack registered at start-up
// may carry its own copy of any picture (a translated caption drawn into it) under
// ":/lang/pictures/NAME.png"; otherwise the program's own ":/pictures/NAME.png" is used.
#pragma once

#include <QPixmap>
#include <QString>

// Pictures without a caption name are known by their resource number.
inline constexpr const char* PICTURE_MODEL_ABC = "129";        // 219 x 202
inline constexpr const char* PICTURE_MODEL_KEYBOARD = "131";   // 219 x 202
inline constexpr const char* PICTURE_DRIVE_REMOVABLE = "134";  // 16 x 16
inline constexpr const char* PICTURE_DRIVE_CDROM = "135";      // 16 x 16
inline constexpr const char* PICTURE_DRIVE_FIXED = "138";      // 16 x 16
inline constexpr const char* PICTURE_FOLDER_CLOSED = "140";    // 16 x 16
inline constexpr const char* PICTURE_FOLDER_OPEN = "141";      // 16 x 16
inline constexpr const char* PICTURE_LOGO = "142";             // 150 x 31
inline constexpr const char* PICTURE_APP_ICON = "158";         // 64 x 64

// The picture called name ("BACKU", "142", ...); a null pixmap when there is none.
QPixmap LoadPicture(const QString& name);

// The resource path LoadPicture would read for name; empty when there is none.
QString PicturePath(const QString& name);

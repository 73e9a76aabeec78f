#include "ui/qt/Pictures.h"

#include <QFile>

QString PicturePath(const QString& name) {
  for (const char* folder : {":/lang/pictures/", ":/pictures/"}) {
    const QString path = QLatin1String(folder) + name + QLatin1String(".png");
    if (QFile::exists(path)) return path;
  }
  return {};
}

QPixmap LoadPicture(const QString& name) {
  const QString path = PicturePath(name);
  if (path.isEmpty()) return {};
  return QPixmap(path);
}

#include "ui/qt/StringTable.h"

#include <QCoreApplication>

QString TableString(int id) {
  const char* source = StringTableSource(id);
  if (*source == '\0') return {};
  return QCoreApplication::translate(kStringTableContext, source);
}

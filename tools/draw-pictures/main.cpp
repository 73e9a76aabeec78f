// Draws the wizard's pictures into PNG files: the bitmap buttons, the two model
// pictures, the logo, the drive and folder pictures and the application icon.
//
//   zerviko-draw-pictures OUTDIR [--bmp] [--only NAME[,NAME...]] [KEY=CAPTION ...]
//
// --bmp writes what the Windows resource compiler takes instead of PNG files: 24-bit
// NAME.bmp pictures, the 16 x 16 ones in 16 colours on the transparent colour
// RGB(128,0,0), and the icon as 158.ico in three sizes.
//
// KEY is one of BACK, NEXT, EXIT, PROGRAM (the buttons' captions) or 129, 131 (the
// captions under the ABC and Keyboard layout models). A language pack draws its
// translated pictures by passing its captions and --only the pictures it replaces.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QDataStream>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QMap>
#include <QPainter>
#include <QPainterPath>
#include <QSet>
#include <QStringList>
#include <cstdio>
#include <functional>
#include <iterator>

namespace {

QMap<QString, QString> g_captions{
    {"BACK", "Back"},       {"NEXT", "Next"}, {"EXIT", "Exit"}, {"PROGRAM", "Program"},
    {"129", "ABC Layout"},  {"131", "Keyboard Layout"},
};

const QColor kNavy(0, 0, 128);
const QColor kGrey(205, 205, 205);

// The largest font of family up to pointSize whose text fits width.
QFont FittingFont(const QString& text, int width, int pixelSize, bool bold) {
  QFont font(QStringLiteral("Arial"));
  font.setBold(bold);
  for (int size = pixelSize; size > 6; --size) {
    font.setPixelSize(size);
    if (QFontMetrics(font).horizontalAdvance(text) <= width) break;
  }
  return font;
}

// A 24-bit button picture: U raised, D pressed in (caption moved by a pixel),
// X flat with a greyed caption.
QImage DrawButton(const QString& caption, int width, int height, QChar state) {
  QImage image(width, height, QImage::Format_RGB888);
  image.fill(kGrey);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setRenderHint(QPainter::TextAntialiasing, true);
  const QRect face(1, 1, width - 2, height - 2);
  const bool pressed = state == QLatin1Char('D');
  const bool disabled = state == QLatin1Char('X');

  QLinearGradient fill(0, 0, 0, height);
  if (disabled) {
    fill.setColorAt(0, QColor(196, 196, 204));
    fill.setColorAt(1, QColor(176, 176, 186));
  } else if (pressed) {
    fill.setColorAt(0, QColor(0, 0, 96));
    fill.setColorAt(1, QColor(24, 40, 150));
  } else {
    fill.setColorAt(0, QColor(40, 64, 184));
    fill.setColorAt(1, QColor(0, 0, 112));
  }
  p.fillRect(face, fill);

  // The bevel: light on the top-left and dark on the bottom-right when raised.
  const QColor light = disabled ? QColor(226, 226, 230) : QColor(150, 170, 240);
  const QColor dark = disabled ? QColor(140, 140, 150) : QColor(0, 0, 48);
  const QColor topLeft = pressed ? dark : light;
  const QColor bottomRight = pressed ? light : dark;
  p.setPen(QColor(0, 0, 0));
  p.drawRect(0, 0, width - 1, height - 1);
  p.setPen(topLeft);
  p.drawLine(1, 1, width - 2, 1);
  p.drawLine(1, 1, 1, height - 2);
  p.setPen(bottomRight);
  p.drawLine(1, height - 2, width - 2, height - 2);
  p.drawLine(width - 2, 1, width - 2, height - 2);

  const QFont font = FittingFont(caption, width - 8, 13, true);
  p.setFont(font);
  QRect text = face;
  if (pressed) text.translate(1, 1);
  if (disabled) {
    p.setPen(QColor(236, 236, 240));
    p.drawText(text.translated(1, 1), Qt::AlignCenter, caption);
    p.setPen(QColor(128, 128, 138));
  } else {
    p.setPen(QColor(255, 255, 255));
  }
  p.drawText(text, Qt::AlignCenter, caption);
  return image;
}

// A handheld label printer seen from above, with the keyboard of the model.
QImage DrawModel(const QString& caption, bool abcLayout) {
  QImage image(219, 202, QImage::Format_RGB888);
  image.fill(QColor(255, 255, 255));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, true);

  // The label tape coming out of the top.
  p.setPen(QPen(QColor(120, 120, 120), 1));
  p.setBrush(QColor(250, 250, 236));
  p.drawRect(QRectF(84.5, 4.5, 50, 18));
  p.setPen(QColor(60, 60, 60));
  p.setFont(FittingFont(QStringLiteral("ZERVIKO"), 44, 9, true));
  p.drawText(QRectF(84, 4, 51, 19), Qt::AlignCenter, QStringLiteral("ZERVIKO"));

  // The body.
  QPainterPath body;
  body.addRoundedRect(QRectF(34.5, 18.5, 150, 150), 18, 18);
  QLinearGradient shell(0, 18, 0, 168);
  shell.setColorAt(0, QColor(70, 80, 100));
  shell.setColorAt(1, QColor(30, 34, 48));
  p.setPen(QPen(QColor(10, 10, 20), 1.5));
  p.setBrush(shell);
  p.drawPath(body);

  // The display.
  p.setPen(QPen(QColor(10, 10, 10), 1));
  p.setBrush(QColor(160, 190, 150));
  p.drawRoundedRect(QRectF(50.5, 30.5, 118, 34), 4, 4);
  p.setPen(QColor(30, 50, 30));
  p.setFont(FittingFont(abcLayout ? QStringLiteral("ABC") : QStringLiteral("QWERTY"), 100, 15, true));
  p.drawText(QRectF(50, 30, 118, 34), Qt::AlignCenter,
             abcLayout ? QStringLiteral("ABC") : QStringLiteral("QWERTY"));

  // The keyboard: the letters in alphabetical rows or in typewriter rows.
  const QStringList rows = abcLayout
                               ? QStringList{"ABCDEFG", "HIJKLMN", "OPQRSTU", "VWXYZ"}
                               : QStringList{"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
  const int columns = abcLayout ? 7 : 10;
  const double keyWidth = 130.0 / columns;
  const double keyHeight = abcLayout ? 19.0 : 24.0;
  QFont keyFont(QStringLiteral("Arial"));
  keyFont.setPixelSize(abcLayout ? 11 : 9);
  keyFont.setBold(true);
  p.setFont(keyFont);
  for (int r = 0; r < rows.size(); ++r) {
    const QString& row = rows[r];
    const double left = 44 + (130.0 - keyWidth * row.size()) / 2;
    for (int c = 0; c < row.size(); ++c) {
      const QRectF key(left + c * keyWidth + 1, 74 + r * (keyHeight + 2), keyWidth - 2, keyHeight);
      p.setPen(QPen(QColor(0, 0, 0), 0.8));
      p.setBrush(QColor(226, 228, 234));
      p.drawRoundedRect(key, 2.5, 2.5);
      p.setPen(QColor(20, 20, 60));
      p.drawText(key, Qt::AlignCenter, row.mid(c, 1));
    }
  }

  // The caption under the printer.
  p.setPen(kNavy);
  p.setFont(FittingFont(caption, 211, 18, true));
  p.drawText(QRect(4, 172, 211, 28), Qt::AlignCenter, caption);
  return image;
}

QImage DrawLogo() {
  QImage image(150, 31, QImage::Format_RGB888);
  image.fill(kGrey);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, true);
  // A stylised T in a navy disc, then the maker's name.
  p.setPen(Qt::NoPen);
  p.setBrush(kNavy);
  p.drawEllipse(QRectF(2, 2, 27, 27));
  p.setBrush(QColor(255, 255, 255));
  p.drawRect(QRectF(8, 8, 15, 4));
  p.drawRect(QRectF(13.5, 8, 4, 16));
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(22);
  font.setBold(true);
  font.setLetterSpacing(QFont::AbsoluteSpacing, 2);
  p.setFont(font);
  p.setPen(kNavy);
  p.drawText(QRect(34, 0, 116, 31), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("TARNO"));
  return image;
}

// The 16 x 16 pictures of the drive list and the folder tree, on a transparent ground.
QImage DrawSmall(const std::function<void(QPainter&)>& draw) {
  QImage image(16, 16, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  draw(p);
  return image;
}

void DrawDrive(QPainter& p, const QColor& front) {
  p.setPen(QColor(0, 0, 0));
  p.setBrush(QColor(192, 192, 192));
  p.drawRect(1, 5, 13, 6);
  p.setBrush(front);
  p.drawRect(2, 8, 11, 2);
  p.setPen(QColor(0, 160, 0));
  p.drawPoint(12, 6);
}

QImage DrawDriveRemovable() {
  return DrawSmall([](QPainter& p) {
    DrawDrive(p, QColor(128, 128, 128));
    p.setPen(QColor(0, 0, 0));
    p.drawLine(4, 9, 10, 9);  // the slot
  });
}

QImage DrawDriveCdrom() {
  return DrawSmall([](QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QColor(64, 64, 64));
    p.setBrush(QColor(220, 220, 235));
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    p.setBrush(QColor(255, 255, 255));
    p.drawEllipse(QRectF(6, 6, 4, 4));
    p.setPen(QColor(150, 150, 255));
    p.drawArc(QRectF(3.5, 3.5, 9, 9), 30 * 16, 60 * 16);
  });
}

QImage DrawDriveFixed() {
  return DrawSmall([](QPainter& p) { DrawDrive(p, QColor(96, 96, 96)); });
}

QImage DrawFolder(bool open) {
  return DrawSmall([open](QPainter& p) {
    p.setPen(QColor(0, 0, 0));
    p.setBrush(QColor(230, 190, 60));
    p.drawRect(1, 4, 13, 9);
    p.drawRect(1, 2, 5, 2);
    if (open) {
      const QPoint flap[] = {{3, 7}, {15, 7}, {13, 13}, {1, 13}};
      p.setBrush(QColor(255, 228, 120));
      p.drawPolygon(flap, 4);
    }
  });
}

QImage DrawIcon() {
  QImage image(64, 64, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(QPen(QColor(10, 10, 30), 2));
  p.setBrush(kNavy);
  p.drawRoundedRect(QRectF(8, 4, 48, 56), 9, 9);
  p.setBrush(QColor(160, 190, 150));
  p.drawRoundedRect(QRectF(14, 10, 36, 14), 3, 3);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(230, 232, 240));
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 4; ++c) p.drawRect(QRectF(14 + c * 9.5, 30 + r * 9, 7, 6));
  }
  // An arrow into the printer: firmware going in.
  p.setBrush(QColor(255, 200, 0));
  const QPointF arrow[] = {{32, 0}, {40, 8}, {35, 8}, {35, 14}, {29, 14}, {29, 8}, {24, 8}};
  p.drawPolygon(arrow, 7);
  return image;
}

struct Picture {
  QString name;
  std::function<QImage()> draw;
};

QList<Picture> AllPictures() {
  QList<Picture> pictures;
  const struct {
    const char* name;
    int width;
  } buttons[] = {{"BACK", 75}, {"NEXT", 75}, {"EXIT", 75}, {"PROGRAM", 112}};
  for (const auto& button : buttons) {
    for (const char state : {'U', 'D', 'X'}) {
      const QString key = QString::fromLatin1(button.name);
      const int width = button.width;
      pictures.append({key + QLatin1Char(state), [key, width, state] {
                         return DrawButton(g_captions.value(key), width, 23, QLatin1Char(state));
                       }});
    }
  }
  pictures.append({"129", [] { return DrawModel(g_captions.value("129"), true); }});
  pictures.append({"131", [] { return DrawModel(g_captions.value("131"), false); }});
  pictures.append({"142", DrawLogo});
  pictures.append({"134", DrawDriveRemovable});
  pictures.append({"135", DrawDriveCdrom});
  pictures.append({"138", DrawDriveFixed});
  pictures.append({"140", [] { return DrawFolder(false); }});
  pictures.append({"141", [] { return DrawFolder(true); }});
  pictures.append({"158", DrawIcon});
  return pictures;
}

// The 16 colours of the classic palette; the drive and folder pictures keep to them.
QImage SixteenColours(const QImage& picture) {
  static const QRgb kPalette[16] = {
      qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
      qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
      qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
      qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
  QImage indexed(picture.size(), QImage::Format_Indexed8);
  indexed.setColorTable(QList<QRgb>(std::begin(kPalette), std::end(kPalette)));
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) {
      const QRgb pixel = picture.pixel(x, y);
      // Mostly transparent pixels take the transparent colour, the rest the nearest.
      int best = 1;
      if (qAlpha(pixel) >= 128) {
        int bestDistance = 1 << 30;
        for (int i = 0; i < 16; ++i) {
          if (i == 1) continue;  // the transparent colour is never a picture's own
          const int dr = qRed(pixel) - qRed(kPalette[i]);
          const int dg = qGreen(pixel) - qGreen(kPalette[i]);
          const int db = qBlue(pixel) - qBlue(kPalette[i]);
          const int distance = dr * dr + dg * dg + db * db;
          if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
          }
        }
      }
      indexed.setPixel(x, y, static_cast<uint>(best));
    }
  }
  return indexed;
}

// An icon file holding the picture at 48, 32 and 16 pixels, each 32-bit with alpha.
bool WriteIcon(const QImage& picture, const QString& path) {
  const int sizes[] = {48, 32, 16};
  QList<QByteArray> images;
  for (const int size : sizes) {
    const QImage scaled = picture.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                              .convertToFormat(QImage::Format_ARGB32);
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    // BITMAPINFOHEADER; the height counts the colour rows and the mask's rows.
    out << quint32(40) << qint32(size) << qint32(size * 2) << quint16(1) << quint16(32)
        << quint32(0) << quint32(0) << qint32(0) << qint32(0) << quint32(0) << quint32(0);
    for (int y = size - 1; y >= 0; --y) {
      for (int x = 0; x < size; ++x) out << quint32(scaled.pixel(x, y));
    }
    const int maskRow = ((size + 31) / 32) * 4;
    for (int i = 0; i < maskRow * size; ++i) out << quint8(0);  // alpha decides
    images.append(data);
  }
  QByteArray file;
  QDataStream out(&file, QIODevice::WriteOnly);
  out.setByteOrder(QDataStream::LittleEndian);
  out << quint16(0) << quint16(1) << quint16(images.size());
  quint32 offset = 6 + 16 * static_cast<quint32>(images.size());
  for (int i = 0; i < images.size(); ++i) {
    out << quint8(sizes[i]) << quint8(sizes[i]) << quint8(0) << quint8(0) << quint16(1)
        << quint16(32) << quint32(images[i].size()) << offset;
    offset += static_cast<quint32>(images[i].size());
  }
  for (const QByteArray& image : images) file.append(image);
  QFile stream(path);
  return stream.open(QIODevice::WriteOnly) && stream.write(file) == file.size();
}

// The picture as the resource compiler takes it.
bool WriteForWindows(const QString& name, const QImage& picture, const QString& outDir) {
  if (name == QLatin1String("158")) return WriteIcon(picture, outDir + QLatin1String("/158.ico"));
  const QString path = outDir + QLatin1Char('/') + name + QLatin1String(".bmp");
  if (picture.width() == 16 && picture.height() == 16) return SixteenColours(picture).save(path, "BMP");
  return picture.convertToFormat(QImage::Format_RGB888).save(path, "BMP");
}

int Usage() {
  std::fprintf(stderr,
               "usage: zerviko-draw-pictures OUTDIR [--bmp] [--only NAME[,NAME...]] [KEY=CAPTION ...]\n"
               "KEY: BACK NEXT EXIT PROGRAM 129 131\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Drawing needs fonts but no display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);

  QStringList args = QCoreApplication::arguments().mid(1);
  if (args.isEmpty() || args.first().startsWith(QLatin1Char('-'))) return Usage();
  const QString outDir = args.takeFirst();
  QSet<QString> only;
  bool forWindows = false;
  while (!args.isEmpty()) {
    const QString arg = args.takeFirst();
    if (arg == QLatin1String("--bmp")) {
      forWindows = true;
      continue;
    }
    if (arg == QLatin1String("--only")) {
      if (args.isEmpty()) return Usage();
      for (const QString& name : args.takeFirst().split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        only.insert(name);
      }
      continue;
    }
    const qsizetype equals = arg.indexOf(QLatin1Char('='));
    if (equals <= 0 || !g_captions.contains(arg.left(equals))) {
      std::fprintf(stderr, "zerviko-draw-pictures: unknown caption '%s'\n", qPrintable(arg));
      return Usage();
    }
    g_captions[arg.left(equals)] = arg.mid(equals + 1);
  }

  if (!QDir().mkpath(outDir)) {
    std::fprintf(stderr, "zerviko-draw-pictures: cannot create %s\n", qPrintable(outDir));
    return 1;
  }
  int drawn = 0;
  for (const Picture& picture : AllPictures()) {
    if (!only.isEmpty() && !only.contains(picture.name)) continue;
    const QString path = outDir + QLatin1Char('/') + picture.name + QLatin1String(".png");
    const bool written = forWindows ? WriteForWindows(picture.name, picture.draw(), outDir)
                                    : picture.draw().save(path, "PNG");
    if (!written) {
      std::fprintf(stderr, "zerviko-draw-pictures: cannot write the picture %s in %s\n",
                   qPrintable(picture.name), qPrintable(outDir));
      return 1;
    }
    ++drawn;
  }
  if (!only.isEmpty() && drawn != only.size()) {
    std::fprintf(stderr, "zerviko-draw-pictures: unknown picture name in --only\n");
    return 2;
  }
  return 0;
}

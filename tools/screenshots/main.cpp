// zerviko-screenshots: walks the wizard through its three pages under a real X server
// and saves what a person would see at each step, for the documentation.
//
//   zerviko-screenshots --program-dir DIR --out DIR [--prefix NAME] [--no-run]
//
// DIR is a program folder (the wizard's "Firmware Files", kernel files and an optional
// "Resources" language pack). The port list comes from the machine, so start the
// virtual printer and name it in ZERVIKO_BRIDGE_PORT first; scripts/screenshots.sh does
// all of that.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>

#include "ui/qt/LoaderApp.h"
#include "ui/qt/MainDlg.h"
#include "ui/qt/MessageBox.h"
#include "ui/qt/MessageDialog.h"
#include "ui/qt/StringTable.h"

namespace {

// Lets the X server and the window draw for a while.
void Settle(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// A wizard has few colours of its own, and anti-aliased text adds some hundreds of
// shades; the 256 most frequent colours are kept exactly (the grey, the navy, the
// pictures') and every other pixel takes the nearest of them, so that the files stay
// small without the wizard's colours drifting as they would in a fixed palette.
QImage WithFewColours(const QImage& shot) {
  const QImage rgb = shot.convertToFormat(QImage::Format_RGB32);
  QHash<QRgb, qsizetype> counts;
  for (int y = 0; y < rgb.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    for (int x = 0; x < rgb.width(); ++x) ++counts[line[x] | 0xFF000000u];
  }
  QList<QRgb> colours = counts.keys();
  std::sort(colours.begin(), colours.end(), [&counts](QRgb a, QRgb b) {
    return counts[a] != counts[b] ? counts[a] > counts[b] : a < b;
  });
  if (colours.size() > 256) colours.resize(256);
  QHash<QRgb, int> index;
  for (int i = 0; i < colours.size(); ++i) index.insert(colours[i], i);
  const auto nearest = [&colours](QRgb c) {
    int best = 0;
    int bestDistance = std::numeric_limits<int>::max();
    for (int i = 0; i < colours.size(); ++i) {
      const int dr = qRed(c) - qRed(colours[i]);
      const int dg = qGreen(c) - qGreen(colours[i]);
      const int db = qBlue(c) - qBlue(colours[i]);
      const int distance = dr * dr + dg * dg + db * db;
      if (distance < bestDistance) {
        bestDistance = distance;
        best = i;
      }
    }
    return best;
  };
  QImage indexed(rgb.size(), QImage::Format_Indexed8);
  indexed.setColorTable(colours);
  for (int y = 0; y < rgb.height(); ++y) {
    const auto* in = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    uchar* out = indexed.scanLine(y);
    for (int x = 0; x < rgb.width(); ++x) {
      const QRgb c = in[x] | 0xFF000000u;
      auto found = index.constFind(c);
      if (found == index.constEnd()) found = index.insert(c, nearest(c));
      out[x] = static_cast<uchar>(*found);
    }
  }
  return indexed;
}

// What is on the screen inside rect, as the X server has it (not as the widget would
// render itself): fonts, pictures and other windows on top included.
bool Grab(QScreen* screen, const QRect& rect, const QString& path) {
  const QPixmap shot = screen->grabWindow(0, rect.x(), rect.y(), rect.width(), rect.height());
  const QImage image = WithFewColours(shot.toImage());
  if (!image.save(path, "PNG", 9)) {
    std::fprintf(stderr, "zerviko-screenshots: cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  std::fflush(stdout);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Screenshots of the ZERVIKO wizard's pages"));
  parser.addHelpOption();
  const QCommandLineOption programDirOption(QStringLiteral("program-dir"),
                                            QStringLiteral("program folder to show"),
                                            QStringLiteral("DIR"));
  const QCommandLineOption outOption(QStringLiteral("out"),
                                     QStringLiteral("folder for the pictures"),
                                     QStringLiteral("DIR"));
  const QCommandLineOption prefixOption(
      QStringLiteral("prefix"), QStringLiteral("start of the picture names (default: wizard)"),
      QStringLiteral("NAME"), QStringLiteral("wizard"));
  const QCommandLineOption noRunOption(
      QStringLiteral("no-run"), QStringLiteral("leave out the picture of a programming run"));
  parser.addOptions({programDirOption, outOption, prefixOption, noRunOption});
  parser.process(app);
  if (!parser.isSet(programDirOption) || !parser.isSet(outOption)) {
    std::fprintf(stderr, "zerviko-screenshots: --program-dir and --out are required\n");
    return 2;
  }
  QString programDir = QDir(parser.value(programDirOption)).absolutePath();
  if (!programDir.endsWith(QLatin1Char('/'))) programDir += QLatin1Char('/');
  const QDir outDir(parser.value(outOption));
  const QString prefix = parser.value(prefixOption);
  if (!QDir().mkpath(outDir.path())) {
    std::fprintf(stderr, "zerviko-screenshots: cannot create %s\n", qPrintable(outDir.path()));
    return 2;
  }

  // The same start-up as the program's: the first pack in the folder's Resources (and
  // only there: a pack of the user's own never slips into the pictures).
  int language = LANGUAGE_ENGLISH;
  const std::unique_ptr<CLanguagePack> pack =
      LoadLanguageResources({programDir + QStringLiteral("Resources/")}, language);

  // Message boxes would wait for a person; they are reported instead, and any of them
  // before the end of the run means the pictures do not show what they should.
  QStringList messages;
  SetMessageBoxHandler([&messages](const MessageBoxRequest& request) {
    std::fprintf(stderr, "message box \"%s\": %s\n", qUtf8Printable(request.caption),
                 qUtf8Printable(request.text));
    messages.append(request.caption);
  });

  CMainDlg dialog(nullptr);
  dialog.m_strAppDir = programDir.toStdString();
  dialog.m_nLanguage = language;
  dialog.OnInitDialog();
  QScreen* screen = QGuiApplication::primaryScreen();
  // Centred, as a window manager would place it; the busy window, centred on the
  // screen too, then stands over the wizard.
  QRect frame(QPoint(0, 0), dialog.size());
  frame.moveCenter(screen->geometry().center());
  dialog.move(frame.topLeft());
  dialog.show();
  dialog.raise();
  dialog.activateWindow();
  Settle(800);

  const auto shot = [&](const QString& name) {
    Settle(300);
    return Grab(screen, dialog.frameGeometry(),
                outDir.filePath(prefix + name + QStringLiteral(".png")));
  };

  // Page 1: the ABC layout model and the pre-selected virtual printer.
  auto* ports = dialog.m_pagePort.PortListBox();
  if (ports->currentRow() < 0) {
    std::fprintf(stderr, "zerviko-screenshots: no port is pre-selected (ZERVIKO_BRIDGE_PORT?)\n");
    return 1;
  }
  if (!shot(QStringLiteral("-1-model-port"))) return 1;

  // Page 2: the file chooser in "Firmware Files", the first sample selected.
  dialog.OnNext();
  Settle(300);
  if (dialog.m_nCurPage != 1) return 1;
  auto* files = dialog.m_pageFile.findChild<QListWidget*>(QStringLiteral("fileList"));
  if (files == nullptr || files->count() == 0) {
    std::fprintf(stderr, "zerviko-screenshots: the file chooser lists no package\n");
    return 1;
  }
  files->setCurrentRow(0);
  if (!shot(QStringLiteral("-2-file"))) return 1;

  // Page 3: the programming page with the package's texts.
  dialog.OnNext();
  if (dialog.m_nCurPage != 2) return 1;
  if (!shot(QStringLiteral("-3-program"))) return 1;

  if (!parser.isSet(noRunOption)) {
    // Page 3 during a run: taken from a timer while the Program handler runs its own
    // loop, once the bar is well under way and the busy window is drawn.
    auto* progress = dialog.m_pageProgram.findChild<QProgressBar*>(QStringLiteral("progress"));
    auto* program = dialog.m_pageProgram.findChild<QPushButton*>(QStringLiteral("program"));
    if (progress == nullptr || program == nullptr) return 1;
    bool taken = false;
    bool ok = true;
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (taken || progress->value() < 30 || progress->value() > 70) return;
      auto* busy = dialog.m_pageProgram.findChild<CMessageDialog*>();
      if (busy == nullptr || !busy->isVisible()) return;
      taken = true;
      poll.stop();
      Settle(300);
      ok = Grab(screen, dialog.frameGeometry().united(busy->frameGeometry()),
                outDir.filePath(prefix + QStringLiteral("-4-running.png")));
    });
    poll.start();
    QElapsedTimer clock;
    clock.start();
    program->click();  // returns when the run is over
    std::fprintf(stderr, "run: %lld ms\n", static_cast<long long>(clock.elapsed()));
    if (!taken) {
      std::fprintf(stderr, "zerviko-screenshots: the run ended before a picture was taken\n");
      return 1;
    }
    if (!ok) return 1;
  }
  // A run ends with "Success" and nothing else; no message at all before it.
  const QStringList expected = parser.isSet(noRunOption)
                                   ? QStringList()
                                   : QStringList{TableString(IDS_CAPTION_SUCCESS)};
  return messages == expected ? 0 : 1;
}

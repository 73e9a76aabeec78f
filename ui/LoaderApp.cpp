#include "ui/LoaderApp.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QResource>
#include <QTimer>
#include <QTranslator>
#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

#include "files/UserFolders.h"
#include "ui/MainDlg.h"
#include "ui/WizardPage.h"

namespace {

struct PackEnding {
  const char* ending;
  int language;
};

// Compared in this order; the first equal ending decides.
constexpr std::array<PackEnding, 4> kPackEndings{{
    {"FRA.rcc", LANGUAGE_FRENCH},
    {"DEU.rcc", LANGUAGE_GERMAN},
    {"PTB.rcc", LANGUAGE_PORTUGUESE},
    {"ESP.rcc", LANGUAGE_SPANISH},
}};

}  // namespace

int LanguageFromPackName(const QString& fileName) {
  const QString ending = fileName.right(7);
  for (const PackEnding& pack : kPackEndings) {
    if (ending.compare(QLatin1String(pack.ending), Qt::CaseInsensitive) == 0) {
      return pack.language;
    }
  }
  return LANGUAGE_ENGLISH;
}

CLanguagePack::CLanguagePack(QString path) : m_strPath(std::move(path)) {}

CLanguagePack::~CLanguagePack() {
  if (m_pTranslator) {
    QCoreApplication::removeTranslator(m_pTranslator.get());
  }
  QResource::unregisterResource(m_strPath, QLatin1String(kLanguagePackRoot));
}

std::unique_ptr<CLanguagePack> LoadLanguageResources(const QStringList& resourcesDirs,
                                                     int& language) {
  language = LANGUAGE_ENGLISH;
  // Packs are matched without regard to letter case ("zerviko_esp.RCC" is one) and
  // ordered by their bytes, so the choice does not depend on the user's locale.
  QDir folder;
  QStringList packs;
  for (const QString& resourcesDir : resourcesDirs) {
    if (resourcesDir.isEmpty()) continue;
    folder.setPath(resourcesDir);
    for (const QFileInfo& entry : folder.entryInfoList(QDir::Files | QDir::Hidden)) {
      if (entry.fileName().endsWith(QLatin1String(".rcc"), Qt::CaseInsensitive)) {
        packs.append(entry.fileName());
      }
    }
    if (!packs.isEmpty()) break;
  }
  if (packs.isEmpty()) {
    return nullptr;
  }
  std::sort(packs.begin(), packs.end(), [](const QString& a, const QString& b) {
    return a.toUtf8() < b.toUtf8();
  });
  const QString name = packs.front();
  language = LanguageFromPackName(name);

  // A pack is data only: registering it maps its files into the resource tree, and
  // nothing in it is ever run. One that is not a resource bundle leaves the
  // interface in English while the language index still follows its name.
  const QString path = folder.absoluteFilePath(name);
  if (!QResource::registerResource(path, QLatin1String(kLanguagePackRoot))) {
    return nullptr;
  }
  std::unique_ptr<CLanguagePack> pack(new CLanguagePack(path));
  auto translator = std::make_unique<QTranslator>();
  if (translator->load(QLatin1String(kLanguagePackTranslations)) &&
      QCoreApplication::installTranslator(translator.get())) {
    pack->m_pTranslator = std::move(translator);
  }
  return pack;
}

QStringList LanguagePackFolders() {
  // The program's own folder, wherever it was started from: a launcher symlink on the
  // PATH still leads to the real program folder.
  QStringList folders;
  const QString program = ProgramFolder();
  if (program.isEmpty()) return folders;
  const std::string programFolder = QFile::encodeName(program).toStdString();
  for (const std::string& folder : zerviko::LanguagePackFolders(programFolder)) {
    folders.append(QFile::decodeName(QByteArray::fromStdString(folder)));
  }
  return folders;
}

CLoaderApp::CLoaderApp(int& argc, char** argv) : QApplication(argc, argv) {
  // Lets the desktop match the window to the installed desktop entry and its icon.
  setDesktopFileName(QStringLiteral("zerviko-loader"));
}

CLoaderApp::~CLoaderApp() = default;

bool CLoaderApp::InitInstance() {
  int language = LANGUAGE_ENGLISH;
  m_pLanguagePack = LoadLanguageResources(LanguagePackFolders(), language);

  CMainDlg dialog(nullptr);
  dialog.m_nLanguage = language;

  // Opt-in for install checks and demos: quit by itself after the given number of
  // milliseconds and say what it found. A quit in the middle of a run waits for the
  // run's end, and a message box open at that moment closes with the wizard.
  bool timed = false;
  const int quitAfterMs = qEnvironmentVariableIntValue("ZERVIKO_LOADER_QUIT_AFTER_MS", &timed);
  if (timed && quitAfterMs >= 0) {
    QTimer::singleShot(quitAfterMs, &dialog, [] { QCoreApplication::exit(0); });
  }

  dialog.exec();

  if (timed) {
    std::printf("program folder: %s\nlanguage: %d\npack: %s\ntitle: %s\n",
                qUtf8Printable(dialog.m_strAppDir), dialog.m_nLanguage,
                m_pLanguagePack ? qUtf8Printable(m_pLanguagePack->Path()) : "none",
                qUtf8Printable(dialog.windowTitle()));
    std::fflush(stdout);
  }
  return false;
}

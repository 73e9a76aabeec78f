#include "ui/qt/LoaderApp.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QResource>
#include <QTimer>
#include <QTranslator>
#include <cstdio>
#include <utility>

#include "files/UserFolders.h"
#include "ui/qt/MainDlg.h"
#include "ui/qt/WizardPage.h"
#include "wizard/Language.h"

int LanguageFromPackName(const QString& fileName) {
  return zerviko::wizard::LanguageFromPackName(LocalName(fileName), ".rcc");
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
  std::vector<std::string> folders;
  for (const QString& resourcesDir : resourcesDirs) {
    if (!resourcesDir.isEmpty()) folders.push_back(LocalName(QDir(resourcesDir).absolutePath() + '/'));
  }
  const std::string found = zerviko::wizard::FindLanguagePack(folders, ".rcc");
  if (found.empty()) {
    return nullptr;
  }
  const QString path = FromLocal(found);
  language = LanguageFromPackName(QFileInfo(path).fileName());

  // A pack is data only: registering it maps its files into the resource tree, and
  // nothing in it is ever run. One that is not a resource bundle leaves the
  // interface in English while the language index still follows its name.
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
                dialog.m_strAppDir.c_str(), dialog.m_nLanguage,
                m_pLanguagePack ? qUtf8Printable(m_pLanguagePack->Path()) : "none",
                qUtf8Printable(dialog.windowTitle()));
    std::fflush(stdout);
  }
  return false;
}

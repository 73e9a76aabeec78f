#include "ui/qt/LoaderApp.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QResource>
#include <QTimer>
#include <QTranslator>
#include <cstdio>
#include <utility>

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

std::unique_ptr<CLanguagePack> LoadLanguageResources(const QString& resourcesDir,
                                                     int& language) {
  language = LANGUAGE_ENGLISH;
  if (resourcesDir.isEmpty()) {
    return nullptr;
  }
  // Packs are matched without regard to letter case ("zerviko_esp.RCC" is one) and
  // ordered by their bytes, so the choice does not depend on the user's locale.
  const std::string found = zerviko::wizard::FindLanguagePack({LocalName(QDir(resourcesDir).absolutePath() + '/')}, ".rcc");
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

QString ProgramResourcesFolder() {
  // The program's own folder, wherever it was started from: a launcher symlink on the
  // PATH still leads to the real program folder.
  const QString folder = ProgramFolder();
  if (folder.isEmpty()) {
    return {};
  }
  return folder + QLatin1String("Resources/");
}

CLoaderApp::CLoaderApp(int& argc, char** argv) : QApplication(argc, argv) {
  // Lets the desktop match the window to the installed desktop entry and its icon.
  setDesktopFileName(QStringLiteral("zerviko-loader"));
}

CLoaderApp::~CLoaderApp() = default;

bool CLoaderApp::InitInstance() {
  int language = LANGUAGE_ENGLISH;
  m_pLanguagePack = LoadLanguageResources(ProgramResourcesFolder(), language);

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

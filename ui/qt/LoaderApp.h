// Start-up of the wizard: the language pack, then the main dialog.
#pragma once

#include <QApplication>
#include <QString>
#include <memory>

#include "wizard/WizardState.h"

class QTranslator;

// Language index handed to the main dialog and from there to every package read.
using zerviko::wizard::LANGUAGE_ENGLISH;
using zerviko::wizard::LANGUAGE_FRENCH;
using zerviko::wizard::LANGUAGE_GERMAN;
using zerviko::wizard::LANGUAGE_PORTUGUESE;
using zerviko::wizard::LANGUAGE_SPANISH;

// Where the translated texts and pictures of a registered pack appear. The pack's own
// tree is mapped below this root, so a pack can add to the program's resources but
// never shadow them by accident.
inline constexpr const char* kLanguagePackRoot = "/lang";
// The compiled translations inside a pack.
inline constexpr const char* kLanguagePackTranslations = ":/lang/zerviko.qm";

// A language pack made the source of the interface's texts and pictures. It stays in
// force while the object lives; destroying it puts the program's own English
// resources back (the program keeps it until it ends; tests load several in turn).
class CLanguagePack {
 public:
  ~CLanguagePack();
  CLanguagePack(const CLanguagePack&) = delete;
  CLanguagePack& operator=(const CLanguagePack&) = delete;

  // The bundle's full path.
  const QString& Path() const { return m_strPath; }
  // Whether the bundle carried translations that are now installed.
  bool HasTranslations() const { return m_pTranslator != nullptr; }

 private:
  friend std::unique_ptr<CLanguagePack> LoadLanguageResources(const QStringList& resourcesDirs,
                                                              int& language);
  explicit CLanguagePack(QString path);

  QString m_strPath;
  std::unique_ptr<QTranslator> m_pTranslator;
};

// The language index a pack's file name stands for: its last seven characters,
// letter case ignored, "FRA.rcc" 1, "DEU.rcc" 2, "PTB.rcc" 3, "ESP.rcc" 4, else 0.
int LanguageFromPackName(const QString& fileName);

// Looks for language packs ("*.rcc", letter case ignored) in each of resourcesDirs in
// turn; the first folder that holds one decides: its first pack in name order becomes
// the source of the interface's resources. `language` follows the pack's name even
// when the pack cannot be loaded. Returns the loaded pack, or nothing: no folder, no
// pack, or a pack that is not a resource bundle (the interface then stays English).
// Needs the application object.
std::unique_ptr<CLanguagePack> LoadLanguageResources(const QStringList& resourcesDirs,
                                                     int& language);

// Where start-up looks for language packs: the user's own "Resources", then the one
// beside the running program.
QStringList LanguagePackFolders();

// The application object: chooses the language, then runs the wizard's main dialog.
class CLoaderApp : public QApplication {
 public:
  CLoaderApp(int& argc, char** argv);
  ~CLoaderApp() override;

  // The whole start-up and the wizard's life. Returns false: the program then ends.
  bool InitInstance();

 private:
  std::unique_ptr<CLanguagePack> m_pLanguagePack;
};

// Which language pack start-up takes from the "Resources" folder, the language index
// its name gives, and what the interface then shows.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <string>

#include "LanguageTestPaths.h"
#include "package/FirmwarePackage.h"
#include "ui/LoaderApp.h"
#include "ui/Pictures.h"
#include "ui/StringTable.h"

namespace {

class LanguageChoiceTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

  QString Resources() const { return m_dir.filePath(QStringLiteral("Resources")); }

  // A shipped pack copied into Resources under another name.
  void AddPack(const char* shipped, const QString& name) {
    ASSERT_TRUE(QDir().mkpath(Resources()));
    const QString from = QDir(QString::fromUtf8(kLanguagesDir)).filePath(QLatin1String(shipped));
    ASSERT_TRUE(QFile::exists(from)) << from.toStdString();
    ASSERT_TRUE(QFile::copy(from, QDir(Resources()).filePath(name)));
  }

  void AddFile(const QString& name, const QByteArray& content) {
    ASSERT_TRUE(QDir().mkpath(Resources()));
    QFile file(QDir(Resources()).filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(content), content.size());
  }

  QTemporaryDir m_dir;
};

const QString kEnglishTitle = QStringLiteral("Tarno ZERVIKO Firmware Loader");

TEST(LanguageFromPackName, LastSevenCharactersDecideWithoutRegardToCase) {
  EXPECT_EQ(LanguageFromPackName(QStringLiteral("FRA.rcc")), LANGUAGE_FRENCH);
  EXPECT_EQ(LanguageFromPackName(QStringLiteral("loaderDEU.rcc")), LANGUAGE_GERMAN);
  EXPECT_EQ(LanguageFromPackName(QStringLiteral("ptb.RCC")), LANGUAGE_PORTUGUESE);
  EXPECT_EQ(LanguageFromPackName(QStringLiteral("zerviko_esp.RCC")), LANGUAGE_SPANISH);
  EXPECT_EQ(LanguageFromPackName(QStringLiteral("ITA.rcc")), LANGUAGE_ENGLISH);
  EXPECT_EQ(LanguageFromPackName(QStringLiteral("FRA.dll")), LANGUAGE_ENGLISH);
  EXPECT_EQ(LanguageFromPackName(QStringLiteral("FRA.rcc.old")), LANGUAGE_ENGLISH);
  EXPECT_EQ(LanguageFromPackName(QStringLiteral("RA.rcc")), LANGUAGE_ENGLISH);
  EXPECT_EQ(LanguageFromPackName(QString()), LANGUAGE_ENGLISH);
}

TEST_F(LanguageChoiceTest, NoResourcesFolderMeansEnglish) {
  int language = -1;
  EXPECT_EQ(LoadLanguageResources(Resources(), language), nullptr);
  EXPECT_EQ(language, LANGUAGE_ENGLISH);
  EXPECT_EQ(TableString(IDS_APP_TITLE), kEnglishTitle);
  EXPECT_EQ(PicturePath(QStringLiteral("BACKU")), QStringLiteral(":/pictures/BACKU.png"));
}

TEST_F(LanguageChoiceTest, EmptyFolderOrNoPackMeansEnglish) {
  ASSERT_TRUE(QDir().mkpath(Resources()));
  int language = -1;
  EXPECT_EQ(LoadLanguageResources(Resources(), language), nullptr);
  EXPECT_EQ(language, LANGUAGE_ENGLISH);

  // Only bundles count: a library of the old platform, other files and a folder
  // that happens to carry the ending are passed over.
  AddFile(QStringLiteral("FRA.dll"), "MZ");
  AddFile(QStringLiteral("readme.txt"), "text");
  ASSERT_TRUE(QDir(Resources()).mkdir(QStringLiteral("DEU.rcc")));
  language = -1;
  EXPECT_EQ(LoadLanguageResources(Resources(), language), nullptr);
  EXPECT_EQ(language, LANGUAGE_ENGLISH);
  EXPECT_EQ(TableString(IDS_APP_TITLE), kEnglishTitle);
}

TEST_F(LanguageChoiceTest, LongerNameEndingInOtherLetterCaseIsSpanish) {
  AddPack("ESP.rcc", QStringLiteral("zerviko_esp.RCC"));
  int language = -1;
  auto pack = LoadLanguageResources(Resources(), language);
  ASSERT_NE(pack, nullptr);
  EXPECT_EQ(language, LANGUAGE_SPANISH);
  EXPECT_TRUE(pack->HasTranslations());
  EXPECT_EQ(TableString(IDS_APP_TITLE), QStringLiteral("Cargador de firmware Tarno ZERVIKO"));
}

TEST_F(LanguageChoiceTest, FirstPackInNameOrderIsTheOnlyOneUsed) {
  // Written in the other order, so that the folder's own order cannot pass for it.
  AddPack("FRA.rcc", QStringLiteral("b_FRA.rcc"));
  AddPack("DEU.rcc", QStringLiteral("a_DEU.rcc"));
  int language = -1;
  auto pack = LoadLanguageResources(Resources(), language);
  ASSERT_NE(pack, nullptr);
  EXPECT_EQ(language, LANGUAGE_GERMAN);
  EXPECT_EQ(QFileInfo(pack->Path()).fileName(), QStringLiteral("a_DEU.rcc"));
  EXPECT_EQ(TableString(IDS_CAPTION_ERROR), QStringLiteral("Fehler"));
}

TEST_F(LanguageChoiceTest, PackThatCannotBeLoadedLeavesEnglishButIndexFollowsName) {
  AddFile(QStringLiteral("PTB.rcc"), QByteArray("this is not a resource bundle\n").repeated(20));
  int language = -1;
  EXPECT_EQ(LoadLanguageResources(Resources(), language), nullptr);
  EXPECT_EQ(language, LANGUAGE_PORTUGUESE);
  EXPECT_EQ(TableString(IDS_APP_TITLE), kEnglishTitle);
  EXPECT_EQ(PicturePath(QStringLiteral("NEXTU")), QStringLiteral(":/pictures/NEXTU.png"));
}

TEST_F(LanguageChoiceTest, TruncatedPackIsRefused) {
  QFile shipped(QDir(QString::fromUtf8(kLanguagesDir)).filePath(QStringLiteral("DEU.rcc")));
  ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
  AddFile(QStringLiteral("DEU.rcc"), shipped.read(24));
  int language = -1;
  EXPECT_EQ(LoadLanguageResources(Resources(), language), nullptr);
  EXPECT_EQ(language, LANGUAGE_GERMAN);
  EXPECT_EQ(TableString(IDS_APP_TITLE), kEnglishTitle);
}

TEST_F(LanguageChoiceTest, PackWithAnotherNameIsUsedWithEnglishPackageTexts) {
  AddPack("FRA.rcc", QStringLiteral("custom.rcc"));
  int language = -1;
  auto pack = LoadLanguageResources(Resources(), language);
  ASSERT_NE(pack, nullptr);
  EXPECT_EQ(language, LANGUAGE_ENGLISH);
  EXPECT_EQ(TableString(IDS_SELECT_PORT), QStringLiteral("Sélectionnez un port"));
}

TEST_F(LanguageChoiceTest, LinkToAShippedPackIsFollowed) {
  ASSERT_TRUE(QDir().mkpath(Resources()));
  const QString target = QDir(QString::fromUtf8(kLanguagesDir)).filePath(QStringLiteral("PTB.rcc"));
  ASSERT_TRUE(QFile::link(target, QDir(Resources()).filePath(QStringLiteral("PTB.rcc"))));
  int language = -1;
  auto pack = LoadLanguageResources(Resources(), language);
  ASSERT_NE(pack, nullptr);
  EXPECT_EQ(language, LANGUAGE_PORTUGUESE);
  EXPECT_EQ(TableString(IDS_CAPTION_SUCCESS), QStringLiteral("Sucesso"));
}

TEST_F(LanguageChoiceTest, FrenchPackGivesFrenchInterfaceAndSpanishPackageTexts) {
  AddPack("FRA.rcc", QStringLiteral("FRA.rcc"));
  int language = -1;
  auto pack = LoadLanguageResources(Resources(), language);
  ASSERT_NE(pack, nullptr);
  EXPECT_EQ(language, LANGUAGE_FRENCH);

  EXPECT_EQ(TableString(IDS_SELECT_MODEL_AND_PORT),
            QStringLiteral("Sélectionnez le modèle et le port à programmer"));
  EXPECT_EQ(TableString(IDS_FILE_UNUSABLE),
            QStringLiteral("Le fichier sélectionné est inutilisable.\n\n"
                           "Veuillez sélectionner un autre fichier."));
  // The pack's own pictures come first; pictures without words stay the program's.
  EXPECT_EQ(PicturePath(QStringLiteral("BACKU")), QStringLiteral(":/lang/pictures/BACKU.png"));
  EXPECT_EQ(PicturePath(QStringLiteral("129")), QStringLiteral(":/lang/pictures/129.png"));
  EXPECT_EQ(PicturePath(QStringLiteral("140")), QStringLiteral(":/pictures/140.png"));
  EXPECT_FALSE(LoadPicture(QStringLiteral("PROGRAMX")).isNull());

  // The French interface reads the Spanish section of a package.
  ASSERT_EQ(zerviko::ReadFirmwarePackage(kSampleAbcPackage, true, language), zerviko::PACKAGE_OK);
  QFile spanish(QDir(QString::fromUtf8(kSampleAbcTexts)).filePath(QStringLiteral("revision-spanish.txt")));
  ASSERT_TRUE(spanish.open(QIODevice::ReadOnly));
  const std::string firstLine = spanish.readLine().trimmed().toStdString();
  ASSERT_FALSE(firstLine.empty());
  EXPECT_EQ(zerviko::GetPackageRevisionText().substr(0, firstLine.size()), firstLine);
  zerviko::ClearPackage();
}

TEST_F(LanguageChoiceTest, ReleasingThePackRestoresEnglish) {
  AddPack("DEU.rcc", QStringLiteral("DEU.rcc"));
  int language = -1;
  {
    auto pack = LoadLanguageResources(Resources(), language);
    ASSERT_NE(pack, nullptr);
    EXPECT_NE(TableString(IDS_APP_TITLE), kEnglishTitle);
  }
  EXPECT_EQ(TableString(IDS_APP_TITLE), kEnglishTitle);
  EXPECT_EQ(PicturePath(QStringLiteral("EXITU")), QStringLiteral(":/pictures/EXITU.png"));
}

}  // namespace

// The language packs: which one start-up takes from "Resources", the language its name
// gives, and whether each pack translates every text and picture of the wizard.
#include <QProcess>
#include <QTranslator>
#include <QXmlStreamReader>

#include "UiTestSupport.h"
#include "ui/qt/LoaderApp.h"
#include "ui/qt/Pictures.h"
#include "ui/qt/StringTable.h"

namespace {

// The placeholders of a text ("%1", "%d", "%%" ...), in order.
QStringList Markers(const QString& text) {
  QStringList markers;
  for (qsizetype i = text.indexOf('%'); i >= 0; i = text.indexOf('%', i + 2)) markers << text.mid(i, 2);
  return markers;
}
const QString kLanguages = QStringLiteral(ZERVIKO_TEST_LANGUAGES_DIR "/");

// Start-up takes the first pack in name order (letter case ignored, other files passed
// over); the name's last seven characters give the language. Its texts and worded
// pictures replace the program's until it is released; one that cannot be loaded leaves
// English. Files: "=X" a copy of pack X, "/" a folder, else the bytes.
TEST(LanguagePacks, StartUpTakesTheFirstPackInResources) {
  QFile german(kLanguages + "DEU.rcc");
  ASSERT_TRUE(german.open(QIODevice::ReadOnly));
  const struct {
    std::vector<std::pair<QString, QByteArray>> files;
    int language;
    QString taken;
  } rows[] = {{{{"FRA.dll", "MZ"}, {"readme.txt", "text"}, {"DEU.rcc", "/"}}, LANGUAGE_ENGLISH, ""},
              {{{"FRA.rcc", "=FRA.rcc"}}, LANGUAGE_FRENCH, "FRA.rcc"},
              {{{"zerviko_esp.RCC", "=ESP.rcc"}}, LANGUAGE_SPANISH, "zerviko_esp.RCC"},
              {{{"b_FRA.rcc", "=FRA.rcc"}, {"a_DEU.rcc", "=DEU.rcc"}}, LANGUAGE_GERMAN, "a_DEU.rcc"},
              {{{"custom.rcc", "=PTB.rcc"}}, LANGUAGE_ENGLISH, "custom.rcc"},
              {{{"PTB.rcc", QByteArray("not a resource bundle\n").repeated(20)}}, LANGUAGE_PORTUGUESE, ""},
              {{{"DEU.rcc", german.read(24)}}, LANGUAGE_GERMAN, ""},
              // The user's own folder first; beside the program only when it holds no pack.
              {{{"user/readme.txt", "text"}, {"FRA.rcc", "=FRA.rcc"}}, LANGUAGE_FRENCH, "FRA.rcc"},
              {{{"user/zerviko_ESP.rcc", "=ESP.rcc"}, {"a_FRA.rcc", "=FRA.rcc"}}, LANGUAGE_SPANISH, "zerviko_ESP.rcc"},
              {{{"user/PTB.rcc", "not a bundle"}, {"FRA.rcc", "=FRA.rcc"}}, LANGUAGE_PORTUGUESE, ""}};
  for (const auto& row : rows) {
    QTemporaryDir temp;
    const QDir resources(temp.path());
    for (const auto& [name, content] : row.files) {
      QFile file(resources.filePath(name));
      ASSERT_TRUE(QDir().mkpath(QFileInfo(file).path()));
      ASSERT_TRUE(content.startsWith('=') ? QFile::copy(kLanguages + content.mid(1), file.fileName())
                  : content == "/"        ? resources.mkdir(name)
                                          : file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }
    SCOPED_TRACE(row.files.front().first.toStdString());
    int language = -1;
    {
      const auto pack = LoadLanguageResources({resources.filePath("user"), resources.path()}, language);
      EXPECT_EQ(language, row.language);
      EXPECT_EQ(pack ? QFileInfo(pack->Path()).fileName() : QString(), row.taken);
      EXPECT_EQ(pack && pack->HasTranslations(), !row.taken.isEmpty());
      EXPECT_EQ(TableString(IDS_APP_TITLE) != "Tarno ZERVIKO Firmware Loader", !row.taken.isEmpty());
      EXPECT_EQ(PicturePath("BACKU"), row.taken.isEmpty() ? ":/pictures/BACKU.png" : ":/lang/pictures/BACKU.png");
    }
    EXPECT_EQ(TableString(IDS_APP_TITLE), "Tarno ZERVIKO Firmware Loader");
    EXPECT_EQ(PicturePath("BACKU"), ":/pictures/BACKU.png");
  }
}

// Every text lupdate finds in the wizard's code today, and Qt's word on the message
// boxes' button, is translated in every pack, placeholders and paragraph breaks kept;
// every picture with words is drawn anew at the program's size.
TEST(LanguagePacks, EveryPackTranslatesEveryTextAndPictureOfTheWizard) {
  QTemporaryDir temp;
  const QString root = ZERVIKO_TEST_SOURCE_DIR, extracted = temp.filePath("extracted.ts");
  QProcess lupdate;
  lupdate.setProcessChannelMode(QProcess::MergedChannels);
  lupdate.start(ZERVIKO_TEST_LUPDATE,
                {"-silent", "-locations", "none", "-extensions", "cpp,h,ui", "-I", root, root + "/ui", root + "/wizard", "-ts", extracted});
  ASSERT_TRUE(lupdate.waitForFinished(60000) && lupdate.exitCode() == 0) << lupdate.readAll().toStdString();
  struct Text { QByteArray context, source, comment; int n; };
  std::vector<Text> texts{{"QPlatformTheme", "OK", {}, -1}};
  QFile file(extracted);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  QXmlStreamReader xml(&file);
  for (QByteArray context; !xml.atEnd();) {
    if (xml.readNext() != QXmlStreamReader::StartElement) continue;
    if (xml.name() == u"name") context = xml.readElementText().toUtf8();
    if (xml.name() == u"message") texts.push_back({context, {}, {}, xml.attributes().value("numerus") == u"yes" ? 1 : -1});
    if (xml.name() == u"source") texts.back().source = xml.readElementText().toUtf8();
    if (xml.name() == u"comment") texts.back().comment = xml.readElementText().toUtf8();
  }
  ASSERT_GE(texts.size(), 16u);  // the string table alone has fifteen

  for (const char* pack : {"FRA.rcc", "DEU.rcc", "PTB.rcc", "ESP.rcc"}) {
    QTemporaryDir resources;
    int language = 0;
    ASSERT_TRUE(QFile::copy(kLanguages + pack, resources.filePath(pack)));
    const auto loaded = LoadLanguageResources({resources.path()}, language);
    QTranslator translator;
    ASSERT_TRUE(loaded && translator.load(":/lang/zerviko.qm")) << pack;
    for (const Text& text : texts) {
      const QString source = QString::fromUtf8(text.source);
      const QString translated = translator.translate(text.context.constData(), text.source.constData(),
                                                      text.comment.isEmpty() ? nullptr : text.comment.constData(), text.n);
      SCOPED_TRACE(std::string(pack) + " " + text.context.constData() + ": " + text.source.constData());
      EXPECT_FALSE(translated.isEmpty());
      EXPECT_EQ(Markers(translated) << QString::number(translated.count("\n\n")),
                Markers(source) << QString::number(source.count("\n\n")));  // and the paragraph breaks
    }
    for (const char* name : {"BACKU", "BACKD", "BACKX", "NEXTU", "NEXTD", "NEXTX", "EXITU", "EXITD", "EXITX",
                             "PROGRAMU", "PROGRAMD", "PROGRAMX", "129", "131"}) {
      const QImage own(QStringLiteral(":/pictures/%1.png").arg(name)), translated(PicturePath(name));
      EXPECT_TRUE(PicturePath(name).startsWith(":/lang/") && translated.size() == own.size() &&
                  translated.convertToFormat(QImage::Format_RGB32) != own.convertToFormat(QImage::Format_RGB32))
          << pack << " " << name;
    }
  }
}

}  // namespace

// Every pack translates every text of the interface: the texts lupdate finds in the
// wizard's code today, Qt's own texts the wizard shows, and the pictures with words.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QResource>
#include <QTemporaryDir>
#include <QTranslator>
#include <QXmlStreamReader>
#include <algorithm>
#include <vector>

#include "LanguageTestPaths.h"

namespace {

struct Message {
  QString context;
  QString source;
  QString comment;
  QString translation;
  QString type;  // "unfinished", "vanished", "obsolete" or empty
  bool numerus = false;
};

std::vector<Message> ReadTs(const QString& path) {
  std::vector<Message> messages;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    ADD_FAILURE() << "cannot read " << path.toStdString();
    return messages;
  }
  QXmlStreamReader xml(&file);
  QString context;
  Message message;
  while (!xml.atEnd()) {
    xml.readNext();
    if (!xml.isStartElement()) continue;
    const auto name = xml.name();
    if (name == QLatin1String("name")) {
      context = xml.readElementText();
    } else if (name == QLatin1String("message")) {
      message = Message{};
      message.context = context;
      message.numerus = xml.attributes().value(QLatin1String("numerus")) == QLatin1String("yes");
    } else if (name == QLatin1String("source")) {
      message.source = xml.readElementText();
    } else if (name == QLatin1String("comment")) {
      message.comment = xml.readElementText();
    } else if (name == QLatin1String("translation")) {
      message.type = xml.attributes().value(QLatin1String("type")).toString();
      message.translation = xml.readElementText(QXmlStreamReader::IncludeChildElements);
      messages.push_back(message);
    }
  }
  EXPECT_FALSE(xml.hasError()) << path.toStdString() << ": " << xml.errorString().toStdString();
  return messages;
}

// The texts of the interface as lupdate extracts them from the code right now.
std::vector<Message> ExtractFromCode(const QString& folder) {
  const QString ts = QDir(folder).filePath(QStringLiteral("extracted_fr.ts"));
  const QString root = QString::fromUtf8(kProjectSourceDir);
  QProcess lupdate;
  lupdate.setProcessChannelMode(QProcess::MergedChannels);
  lupdate.start(QString::fromUtf8(kLupdate),
                {QStringLiteral("-silent"), QStringLiteral("-locations"), QStringLiteral("none"),
                 QStringLiteral("-extensions"), QStringLiteral("cpp,h,ui"), QStringLiteral("-I"), root,
                 root + QStringLiteral("/ui"), QStringLiteral("-ts"), ts});
  EXPECT_TRUE(lupdate.waitForFinished(60000));
  EXPECT_EQ(lupdate.exitCode(), 0) << lupdate.readAll().toStdString();
  return ReadTs(ts);
}

struct Pack {
  const char* file;
  const char* language;
};
constexpr Pack kPacks[] = {{"FRA.rcc", "fr"}, {"DEU.rcc", "de"}, {"PTB.rcc", "pt"}, {"ESP.rcc", "es"}};

// Pictures with words in them; each pack draws its own.
constexpr const char* kCaptionedPictures[] = {
    "BACKU", "BACKD", "BACKX", "NEXTU", "NEXTD", "NEXTX", "EXITU", "EXITD",
    "EXITX", "PROGRAMU", "PROGRAMD", "PROGRAMX", "129", "131"};

// A pack registered under a root of its own, so that tests never meet the root the
// program uses.
class RegisteredPack {
 public:
  explicit RegisteredPack(const Pack& pack)
      : m_path(QDir(QString::fromUtf8(kLanguagesDir)).filePath(QLatin1String(pack.file))),
        m_root(QStringLiteral("/test_") + QLatin1String(pack.language)) {
    m_registered = QResource::registerResource(m_path, m_root);
    if (m_registered) m_loaded = m_translator.load(QLatin1Char(':') + m_root + QStringLiteral("/zerviko.qm"));
  }
  ~RegisteredPack() {
    if (m_registered) QResource::unregisterResource(m_path, m_root);
  }
  bool Ok() const { return m_registered && m_loaded; }
  const QTranslator& Translator() const { return m_translator; }
  QString Picture(const char* name) const {
    return QLatin1Char(':') + m_root + QStringLiteral("/pictures/") + QLatin1String(name) +
           QStringLiteral(".png");
  }

 private:
  QString m_path;
  QString m_root;
  QTranslator m_translator;
  bool m_registered = false;
  bool m_loaded = false;
};

// The printf conversions and Qt's %1 markers of a text, in order.
QStringList Placeholders(const QString& text) {
  static const QRegularExpression marker(
      QStringLiteral("%(?:%|[1-9][0-9]?|[-+ #0]*[0-9]*(?:\\.[0-9]+)?(?:hh|h|ll|l|L|z|j|t)?[diouxXeEfgGcsp])"));
  QStringList found;
  for (auto it = marker.globalMatch(text); it.hasNext();) found << it.next().captured();
  return found;
}

TEST(LanguagePacks, EveryTextOfTheCodeIsTranslatedInEveryPack) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const std::vector<Message> texts = ExtractFromCode(folder.path());
  // The string table alone has fifteen texts: fewer means the extraction broke.
  ASSERT_GE(texts.size(), 15u);
  ASSERT_TRUE(std::any_of(texts.begin(), texts.end(), [](const Message& m) {
    return m.context == QLatin1String("StringTable") && m.source == QLatin1String("Success");
  }));

  for (const Pack& pack : kPacks) {
    RegisteredPack registered(pack);
    ASSERT_TRUE(registered.Ok()) << pack.file;
    for (const Message& text : texts) {
      const QString translated = registered.Translator().translate(
          text.context.toUtf8().constData(), text.source.toUtf8().constData(),
          text.comment.isEmpty() ? nullptr : text.comment.toUtf8().constData(), text.numerus ? 1 : -1);
      EXPECT_FALSE(translated.isEmpty())
          << pack.file << " has no translation of " << text.context.toStdString() << ": \""
          << text.source.toStdString() << "\"";
    }
    // Qt's own words on the message boxes' button.
    EXPECT_FALSE(registered.Translator().translate("QPlatformTheme", "OK").isEmpty()) << pack.file;
  }
}

TEST(LanguagePacks, TranslationSourcesAreFinishedAndKeepTheirPlaceholders) {
  for (const Pack& pack : kPacks) {
    for (const char* prefix : {"zerviko_", "qtbase_"}) {
      const QString path = QDir(QString::fromUtf8(kTranslationsSourceDir))
                               .filePath(QLatin1String(prefix) + QLatin1String(pack.language) +
                                         QStringLiteral(".ts"));
      const std::vector<Message> messages = ReadTs(path);
      EXPECT_FALSE(messages.empty()) << path.toStdString();
      for (const Message& m : messages) {
        const std::string where = path.toStdString() + ": \"" + m.source.toStdString() + "\"";
        EXPECT_TRUE(m.type.isEmpty()) << where << " is " << m.type.toStdString();
        EXPECT_FALSE(m.translation.trimmed().isEmpty()) << where;
        EXPECT_EQ(Placeholders(m.translation), Placeholders(m.source)) << where;
        // Paragraph breaks of the message boxes are kept.
        EXPECT_EQ(m.translation.count(QStringLiteral("\n\n")), m.source.count(QStringLiteral("\n\n")))
            << where;
      }
    }
  }
}

TEST(LanguagePacks, EveryPictureWithWordsIsDrawnAnewInEveryPack) {
  for (const Pack& pack : kPacks) {
    RegisteredPack registered(pack);
    ASSERT_TRUE(registered.Ok()) << pack.file;
    for (const char* name : kCaptionedPictures) {
      const QImage own(QStringLiteral(":/pictures/") + QLatin1String(name) + QStringLiteral(".png"));
      const QImage translated(registered.Picture(name));
      ASSERT_FALSE(own.isNull()) << name;
      ASSERT_FALSE(translated.isNull()) << pack.file << " lacks the picture " << name;
      EXPECT_EQ(translated.size(), own.size()) << pack.file << " " << name;
      // Another caption changes the picture.
      EXPECT_NE(translated.convertToFormat(QImage::Format_RGB32), own.convertToFormat(QImage::Format_RGB32))
          << pack.file << " " << name << " still shows the English caption";
    }
  }
}

TEST(LanguagePacks, PlaceholderParserSeesPrintfAndQtMarkers) {
  EXPECT_EQ(Placeholders(QStringLiteral("%d %%")), (QStringList{"%d", "%%"}));
  EXPECT_EQ(Placeholders(QStringLiteral("Can't open %s at %1")), (QStringList{"%s", "%1"}));
  EXPECT_TRUE(Placeholders(QStringLiteral("100 percent")).isEmpty());
}

}  // namespace

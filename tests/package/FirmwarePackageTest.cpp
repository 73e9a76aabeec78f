// The package format as the reader parses it: line ends, markers, language choice,
// blocks, and the texts it stores.
#include <climits>

#include "tests/package/PackageTestSupport.h"

namespace zerviko::test {
namespace {

using FormatTest = PackageTest;

struct LanguageCase {
  int index;
  const char* language;
};

void PrintTo(const LanguageCase& c, std::ostream* out) { *out << c.index << " " << c.language; }

class LanguageChoiceTest : public PackageTest, public ::testing::WithParamInterface<LanguageCase> {};

TEST_P(LanguageChoiceTest, ReadsTheSectionOfTheIndex) {
  const LanguageCase& c = GetParam();
  ASSERT_EQ(Read(FullHeader() + "image", false, c.index), PACKAGE_OK);
  EXPECT_EQ(GetPackageRevisionText(), std::string(c.language) + " revision");
  EXPECT_EQ(GetPackageDeviceSetupText(), std::string(c.language) + " setup");
  EXPECT_EQ(StoredImage(), "image");
}

// There is no French section: index 1 (French user interface) reads the Spanish one.
INSTANTIATE_TEST_SUITE_P(Indices, LanguageChoiceTest,
                         ::testing::Values(LanguageCase{0, "English"}, LanguageCase{1, "Spanish"},
                                           LanguageCase{2, "German"}, LanguageCase{3, "Portuguese"},
                                           LanguageCase{4, "Spanish"}, LanguageCase{5, "English"},
                                           LanguageCase{17, "English"}, LanguageCase{-1, "English"},
                                           LanguageCase{INT_MIN, "English"},
                                           LanguageCase{INT_MAX, "English"}),
                         [](const ::testing::TestParamInfo<LanguageCase>& info) {
                           const int index = info.param.index;
                           const std::string name = index == INT_MIN ? "IntMin"
                                                    : index < 0      ? "Minus" + std::to_string(-index)
                                                                     : std::to_string(index);
                           return name + info.param.language;
                         });

TEST_F(FormatTest, SectionsInAnyOrder) {
  const std::string header = Section("SPANISH", "es", "es setup") + Section("GERMAN", "de", "de setup") +
                             Section("ENGLISH", "en", "en setup") +
                             Section("PORTUGUESE", "pt", "pt setup") + "<CODE>\r\n";
  for (auto [index, text] : {std::pair{0, "en"}, {2, "de"}, {3, "pt"}, {4, "es"}}) {
    ASSERT_EQ(Read(header, true, index), PACKAGE_OK) << index;
    EXPECT_EQ(GetPackageRevisionText(), text);
    EXPECT_EQ(GetPackageDeviceSetupText(), std::string(text) + " setup");
  }
}

TEST_F(FormatTest, MissingSectionIsUnusableOnlyInItsLanguage) {
  const std::string header = Section("GERMAN", "de", "de setup") + "<CODE>\r\n";
  EXPECT_EQ(Read(header, true, 0), PACKAGE_UNUSABLE);
  EXPECT_EQ(GetPackageRevisionText(), "");
  EXPECT_EQ(Read(header, true, 2), PACKAGE_OK);
  EXPECT_EQ(GetPackageRevisionText(), "de");
  EXPECT_EQ(Read(header, true, 1), PACKAGE_UNUSABLE);
}

TEST_F(FormatTest, LineEndsCrLfAndLoneLfAreTheSame) {
  std::string lf = FullHeader();
  for (std::size_t at; (at = lf.find("\r\n")) != std::string::npos;) lf.erase(at, 1);
  ASSERT_EQ(Read(lf + "\r\nimage\r\n", false, 0), PACKAGE_OK);
  EXPECT_EQ(GetPackageRevisionText(), "English revision");
  EXPECT_EQ(StoredImage(), "\r\nimage\r\n");

  // Lines are joined by CR LF whatever ended them in the file.
  const std::string mixed = "<LANG_ENGLISH>\n<REVISION>\nV2.14\r\nbuild 7\nnote\r\n<END REVISION>\r\n"
                            "<DEVICE SETUP>\none\ntwo\r\n<END DEVICE SETUP>\n<END LANG_ENGLISH>\n<CODE>\n";
  ASSERT_EQ(Read(mixed + "X", false, 0), PACKAGE_OK);
  EXPECT_EQ(GetPackageRevisionText(), "V2.14\r\nbuild 7\r\nnote");
  EXPECT_EQ(GetPackageDeviceSetupText(), "one\r\ntwo");
  EXPECT_EQ(StoredImage(), "X");
}

TEST_F(FormatTest, LoneCrDoesNotEndALine) {
  // "<END REVISION>" shares its line with text through a lone CR: a marker line.
  const std::string header =
      "<LANG_ENGLISH>\r\n<REVISION>\r\nfirst\rsecond\r\nkept\r<END REVISION>\r\n"
      "<DEVICE SETUP>\r\nsetup\r\r\nnext\r\n<END DEVICE SETUP>\r\n<END LANG_ENGLISH>\r\n";
  ASSERT_EQ(Read(header + "<CODE>\r\n", true, 0), PACKAGE_OK);
  EXPECT_EQ(GetPackageRevisionText(), "first\rsecond");
  // Only the CR right before the LF belongs to the line end.
  EXPECT_EQ(GetPackageDeviceSetupText(), "setup\r\r\nnext");

  // The "<CODE>" line runs on past a lone CR; the image starts after the next LF.
  ASSERT_EQ(Read(header + "<CODE>\r\x01\x02\r\n\x03\x04", false, 0), PACKAGE_OK);
  EXPECT_EQ(StoredImage(), "\x03\x04");
}

TEST_F(FormatTest, MarkersInsideLongerLinesAndTheirOtherTextIsDropped) {
  const std::string header =
      "comment <LANG_ENGLISH> comment\r\nxx<REVISION>yy\r\nV1\r\n--<END REVISION>--\r\n"
      "a <DEVICE SETUP> b\r\nsetup\r\nc <END DEVICE SETUP> d\r\n <END LANG_ENGLISH> \r\n"
      "build 12 <CODE> trailing text\r\n";
  ASSERT_EQ(Read(header + "IMG", false, 0), PACKAGE_OK);
  EXPECT_EQ(GetPackageRevisionText(), "V1");
  EXPECT_EQ(GetPackageDeviceSetupText(), "setup");
  EXPECT_EQ(StoredImage(), "IMG");
}

TEST_F(FormatTest, MarkerCaseMatters) {
  const std::string lower =
      "<LANG_ENGLISH>\r\n<revision>\r\nV1\r\n<end revision>\r\n<DEVICE SETUP>\r\n<Device Setup> x\r\n"
      "<END DEVICE SETUP>\r\n<END LANG_ENGLISH>\r\n<CODE>\r\n";
  EXPECT_EQ(Read(lower, true, 0), PACKAGE_UNUSABLE);
  EXPECT_EQ(GetPackageDeviceSetupText(), "<Device Setup> x");
  EXPECT_EQ(Read("<lang_english>\r\n<REVISION>\r\n<DEVICE SETUP>\r\n<END LANG_ENGLISH>\r\n<CODE>\r\n"),
            PACKAGE_UNUSABLE);
  EXPECT_EQ(Read(Section("ENGLISH", "r", "s") + "<code>\r\n"), PACKAGE_UNUSABLE);
}

TEST_F(FormatTest, TrimsTheEndsAndKeepsInnerEmptyLines) {
  ASSERT_EQ(Read(Section("ENGLISH", "\r\n  2.14.0\r\n\r\nbuild note  \r\n\t", "\v\fsetup\t") + "<CODE>\r\n"),
            PACKAGE_OK);
  EXPECT_EQ(GetPackageRevisionText(), "2.14.0\r\n\r\nbuild note");
  EXPECT_EQ(GetPackageDeviceSetupText(), "setup");

  ASSERT_EQ(Read(Section("ENGLISH", "   ", "") + "<CODE>\r\n"), PACKAGE_OK);
  EXPECT_EQ(GetPackageRevisionText(), "");
  EXPECT_EQ(GetPackageDeviceSetupText(), "");
}

TEST_F(FormatTest, BlockLeftOpenAtSectionEndIsDropped) {
  const std::string header =
      "<LANG_ENGLISH>\r\n<DEVICE SETUP>\r\nsetup\r\n<END DEVICE SETUP>\r\n<REVISION>\r\nlost\r\n"
      "<END LANG_ENGLISH>\r\n<END REVISION>\r\n<CODE>\r\n";
  ASSERT_EQ(Read(header), PACKAGE_OK);
  EXPECT_EQ(GetPackageRevisionText(), "");  // the late end marker is outside the section
  EXPECT_EQ(GetPackageDeviceSetupText(), "setup");

  // Never closed at all: still usable, the text stays empty.
  ASSERT_EQ(Read("<LANG_ENGLISH>\r\n<REVISION>\r\nV1\r\n<DEVICE SETUP>\r\nsetup\r\n<CODE>\r\n"), PACKAGE_OK);
  EXPECT_EQ(GetPackageRevisionText(), "");
  EXPECT_EQ(GetPackageDeviceSetupText(), "");
}

TEST_F(FormatTest, StartMarkerLineOpensNoBlock) {
  // The section's start marker decides its line; a "<REVISION>" on it is not seen.
  EXPECT_EQ(Read("<LANG_ENGLISH> <REVISION>\r\nV1\r\n<END REVISION>\r\n<DEVICE SETUP>\r\ns\r\n"
                 "<END DEVICE SETUP>\r\n<END LANG_ENGLISH>\r\n<CODE>\r\n"),
            PACKAGE_UNUSABLE);
  EXPECT_EQ(GetPackageRevisionText(), "");  // the accumulator held nothing yet
  EXPECT_EQ(GetPackageDeviceSetupText(), "s");
}

TEST_F(FormatTest, RepeatedStartMarkerClosesOpenBlocks) {
  const std::string header =
      "<LANG_ENGLISH>\r\n<REVISION>\r\nr1\r\n<DEVICE SETUP>\r\ns1\r\n<LANG_ENGLISH>\r\nlost\r\n"
      "<END REVISION>\r\n<END DEVICE SETUP>\r\n<END LANG_ENGLISH>\r\n<CODE>\r\n";
  ASSERT_EQ(Read(header), PACKAGE_OK);
  // Both blocks were closed by the second start marker; the end markers still store
  // what the shared accumulator held before it.
  EXPECT_EQ(GetPackageRevisionText(), "s1\r\ns1");
  EXPECT_EQ(GetPackageDeviceSetupText(), "s1\r\ns1");
}

TEST_F(FormatTest, BlocksOfOtherSectionsAndOutsideDoNotCount) {
  const std::string header = "<REVISION>\r\n<DEVICE SETUP>\r\n" + Section("GERMAN", "de", "de setup") +
                             "<LANG_ENGLISH>\r\n<DEVICE SETUP>\r\nen setup\r\n<END DEVICE SETUP>\r\n"
                             "<END LANG_ENGLISH>\r\n<CODE>\r\n";
  EXPECT_EQ(Read(header, true, 0), PACKAGE_UNUSABLE);
  EXPECT_EQ(GetPackageRevisionText(), "");
  EXPECT_EQ(GetPackageDeviceSetupText(), "en setup");
}

TEST_F(FormatTest, OtherLanguagesMarkersInsideABlockAreText) {
  const std::string header =
      "<LANG_ENGLISH>\r\n<REVISION>\r\nV1\r\n<LANG_GERMAN>\r\n<END LANG_SPANISH>\r\n<END REVISION>\r\n"
      "<DEVICE SETUP>\r\ns\r\n<END DEVICE SETUP>\r\n<END LANG_ENGLISH>\r\n<CODE>\r\n";
  ASSERT_EQ(Read(header, true, 0), PACKAGE_OK);
  EXPECT_EQ(GetPackageRevisionText(), "V1\r\n<LANG_GERMAN>\r\n<END LANG_SPANISH>");
}

TEST_F(FormatTest, CrossedBlocksShareOneAccumulator) {
  const std::string header =
      "<LANG_ENGLISH>\r\n<REVISION>\r\na\r\n<DEVICE SETUP>\r\nb\r\n<END REVISION>\r\nc\r\n"
      "<END DEVICE SETUP>\r\n<END LANG_ENGLISH>\r\n<CODE>\r\n";
  ASSERT_EQ(Read(header), PACKAGE_OK);
  // "b" was read while both blocks were open, so it counts twice.
  EXPECT_EQ(GetPackageRevisionText(), "b\r\nb");
  EXPECT_EQ(GetPackageDeviceSetupText(), "b\r\nb\r\nc");
}

TEST_F(FormatTest, EndRevisionWithoutStartStoresTheAccumulator) {
  const std::string header =
      "<LANG_ENGLISH>\r\n<DEVICE SETUP>\r\nx\r\n<END DEVICE SETUP>\r\n<END REVISION>\r\n"
      "<END LANG_ENGLISH>\r\n<CODE>\r\n";
  // No "<REVISION>": unusable, but the texts already stored stay.
  EXPECT_EQ(Read(header), PACKAGE_UNUSABLE);
  EXPECT_EQ(GetPackageRevisionText(), "x");
  EXPECT_EQ(GetPackageDeviceSetupText(), "x");
}

TEST_F(FormatTest, CodeInsideARevisionBlockEndsTheText) {
  const std::string setupFirst =
      "<LANG_ENGLISH>\r\n<DEVICE SETUP>\r\ns\r\n<END DEVICE SETUP>\r\n<REVISION>\r\nV1\r\n<CODE>\r\n";
  ASSERT_EQ(Read(setupFirst + "<END REVISION>\r\n", false, 0), PACKAGE_OK);
  EXPECT_EQ(GetPackageRevisionText(), "");
  EXPECT_EQ(GetPackageDeviceSetupText(), "s");
  EXPECT_EQ(StoredImage(), "<END REVISION>\r\n");

  const std::string revisionFirst =
      "<LANG_ENGLISH>\r\n<REVISION>\r\nV1\r\n<CODE>\r\n<END REVISION>\r\n<DEVICE SETUP>\r\ns\r\n"
      "<END DEVICE SETUP>\r\n<END LANG_ENGLISH>\r\n";
  EXPECT_EQ(Read(revisionFirst, false, 0), PACKAGE_UNUSABLE);
  EXPECT_EQ(StoredImage(), "");
}

TEST_F(FormatTest, CodeBeforeTheSectionsEndsTheText) {
  EXPECT_EQ(Read("<CODE>\r\n" + FullHeader()), PACKAGE_UNUSABLE);
}

TEST_F(FormatTest, MissingCodeIsUnusable) {
  std::string header = FullHeader();
  header.resize(header.size() - std::string("<CODE>\r\n").size());
  EXPECT_EQ(Read(header, false, 0), PACKAGE_UNUSABLE);
  EXPECT_EQ(GetPackageRevisionText(), "English revision");  // stored before the end came
  EXPECT_EQ(StoredImage(), "");
  EXPECT_EQ(Read(""), PACKAGE_UNUSABLE);
}

TEST_F(FormatTest, CtrlZEndsTheTextAsEndOfFile) {
  std::string header = FullHeader();
  const std::string code = "<CODE>\r\n";
  header.insert(header.size() - code.size(), "\x1A");
  EXPECT_EQ(Read(header + "image"), PACKAGE_UNUSABLE);

  // In the middle of a line: the line ends there, the rest of the file is not text.
  EXPECT_EQ(Read(Section("ENGLISH", "V1", "s") + "comment\x1A<CODE>\r\n"), PACKAGE_UNUSABLE);
  EXPECT_EQ(Read(Section("ENGLISH", "V1\x1A", "s") + "<CODE>\r\n"), PACKAGE_UNUSABLE);
  EXPECT_EQ(GetPackageRevisionText(), "");

  // Once the text part has ended, 0x1A is an ordinary image byte.
  ASSERT_EQ(Read(FullHeader() + "\x1A\x1A\r\n\x1A", false, 0), PACKAGE_OK);
  EXPECT_EQ(StoredImage(), "\x1A\x1A\r\n\x1A");
}

TEST_F(FormatTest, CodeLineEndedByCtrlZStartsTheImageThere) {
  std::string header = FullHeader();
  header.resize(header.size() - 2);  // "<CODE>" without its line end
  ASSERT_EQ(Read(header + "\x1A" + "tail", false, 0), PACKAGE_OK);
  EXPECT_EQ(StoredImage(), "\x1A" "tail");
}

TEST_F(FormatTest, NulEndsALinesText) {
  ASSERT_EQ(Read(Section("ENGLISH", std::string("V1\0hidden", 9), "s") + "<CODE>\r\n"), PACKAGE_OK);
  EXPECT_EQ(GetPackageRevisionText(), "V1");
  EXPECT_EQ(Read(Section("ENGLISH", "V1", "s") + std::string("\0<CODE>\r\n", 9)), PACKAGE_UNUSABLE);
  // The CR before the LF comes after the NUL; the one before the NUL stays in the text.
  ASSERT_EQ(Read(Section("ENGLISH", std::string("V1\r\0\r\nV2", 8), "s") + "<CODE>\r\n"), PACKAGE_OK);
  EXPECT_EQ(GetPackageRevisionText(), "V1\r\r\nV2");
}

TEST_F(FormatTest, EightBitTextIsKeptAsItStands) {
  const std::string latin1 = "Fehler \xFC\xE4\xF6\xDF \x80";
  const std::string utf8 = "Configura\xC3\xA7\xC3\xA3o";
  ASSERT_EQ(Read(Section("ENGLISH", latin1, utf8) + "<CODE>\r\n"), PACKAGE_OK);
  EXPECT_EQ(GetPackageRevisionText(), latin1);
  EXPECT_EQ(GetPackageDeviceSetupText(), utf8);
}

TEST_F(FormatTest, EmptyImage) {
  ASSERT_EQ(Read(FullHeader(), false, 0), PACKAGE_OK);
  std::uint32_t length = 99;
  GetPackageImage(nullptr, &length);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(GetPackageRevisionText(), "English revision");

  // The last line holds "<CODE>" and has no line end at all.
  std::string header = FullHeader();
  header.resize(header.size() - 2);
  ASSERT_EQ(Read(header, false, 0), PACKAGE_OK);
  EXPECT_EQ(StoredImage(), "");
}

TEST_F(FormatTest, ImageBytesAreExact) {
  // Line-end and end-of-text bytes right at the image's start must not be eaten.
  const std::string image = "\n\r\n\r\x1A" + AllByteValues() + "<CODE>\r\n" + AllByteValues() + "\r";
  ASSERT_EQ(Read(FullHeader() + image, false, 3), PACKAGE_OK);
  EXPECT_EQ(StoredImage(), image);
  EXPECT_EQ(GetPackageDeviceSetupText(), "Portuguese setup");
}

TEST_F(FormatTest, CheckAfterLoadDiscardsTheImage) {
  const std::string path = Write(FullHeader() + "image bytes");
  ASSERT_EQ(ReadFirmwarePackage(path, false, 0), PACKAGE_OK);
  EXPECT_EQ(StoredImage(), "image bytes");

  ASSERT_EQ(ReadFirmwarePackage(path, true, 2), PACKAGE_OK);
  EXPECT_EQ(StoredImage(), "");
  EXPECT_EQ(GetPackageRevisionText(), "German revision");

  // A failing read empties the store first as well.
  ASSERT_EQ(ReadFirmwarePackage(path, false, 0), PACKAGE_OK);
  EXPECT_EQ(ReadFirmwarePackage((m_dir / "missing.avk").string(), false, 0), PACKAGE_FILE_UNAVAILABLE);
  EXPECT_EQ(StoredImage(), "");
  EXPECT_EQ(GetPackageRevisionText(), "");
  EXPECT_EQ(GetPackageDeviceSetupText(), "");
}

TEST_F(FormatTest, ClearPackageEmptiesTheStore) {
  ASSERT_EQ(Read(FullHeader() + "image", false, 0), PACKAGE_OK);
  ClearPackage();
  EXPECT_EQ(GetPackageRevisionText(), "");
  EXPECT_EQ(GetPackageDeviceSetupText(), "");
  EXPECT_EQ(StoredImage(), "");
  GetPackageImage(nullptr, nullptr);  // a caller's slip must not crash
}

TEST_F(FormatTest, ValidationAndLoadAgree) {
  const std::string packages[] = {FullHeader() + "x", FullHeader(), Section("GERMAN", "a", "b") + "<CODE>\n",
                                  "<LANG_ENGLISH>\n<REVISION>\n<CODE>\n"};
  for (const std::string& bytes : packages) {
    for (int language : {0, 1, 2, 3, 4}) {
      const std::string path = Write(bytes);
      const int checked = ReadFirmwarePackage(path, true, language);
      const std::string revision = GetPackageRevisionText();
      EXPECT_EQ(ReadFirmwarePackage(path, false, language), checked);
      EXPECT_EQ(GetPackageRevisionText(), revision);
    }
  }
}

}  // namespace
}  // namespace zerviko::test

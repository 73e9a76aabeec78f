// The package format as the reader parses it, one row per case: the file's bytes and
// the language index in; the result, the two texts and the loaded image out.
#include <climits>

#include "tests/package/PackageTestSupport.h"

namespace zerviko::test {
namespace {

using namespace std::string_literals;
using FormatTest = PackageTest;
constexpr int OK = PACKAGE_OK, UNUSABLE = PACKAGE_UNUSABLE;

// Package bytes in short: '|' is a CR LF line end, [L] [R] [D] [C] the markers of the
// English section, the revision, the device setup and the code, [/L] [/R] [/D] their ends.
std::string P(std::string text) {
  const std::pair<std::string, std::string> table[] = {
      {"|", "\r\n"}, {"[L]", "<LANG_ENGLISH>"}, {"[/L]", "<END LANG_ENGLISH>"}, {"[R]", "<REVISION>"},
      {"[/R]", "<END REVISION>"}, {"[D]", "<DEVICE SETUP>"}, {"[/D]", "<END DEVICE SETUP>"}, {"[C]", "<CODE>"}};
  for (const auto& [from, to] : table) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) text.replace(at, from.size(), to);
  }
  return text;
}
const std::string EN = "[L]|[R]|V1|[/R]|[D]|s|[/D]|[/L]|";

struct Row {
  std::string name, bytes;
  int language, result;
  std::string revision, setup, image;
};

// There is no French section: index 1 reads the Spanish one; any unknown index English.
Row Language(int index, const std::string& section) {
  return {"index " + std::to_string(index), FullHeader() + "image", index, OK, section + " revision", section + " setup",
          "image"};
}

TEST_F(FormatTest, Table) {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  const std::string image = "\n\r\n\r\x1A" + bytes + "<CODE>\r\n" + bytes + "\r";
  const std::string german = Section("GERMAN", "de", "de setup") + "<CODE>\r\n";
  const Row rows[] = {
      Language(0, "ENGLISH"), Language(1, "SPANISH"), Language(2, "GERMAN"), Language(3, "PORTUGUESE"),
      Language(4, "SPANISH"), Language(5, "ENGLISH"), Language(17, "ENGLISH"), Language(-1, "ENGLISH"),
      Language(INT_MIN, "ENGLISH"),
      {"a missing section counts in its language only", german, 0, UNUSABLE, "", "", ""},
      {"the German section of that package", german, 2, OK, "de", "de setup", ""},
      {"nor in French", german, 1, UNUSABLE, "", "", ""},
      {"a lone LF ends a line, lines joined by CR LF", P("[L]\n[R]\nV2.14|build 7\nnote|[/R]|[D]\none\ntwo|[/D]\n[/L]\n[C]\n|X"),
       0, OK, "V2.14\r\nbuild 7\r\nnote", "one\r\ntwo", "\r\nX"},
      {"a lone CR ends no line; a CR before CR LF stays", P("[L]|[R]|a\rb|c\r[/R]|[D]|d\r|e|[/D]|[/L]|[C]\r\x01|\x03"),
       0, OK, "a\rb", "d\r\r\ne", "\x03"},
      {"markers inside lines, their other text dropped", P("- [L] -|x[R]y|V1|-[/R]-|a [D] b|s|c [/D] d| [/L] |1 [C] 2|IMG"),
       0, OK, "V1", "s", "IMG"},
      {"marker case matters", P("[L]|<revision>|V1|<end revision>|[D]|<Device Setup> x|[/D]|[/L]|[C]|"), 0, UNUSABLE,
       "", "<Device Setup> x", ""},
      {"section marker case", P("<lang_english>|[R]|[D]|[/L]|[C]|"), 0, UNUSABLE, "", "", ""},
      {"code marker case, texts kept", P(EN + "<code>|"), 0, UNUSABLE, "V1", "s", ""},
      {"ends trimmed, inner empty lines kept", Section("ENGLISH", "\r\n  2.14.0\r\n\r\nbuild note  \r\n\t", "\v\fs\t") +
       "<CODE>\r\n", 0, OK, "2.14.0\r\n\r\nbuild note", "s", ""},
      {"blank texts", Section("ENGLISH", "   ", "") + "<CODE>\r\n", 0, OK, "", "", ""},
      {"a block open at the section's end is dropped", P("[L]|[D]|s|[/D]|[R]|lost|[/L]|[/R]|[C]|"), 0, OK, "", "s", ""},
      {"blocks never closed", P("[L]|[R]|V1|[D]|s|[C]|"), 0, OK, "", "", ""},
      {"the start marker decides its line", P("[L] [R]|V1|[/R]|[D]|s|[/D]|[/L]|[C]|"), 0, UNUSABLE, "", "s", ""},
      {"a repeated start marker closes open blocks", P("[L]|[R]|r1|[D]|s1|[L]|lost|[/R]|[/D]|[/L]|[C]|"), 0, OK,
       "s1\r\ns1", "s1\r\ns1", ""},
      {"blocks of other sections and outside do not count",
       P("[R]|[D]|") + Section("GERMAN", "de", "de setup") + P("[L]|[D]|en|[/D]|[/L]|[C]|"), 0, UNUSABLE, "", "en", ""},
      {"other languages' markers in a block are text", P("[L]|[R]|V1|<LANG_GERMAN>|<END LANG_SPANISH>|[/R]|[D]|s|[/D]|[C]|"),
       0, OK, "V1\r\n<LANG_GERMAN>\r\n<END LANG_SPANISH>", "s", ""},
      {"crossed blocks share one accumulator", P("[L]|[R]|a|[D]|b|[/R]|c|[/D]|[/L]|[C]|"), 0, OK, "b\r\nb", "b\r\nb\r\nc", ""},
      {"an end marker without a start stores the accumulator", P("[L]|[D]|x|[/D]|[/R]|[/L]|[C]|"), 0, UNUSABLE, "x", "x", ""},
      {"code inside a block ends the text", P("[L]|[D]|s|[/D]|[R]|V1|[C]|[/R]|"), 0, OK, "", "s", "<END REVISION>\r\n"},
      {"code before the device setup", P("[L]|[R]|V1|[C]|" + EN), 0, UNUSABLE, "", "", ""},
      {"code before the sections", "<CODE>\r\n" + FullHeader(), 0, UNUSABLE, "", "", ""},
      {"no code", P(EN), 0, UNUSABLE, "V1", "s", ""},
      {"an empty file", "", 0, UNUSABLE, "", "", ""},
      {"Ctrl-Z ends the text", P(EN + "comment\x1A[C]|image"), 0, UNUSABLE, "V1", "s", ""},
      {"Ctrl-Z in a block", Section("ENGLISH", "V1\x1A", "s") + "<CODE>\r\n", 0, UNUSABLE, "", "", ""},
      {"Ctrl-Z ends the code line", P(EN + "[C]\x1Atail"), 0, OK, "V1", "s", "\x1Atail"},
      {"NUL ends a line's text", Section("ENGLISH", "V1\0hidden"s, "s") + "<CODE>\r\n", 0, OK, "V1", "s", ""},
      {"NUL before the code marker", P(EN) + "\0<CODE>\r\n"s, 0, UNUSABLE, "V1", "s", ""},
      {"a CR before NUL stays", Section("ENGLISH", "V1\r\0\r\nV2"s, "s") + "<CODE>\r\n", 0, OK, "V1\r\r\nV2", "s", ""},
      {"8-bit text as it stands", Section("ENGLISH", "Fehler \xFC\xE4\xF6\xDF \x80", "Configura\xC3\xA7\xC3\xA3o") + "<CODE>\r\n",
       0, OK, "Fehler \xFC\xE4\xF6\xDF \x80", "Configura\xC3\xA7\xC3\xA3o", ""},
      {"an empty image", FullHeader(), 0, OK, "ENGLISH revision", "ENGLISH setup", ""},
      {"a code line without a line end", P(EN + "[C]"), 0, OK, "V1", "s", ""},
      {"image bytes exact", FullHeader() + image, 3, OK, "PORTUGUESE revision", "PORTUGUESE setup", image},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string path = Write(row.bytes);
    // A load, then a check of the same file: the same texts, and the check drops the image.
    // Every read empties the store first, so that nothing of the row before stays.
    for (bool validateOnly : {false, true}) {
      EXPECT_EQ(ReadFirmwarePackage(path, validateOnly, row.language), row.result) << validateOnly;
      EXPECT_EQ(GetPackageRevisionText(), row.revision) << validateOnly;
      EXPECT_EQ(GetPackageDeviceSetupText(), row.setup) << validateOnly;
      EXPECT_EQ(StoredImage(), validateOnly ? "" : row.image);
    }
  }
  GetPackageImage(nullptr, nullptr);  // a caller's slip must not crash
}

}  // namespace
}  // namespace zerviko::test

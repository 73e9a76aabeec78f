// The firmware package reader and its process-wide store.
//
// The header is read a line at a time the way a text-mode stream of the package's
// home platform reads it: CR LF or a lone LF ends a line, a lone CR is part of the
// line, and a byte 0x1A ends the text as the end of the file would. Offsets are kept
// in raw file bytes, so the image starts exactly after the "<CODE>" line's line end.
//
// Lines may be of any length, but only the text of an open block is ever kept: any
// other line is only searched for markers, which needs no more than its last few
// bytes. A header of one endless line costs a buffer, not the line.
#include "package/FirmwarePackage.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "package/PackageFile.h"

namespace zerviko {
namespace {

constexpr std::string_view MARKER_REVISION = "<REVISION>";
constexpr std::string_view MARKER_END_REVISION = "<END REVISION>";
constexpr std::string_view MARKER_DEVICE_SETUP = "<DEVICE SETUP>";
constexpr std::string_view MARKER_END_DEVICE_SETUP = "<END DEVICE SETUP>";
constexpr std::string_view MARKER_CODE = "<CODE>";

constexpr char CHAR_END_OF_TEXT = '\x1A';  // Ctrl-Z: end of file for a text-mode reader
constexpr std::string_view WHITE_SPACE = " \t\r\n\v\f";
constexpr std::string_view LINE_END = "\r\n";

struct SectionMarkers {
  std::string_view start;
  std::string_view end;
};

// There is no French section: a French user interface (index 1) reads the Spanish one.
SectionMarkers ChooseSection(int languageIndex) {
  switch (languageIndex) {
    case 2:
      return {"<LANG_GERMAN>", "<END LANG_GERMAN>"};
    case 3:
      return {"<LANG_PORTUGUESE>", "<END LANG_PORTUGUESE>"};
    case 1:
    case 4:
      return {"<LANG_SPANISH>", "<END LANG_SPANISH>"};
    default:
      return {"<LANG_ENGLISH>", "<END LANG_ENGLISH>"};
  }
}

struct PackageStore {
  std::string path;
  std::string revision;
  std::string deviceSetup;
  std::unique_ptr<std::uint8_t[]> image;
  std::uint32_t imageLength = 0;
};

PackageStore& Store() {
  static PackageStore store;
  return store;
}

std::string Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(WHITE_SPACE);
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(WHITE_SPACE);
  return std::string(text.substr(first, last - first + 1));
}

enum Marker {
  MARK_SECTION_START,
  MARK_SECTION_END,
  MARK_REVISION,
  MARK_END_REVISION,
  MARK_DEVICE_SETUP,
  MARK_END_DEVICE_SETUP,
  MARK_CODE,
  MARK_COUNT
};

// Which markers a line holds, found as the line arrives piece by piece. Of the line
// seen so far only its last bytes are kept, as many as a marker cut by the border of
// two pieces can have in the first one.
class MarkerSearch {
 public:
  explicit MarkerSearch(const SectionMarkers& section)
      : m_markers{section.start, section.end,         MARKER_REVISION, MARKER_END_REVISION,
                  MARKER_DEVICE_SETUP, MARKER_END_DEVICE_SETUP, MARKER_CODE} {
    std::size_t longest = 0;
    m_shortest = m_markers[0].size();
    for (std::string_view marker : m_markers) {
      longest = std::max(longest, marker.size());
      m_shortest = std::min(m_shortest, marker.size());
      m_second[static_cast<unsigned char>(marker[1])] = true;
    }
    m_keep = longest - 1;
    m_tail.reserve(m_keep);
    m_joint.reserve(2 * m_keep);
  }

  void NewLine() {
    m_found = 0;
    m_tail.clear();
  }

  void Add(std::string_view piece) {
    if (piece.empty()) return;
    if (!m_tail.empty()) {
      // A marker that begins in the kept tail ends within the piece's first bytes.
      m_joint.assign(m_tail).append(piece.substr(0, m_keep));
      Search(m_joint);
    }
    Search(piece);
    if (piece.size() >= m_keep) {
      m_tail.assign(piece.substr(piece.size() - m_keep));
    } else {
      m_tail.append(piece);
      if (m_tail.size() > m_keep) m_tail.erase(0, m_tail.size() - m_keep);
    }
  }

  bool Holds(Marker marker) const { return (m_found & (1u << marker)) != 0; }
  bool HoldsAny() const { return m_found != 0; }

 private:
  // Every marker begins with '<' and is at least m_shortest bytes long. One pass finds
  // the candidates for all of them, and the byte after a '<' rules out most at once,
  // so that text full of '<' costs little more than text without any.
  void Search(std::string_view text) {
    const char* at = text.data();
    const char* const end = at + text.size();
    while (static_cast<std::size_t>(end - at) >= m_shortest) {
      if (*at != '<') {
        at = static_cast<const char*>(std::memchr(at, '<', static_cast<std::size_t>(end - at)));
        if (at == nullptr) return;
        continue;
      }
      if (m_second[static_cast<unsigned char>(at[1])]) {
        const std::string_view rest(at, static_cast<std::size_t>(end - at));
        for (std::size_t i = 0; i < m_markers.size(); ++i) {
          if (rest.starts_with(m_markers[i])) m_found |= 1u << i;
        }
      }
      ++at;
    }
  }

  std::array<std::string_view, MARK_COUNT> m_markers;
  std::array<bool, 256> m_second{};  // the bytes that follow '<' in some marker
  std::size_t m_shortest = 0;
  std::size_t m_keep = 0;
  std::string m_tail;
  std::string m_joint;
  unsigned m_found = 0;
};

// Reads the text part line by line from the start of the file, keeping the file
// offset just after the last line's line end.
class LineReader {
 public:
  enum Status { LINE_READ, LINE_END_OF_TEXT, LINE_READ_ERROR };

  explicit LineReader(PackageFile& file) : m_file(file), m_buffer(BUFFER_SIZE) {}

  // Reads the next line, without its line end, into markers and, when text is given,
  // appends the line's text to it as well. A last line that ends at the end of the
  // text without a line end is still a line.
  Status Next(MarkerSearch& markers, std::string* text) {
    markers.NewLine();
    const std::size_t textStart = text != nullptr ? text->size() : 0;
    bool anyByte = false;
    bool cut = false;  // a NUL has ended the line's text; the rest of the line is skipped
    for (;;) {
      if (m_next == m_filled) {
        if (m_textEnded) return anyByte ? LINE_READ : LINE_END_OF_TEXT;
        if (Fill() == LINE_READ_ERROR) return LINE_READ_ERROR;
        continue;
      }
      const char* begin = m_buffer.data() + m_next;
      const char* end = m_buffer.data() + m_filled;
      const char* stop = Find(begin, end, '\n');
      stop = Find(begin, stop, CHAR_END_OF_TEXT);
      anyByte = anyByte || stop != begin;
      if (!cut) {
        // Texts are C strings to every caller: a NUL byte ends the line's text.
        const char* textEnd = Find(begin, stop, '\0');
        cut = textEnd != stop;
        const std::string_view piece(begin, static_cast<std::size_t>(textEnd - begin));
        markers.Add(piece);
        if (text != nullptr) text->append(piece);
      }
      m_next += static_cast<std::size_t>(stop - begin);
      if (stop == end) continue;
      if (*stop == CHAR_END_OF_TEXT) {
        // The text ends here; the byte itself is not consumed.
        m_textEnded = true;
        m_filled = m_next;
        return LINE_READ;
      }
      ++m_next;  // the LF
      // A CR right before the LF belongs to the line end; it may have arrived with the
      // previous buffer, so it is taken off the text rather than the buffer.
      if (text != nullptr && !cut && text->size() > textStart && text->back() == '\r') text->pop_back();
      return LINE_READ;
    }
  }

  // The file offset of the first byte after the last line read, line end included.
  std::uint64_t Position() const { return m_bufferOffset + m_next; }

 private:
#ifdef ZERVIKO_PACKAGE_READ_SIZE
  // A build for fuzzing reads in small pieces, so that markers and line ends fall on
  // the borders between them.
  static constexpr std::size_t BUFFER_SIZE = ZERVIKO_PACKAGE_READ_SIZE;
#else
  static constexpr std::size_t BUFFER_SIZE = 64 * 1024;
#endif

  static const char* Find(const char* begin, const char* end, char c) {
    const void* found = std::memchr(begin, c, static_cast<std::size_t>(end - begin));
    return found != nullptr ? static_cast<const char*>(found) : end;
  }

  Status Fill() {
    m_bufferOffset += m_filled;
    m_next = m_filled = 0;
    const std::int64_t count = m_file.Read(m_buffer.data(), m_buffer.size());
    if (count < 0) return LINE_READ_ERROR;
    if (count == 0) m_textEnded = true;
    m_filled = static_cast<std::size_t>(count);
    return LINE_READ;
  }

  PackageFile& m_file;
  std::vector<char> m_buffer;
  std::size_t m_next = 0;
  std::size_t m_filled = 0;
  std::uint64_t m_bufferOffset = 0;
  bool m_textEnded = false;
};

// Parses the text part into the store. On PACKAGE_OK, imageOffset is the file offset
// of the first image byte.
int ParseText(PackageFile& file, const SectionMarkers& section, PackageStore& store,
              std::uint64_t& imageOffset) {
  bool inSection = false;
  bool sectionSeen = false;
  bool inRevision = false;
  bool revisionSeen = false;
  bool inDeviceSetup = false;
  bool deviceSetupSeen = false;
  bool codeSeen = false;
  std::string accumulator;  // shared by both blocks; only an opening marker empties it

  LineReader reader(file);
  MarkerSearch markers(section);
  for (;;) {
    // Only a line read inside an open block can become text, so only such a line is
    // kept: straight into the accumulator, and taken out again if it is a marker line.
    const bool keep = inSection && (inRevision || inDeviceSetup);
    const std::size_t lineStart = accumulator.size();
    const LineReader::Status status = reader.Next(markers, keep ? &accumulator : nullptr);
    if (status == LineReader::LINE_READ_ERROR) return PACKAGE_FILE_UNAVAILABLE;
    if (status == LineReader::LINE_END_OF_TEXT) break;
    if (keep && markers.HoldsAny()) accumulator.resize(lineStart);

    if (markers.Holds(MARK_SECTION_START)) {
      inSection = sectionSeen = true;
      inRevision = inDeviceSetup = false;
    } else if (markers.Holds(MARK_SECTION_END)) {
      // Blocks still open here are dropped: their texts are not stored.
      inSection = inRevision = inDeviceSetup = false;
    } else if (inSection && markers.Holds(MARK_REVISION)) {
      accumulator.clear();
      inRevision = revisionSeen = true;
    } else if (inSection && markers.Holds(MARK_END_REVISION)) {
      store.revision = Trimmed(accumulator);
      inRevision = false;
    } else if (inSection && markers.Holds(MARK_DEVICE_SETUP)) {
      accumulator.clear();
      inDeviceSetup = deviceSetupSeen = true;
    } else if (inSection && markers.Holds(MARK_END_DEVICE_SETUP)) {
      store.deviceSetup = Trimmed(accumulator);
      inDeviceSetup = false;
    } else if (markers.Holds(MARK_CODE)) {
      codeSeen = true;
      imageOffset = reader.Position();
      break;
    } else if (keep) {
      accumulator.append(LINE_END);
      // A line read while both blocks are open counts for each of them.
      if (inRevision && inDeviceSetup) {
        accumulator.append(accumulator, lineStart, accumulator.size() - lineStart);
      }
    }
  }

  if (!codeSeen || !sectionSeen || !revisionSeen || !deviceSetupSeen) return PACKAGE_UNUSABLE;
  return PACKAGE_OK;
}

// Loads the image bytes from imageOffset to the end of the file in one piece. On any
// failure the store keeps no image.
int LoadImage(PackageFile& file, std::uint64_t imageOffset, PackageStore& store) {
  std::uint64_t fileSize = 0;
  if (!file.Size(fileSize) || imageOffset > fileSize) return PACKAGE_FILE_UNAVAILABLE;
  const std::uint64_t length = fileSize - imageOffset;
  // The store's length is 32 bits wide; a longer image cannot be handed on whole.
  if (length > std::numeric_limits<std::uint32_t>::max()) return PACKAGE_FILE_UNAVAILABLE;

  std::unique_ptr<std::uint8_t[]> image;
  if (length > 0) {
    image.reset(new (std::nothrow) std::uint8_t[length]);
    if (!image) return PACKAGE_FILE_UNAVAILABLE;
  }

  // One read for the whole image; the loop only continues a read that the system
  // cut short (it hands out at most about 1 or 2 GiB per call).
  std::uint64_t done = 0;
  while (done < length) {
    const std::int64_t count = file.ReadAt(imageOffset + done, image.get() + done, length - done);
    if (count <= 0) return PACKAGE_FILE_UNAVAILABLE;  // an error, or the file shrank
    done += static_cast<std::uint64_t>(count);
  }

  store.image = std::move(image);
  store.imageLength = static_cast<std::uint32_t>(length);
  return PACKAGE_OK;
}

}  // namespace

int ReadFirmwarePackage(const std::string& path, bool validateOnly, int languageIndex) {
  PackageStore& store = Store();
  ClearPackage();
  try {
    store.path = path;

    // The stat follows links, so a link to a device is refused as the device is.
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
      return PACKAGE_FILE_UNAVAILABLE;
    }

    // The one descriptor serves the text part and the image, so both come from the
    // same file even if the path is replaced in between.
    PackageFile file;
    if (!file.Open(path)) return PACKAGE_FILE_UNAVAILABLE;

    std::uint64_t imageOffset = 0;
    const int result = ParseText(file, ChooseSection(languageIndex), store, imageOffset);
    if (result != PACKAGE_OK || validateOnly) return result;
    return LoadImage(file, imageOffset, store);
  } catch (const std::bad_alloc&) {
    // A block text too large for memory: the file could not be read.
    return PACKAGE_FILE_UNAVAILABLE;
  }
}

std::string GetPackageRevisionText() { return Store().revision; }

std::string GetPackageDeviceSetupText() { return Store().deviceSetup; }

void GetPackageImage(std::uint8_t* destination, std::uint32_t* length) {
  const PackageStore& store = Store();
  if (length == nullptr) return;
  *length = store.imageLength;
  if (destination != nullptr && store.imageLength > 0) {
    std::memcpy(destination, store.image.get(), store.imageLength);
  }
}

void ClearPackage() {
  PackageStore& store = Store();
  store.revision.clear();
  store.revision.shrink_to_fit();
  store.deviceSetup.clear();
  store.deviceSetup.shrink_to_fit();
  store.image.reset();
  store.imageLength = 0;
}

}  // namespace zerviko

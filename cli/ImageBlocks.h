// An image as a programming run writes it: in pieces of 128 bytes from its start, a
// piece that holds only 0xFF skipped (an erased flash holds that already).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zerviko::cli {

struct ImageBlocks {
  static constexpr std::size_t SIZE = 128;
  std::size_t written = 0;
  std::size_t empty = 0;
  std::uint64_t bytesWritten = 0;  // image bytes in the written pieces

  explicit ImageBlocks(const std::vector<std::uint8_t>& image) {
    for (std::size_t at = 0; at < image.size(); at += SIZE) {
      const auto end = image.begin() + static_cast<std::ptrdiff_t>(std::min(image.size(), at + SIZE));
      const auto begin = image.begin() + static_cast<std::ptrdiff_t>(at);
      if (std::all_of(begin, end, [](std::uint8_t b) { return b == 0xFF; })) {
        ++empty;
      } else {
        ++written;
        bytesWritten += static_cast<std::uint64_t>(end - begin);
      }
    }
  }
};

}  // namespace zerviko::cli

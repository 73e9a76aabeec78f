// The last stages of a run: erasing, the blank check and writing the image block by
// block, where progress moves and an abort is honoured.
#include <algorithm>
#include <new>

#include "engine/ProgrammingRun.h"
#include "engine/SerialPort.h"

namespace zerviko {

bool ProgrammingRun::PrepareEraseList() {
  const std::int32_t blockCount = static_cast<std::int32_t>(m_eraseBlockTable.size());
  if (m_options.eraseBlocks != nullptr) {
    // Only the low byte of a number goes on the line, so a negative number would erase
    // some other block (or, as 0xFF, end the erase early): it is out of range too.
    for (std::int32_t i = 0; i < m_options.eraseBlockCount; ++i) {
      const std::int32_t number = m_options.eraseBlocks[i];
      if (number < 0 || number >= blockCount) {
        return Fail("Erase block %d out of range", static_cast<int>(number));
      }
    }
    m_eraseList = m_options.eraseBlocks;
    m_eraseListCount = std::max<std::int32_t>(m_options.eraseBlockCount, 0);
    m_eraseListBuilt = false;
    return true;
  }
  try {
    m_ownEraseList.resize(static_cast<std::size_t>(blockCount));
  } catch (const std::bad_alloc&) {
    return Fail("Not enough memory");
  }
  for (std::int32_t i = 0; i < blockCount; ++i) m_ownEraseList[static_cast<std::size_t>(i)] = i;
  m_eraseList = m_ownEraseList.data();
  m_eraseListCount = blockCount;
  m_eraseListBuilt = true;
  return true;
}

bool ProgrammingRun::EraseBlocks(std::int32_t count, const std::int32_t* list) {
  for (std::int32_t i = 0; i < count; ++i) {
    const std::int32_t number = list[i];
    ReportBlock(LEVEL_STAGE, "Erasing block %d", static_cast<int>(number));
    if (!BeginFrame(CMD_ERASE) || !SendSummed(0x01) ||
        !SendSummed(static_cast<std::uint8_t>(number)) || !SendChecksum() ||
        !WaitAcknowledge(10000, CMD_ERASE)) {
      return false;
    }
  }
  // Block number 0xFF tells the erase module that the list is over.
  return BeginFrame(CMD_ERASE) && SendSummed(0x01) && SendSummed(0xFF) && SendChecksum() &&
         WaitAcknowledge(100, CMD_ERASE);
}

bool ProgrammingRun::BlankCheck() { return SendCommand(CMD_BLANK_CHECK); }

bool ProgrammingRun::WriteImage(std::uint32_t startAddress, std::uint32_t blockSize,
                                const std::uint8_t* image, std::int32_t imageSize) {
  std::uint32_t remaining = imageSize > 0 ? static_cast<std::uint32_t>(imageSize) : 0;
  std::uint32_t address = startAddress;
  std::uint32_t blockEnd = startAddress + blockSize - 1;
  const std::uint8_t* piece = image;
  int written = 0;
  int skipped = 0;

  while (remaining != 0) {
    if (m_abort != 0) return Fail("Programming aborted");
    const std::uint32_t n = blockSize < remaining ? blockSize : remaining;
    // An erased EEPROM already holds 0xFF, so such a piece need not be sent at all.
    if (std::all_of(piece, piece + n, [](std::uint8_t b) { return b == 0xFF; })) {
      ++skipped;
    } else {
      m_percent = static_cast<int>(static_cast<double>(imageSize - static_cast<std::int64_t>(remaining)) *
                                   100.0 / static_cast<double>(imageSize));
      ReportBlock(LEVEL_STAGE, "Writing block %04X..%04X", address, blockEnd);
      if (!BeginFrame(CMD_WRITE)) return false;
      for (int shift = 24; shift >= 0; shift -= 8) {
        if (!SendSummed(static_cast<std::uint8_t>(address >> shift))) return false;
      }
      // The kernel may already refuse the address; find out before sending the data.
      if (!CheckNoErrorReply(CMD_WRITE)) return false;
      for (std::uint32_t i = 0; i < n; ++i) {
        if (!SendSummed(piece[i])) return false;
      }
      for (std::uint32_t i = n; i < blockSize; ++i) {
        if (!SendSummed(0xFF)) return false;
      }
      if (!SendChecksum() || !WaitAcknowledge(1000, CMD_WRITE)) return false;
      ++written;
    }
    address += blockSize;
    blockEnd += blockSize;
    piece += n;
    remaining -= n;
  }

  // Address 0xFFFFFFFF with no data ends the write.
  if (!BeginFrame(CMD_WRITE)) return false;
  for (int i = 0; i < 4; ++i) {
    if (!SendSummed(0xFF)) return false;
  }
  if (!SendChecksum() || !WaitAcknowledge(100, CMD_WRITE)) return false;

  m_percent = 100;
  Report(LEVEL_STEP, "Written %d blocks, skipped %d empty blocks", written, skipped);
  return true;
}

}  // namespace zerviko

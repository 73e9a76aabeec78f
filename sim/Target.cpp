#include "sim/Target.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace zerviko::sim {
namespace {

constexpr std::uint8_t ACK = 0x06;
constexpr std::uint32_t WRITE_BLOCK = 128;
constexpr std::uint32_t END_OF_WRITE = 0xFFFFFFFF;

// The kernel's UART divides its clock by 16 and by an integer; a rate it cannot make
// within 3% is refused, as a real kernel refuses it.
bool RateReachable(std::uint32_t rate, std::uint32_t clock) {
  if (rate == 0) return false;
  const double exact = static_cast<double>(clock) / (16.0 * rate);
  const double divisor = std::max(1.0, static_cast<double>(static_cast<long>(exact + 0.5)));
  const double made = clock / (16.0 * divisor);
  return std::abs(made - rate) / rate <= 0.03;
}

// A stand-in file begins with its title, then a space or the end of the line.
bool IsStandIn(const std::vector<std::uint8_t>& file, const char* title) {
  const std::size_t length = std::strlen(title);
  return file.size() >= length && std::equal(title, title + length, file.begin()) &&
         (file.size() == length || file[length] == ' ' || file[length] == '\n' ||
          file[length] == '\r');
}

bool ParseNumber(const std::string& text, long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  *value = std::strtol(text.c_str(), &end, 0);
  return end && *end == '\0';
}

}  // namespace

std::vector<EraseBlock> TargetConfig::DefaultEraseBlocks() {
  std::vector<EraseBlock> blocks;
  std::uint32_t address = 0;
  auto add = [&](std::uint32_t size, int count) {
    for (int i = 0; i < count; ++i) {
      blocks.push_back({address, address + size - 1});
      address += size;
    }
  };
  add(4 * 1024, 8);
  add(32 * 1024, 1);
  add(64 * 1024, 7);
  return blocks;
}

bool ParseFault(const std::string& text, Fault* fault, std::string* error) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  std::string part;
  while (std::getline(stream, part, ':')) parts.push_back(part);
  auto bad = [&](const std::string& why) {
    if (error) *error = "bad fault \"" + text + "\": " + why;
    return false;
  };
  if (parts.size() < 2) return bad("expected KIND:COMMAND...");
  static const std::pair<const char*, FaultKind> kKinds[] = {
      {"silent", FaultKind::Silent},       {"error", FaultKind::ErrorReply},
      {"bad-checksum", FaultKind::BadChecksum}, {"cut", FaultKind::CutReply},
      {"bad-echo", FaultKind::BadEcho},    {"hang-up", FaultKind::HangUp}};
  const auto kind = std::find_if(std::begin(kKinds), std::end(kKinds),
                                 [&](const auto& k) { return parts[0] == k.first; });
  if (kind == std::end(kKinds)) return bad("unknown kind " + parts[0]);
  Fault f;
  f.kind = kind->second;
  long number = 0;
  if (f.kind == FaultKind::BadEcho) {
    if (parts.size() != 2 || !ParseNumber(parts[1], &number) || number < 0)
      return bad("expected bad-echo:INDEX");
    f.command = STAGE_ECHO;
    f.value = static_cast<int>(number);
    *fault = f;
    return true;
  }
  static const std::pair<const char*, int> kStages[] = {{"sync", STAGE_SYNC},
                                                        {"proceed", STAGE_PROCEED},
                                                        {"echo", STAGE_ECHO},
                                                        {"download", STAGE_DOWNLOAD}};
  const auto stage = std::find_if(std::begin(kStages), std::end(kStages),
                                  [&](const auto& s) { return parts[1] == s.first; });
  if (stage != std::end(kStages)) {
    f.command = stage->second;
  } else if (ParseNumber(parts[1], &number) && number >= 0 && number <= 0xFF) {
    f.command = static_cast<int>(number);
  } else {
    return bad("unknown command " + parts[1]);
  }
  std::size_t next = 2;
  const bool needsValue = f.kind == FaultKind::ErrorReply || f.kind == FaultKind::CutReply;
  if (needsValue) {
    if (parts.size() <= next || !ParseNumber(parts[next], &number) || number < 0 ||
        (f.kind == FaultKind::ErrorReply && number > 0xFF))
      return bad(f.kind == FaultKind::ErrorReply ? "expected error:COMMAND:CODE"
                                                 : "expected cut:COMMAND:BYTES");
    f.value = static_cast<int>(number);
    ++next;
  }
  if (parts.size() > next) {
    if (!ParseNumber(parts[next], &number) || number < 1) return bad("bad occurrence");
    f.occurrence = static_cast<int>(number);
    ++next;
  }
  if (f.kind == FaultKind::HangUp) {
    f.value = 1;
    if (parts.size() > next) {
      if (!ParseNumber(parts[next], &number) || number < 1) return bad("bad byte count");
      f.value = static_cast<int>(number);
      ++next;
    }
  }
  if (parts.size() != next) return bad("too many fields");
  *fault = f;
  return true;
}

Target::Target(TargetConfig config) : m_config(std::move(config)) {
  std::uint32_t first = 0xFFFFFFFF;
  std::uint32_t last = 0;
  for (const EraseBlock& block : m_config.eraseBlocks) {
    first = std::min(first, block.first);
    last = std::max(last, block.last);
  }
  if (!m_config.eraseBlocks.empty() && last >= first) {
    m_flashBase = first;
    m_flash.resize(static_cast<std::size_t>(last) - first + 1);
  }
  if (m_config.blankAtStart) {
    std::fill(m_flash.begin(), m_flash.end(), 0xFF);
  } else {
    // An older firmware: plenty of bytes that are not 0xFF, so only an erase blanks it.
    for (std::size_t i = 0; i < m_flash.size(); ++i)
      m_flash[i] = static_cast<std::uint8_t>((i * 7 + (i >> 8)) & 0x7F);
  }
  if (m_config.startInBootMode) Restart(true);
}

void Target::Restart(bool bootMode) {
  m_mode = bootMode ? Mode::Boot : Mode::UserFirmware;
  m_state = bootMode ? State::BootSync : State::Idle;
  m_kernelRate = 0;
  m_mainKernelLoaded = m_eraseModuleLoaded = m_writeModuleLoaded = false;
  m_selectedDevice = -1;
  m_bootSize = 0;
  m_bootSizeBytes = 0;
  m_echoIndex = 0;
  m_frame.clear();
  m_fault = nullptr;
}

void Target::RestartResidentKernel() {
  m_mode = Mode::Kernel;
  m_state = State::Idle;
  m_kernelRate = 0;
  m_mainKernelLoaded = m_eraseModuleLoaded = m_writeModuleLoaded = false;
  m_selectedDevice = -1;
}

void Target::Receive(std::uint8_t byte, std::int32_t rate, Reply& reply) {
  reply = Reply{};
  ++m_bytesReceived;
  if (m_mode == Mode::Boot) {
    ReceiveBoot(byte, reply);
  } else if (m_mode == Mode::Kernel) {
    // A byte sent at another rate than the kernel's UART runs at arrives garbled;
    // the kernel never sees it as the byte that was sent.
    const std::int32_t expected = m_state == State::RateAck ? m_newRate : m_kernelRate;
    if (m_kernelRate == 0 && rate > 0) m_kernelRate = rate;
    if (expected == 0 || rate <= 0 || RateMatchesExpected(rate, expected)) {
      if (m_state == State::Idle || m_state == State::RateAck) m_frameRate = rate;
      ReceiveKernel(byte, reply);
    }
  }
  m_bytesSent += reply.bytes.size();
}

bool Target::RateMatchesExpected(std::int32_t rate, std::int32_t expected) {
  const double ratio = static_cast<double>(rate) / expected;
  return ratio > 0.97 && ratio < 1.03;
}

const Fault* Target::FaultFor(int command, int occurrence) const {
  for (const Fault& fault : m_config.faults)
    if (fault.command == command && fault.occurrence == occurrence &&
        fault.kind != FaultKind::BadEcho)
      return &fault;
  return nullptr;
}

void Target::EndCommand() {
  m_frames.push_back({m_frame, m_frameRate});
  m_frame.clear();
  m_state = State::Idle;
}

void Target::Answer(Reply& reply, std::vector<std::uint8_t> bytes, bool inquiry) {
  if (m_fault) {
    switch (m_fault->kind) {
      case FaultKind::ErrorReply:
        bytes = {static_cast<std::uint8_t>(m_command | 0x80),
                 static_cast<std::uint8_t>(m_fault->value)};
        m_fault = nullptr;
        EndCommand();
        break;
      case FaultKind::BadChecksum:
        if (inquiry && !bytes.empty()) ++bytes.back();
        m_fault = nullptr;
        break;
      case FaultKind::CutReply:
        if (bytes.size() > static_cast<std::size_t>(m_fault->value))
          bytes.resize(static_cast<std::size_t>(m_fault->value));
        m_fault = nullptr;
        m_mode = Mode::Dead;
        break;
      default:
        break;
    }
  }
  reply.bytes.insert(reply.bytes.end(), bytes.begin(), bytes.end());
}

void Target::Acknowledge(Reply& reply) { Answer(reply, {ACK}); }

void Target::ErrorReply(Reply& reply, std::uint8_t code) {
  EndCommand();
  reply.bytes.push_back(static_cast<std::uint8_t>(m_command | 0x80));
  reply.bytes.push_back(code);
}

// Collects one byte of the current command; false when a hang-up strikes here.
bool Target::Take(std::uint8_t byte, Reply& reply) {
  m_frame.push_back(byte);
  if (m_fault && m_fault->kind == FaultKind::HangUp &&
      m_frame.size() >= static_cast<std::size_t>(m_fault->value)) {
    m_frames.push_back({m_frame, m_frameRate});
    m_frame.clear();
    m_mode = Mode::Dead;
    reply.hangUp = true;
    return false;
  }
  return true;
}

void Target::ReceiveKernel(std::uint8_t byte, Reply& reply) {
  switch (m_state) {
    case State::Idle:
      StartCommand(byte, reply);
      return;
    case State::Frame:
      if (!Take(byte, reply)) return;
      if (m_frame.size() == m_frameLength) FinishFrame(reply);
      return;
    case State::RateAck:
      m_frame = {byte};
      m_command = 0x3F;
      if (byte == ACK) {
        m_kernelRate = m_newRate;
        EndCommand();
        reply.bytes.push_back(ACK);
      } else {
        ErrorReply(reply, KERR_BAUD_RATE_ERROR);
      }
      return;
    case State::ModuleSize:
      if (!Take(byte, reply)) return;
      m_sum = static_cast<std::uint8_t>(m_sum + byte);
      m_moduleSize = (m_moduleSize << 8) | byte;
      if (m_frame.size() < 5) return;
      if (m_moduleSize > MODULE_SIZE_LIMIT) {
        ErrorReply(reply, KERR_PRG_SIZE_ERROR);
        return;
      }
      m_module.clear();
      m_state = m_moduleSize == 0 ? State::ModuleChecksum : State::ModuleData;
      return;
    case State::ModuleData:
      if (!Take(byte, reply)) return;
      m_sum = static_cast<std::uint8_t>(m_sum + byte);
      m_module.push_back(byte);
      if (m_module.size() == m_moduleSize) m_state = State::ModuleChecksum;
      return;
    case State::ModuleChecksum:
      if (!Take(byte, reply)) return;
      m_sum = static_cast<std::uint8_t>(m_sum + byte);
      FinishModule(reply);
      return;
    case State::WriteAddress:
      if (!Take(byte, reply)) return;
      m_sum = static_cast<std::uint8_t>(m_sum + byte);
      m_writeAddress = (m_writeAddress << 8) | byte;
      if (m_frame.size() < 5) return;
      if (m_writeAddress == END_OF_WRITE) {
        m_frameLength = 6;
      } else {
        const std::uint64_t offset = static_cast<std::uint64_t>(m_writeAddress) - m_flashBase;
        // Refused as soon as the address is in, before the data: the host polls for
        // an early error reply right after the address.
        if (m_writeAddress < m_flashBase || offset % WRITE_BLOCK != 0 ||
            offset + WRITE_BLOCK > m_flash.size()) {
          ErrorReply(reply, KERR_WRITE_ADDRESS_ERROR);
          return;
        }
        m_frameLength = 5 + WRITE_BLOCK + 1;
      }
      m_state = State::WriteData;
      return;
    case State::WriteData:
      if (!Take(byte, reply)) return;
      m_sum = static_cast<std::uint8_t>(m_sum + byte);
      if (m_frame.size() == m_frameLength) FinishWrite(reply);
      return;
    default:
      return;
  }
}

void Target::StartCommand(std::uint8_t command, Reply& reply) {
  m_command = command;
  m_frame.clear();
  m_fault = FaultFor(command, ++m_occurrences[command]);
  if (m_fault && m_fault->kind == FaultKind::Silent) {
    m_frame.push_back(command);
    EndCommand();
    m_mode = Mode::Dead;
    return;
  }
  if (!Take(command, reply)) return;
  m_sum = command;
  switch (command) {
    case 0x3F:
      m_frameLength = 10;
      m_state = State::Frame;
      return;
    case 0x10:
      m_frameLength = 7;
      m_state = State::Frame;
      return;
    case 0x20: {
      auto answer = DeviceInquiryReply();
      EndCommand();
      Answer(reply, std::move(answer), true);
      return;
    }
    case 0x26: {
      auto answer = EraseBlockInquiryReply();
      EndCommand();
      Answer(reply, std::move(answer), true);
      return;
    }
    case 0x4D: {
      // Compared a page at a time: a scan byte by byte of the whole flash, unoptimised
      // under the sanitizers and with a bench of printers in one process, could outlast
      // the host's 100 ms wait for the answer on a busy machine.
      static const std::vector<std::uint8_t> erased(4096, 0xFF);
      bool blank = true;
      for (std::size_t at = 0; blank && at < m_flash.size(); at += erased.size()) {
        blank = std::memcmp(m_flash.data() + at, erased.data(),
                            std::min(erased.size(), m_flash.size() - at)) == 0;
      }
      if (!blank) {
        ErrorReply(reply, KERR_NOT_ERASE_ERROR);
        return;
      }
      EndCommand();
      Acknowledge(reply);
      return;
    }
    case 0x48:
      if (m_eraseModuleLoaded) {
        m_frameLength = 4;
        m_state = State::Frame;
        return;
      }
      [[fallthrough]];
    case 0x40:
    case 0x43:
      // The modules run on top of the main kernel.
      if (command != 0x40 && !m_mainKernelLoaded) {
        ErrorReply(reply, KERR_COMMAND_ERROR);
        return;
      }
      m_sum = 0;  // the module's checksum counts the size and the file, not the command
      m_moduleSize = 0;
      m_state = State::ModuleSize;
      Acknowledge(reply);
      return;
    case 0x50:
      if (!m_writeModuleLoaded) {
        ErrorReply(reply, KERR_COMMAND_ERROR);
        return;
      }
      m_writeAddress = 0;
      m_state = State::WriteAddress;
      return;
    default:
      ErrorReply(reply, KERR_COMMAND_ERROR);
      return;
  }
}

void Target::FinishFrame(Reply& reply) {
  if (FrameSum() != 0) {
    ErrorReply(reply, KERR_SUM_ERROR);
    return;
  }
  if (m_frame[1] != m_frameLength - 3) {
    ErrorReply(reply, KERR_COMMAND_ERROR);
    return;
  }
  switch (m_command) {
    case 0x3F: {
      const std::uint32_t rate = ((m_frame[2] << 8) | m_frame[3]) * 100u;
      const std::uint32_t clock = ((m_frame[4] << 8) | m_frame[5]) * 10000u;
      if (m_frame[6] != 0x01 || m_frame[7] != 0x01 || m_frame[8] != 0x00) {
        ErrorReply(reply, 0x22);  // CLOCK_MODE_DISAGREEMENT
        return;
      }
      if (clock < 1000000 || clock > 40000000) {
        ErrorReply(reply, KERR_INPUT_CLOCK_ERROR);
        return;
      }
      if (!RateReachable(rate, clock)) {
        ErrorReply(reply, KERR_BAUD_RATE_ERROR);
        return;
      }
      m_newRate = static_cast<std::int32_t>(rate);
      m_frames.push_back({m_frame, m_frameRate});
      m_frame.clear();
      m_state = State::RateAck;
      Acknowledge(reply);
      return;
    }
    case 0x10: {
      const std::string code(m_frame.begin() + 2, m_frame.begin() + 6);
      for (std::size_t i = 0; i < m_config.devices.size(); ++i) {
        if (m_config.devices[i].code == code) {
          m_selectedDevice = static_cast<int>(i);
          EndCommand();
          Acknowledge(reply);
          return;
        }
      }
      ErrorReply(reply, KERR_DEVICE_CODE_ERROR);
      return;
    }
    case 0x48: {
      const std::uint8_t number = m_frame[2];
      if (number != 0xFF) {
        if (number >= m_config.eraseBlocks.size()) {
          ErrorReply(reply, KERR_ERASE_BLOCK_NO_ERROR);
          return;
        }
        const bool stuck = std::find(m_config.stuckBlocks.begin(), m_config.stuckBlocks.end(),
                                     number) != m_config.stuckBlocks.end();
        const EraseBlock& block = m_config.eraseBlocks[number];
        if (!stuck)
          std::fill(m_flash.begin() + (block.first - m_flashBase),
                    m_flash.begin() + (block.last - m_flashBase) + 1, 0xFF);
        reply.delay = m_config.eraseTime;
      }
      EndCommand();
      Acknowledge(reply);
      return;
    }
    default:
      ErrorReply(reply, KERR_COMMAND_ERROR);
      return;
  }
}

std::uint8_t Target::FrameSum() const {
  std::uint8_t sum = 0;
  for (std::uint8_t b : m_frame) sum = static_cast<std::uint8_t>(sum + b);
  return sum;
}

void Target::FinishModule(Reply& reply) {
  const char* header = m_command == 0x40   ? STAND_IN_MAIN_KERNEL
                       : m_command == 0x43 ? STAND_IN_WRITE_MODULE
                                           : STAND_IN_ERASE_MODULE;
  const bool ours = IsStandIn(m_module, header);
  // A module that is not the one the command loads fails the kernel's check just as
  // a corrupted one does.
  if (m_sum != 0 || !ours) {
    ErrorReply(reply, KERR_SUM_ERROR);
    return;
  }
  if (m_command == 0x40) m_mainKernelLoaded = true;
  if (m_command == 0x43) m_writeModuleLoaded = true;
  if (m_command == 0x48) m_eraseModuleLoaded = true;
  EndCommand();
  Acknowledge(reply);
}

void Target::FinishWrite(Reply& reply) {
  if (m_sum != 0) {
    ErrorReply(reply, KERR_SUM_ERROR);
    return;
  }
  if (m_writeAddress == END_OF_WRITE) {
    ++m_writesEnded;
    EndCommand();
    Acknowledge(reply);
    // The host now asks the user to reset the printer; the virtual one does it by
    // itself, so that the next run finds it as the first one did.
    if (m_mode == Mode::Kernel) {
      if (m_config.startInBootMode) {
        Restart(true);
      } else {
        RestartResidentKernel();
      }
    }
    return;
  }
  const std::size_t offset = m_writeAddress - m_flashBase;
  const std::uint8_t* data = m_frame.data() + 5;
  for (std::uint32_t i = 0; i < WRITE_BLOCK; ++i) {
    const std::uint8_t old = m_flash[offset + i];
    if (old != 0xFF && old != data[i]) {
      ErrorReply(reply, KERR_NOT_ERASE_ERROR);
      return;
    }
  }
  std::copy(data, data + WRITE_BLOCK, m_flash.begin() + offset);
  reply.delay = m_config.writeTime;
  EndCommand();
  Acknowledge(reply);
}

std::vector<std::uint8_t> Target::DeviceInquiryReply() const {
  std::vector<std::uint8_t> payload{static_cast<std::uint8_t>(m_config.devices.size())};
  for (const DeviceEntry& device : m_config.devices) {
    std::string code = device.code;
    code.resize(4, ' ');
    payload.push_back(static_cast<std::uint8_t>(4 + device.name.size()));
    payload.insert(payload.end(), code.begin(), code.end());
    payload.insert(payload.end(), device.name.begin(), device.name.end());
  }
  // Made whole, then the payload copied in. Not a range insert into a vector made from
  // the two header bytes: GCC 12 at -O3 takes the copy in such an insert for a write
  // past the end (-Warray-bounds, a false positive that fails a plain Release build).
  std::vector<std::uint8_t> reply(2 + payload.size());
  reply[0] = 0x30;
  reply[1] = static_cast<std::uint8_t>(payload.size());
  std::copy(payload.begin(), payload.end(), reply.begin() + 2);
  std::uint8_t sum = 0;
  for (std::uint8_t b : reply) sum = static_cast<std::uint8_t>(sum + b);
  reply.push_back(static_cast<std::uint8_t>(-sum));
  return reply;
}

std::vector<std::uint8_t> Target::EraseBlockInquiryReply() const {
  std::vector<std::uint8_t> payload{static_cast<std::uint8_t>(m_config.eraseBlocks.size())};
  auto put32 = [&](std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
      payload.push_back(static_cast<std::uint8_t>(v >> shift));
  };
  for (const EraseBlock& block : m_config.eraseBlocks) {
    put32(block.first);
    put32(block.last);
  }
  // Made whole, then the payload copied in, for GCC 12's sake as above.
  std::vector<std::uint8_t> reply(3 + payload.size());
  reply[0] = 0x36;
  reply[1] = static_cast<std::uint8_t>(payload.size() >> 8);
  reply[2] = static_cast<std::uint8_t>(payload.size());
  std::copy(payload.begin(), payload.end(), reply.begin() + 3);
  std::uint8_t sum = 0;
  for (std::uint8_t b : reply) sum = static_cast<std::uint8_t>(sum + b);
  reply.push_back(static_cast<std::uint8_t>(-sum));
  return reply;
}

void Target::Echo(Reply& reply, std::uint8_t byte) {
  const int index = m_echoIndex++;
  for (const Fault& fault : m_config.faults) {
    if (fault.command != STAGE_ECHO) continue;
    // Silent as from any command: nothing more, the download's answer included.
    if (fault.kind == FaultKind::Silent && index + 1 >= fault.occurrence) {
      m_mode = Mode::Dead;
      return;
    }
    if (fault.kind == FaultKind::BadEcho && fault.value == index) byte ^= 0xFF;
  }
  reply.bytes.push_back(byte);
}

void Target::ReceiveBoot(std::uint8_t byte, Reply& reply) {
  auto stageAnswer = [&](int stage, std::uint8_t normal) -> bool {
    const Fault* fault = FaultFor(stage, ++m_stageOccurrences[stage - STAGE_SYNC]);
    if (fault && fault->kind == FaultKind::Silent) {
      m_mode = Mode::Dead;
      return false;
    }
    if (fault && fault->kind == FaultKind::HangUp) {
      m_mode = Mode::Dead;
      reply.hangUp = true;
      return false;
    }
    const bool failed = fault && fault->kind == FaultKind::ErrorReply;
    reply.bytes.push_back(failed ? static_cast<std::uint8_t>(fault->value) : normal);
    return !failed;
  };
  switch (m_state) {
    case State::BootSync:
      // The boot program measures the rate on the zeros and answers once.
      if (byte != 0x00) return;
      if (stageAnswer(STAGE_SYNC, 0x00)) m_state = State::BootRequest;
      return;
    case State::BootRequest:
      if (byte != 0x55) return;  // zeros still on their way from the host
      if (!stageAnswer(STAGE_PROCEED, 0xAA)) return;
      // The boot program erases the whole flash before it takes a micro-kernel.
      std::fill(m_flash.begin(), m_flash.end(), 0xFF);
      m_bootSize = 0;
      m_bootSizeBytes = 0;
      m_echoIndex = 0;
      m_microKernel.clear();
      m_state = State::BootSize;
      return;
    case State::BootSize:
      Echo(reply, byte);
      m_bootSize = (m_bootSize << 8) | byte;
      if (++m_bootSizeBytes < 2) return;
      m_state = State::BootData;
      break;
    case State::BootData:
      Echo(reply, byte);
      m_microKernel.push_back(byte);
      break;
    default:
      return;
  }
  if (m_mode == Mode::Dead || m_microKernel.size() < m_bootSize) return;
  if (!stageAnswer(STAGE_DOWNLOAD, 0xAA)) {
    m_state = State::BootSync;
    return;
  }
  m_mode = IsStandIn(m_microKernel, STAND_IN_MICRO_KERNEL) ? Mode::Kernel : Mode::Dead;
  m_state = State::Idle;
  m_kernelRate = 0;
}

}  // namespace zerviko::sim

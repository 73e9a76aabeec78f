#include "tests/engine/FakeKernel.h"

#include <algorithm>
#include <numeric>

namespace zerviko::test {

namespace {

constexpr std::uint8_t kAck = 0x06;

bool SumsToZero(const std::vector<std::uint8_t>& bytes, std::size_t from) {
  unsigned sum = 0;
  for (std::size_t i = from; i < bytes.size(); ++i) sum += bytes[i];
  return sum % 256 == 0;
}

}  // namespace

std::vector<std::uint8_t> DevicePayload(const std::vector<Device>& devices) {
  std::vector<std::uint8_t> p{static_cast<std::uint8_t>(devices.size())};
  for (const Device& d : devices) {
    p.push_back(static_cast<std::uint8_t>(4 + d.name.size()));
    p.insert(p.end(), d.code.begin(), d.code.end());
    p.insert(p.end(), d.name.begin(), d.name.end());
  }
  return p;
}

std::vector<std::uint8_t> EraseBlockPayload(
    const std::vector<std::pair<std::uint32_t, std::uint32_t>>& blocks) {
  std::vector<std::uint8_t> p{static_cast<std::uint8_t>(blocks.size())};
  for (auto [first, last] : blocks) {
    for (std::uint32_t v : {first, last}) {
      for (int shift = 24; shift >= 0; shift -= 8) p.push_back(static_cast<std::uint8_t>(v >> shift));
    }
  }
  return p;
}

std::vector<std::uint8_t> InquiryReply(std::uint8_t command, const std::vector<std::uint8_t>& payload,
                                       bool wide) {
  std::vector<std::uint8_t> r{static_cast<std::uint8_t>(command | 0x10)};
  if (wide) r.push_back(static_cast<std::uint8_t>(payload.size() >> 8));
  r.push_back(static_cast<std::uint8_t>(payload.size()));
  r.insert(r.end(), payload.begin(), payload.end());
  const unsigned sum = std::accumulate(r.begin(), r.end(), 0u);
  r.push_back(static_cast<std::uint8_t>(256 - sum % 256));
  return r;
}

FakeKernel::FakeKernel(ScriptedPort& port) : m_port(port) {
  m_port.onWrite = [this](std::uint8_t byte) { OnByte(byte); };
}

std::vector<Frame> FakeKernel::FramesOf(std::uint8_t command) const {
  std::vector<Frame> out;
  std::copy_if(frames.begin(), frames.end(), std::back_inserter(out),
               [command](const Frame& f) { return f.command == command; });
  return out;
}

void FakeKernel::Complete(Frame frame, Answer usual) {
  frame.baud = m_port.baud;
  frames.push_back(frame);
  std::optional<Answer> replaced = answer ? answer(frame) : std::nullopt;
  const Answer& a = replaced ? *replaced : usual;
  m_port.Reply(a.bytes, a.delayMs);
}

void FakeKernel::StartFrame(std::uint8_t command, std::size_t length, std::string kind) {
  m_frame = Frame{command, {command}, 0, false, std::move(kind)};
  m_frameLength = length;
  m_state = State::Frame;
}

void FakeKernel::OnByte(std::uint8_t byte) {
  switch (m_state) {
    case State::Dead:
      return;

    case State::BootSync:
      if (byte == 0x00 && ++zerosSeen == syncZeros) {
        m_port.Reply({syncAnswer});
        m_state = State::BootProceed;
      }
      return;

    case State::BootProceed:
      if (byte == 0x55) {
        m_port.Reply({proceedAnswer}, proceedDelayMs);
        m_state = proceedAnswer == 0xAA ? State::BootDownload : State::Dead;
        m_downloadIndex = 0;
        m_downloadSize = 0;
      }
      return;

    case State::BootDownload: {
      const std::size_t i = m_downloadIndex++;
      if (i < 2) {
        m_downloadSize = m_downloadSize * 256 + byte;
      } else {
        microKernel.push_back(byte);
      }
      if (echoes) m_port.Reply({echoOf ? echoOf(i, byte) : byte}, echoDelayMs);
      maxUnechoed = std::max(maxUnechoed, m_port.Pending());
      if (m_downloadIndex >= 2 && m_downloadIndex == 2 + m_downloadSize) {
        if (echoes) m_port.Reply({downloadAnswer}, std::max(echoDelayMs, downloadDelayMs));
        m_state = downloadAnswer == 0xAA ? State::Idle : State::Dead;
      }
      return;
    }

    case State::AwaitBaudAck:
      if (byte == kAck) {
        m_state = State::Idle;
        Complete({0x3F, {kAck}, 0, true, "ack"}, {{kAck}});
        return;
      }
      m_state = State::Idle;
      break;

    case State::Frame:
      m_frame.bytes.push_back(byte);
      if (m_frame.command == 0x50 && m_frame.bytes.size() == 5) {
        const bool end = std::all_of(m_frame.bytes.begin() + 1, m_frame.bytes.end(),
                                     [](std::uint8_t b) { return b == 0xFF; });
        m_frameLength = end ? 6 : 134;
      }
      if (m_frame.bytes.size() == m_frameLength) {
        m_state = State::Idle;
        m_frame.summed = SumsToZero(m_frame.bytes, 0);
        if (m_frame.command == 0x50 && m_frameLength == 134) {
          const auto& b = m_frame.bytes;
          const std::uint32_t address = (std::uint32_t{b[1]} << 24) | (std::uint32_t{b[2]} << 16) |
                                        (std::uint32_t{b[3]} << 8) | b[4];
          memory[address].assign(b.begin() + 5, b.begin() + 133);
        }
        const std::uint8_t command = m_frame.command;
        const std::size_t before = frames.size();
        Complete(m_frame, {{kAck}});
        // Only an acknowledged clock and baud frame moves the kernel to the new rate.
        if (command == 0x3F && frames.size() > before && m_port.Pending() > 0) {
          m_state = State::AwaitBaudAck;
        }
      }
      return;

    case State::ModuleBody: {
      const std::size_t index = m_frame.bytes.size();
      m_frame.bytes.push_back(byte);
      if (moduleBreak && moduleBreak->command == m_frame.command && moduleBreak->at == index) {
        m_port.Reply(moduleBreak->reply);
        m_state = State::Dead;
        return;
      }
      if (index == 3) {
        m_moduleSize = (std::uint32_t{m_frame.bytes[0]} << 24) | (std::uint32_t{m_frame.bytes[1]} << 16) |
                       (std::uint32_t{m_frame.bytes[2]} << 8) | m_frame.bytes[3];
      }
      if (m_frame.bytes.size() >= 4 && m_frame.bytes.size() == 4 + std::size_t{m_moduleSize} + 1) {
        m_state = State::Idle;
        m_frame.summed = SumsToZero(m_frame.bytes, 0);
        modules[m_frame.command].assign(m_frame.bytes.begin() + 4, m_frame.bytes.end() - 1);
        if (m_frame.command == 0x48) m_eraseModuleLoaded = true;
        Complete(m_frame, {{kAck}});
      }
      return;
    }

    case State::Idle:
      break;
  }

  // A new command in the kernel.
  switch (byte) {
    case 0x3F:
      StartFrame(byte, 10, "frame");
      break;
    case 0x10:
      StartFrame(byte, 7, "frame");
      break;
    case 0x50:
      StartFrame(byte, 6, "frame");
      break;
    case 0x20:
      Complete({byte, {byte}, 0, true, "inquiry"}, {InquiryReply(byte, devicePayload, false)});
      break;
    case 0x26:
      Complete({byte, {byte}, 0, true, "inquiry"}, {InquiryReply(byte, eraseBlockPayload, true)});
      break;
    case 0x4D:
      Complete({byte, {byte}, 0, true, "command"}, {{kAck}});
      break;
    case 0x48:
      if (m_eraseModuleLoaded) {
        StartFrame(byte, 4, "frame");
        break;
      }
      [[fallthrough]];
    case 0x40:
    case 0x43: {
      const std::size_t before = m_port.Pending();
      Complete({byte, {byte}, 0, true, "load"}, {{kAck}});
      if (m_port.Pending() > before) {
        m_frame = Frame{byte, {}, 0, false, "module"};
        m_moduleSize = 0;
        m_state = State::ModuleBody;
      }
      break;
    }
    default:
      frames.push_back({byte, {byte}, m_port.baud, false, "stray"});
      break;
  }
}

}  // namespace zerviko::test

// The engine in the test's own process, on a scripted port with the virtual printer's
// state machine answering. Its time moves only when the engine writes (11 bit times a
// byte), sleeps, or waits in a read for bytes yet to come: a 10 s timeout passes at once
// and is still measured exactly. Cues put the test in the target's place (another
// answer, a late one, a restart by hand) or make a port call fail, counted from a
// message of the run.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numeric>
#include <optional>

#include "engine/ProgrammingRun.h"
#include "engine/SerialPort.h"
#include "sim/Target.h"
#include "tests/TempFolder.h"

namespace zerviko::test {

using Bytes = std::vector<std::uint8_t>;

// count bytes from first on, never 0xFF, so that every piece of such an image is written.
inline Bytes Pattern(std::size_t count, unsigned first = 1) {
  Bytes out(count);
  for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::uint8_t>((first + i) % 255);
  return out;
}

// An inquiry's reply: command | 0x10, the length (two bytes when wide), payload, checksum.
inline Bytes InquiryReply(std::uint8_t command, const Bytes& payload, bool wide) {
  Bytes r{std::uint8_t(command | 0x10), std::uint8_t(payload.size() >> 8), std::uint8_t(payload.size())};
  if (!wide) r.erase(r.begin() + 1);
  r.insert(r.end(), payload.begin(), payload.end());
  r.push_back(static_cast<std::uint8_t>(-std::accumulate(r.begin(), r.end(), 0u)));
  return r;
}

// A micro-kernel of size bytes. The virtual printer runs only its stand-in, which begins
// with its title: one too short to hold the title is foreign code, and the printer falls
// silent once it runs it.
inline Bytes MicroKernelBytes(std::size_t size) {
  Bytes bytes = Pattern(size, 0x20);
  const std::string title = std::string(sim::STAND_IN_MICRO_KERNEL) + " ";
  if (size >= title.size()) std::copy(title.begin(), title.end(), bytes.begin());
  return bytes;
}

// One folder for the whole test program, removed when it ends.
inline const std::string& Folder() {
  static const struct Made {
    std::string path = MakeTempFolder("zerviko-engine-").string();
    ~Made() { std::error_code ignored; std::filesystem::remove_all(path, ignored); }
  } made;
  return made.path;
}
inline std::string File(const std::string& name, const Bytes& bytes) {
  std::ofstream(Folder() + "/" + name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return Folder() + "/" + name;
}

struct Message {
  int percent, level, block;
  std::string text;
  double at;            // virtual ms
  std::size_t written;  // bytes written before it
};

// From the first message that begins with `after` (from the start when empty) on, the
// nth call of port operation `op` fails, or the target's answer to the nth byte written
// (op "W") is replaced by `bytes` and comes `delayMs` later. op: a letter of the log, or
// W and r for writes and reads, which it leaves out; with a value ("T200"), calls with it.
struct Cue {
  std::string after{};
  std::string op = "W";
  int nth = 1;  // 0: every one; -n: the first n
  bool fail = false;
  std::optional<Bytes> bytes{};
  double delayMs = 0;
  bool handReset = false;  // the user restarts the target into its boot program before that byte
  bool armed = false;
  int seen = 0;
};

class Rig final : public SerialPort, public RunClock {
 public:
  Rig() {
    // The virtual printer takes a module that begins with the title line of its stand-in.
    auto module = [](const char* name, std::string t) { return File(name, Bytes(t.begin(), t.end())); };
    static const std::string main = module("Genm2329.cde", sim::STAND_IN_MAIN_KERNEL),
                             erase = module("Gene2329.cde", sim::STAND_IN_ERASE_MODULE),
                             write = module("Genw2329.cde", sim::STAND_IN_WRITE_MODULE),
                             micro = File("uKernel.cde", MicroKernelBytes(300));
    config.eraseBlocks = {{0x0000, 0x0FFF}, {0x1000, 0x1FFF}};
    options.portName = "/dev/ttyTEST";
    std::tie(options.mainKernelPath, options.eraseModulePath, options.writeModulePath,
             options.microKernelPath) = std::tie(main, erase, write, micro);
  }

  sim::TargetConfig config;  // the target is made from it when the first byte goes out
  ProgrammingOptions options;
  std::vector<Cue> cues;
  std::string abortAt;  // the callback sets the abort byte at this message
  double ctrlCAt = -1;  // and at every call from this virtual ms on, as Ctrl-C does
  int waits = 0;        // LEVEL_WAITING calls, which are no messages
  std::vector<Message> messages;
  Bytes written;
  std::string log;  // every call but writes and reads: "O U100,0 F B9600 T200 S200 B115200 T200 ..."
  double now = 0;
  double timeoutAt = 0;  // when a read timeout was last chosen
  std::size_t maxPending = 0;
  ProgrammingRun unit{options, nullptr, 0, &Callback, this, *this, *this};

  sim::Target& Target() { return m_target ? *m_target : m_target.emplace(config); }
  bool Run(const std::uint8_t* image, std::int32_t size) {
    return ProgrammingRun(options, image, size, &Callback, this, *this, *this).Run();
  }
  static int Callback(void* context, int percent, int level, int block, const char* text,
                      std::uint8_t* abort) {
    auto* self = static_cast<Rig*>(context);
    if (self->ctrlCAt >= 0 && self->now >= self->ctrlCAt) *abort = 1;
    if (level == LEVEL_WAITING) return ++self->waits, 0;
    self->messages.push_back({percent, level, block, text, self->now, self->written.size()});
    for (Cue& cue : self->cues) cue.armed = cue.armed || std::string(text).rfind(cue.after, 0) == 0;
    if (self->abortAt == text) *abort = 1;
    return 0;
  }
  // The one error of a failed run, which must be its last message.
  std::string Error() const {
    EXPECT_EQ(std::count_if(messages.begin(), messages.end(), [](auto& m) { return m.level == 0; }), 1);
    EXPECT_TRUE(!messages.empty() && messages.back().level == LEVEL_ERROR && messages.back().block == 0);
    return messages.empty() ? "" : messages.back().text;
  }
  const Message* Find(const std::string& text) const {
    for (const Message& m : messages)
      if (m.text.rfind(text, 0) == 0) return &m;
    return nullptr;
  }
  std::size_t WrittenSince(const std::string& text) const { return written.size() - Find(text)->written; }
  // The commands the target took: "3F 06 20 10 26 40 48 48.0 48.1 48.FF 4D 43 50.0 50.FFFFFFFF".
  std::string Trace() {
    auto frames = Target().Frames();
    frames.push_back({Target().FrameInProgress(), 0});
    std::string out;
    for (const auto& [b, rate] : frames) {
      char token[16] = "";
      const bool erase = b.size() == 4 && b[0] == 0x48;
      if (b.size() >= 5 && b[0] == 0x50)
        std::snprintf(token, sizeof token, " 50.%X", unsigned{b[1]} << 24 | b[2] << 16 | b[3] << 8 | b[4]);
      else if (!b.empty())
        std::snprintf(token, sizeof token, erase ? " 48.%X" : " %02X", b[erase ? 2 : 0]);
      out += token;
    }
    return out.substr(out.empty() ? 0 : 1);
  }

  bool Open(const std::string&) override { return Call("O"); }
  void Close() override { Call("C"); }
  bool Configure(const std::string&) override { return Call("F", [&] { m_baud = 9600; }); }
  bool SetBaudRate(std::int32_t rate) override {
    return Call(Token('B', rate), [&] { m_baud = rate; });
  }
  bool SetBufferSizes(std::uint32_t in, std::uint32_t out) override {
    return Call("U" + std::to_string(in) + "," + std::to_string(out));
  }
  bool SetReadTimeout(std::uint32_t ms) override {
    return Call(Token('T', ms), [&] { m_timeout = ms, timeoutAt = now; });
  }
  bool PurgeInput() override {
    return Call("P", [&] { std::erase_if(m_input, [&](auto& in) { return in.second <= now; }); });
  }
  // The target restarts when RTS is released: into its boot program if DTR is asserted.
  bool SetRts(bool on) override {
    return Call(on ? "R1" : "R0", [&] {
      if (m_rts && !on) Target().Restart(m_dtr);
      m_rts = on;
    });
  }
  bool SetDtr(bool on) override { return Call(on ? "D1" : "D0", [&] { m_dtr = on; }); }
  bool WriteByte(std::uint8_t byte) override {
    const Cue* cue = Hit("W");
    if (cue && cue->fail) return false;
    written.push_back(byte);
    now += 11000.0 / m_baud;
    if (m_rts) return true;  // a target held in reset hears nothing
    if (cue && cue->handReset) Target().Restart(true);
    sim::Reply reply;
    Target().Receive(byte, m_baud, reply);
    double at = now + static_cast<double>(reply.delay.count()) / 1000 + (cue ? cue->delayMs : 0);
    if (cue && cue->bytes) reply.bytes = *cue->bytes;
    if (!m_input.empty()) at = std::max(at, m_input.back().second);
    for (std::uint8_t b : reply.bytes) m_input.push_back({b, at});
    maxPending = std::max(maxPending, m_input.size());
    return true;
  }
  bool Read(std::uint8_t* buffer, std::size_t count, std::size_t* got) override {
    return Call("r", [&] { *got = Take(buffer, count); });
  }
  bool ReadByte(std::uint8_t* byte) override {
    std::size_t got = 0;
    return Read(byte, 1, &got) && got == 1;
  }
  std::chrono::steady_clock::time_point Now() override {
    using namespace std::chrono;
    return steady_clock::time_point{} + duration_cast<nanoseconds>(duration<double, std::milli>(now));
  }
  void Sleep(std::chrono::milliseconds duration) override {
    Call(Token('S', duration.count()), [&] { now += static_cast<double>(duration.count()); });
  }

 private:
  // The first cue that strikes this call, after counting the call for every cue it matches.
  const Cue* Hit(const std::string& token) {
    const Cue* hit = nullptr;
    for (Cue& cue : cues) {
      if (!(cue.armed |= cue.after.empty()) || (cue.op != token && cue.op != token.substr(0, 1))) continue;
      ++cue.seen;
      if ((cue.seen == cue.nth || cue.nth == 0 || cue.seen <= -cue.nth) && !hit) hit = &cue;
    }
    return hit;
  }
  // "B9600": a letter and a number, appended; GCC 12 at -O3 takes "B" + std::to_string(n)
  // for an overlapping copy (-Wrestrict, a false positive in a plain Release build).
  static std::string Token(char letter, long long value) {
    std::string token(1, letter);
    return token += std::to_string(value);
  }
  // Logs the call, then does it unless a cue makes it fail.
  bool Call(const std::string& token, const std::function<void()>& then = [] {}) {
    if (token != "r") log += (log.empty() ? "" : " ") + token;
    const Cue* cue = Hit(token);
    if (cue && cue->fail) return false;
    then();
    return true;
  }
  // The bytes that arrive before the timeout ends; time moves on to each, or to the end.
  std::size_t Take(std::uint8_t* buffer, std::size_t count) {
    const double deadline = now + m_timeout;
    std::size_t got = 0;
    for (; got < count && !m_input.empty() && m_input.front().second <= deadline; m_input.pop_front()) {
      now = std::max(now, m_input.front().second);
      buffer[got++] = m_input.front().first;
    }
    if (got < count) now = deadline;
    return got;
  }

  std::optional<sim::Target> m_target;
  std::deque<std::pair<std::uint8_t, double>> m_input;  // bytes and when they arrive
  std::int32_t m_baud = 9600;
  std::uint32_t m_timeout = 0;
  bool m_rts = false;
  bool m_dtr = false;
};

}  // namespace zerviko::test

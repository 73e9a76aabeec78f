// The termios port over a pseudo-terminal: the test holds the master side and plays
// the device.
#include <pty.h>
#include <termios.h>

#include "engine/TermiosLine.h"
#include "engine/TermiosSerialPort.h"
#include "tests/e2e/Support.h"

namespace zerviko::e2e {
namespace {

constexpr tcflag_t kOther = 0010000;  // the kernel's BOTHER, which glibc does not declare
constexpr const char* kLine =
    "baud=9600 parity=n data=8 stop=2 xon=off odsr=off octs=off idsr=off dtr=off rts=off";

// How long a call took, in ms.
const auto Took = [](auto call) {
  const auto start = Clock::now();
  call();
  return static_cast<long>((Clock::now() - start) / 1ms);
};

class Port : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[128];
    int slave = -1;
    ASSERT_EQ(::openpty(&m_master, &slave, name, nullptr, nullptr), 0);
    ::close(slave);
    m_device = name;
    ASSERT_TRUE(m_port.Open(m_device));
    ASSERT_TRUE(m_port.Configure(kLine));
  }
  void TearDown() override {
    m_port.Close();
    ::close(m_master);
  }
  // The line as the device sees it: rate, stop bits, " xon" and " rtscts" when set, " other"
  // for a rate given by number (old drivers know only the standard rates' constants). (A
  // pseudo-terminal keeps 8 data bits and no parity whatever it is asked.)
  std::string Line() const {
    std::int32_t rate = 0;
    termios t{};
    EXPECT_TRUE(termios_line::GetLineRate(m_master, &rate) && ::tcgetattr(m_master, &t) == 0);
    return std::to_string(rate) + ((t.c_cflag & CSTOPB) ? " 2" : " 1") + ((t.c_iflag & IXON) ? " xon" : "") +
           ((t.c_cflag & CRTSCTS) ? " rtscts" : "") + ((t.c_cflag & CBAUD) == kOther ? " other" : "");
  }

  int m_master = -1;
  std::string m_device;
  TermiosSerialPort m_port;
};

TEST_F(Port, ReadsWaitAsTheirTimeoutSaysWhateverSignalsCome) {
  struct sigaction action {}, previous {};
  action.sa_handler = [](int) {};  // no SA_RESTART: every signal interrupts the wait
  ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
  std::atomic<bool> done{false};
  std::thread nagger([&, reader = pthread_self()] {
    for (; !done; std::this_thread::sleep_for(7ms)) pthread_kill(reader, SIGUSR1);
  });
  std::uint8_t buffer[3];
  std::size_t count = 99;
  ASSERT_TRUE(m_port.SetReadTimeout(0));
  EXPECT_LT(Took([&] { EXPECT_TRUE(m_port.Read(buffer, 1, &count)); }), 90) << "at once";
  EXPECT_EQ(count, 0u);
  ASSERT_TRUE(m_port.SetReadTimeout(200));
  long took = Took([&] { EXPECT_FALSE(m_port.ReadByte(buffer)); });
  EXPECT_TRUE(took >= 199 && took < 500) << took;
  // Two bytes of three: a short count after the wait. Raw: CR and XOFF are data.
  ASSERT_EQ(::write(m_master, "\r\x13", 2), 2);
  took = Took([&] { EXPECT_TRUE(m_port.Read(buffer, 3, &count)); });
  EXPECT_TRUE(took >= 199 && took < 500) << took;
  EXPECT_EQ(std::string(buffer, buffer + count), "\r\x13");
  ASSERT_EQ(::write(m_master, "\x56", 1), 1);
  EXPECT_LT(Took([&] { EXPECT_TRUE(m_port.ReadByte(buffer)); }), 90) << "a byte already there comes at once";
  EXPECT_EQ(buffer[0], 0x56);
  done = true;
  nagger.join();
  sigaction(SIGUSR1, &previous, nullptr);
}

TEST_F(Port, WritesGoOutRawAndAStalledLineFailsThem) {
  for (std::uint8_t b : {0x3F, 0x00, 0xFF, 0x0A, 0x0D, 0x11, 0x13}) ASSERT_TRUE(m_port.WriteByte(b));
  char got[8] = {};
  for (ssize_t total = 0, n; total < 7; total += n)
    ASSERT_GT(n = ::read(m_master, got + total, 7 - total), 0);
  EXPECT_EQ(std::string(got, 7), std::string("\x3F\x00\xFF\x0A\x0D\x11\x13", 7));
  // Nobody reads any more: once the line is full, a write gives up after its limit.
  bool ok = true;
  long took = 0;
  for (int i = 0; i < (1 << 20) && ok; ++i) took = Took([&] { ok = m_port.WriteByte(0x55); });
  EXPECT_FALSE(ok);
  EXPECT_TRUE(took >= 1990 && took < 5000) << took;
}

TEST_F(Port, NoModemLinesAndOtherCalls) {
  EXPECT_FALSE(m_port.HasModemLines());
  EXPECT_TRUE(m_port.Configure("baud=9600 dtr=on rts=on")) << "lines it does not have are left alone";
  EXPECT_FALSE(m_port.SetRts(true) || m_port.SetDtr(false)) << "but cannot be driven";
  EXPECT_TRUE(m_port.SetBufferSizes(100, 0));
  EXPECT_FALSE(m_port.SetBufferSizes(0, 0));
  ASSERT_EQ(::write(m_master, "abc", 3), 3);
  std::this_thread::sleep_for(20ms);
  std::uint8_t buffer[3];
  std::size_t count = 9;
  ASSERT_TRUE(m_port.PurgeInput() && m_port.SetReadTimeout(0) && m_port.Read(buffer, 3, &count));
  EXPECT_EQ(count, 0u) << "purged";
}

TEST_F(Port, OpenIsExclusiveAndFailuresSayWhy) {
  TermiosSerialPort second;
  EXPECT_FALSE(second.Open(m_device));
  EXPECT_EQ(second.OpenError(), EBUSY);
  second.Close();  // harmless after a failed open
  m_port.Close();
  EXPECT_TRUE(second.Open(m_device)) << "free again once closed";
  second.Close();
  EXPECT_FALSE(second.Open("/nonexistent/ttyZ"));
  EXPECT_EQ(second.OpenError(), ENOENT);
  EXPECT_FALSE(second.Open("/dev/null"));
  EXPECT_EQ(second.OpenError(), ENOTTY);
  std::uint8_t byte = 0;
  EXPECT_FALSE(second.WriteByte(1) || second.ReadByte(&byte) || second.Configure(kLine) ||
               second.SetReadTimeout(0));
}

TEST_F(Port, SettingsTextsAndRates) {
  EXPECT_EQ(Line(), "9600 2");
  for (const char* refused : {"", "baud=9600 parity=x", "baud=fast", "data=9", "stop=3", "stop=1.5 data=8",
                              "xon=maybe", "odsr=on", "dtr=hs", "rts=tg", "speed=9600", "baud9600",
                              "baud=-1 data=8", "=8", "to=x"}) {
    EXPECT_FALSE(m_port.Configure(refused)) << refused;
    EXPECT_EQ(Line(), "9600 2") << refused;
  }
  // Keys and values in any case, the mode command's short rates; what a text leaves out stays.
  for (auto [text, line] : {std::pair{"BAUD=96 Parity=E DATA=7 STOP=1 XON=ON", "9600 1 xon"},
                            {"baud=19 parity=m data=5 stop=1.5", "19200 2"},
                            {"baud=1", "1 2 other"}, {"baud=4800 rts=hs TO=ON", "4800 2 rtscts"},
                            {"parity=s octs=off data=6", "4800 2"}, {kLine, "9600 2"}}) {
    EXPECT_TRUE(m_port.Configure(text)) << text;
    EXPECT_EQ(Line(), line) << text;
  }
  for (auto [rate, other] : {std::pair{115200, ""}, {9650, " other"}, {921600, ""}, {1, " other"}, {57600, ""}, {1234, " other"}}) {
    ASSERT_TRUE(m_port.SetBaudRate(rate));
    EXPECT_EQ(Line(), std::to_string(rate) + " 2" + other);
  }
  EXPECT_FALSE(m_port.SetBaudRate(0) || m_port.SetBaudRate(-9600));
  EXPECT_EQ(Line(), "1234 2 other");
}

}  // namespace
}  // namespace zerviko::e2e

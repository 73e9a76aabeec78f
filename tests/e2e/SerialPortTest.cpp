// The termios port over a pseudo-terminal: the test holds the master side and plays
// the device.
#include <gtest/gtest.h>
#include <pty.h>
#include <cstring>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "engine/TermiosLine.h"
#include "engine/TermiosSerialPort.h"
#include "tests/e2e/Support.h"

namespace zerviko::e2e {
namespace {

using namespace std::chrono_literals;

constexpr const char* kSettings =
    "baud=9600 parity=n data=8 stop=2 xon=off odsr=off octs=off idsr=off dtr=off rts=off";

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[128];
    int slave = -1;
    ASSERT_EQ(::openpty(&m_master, &slave, name, nullptr, nullptr), 0);
    ::close(slave);
    m_device = name;
    ASSERT_TRUE(m_port.Open(m_device));
    ASSERT_TRUE(m_port.Configure(kSettings));
  }
  void TearDown() override {
    m_port.Close();
    if (m_master >= 0) ::close(m_master);
  }
  std::int32_t MasterRate() const {
    std::int32_t rate = 0;
    EXPECT_TRUE(termios_line::GetLineRate(m_master, &rate));
    return rate;
  }
  static long Millis(Clock::duration d) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
  }

  int m_master = -1;
  std::string m_device;
  TermiosSerialPort m_port;
};

TEST_F(SerialPortTest, ReadTimeoutModes) {
  std::uint8_t buffer[3];
  std::size_t count = 99;

  // 0 ms: at once, with nothing.
  ASSERT_TRUE(m_port.SetReadTimeout(0));
  auto start = Clock::now();
  EXPECT_TRUE(m_port.Read(buffer, 1, &count));
  EXPECT_EQ(count, 0u);
  EXPECT_LT(Millis(Clock::now() - start), 90) << "well short of any wait";

  // 100 ms, nothing: ReadByte fails after about 100 ms.
  ASSERT_TRUE(m_port.SetReadTimeout(100));
  start = Clock::now();
  EXPECT_FALSE(m_port.ReadByte(buffer));
  long elapsed = Millis(Clock::now() - start);
  EXPECT_GE(elapsed, 99);
  EXPECT_LT(elapsed, 400);

  // 100 ms, two of three bytes: a short count, no failure.
  ASSERT_EQ(::write(m_master, "\x12\x34", 2), 2);
  start = Clock::now();
  EXPECT_TRUE(m_port.Read(buffer, 3, &count));
  elapsed = Millis(Clock::now() - start);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(buffer[0], 0x12);
  EXPECT_EQ(buffer[1], 0x34);
  EXPECT_GE(elapsed, 99);
  EXPECT_LT(elapsed, 400);

  // Bytes already there come back without waiting.
  ASSERT_EQ(::write(m_master, "\x56", 1), 1);
  start = Clock::now();
  EXPECT_TRUE(m_port.ReadByte(buffer));
  EXPECT_EQ(buffer[0], 0x56);
  EXPECT_LT(Millis(Clock::now() - start), 90) << "well short of the 100 ms wait";
}

TEST_F(SerialPortTest, SignalsDoNotStretchTheTimeout) {
  struct sigaction action {};
  action.sa_handler = [](int) {};
  sigemptyset(&action.sa_mask);  // no SA_RESTART: every signal interrupts the wait
  struct sigaction previous {};
  ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
  std::atomic<bool> done{false};
  const pthread_t reader = pthread_self();
  std::thread nagger([&] {
    while (!done) {
      pthread_kill(reader, SIGUSR1);
      std::this_thread::sleep_for(7ms);
    }
  });
  ASSERT_TRUE(m_port.SetReadTimeout(200));
  std::uint8_t byte = 0;
  const auto start = Clock::now();
  EXPECT_FALSE(m_port.ReadByte(&byte));
  const long elapsed = Millis(Clock::now() - start);
  done = true;
  nagger.join();
  sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_GE(elapsed, 199);
  EXPECT_LT(elapsed, 500);
}

TEST_F(SerialPortTest, WritesReachTheFarSide) {
  for (std::uint8_t b : {0x3F, 0x00, 0xFF, 0x0A, 0x0D, 0x11, 0x13}) ASSERT_TRUE(m_port.WriteByte(b));
  std::uint8_t got[8] = {};
  std::size_t total = 0;
  while (total < 7) {
    const ssize_t n = ::read(m_master, got + total, sizeof got - total);
    ASSERT_GT(n, 0);
    total += static_cast<std::size_t>(n);
  }
  // Raw: no CR/LF translation, XON and XOFF pass as data.
  const std::uint8_t expected[] = {0x3F, 0x00, 0xFF, 0x0A, 0x0D, 0x11, 0x13};
  EXPECT_EQ(0, std::memcmp(got, expected, 7));
}

TEST_F(SerialPortTest, OpenIsExclusive) {
  TermiosSerialPort second;
  EXPECT_FALSE(second.Open(m_device));
  EXPECT_EQ(second.OpenError(), EBUSY);
  second.Close();  // harmless after a failed open
  m_port.Close();
  EXPECT_TRUE(second.Open(m_device)) << "the port is free again once closed";
}

TEST(SerialPortOpenTest, FailuresAreReportedAndCloseIsHarmless) {
  TermiosSerialPort port;
  EXPECT_FALSE(port.Open("/nonexistent/ttyZERVIKO"));
  EXPECT_EQ(port.OpenError(), ENOENT);
  port.Close();
  port.Close();
  EXPECT_FALSE(port.Open("/dev/null"));
  EXPECT_EQ(port.OpenError(), ENOTTY);
  std::uint8_t byte = 0;
  EXPECT_FALSE(port.WriteByte(1));
  EXPECT_FALSE(port.ReadByte(&byte));
  EXPECT_FALSE(port.Configure(kSettings));
}

TEST_F(SerialPortTest, TheHostsRateIsSeenFromTheMaster) {
  EXPECT_EQ(MasterRate(), 9600);
  for (std::int32_t rate : {115200, 9650, 250000, 57600, 1234}) {
    ASSERT_TRUE(m_port.SetBaudRate(rate)) << rate;
    EXPECT_EQ(MasterRate(), rate);
  }
  EXPECT_FALSE(m_port.SetBaudRate(0));
  EXPECT_FALSE(m_port.SetBaudRate(-9600));
  EXPECT_EQ(MasterRate(), 1234);
}

TEST_F(SerialPortTest, ConfigureParsesTheSettingsText) {
  ASSERT_TRUE(m_port.SetBaudRate(9650));
  // Refused texts change nothing.
  for (const char* bad : {"", "baud=9600 parity=x", "baud=fast", "data=9", "stop=3",
                          "stop=1.5 data=8", "xon=maybe", "odsr=on", "dtr=hs", "rts=tg",
                          "speed=9600", "baud9600", "baud=-1 data=8", "=8"}) {
    EXPECT_FALSE(m_port.Configure(bad)) << bad;
    EXPECT_EQ(MasterRate(), 9650) << bad;
  }
  // Keys and values in any letter case; the mode command's short rates.
  EXPECT_TRUE(m_port.Configure("BAUD=96 Parity=E DATA=7 STOP=1 XON=OFF"));
  EXPECT_EQ(MasterRate(), 9600);
  EXPECT_TRUE(m_port.Configure("baud=19 parity=m data=5 stop=1.5"));
  EXPECT_EQ(MasterRate(), 19200);
  EXPECT_TRUE(m_port.Configure("baud=4800"));
  EXPECT_EQ(MasterRate(), 4800);
}

TEST_F(SerialPortTest, APseudoTerminalHasNoModemLines) {
  EXPECT_FALSE(m_port.HasModemLines());
  // Releasing lines that do not exist is no failure; driving them is.
  EXPECT_TRUE(m_port.Configure("baud=9600 dtr=on rts=on"));
  EXPECT_FALSE(m_port.SetRts(true));
  EXPECT_FALSE(m_port.SetDtr(false));
  EXPECT_TRUE(m_port.SetBufferSizes(100, 0));
  EXPECT_FALSE(m_port.SetBufferSizes(0, 0));
}

TEST_F(SerialPortTest, PurgeDiscardsUnreadInput) {
  ASSERT_EQ(::write(m_master, "abc", 3), 3);
  std::this_thread::sleep_for(20ms);
  ASSERT_TRUE(m_port.PurgeInput());
  ASSERT_TRUE(m_port.SetReadTimeout(0));
  std::uint8_t buffer[3];
  std::size_t count = 9;
  EXPECT_TRUE(m_port.Read(buffer, 3, &count));
  EXPECT_EQ(count, 0u);
}

TEST_F(SerialPortTest, AHangUpFailsEveryCallAtOnce) {
  ASSERT_TRUE(m_port.SetReadTimeout(1000));
  std::thread closer([this] {
    std::this_thread::sleep_for(50ms);
    ::close(m_master);
    m_master = -1;
  });
  std::uint8_t byte = 0;
  std::size_t count = 0;
  const auto start = Clock::now();
  EXPECT_FALSE(m_port.Read(&byte, 1, &count));
  closer.join();
  EXPECT_LT(Millis(Clock::now() - start), 500) << "a hang-up ends the wait";
  EXPECT_FALSE(m_port.ReadByte(&byte));
  EXPECT_FALSE(m_port.WriteByte(0x55));
  ASSERT_TRUE(m_port.SetReadTimeout(0));
  EXPECT_FALSE(m_port.Read(&byte, 1, &count));
}

}  // namespace
}  // namespace zerviko::e2e

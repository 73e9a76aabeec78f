// The Windows providers that only a Windows program can reach, under Wine: the bridge
// maker's library taken by ordinal together with the 9x registry layout (the version
// is faked, Wine being an NT), and the package file's sharing.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ports/PortIdentity.h"
#include "ports/Win32Providers.h"
#include "tests/package/PackageTestSupport.h"

// After the port list's header, whose LB_ERR <windows.h> would take for its macro.
#include <windows.h>

namespace zerviko::ports::test {
namespace {

// Windows 98's GetVersion: the 9x family, version 4.10.
struct Windows98 : PlatformVersion {
  std::uint32_t GetVersion() override { return 0xC0000A04u; }
};

// A string value below HKEY_LOCAL_MACHINE, its key made where missing.
void SetValue(const std::string& key, const char* value, const char* text) {
  ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), value, REG_SZ, text, std::strlen(text) + 1),
            ERROR_SUCCESS);
}

// Numbered keys of the 9x layout, removed again at the end.
struct Keys9x {
  ~Keys9x() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Enum\\SLABCR"); }
  void Add(int number, const char* deviceId, const char* portName) {
    const std::string name = "Enum\\SLABCR\\guid\\000" + std::to_string(number);
    SetValue(name, "CRLowerDeviceID", deviceId);
    SetValue(name, "Portname", portName);
  }
};

TEST(Win32Bridge, LibraryByOrdinalAndThe9xRegistryLayout) {
  Keys9x keys;
  keys.Add(0, "USB\\VID_10C4&PID_EA60&MI_00\\OTHER_00", "COM3");
  keys.Add(1, "USB\\VID_10C4&PID_EA60&MI_00\\AB_12_00", "COM7");
  keys.Add(2, "USB\\VID_10C4&PID_EA60&MI_00\\CD_34_00", "COM8");
  SetEnvironmentVariableA("ZERVIKO_FAKE_BRIDGE",
                          "10c4|ea60|other|A serial cable;"
                          "10c4|ea60|ab 12|Tarno Corp. Zerviko / Talvrine USB;"
                          "10c4|ea60|cd 34|Tarno Corp. Zerviko / Talvrine USB");
  Win32Registry registry;
  Windows98 version;

  Win32BridgeLibrary library(ZERVIKO_FAKE_BRIDGE_DLL);
  ASSERT_TRUE(library.Loaded());
  EXPECT_EQ(FindBridgeComPort(library, registry, version, BRIDGE_PRODUCT_TEXT), 7);
  EXPECT_EQ(FindBridgeComPorts(library, registry, version, BRIDGE_PRODUCT_TEXT),
            (std::vector<PrinterBridge>{{"COM7", "COM7", "ab 12", ""}, {"COM8", "COM8", "cd 34", ""}}));

  // Without the library there is no bridge, and nothing complains.
  Win32BridgeLibrary missing("NoSuchBridgeLibrary.dll");
  EXPECT_FALSE(missing.Loaded());
  EXPECT_EQ(FindBridgeComPort(missing, registry, version, BRIDGE_PRODUCT_TEXT), 0);
}

// On NT the device's Control key, which Plug and Play makes at each arrival, tells a
// bridge plugged in again from the one before, however short the gap.
TEST(Win32Bridge, EachArrivalToldByTheDevicesControlKey) {
  const std::string device = "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_10c4&Pid_ea60&Mi_00\\ab_12_00";
  SetValue(device + "\\Device Parameters", "PortName", "COM7");
  SetEnvironmentVariableA("ZERVIKO_FAKE_BRIDGE", "10c4|ea60|ab 12|Tarno Corp. Zerviko / Talvrine USB");
  Win32BridgeLibrary library(ZERVIKO_FAKE_BRIDGE_DLL);
  Win32Registry registry;
  Win32Version version;
  const auto plugIn = [&] {
    const std::vector<PrinterBridge> bridges = FindBridgeComPorts(library, registry, version, BRIDGE_PRODUCT_TEXT);
    EXPECT_EQ(bridges.size(), 1u);
    return bridges.empty() ? "?" : bridges[0].plugIn;
  };
  // The system's clock in its own units (100 ns since 1601), a second either way.
  const auto now = [](std::int64_t seconds) {
    FILETIME time{};
    GetSystemTimeAsFileTime(&time);
    return ULARGE_INTEGER{{time.dwLowDateTime, time.dwHighDateTime}}.QuadPart + seconds * 10000000;
  };
  std::vector<std::string> arrivals;
  for (int arrival = 0; arrival < 2; ++arrival) {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, (device + "\\Control").c_str());
    Sleep(20);
    const std::uint64_t before = now(-1);
    SetValue(device + "\\Control", "ActiveService", "silabser");
    const std::uint64_t after = now(1);
    arrivals.push_back(plugIn());
    EXPECT_EQ(plugIn(), arrivals.back()) << "the same arrival, polled again";
    // The key's write time, as the system keeps it: the arrival's time.
    const std::uint64_t written = std::strtoull(arrivals.back().c_str(), nullptr, 10);
    EXPECT_TRUE(written >= before && written <= after) << arrivals.back();
  }
  EXPECT_FALSE(arrivals[0].empty());
  EXPECT_NE(arrivals[0], arrivals[1]);
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, (device + "\\Control").c_str());
  EXPECT_EQ(plugIn(), "") << "a system that keeps no Control key cannot tell";
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, device.c_str());
}

// Names of one port: a COM number however it is spelled; other names by their full
// paths, letter case ignored.
TEST(Win32Ports, NamesOfOnePort) {
  const struct {
    const char* a;
    const char* b;
    bool same;
  } pairs[] = {{"COM5", "\\\\.\\com5", true},
               {"COM5:", "COM15", false},
               {"COM5", "C:\\COM5x", false},
               {"C:\\ports\\printer", "c:\\PORTS\\.\\Printer", true},
               {"C:\\ports\\a", "C:\\ports\\b", false}};
  for (const auto& pair : pairs) EXPECT_EQ(IsSamePort(pair.a, pair.b), pair.same) << pair.a << " " << pair.b;
}

}  // namespace
}  // namespace zerviko::ports::test

namespace zerviko::test {
namespace {

class Win32PackageFile : public PackageTest {};

// Readers share a package; a program that opened it to write without letting readers
// in keeps the reader out, as do folders and devices.
TEST_F(Win32PackageFile, SharedWithReadersOnly) {
  const std::string path = Write(FullHeader() + "image");
  const struct {
    const char* name;
    DWORD access;
    DWORD sharing;
    int expected;
  } holders[] = {
      {"another reader", GENERIC_READ, FILE_SHARE_READ, PACKAGE_OK},
      {"a writer sharing nothing", GENERIC_WRITE, 0, PACKAGE_FILE_UNAVAILABLE},
      {"a writer letting readers in", GENERIC_WRITE, FILE_SHARE_READ, PACKAGE_FILE_UNAVAILABLE},
  };
  for (const auto& holder : holders) {
    SCOPED_TRACE(holder.name);
    HANDLE held = CreateFileA(path.c_str(), holder.access, holder.sharing, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReadFirmwarePackage(path, false, 0), holder.expected);
    CloseHandle(held);
  }
  EXPECT_EQ(ReadFirmwarePackage(m_dir.string(), true, 0), PACKAGE_FILE_UNAVAILABLE);
  EXPECT_EQ(ReadFirmwarePackage("NUL", true, 0), PACKAGE_FILE_UNAVAILABLE);
}

}  // namespace
}  // namespace zerviko::test

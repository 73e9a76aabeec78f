// The printer's bridge over a fake bridge library, a fake registry and the platform
// version: the device loop, the two registry layouts and the COM number.
#include <gtest/gtest.h>

#include <cstdio>

#include "FakePlatform.h"

namespace zerviko::ports::test {
namespace {

const std::string NT_KEY_0001 =
    std::string(NT_DEVICE_KEY_PREFIX) + "Vid_10c4&Pid_ea60&Mi_00\\0001_00\\Device Parameters";

std::string Key9x(int n) {
  char name[64];
  std::snprintf(name, sizeof name, "Enum\\SLABCR\\guid\\%.4d", n);
  return name;
}

class BridgeComPort : public ::testing::Test {
 protected:
  int Find(std::uint32_t versionValue = VERSION_WINDOWS_XP) {
    FakeVersion version(versionValue);
    const int result = FindBridgeComPort(library, registry, version, BRIDGE_PRODUCT_TEXT);
    EXPECT_TRUE(library.open.empty()) << "a device handle stayed open";
    EXPECT_EQ(registry.OpenKeyCount(), 0u) << "a registry key stayed open";
    return result;
  }
  FakeBridgeLibrary library;
  FakeRegistry registry;
};

TEST_F(BridgeComPort, NoDeviceWithTheProductTextGivesZero) {
  EXPECT_EQ(Find(), 0);
  library.devices = {FakeBridgeDevice{}, FakeBridgeDevice{}};
  library.devices[0].product = "CP2102 USB to UART Bridge Controller";
  library.devices[1].product = "Tarno Corp. Zerviko / Talvrine USB ";  // compared whole
  EXPECT_EQ(Find(), 0);
  EXPECT_TRUE(registry.keysAsked.empty());
}

TEST_F(BridgeComPort, LibraryWithoutACountHasNoDevices) {
  library.devices = {FakeBridgeDevice{}};
  library.deliversCount = false;
  registry.SetValue(NT_KEY_0001, "PortName", "COM4");
  EXPECT_EQ(Find(), 0);
  EXPECT_TRUE(library.opened.empty());
}

TEST_F(BridgeComPort, DevicesThatCannotBeOpenedOrNamedAreSkipped) {
  library.devices = {FakeBridgeDevice{}, FakeBridgeDevice{}, FakeBridgeDevice{}};
  library.devices[0].openFails = true;
  library.devices[1].product.reset();  // no product description
  library.devices[2].serial = "0003";
  registry.SetValue(std::string(NT_DEVICE_KEY_PREFIX) +
                        "Vid_10c4&Pid_ea60&Mi_00\\0003_00\\Device Parameters",
                    "PortName", "COM9");
  EXPECT_EQ(Find(), 9);
  EXPECT_EQ(library.opened, (std::vector<std::uint32_t>{1, 2}));
}

TEST_F(BridgeComPort, OnlyTheFirstMatchingDeviceCounts) {
  library.devices = {FakeBridgeDevice{}, FakeBridgeDevice{}};
  library.devices[0].serial = "0000";  // no registry entry
  registry.SetValue(NT_KEY_0001, "PortName", "COM5");
  library.devices[1].serial = "0001";
  EXPECT_EQ(Find(), -1);
  EXPECT_EQ(library.opened, (std::vector<std::uint32_t>{0}));
}

TEST_F(BridgeComPort, UnreadableIdsGiveMinusOneWithoutALookUp) {
  registry.SetValue(NT_KEY_0001, "PortName", "COM4");
  library.devices = {FakeBridgeDevice{}};
  library.devices[0].vendorId.reset();
  EXPECT_EQ(Find(), -1);
  library.devices[0].vendorId = 0x10C4;
  library.devices[0].productId.reset();
  EXPECT_EQ(Find(), -1);
  EXPECT_EQ(library.serialReads, 0);
  EXPECT_TRUE(registry.keysAsked.empty());
}

TEST_F(BridgeComPort, PlatformVersionChoosesTheRegistryLayout) {
  library.devices = {FakeBridgeDevice{}};
  registry.SetValue(NT_KEY_0001, "PortName", "COM4");
  registry.SetValue(Key9x(0), "CRLowerDeviceID", "USB\\VID_10C4&PID_EA60&MI_00\\0001_00");
  registry.SetValue(Key9x(0), "Portname", "COM6");
  for (std::uint32_t nt : {VERSION_WINDOWS_XP, 0x00000005u, VERSION_WINDOWS_7, 0x0000000Au}) {
    EXPECT_EQ(Find(nt), 4) << std::hex << nt;
  }
  EXPECT_EQ(Find(VERSION_WINDOWS_98), 6);
  EXPECT_EQ(Find(0x80000004u), 6);
  for (std::uint32_t other : {0x00000004u, 0x80000005u, 0x80000003u}) {
    registry.keysAsked.clear();
    EXPECT_EQ(Find(other), -1) << std::hex << other;
    EXPECT_TRUE(registry.keysAsked.empty());
  }
}

TEST_F(BridgeComPort, SerialLengthOf64OrMoreIsCutTo63) {
  const std::string serial(64, 'S');
  library.devices = {FakeBridgeDevice{}};
  library.devices[0].serial = serial;
  registry.SetValue(std::string(NT_DEVICE_KEY_PREFIX) + "Vid_10c4&Pid_ea60&Mi_00\\" +
                        serial.substr(0, 63) + "_00\\Device Parameters",
                    "PortName", "COM3");
  for (int reported : {63, 64, 200, 255}) {
    library.devices[0].reportedLength = reported;
    EXPECT_EQ(Find(), 3) << reported;
  }
  // A short report is taken as given.
  library.devices[0].reportedLength = 10;
  EXPECT_EQ(Find(), -1);
  EXPECT_EQ(registry.keysAsked.back(), std::string(NT_DEVICE_KEY_PREFIX) +
                                           "Vid_10c4&Pid_ea60&Mi_00\\SSSSSSSSSS_00\\Device Parameters");
}

TEST_F(BridgeComPort, ProductTextFillingItsBufferIsTerminated) {
  library.devices = {FakeBridgeDevice{}};
  library.devices[0].product = std::string(300, 'P');
  EXPECT_EQ(Find(), 0);
  const BridgeMatch match = FindBridgeDevice(library, std::string(255, 'P'));
  EXPECT_TRUE(match.found);
}

TEST(LookupNt, PortNameParsingAndKeyPath) {
  FakeRegistry registry;
  const std::string key = std::string(NT_DEVICE_KEY_PREFIX) +
                          "Vid_abcd&Pid_00ef&Mi_00\\ab_12_00\\Device Parameters";
  const struct {
    const char* value;
    int expected;
  } cases[] = {{"COM7", 7}, {"COM12", 12}, {"COM", 0}, {"COM12x", 12}, {"COMx3", 0}, {"CO", 0}};
  for (const auto& c : cases) {
    registry.SetValue(key, "PortName", c.value);
    registry.keysAsked.clear();
    EXPECT_EQ(LookupComNumberNt(registry, 0xABCD, 0x00EF, "ab 12"), c.expected) << c.value;
  }
  EXPECT_EQ(registry.keysAsked,
            (std::vector<std::string>{"SYSTEM\\CurrentControlSet", "SYSTEM\\CurrentControlSet\\Enum\\USB",
                                      key}));
  EXPECT_EQ(registry.OpenKeyCount(), 0u);
  // Stored without a terminator, the value still reads as its text.
  registry.SetValue(key, "PortName", "COM8", false);
  EXPECT_EQ(LookupComNumberNt(registry, 0xABCD, 0x00EF, "ab 12"), 8);
}

TEST(LookupNt, MissingKeysOrValuesGiveMinusOne) {
  FakeRegistry registry;
  EXPECT_EQ(LookupComNumberNt(registry, 0x10C4, 0xEA60, "0001"), -1);
  registry.AddKey("SYSTEM\\CurrentControlSet\\Enum\\USB");
  EXPECT_EQ(LookupComNumberNt(registry, 0x10C4, 0xEA60, "0001"), -1);
  registry.SetValue(NT_KEY_0001, "Port", "COM4");
  EXPECT_EQ(LookupComNumberNt(registry, 0x10C4, 0xEA60, "0001"), -1);
  registry.SetValue(NT_KEY_0001, "PortName", std::string(120, '9'));  // larger than 100 bytes
  EXPECT_EQ(LookupComNumberNt(registry, 0x10C4, 0xEA60, "0001"), -1);
  EXPECT_EQ(registry.OpenKeyCount(), 0u);
}

TEST(LookupNt, KeysAreOpenedForReadingOnly) {
  FakeRegistry registry;
  registry.refusesWriteAccess = true;  // a user without administrator rights
  registry.SetValue(NT_KEY_0001, "PortName", "COM4");
  EXPECT_EQ(LookupComNumberNt(registry, 0x10C4, 0xEA60, "0001"), 4);
  ASSERT_EQ(registry.accessAsked.size(), 3u);
  for (std::uint32_t access : registry.accessAsked) EXPECT_EQ(access, REGISTRY_KEY_READ);
}

TEST(ParseComNumber, DigitsAfterThePrefix) {
  EXPECT_EQ(ParseComNumber("COM1"), 1);
  EXPECT_EQ(ParseComNumber("COM007"), 7);
  EXPECT_EQ(ParseComNumber("XYZ5"), 5);  // the prefix is skipped, not checked
  EXPECT_EQ(ParseComNumber("COM-3"), 0);
  EXPECT_EQ(ParseComNumber("COM 3"), 0);
  EXPECT_EQ(ParseComNumber(""), 0);
  EXPECT_EQ(ParseComNumber("COM2147483647"), 2147483647);
  EXPECT_EQ(ParseComNumber("COM99999999999"), -1);
}

class Lookup9x : public ::testing::Test {
 protected:
  static constexpr const char* DEVICE_ID = "USB\\VID_10C4&PID_EA60&MI_00\\AB_12_00";
  void AddKey(int n, const std::string& deviceId, const std::string& port) {
    registry.SetValue(Key9x(n), "CRLowerDeviceID", deviceId);
    if (!port.empty()) registry.SetValue(Key9x(n), "Portname", port);
  }
  int Lookup() {
    const int result = LookupComNumber9x(registry, 0x10C4, 0xEA60, "ab 12");
    EXPECT_EQ(registry.OpenKeyCount(), 0u);
    return result;
  }
  FakeRegistry registry;
};

TEST_F(Lookup9x, LastMatchOfTheWholeSequenceWins) {
  AddKey(0, DEVICE_ID, "COM3");
  AddKey(1, "USB\\VID_10C4&PID_EA60&MI_00\\OTHER_00", "COM4");
  AddKey(2, DEVICE_ID, "COM5");
  EXPECT_EQ(Lookup(), 5);
  EXPECT_EQ(registry.keysAsked.back(), Key9x(3));
  EXPECT_EQ(registry.keysAsked.front(), "Enum\\SLABCR\\guid\\0000");
}

TEST_F(Lookup9x, ScanEndsAtTheFirstMissingKey) {
  AddKey(0, DEVICE_ID, "COM3");
  AddKey(2, DEVICE_ID, "COM5");
  EXPECT_EQ(Lookup(), 3);
  EXPECT_EQ(registry.keysAsked.size(), 2u);
}

TEST_F(Lookup9x, DeviceIdIsComparedExactly) {
  AddKey(0, "USB\\VID_10C4&PID_EA60&MI_00\\ab_12_00", "COM3");  // lower case
  AddKey(1, "usb\\vid_10c4&pid_ea60&mi_00\\AB_12_00", "COM4");
  AddKey(2, DEVICE_ID, "");  // matches, but no Portname value
  EXPECT_EQ(Lookup(), -1);
  AddKey(3, DEVICE_ID, "COM12x");
  EXPECT_EQ(Lookup(), 12);
  for (std::uint32_t access : registry.accessAsked) EXPECT_EQ(access, REGISTRY_KEY_READ);
}

TEST_F(Lookup9x, ScanStopsAfterTheFourDigitNumbers) {
  for (int n = 0; n <= 10001; ++n) registry.AddKey(Key9x(n));
  registry.SetValue(Key9x(9999), "CRLowerDeviceID", DEVICE_ID);
  registry.SetValue(Key9x(9999), "Portname", "COM2");
  EXPECT_EQ(Lookup(), 2);
  EXPECT_EQ(registry.keysAsked.back(), Key9x(9999));
}

}  // namespace
}  // namespace zerviko::ports::test

// The port list over a fake spooler: which ports, how their entries read, in which
// order, and which entry is pre-selected.
#include <gtest/gtest.h>

#include "FakePlatform.h"

namespace zerviko::ports::test {
namespace {

std::vector<std::string> Texts(const PortListBox& list) {
  std::vector<std::string> texts;
  for (int i = 0; i < list.GetCount(); ++i) texts.push_back(list.GetText(i));
  return texts;
}

std::string SelectedText(const PortListBox& list) {
  return list.GetCurSel() < 0 ? std::string("(none)") : list.GetText(list.GetCurSel());
}

PortListBox Entries(FakeSpooler& spooler, std::vector<std::string>* names = nullptr) {
  PortListBox list;
  const std::vector<std::string> portNames = EnumerateSpoolerPorts(spooler);
  AddPortEntries(list, portNames, spooler);
  if (names) *names = portNames;
  return list;
}

TEST(SpoolerPorts, KeepsComAndUsbPortsInSpoolerOrder) {
  FakeSpooler spooler;
  spooler.ports = {"USB002", "COM1:", "LPT1:", "FILE:", "USB001", "com2:", "Ne01:", "XCOMY", "usb003"};
  EXPECT_EQ(EnumerateSpoolerPorts(spooler),
            (std::vector<std::string>{"USB002", "COM1:", "USB001", "XCOMY"}));
}

TEST(SpoolerPorts, SizeQueryProtocol) {
  FakeSpooler nothing;  // the first call succeeds: nothing to return
  EXPECT_TRUE(EnumerateSpoolerPorts(nothing).empty());

  FakeSpooler refused;
  refused.ports = {"COM1:"};
  refused.portSizeError = SPOOLER_ERROR_ACCESS_DENIED;
  EXPECT_TRUE(EnumerateSpoolerPorts(refused).empty());

  FakeSpooler fetchFails;
  fetchFails.ports = {"COM1:"};
  fetchFails.portFetchError = SPOOLER_ERROR_ACCESS_DENIED;
  EXPECT_TRUE(EnumerateSpoolerPorts(fetchFails).empty());
}

TEST(SpoolerPorts, DevicePathsAreAllKept) {
  FakeSpooler spooler;
  spooler.naming = PortNaming::DEVICE_PATHS;
  spooler.ports = {"/dev/ttyS0", "/dev/ttyACM0", "/dev/ttyUSB0", "/dev/pts/3"};
  EXPECT_EQ(EnumerateSpoolerPorts(spooler), spooler.ports);
}

TEST(PortEntries, DisplayTextPadsThePortNameToSevenColumns) {
  FakeSpooler spooler;
  spooler.ports = {"COM3:", "USB001", "COM10PORT", "COM4:"};
  spooler.printers = {{"Office Printer", "COM3:"}, {"Label", "USB001"}, {"Long", "COM10PORT"}};
  EXPECT_EQ(Texts(Entries(spooler)),
            (std::vector<std::string>{"COM10PORTLong", "COM3:  Office Printer", "COM4:",
                                      "USB001 Label"}));
}

TEST(PortEntries, PrinterMatchIsTheFirstOnExactlyThatPort) {
  FakeSpooler spooler;
  spooler.ports = {"COM1:", "COM2:", "COM3:"};
  spooler.printers = {{"Second", "COM5:"},
                      {"Lower", "com1:"},          // another letter case
                      {"Several", "COM2:,COM3:"},  // several ports
                      {"First", "COM3:"},
                      {"Later", "COM3:"}};
  EXPECT_EQ(Texts(Entries(spooler)),
            (std::vector<std::string>{"COM1:", "COM2:", "COM3:  First"}));
}

TEST(PortEntries, PrinterEnumerationFailures) {
  FakeSpooler refused;  // fails outright: no entries at all, even with ports
  refused.ports = {"COM1:", "USB001"};
  refused.printers = {{"P", "COM1:"}};
  refused.printerSizeError = SPOOLER_ERROR_ACCESS_DENIED;
  PortListBox list = Entries(refused);
  EXPECT_EQ(list.GetCount(), 0);
  EXPECT_EQ(list.GetCurSel(), PortListBox::LB_ERR);

  FakeSpooler noPrinters;  // succeeds with nothing: ports without printer names
  noPrinters.ports = {"COM1:", "USB001"};
  EXPECT_EQ(Texts(Entries(noPrinters)), (std::vector<std::string>{"COM1:", "USB001"}));
  EXPECT_EQ(noPrinters.printerCalls, 1);

  FakeSpooler fetchFails;  // the size was known, the fetch failed after all
  fetchFails.ports = {"COM1:"};
  fetchFails.printers = {{"P", "COM1:"}};
  fetchFails.printerFetchError = SPOOLER_ERROR_ACCESS_DENIED;
  EXPECT_EQ(Texts(Entries(fetchFails)), (std::vector<std::string>{"COM1:"}));
}

TEST(PortEntries, SortedCaseInsensitivelyWhileItemValuesKeepSpoolerOrder) {
  FakeSpooler spooler;
  spooler.ports = {"USB001", "COM3:", "COM10:", "COM1:", "USB002"};
  spooler.printers = {{"zebra", "USB002"}, {"Alpha", "USB001"}, {"beta", "COM3:"}};
  std::vector<std::string> names;
  const PortListBox list = Entries(spooler, &names);
  ASSERT_EQ(Texts(list), (std::vector<std::string>{"COM10:", "COM1:", "COM3:  beta",
                                                   "USB001 Alpha", "USB002 zebra"}));
  ASSERT_EQ(names, spooler.ports);
  for (int i = 0; i < list.GetCount(); ++i) {
    const std::string& port = names.at(list.GetItemData(i));
    EXPECT_EQ(list.GetText(i).substr(0, port.size()), port) << list.GetText(i);
  }
  // Letter case does not decide the order, and equal texts keep the order they came in.
  PortListBox box;
  EXPECT_EQ(box.AddString("b"), 0);
  EXPECT_EQ(box.AddString("A"), 0);
  EXPECT_EQ(box.AddString("a"), 1);
  EXPECT_EQ(box.AddString("B2"), 3);
  EXPECT_EQ(Texts(box), (std::vector<std::string>{"A", "a", "b", "B2"}));
}

TEST(PortEntries, DevicePathColumnFitsTheLongestPortWithAPrinter) {
  FakeSpooler spooler;
  spooler.naming = PortNaming::DEVICE_PATHS;
  spooler.ports = {"/dev/ttyS0", "/dev/ttyACM10", "/dev/ttyUSB0", "/dev/pts/3", "/dev/serial/by-id/long"};
  spooler.printers = {{"Tarno ZERVIKO 2", "/dev/ttyUSB0"},
                      {"Label", "/dev/ttyACM10"},
                      {"Sim", "/dev/pts/3"}};
  EXPECT_EQ(Texts(Entries(spooler)),
            (std::vector<std::string>{"/dev/pts/3    Sim", "/dev/serial/by-id/long",
                                      "/dev/ttyACM10 Label", "/dev/ttyS0",
                                      "/dev/ttyUSB0  Tarno ZERVIKO 2"}));
  EXPECT_EQ(FormatPortDisplay("/dev/ttyS0", "", 14), "/dev/ttyS0");
}

TEST(ListBox, FindStringIsACaseInsensitivePrefixSearch) {
  PortListBox list;
  for (const char* text : {"COM1:", "com12:", "COM2:  Printer", "USB001"}) list.AddString(text);
  ASSERT_EQ(Texts(list), (std::vector<std::string>{"com12:", "COM1:", "COM2:  Printer", "USB001"}));
  EXPECT_EQ(list.FindString(-1, "COM12:"), 0);
  EXPECT_EQ(list.FindString(-1, "com1:"), 1);
  EXPECT_EQ(list.FindString(-1, "Com2: "), 2);
  EXPECT_EQ(list.FindString(-1, "COM3:"), PortListBox::LB_ERR);
  EXPECT_EQ(list.FindString(0, "COM1"), 1);  // after the start entry...
  EXPECT_EQ(list.FindString(1, "COM1"), 0);  // ...wrapping round
  EXPECT_EQ(PortListBox().FindString(-1, ""), PortListBox::LB_ERR);
}

class Selection : public ::testing::Test {
 protected:
  void SetUp() override {
    spooler.ports = {"COM1:", "COM12:", "USB001", "COM4:"};
    spooler.printers = {{"Office", "COM1:"}, {"Tarno ZERVIKO 2", "USB001"}};
    list = Entries(spooler);
  }
  FakeSpooler spooler;
  PortListBox list;
};

TEST_F(Selection, ComNumberSelectsItsEntryNotOneSharingItsDigits) {
  SelectComPortEntry(list, 12);
  EXPECT_EQ(SelectedText(list), "COM12:");
  SelectComPortEntry(list, 1);
  EXPECT_EQ(SelectedText(list), "COM1:  Office");
}

TEST_F(Selection, ComNumberWithoutAnEntryTakesTheFirstEntryNotTheMark) {
  SelectComPortEntry(list, 7);
  EXPECT_EQ(list.GetCurSel(), 0);
}

TEST_F(Selection, NoComNumberTakesTheEntryOfAMarkedPrinter) {
  for (int n : {0, -1}) {
    list.SetCurSel(3);
    SelectComPortEntry(list, n);
    EXPECT_EQ(SelectedText(list), "USB001 Tarno ZERVIKO 2") << n;
  }
  PortListBox unmarked;  // the mark is case-sensitive
  unmarked.AddString("COM1:");
  unmarked.AddString("COM2:  TARNO ZERVIKO");
  SelectComPortEntry(unmarked, 0);
  EXPECT_EQ(unmarked.GetCurSel(), 0);
}

TEST(DevicePathSelection, ExactPortThenFirstEntryThenMark) {
  FakeSpooler spooler;
  spooler.naming = PortNaming::DEVICE_PATHS;
  spooler.ports = {"/dev/ttyUSB10", "/dev/ttyUSB1", "/dev/ttyS0"};
  spooler.printers = {{"Tarno ZERVIKO 2", "/dev/ttyUSB10"}};
  std::vector<std::string> names;
  PortListBox list = Entries(spooler, &names);
  ASSERT_EQ(Texts(list), (std::vector<std::string>{"/dev/ttyS0", "/dev/ttyUSB1",
                                                   "/dev/ttyUSB10 Tarno ZERVIKO 2"}));

  SelectDevicePathEntry(list, names, "/dev/ttyUSB10");
  EXPECT_EQ(list.GetCurSel(), 2);
  SelectDevicePathEntry(list, names, "/dev/ttyUSB1");
  EXPECT_EQ(list.GetCurSel(), 1);
  SelectDevicePathEntry(list, names, "/dev/ttyUSB2");  // not listed: the first entry
  EXPECT_EQ(list.GetCurSel(), 0);
  SelectDevicePathEntry(list, names, "");  // no bridge: the printer mark
  EXPECT_EQ(list.GetCurSel(), 2);
}

TEST(FillPortList, BuildsEntriesAndSelectsTheBridgeComPort) {
  FakeSpooler spooler;
  spooler.ports = {"COM1:", "LPT1:", "COM4:", "USB001"};
  spooler.printers = {{"Tarno ZERVIKO 2", "USB001"}, {"Thermal", "COM4:"}};
  FakeBridgeLibrary library;
  library.devices = {FakeBridgeDevice{}};
  FakeRegistry registry;
  registry.SetValue(std::string(NT_DEVICE_KEY_PREFIX) +
                        "Vid_10c4&Pid_ea60&Mi_00\\0001_00\\Device Parameters",
                    "PortName", "COM4");
  FakeVersion version(VERSION_WINDOWS_XP);

  PortListBox list;
  std::vector<std::string> names;
  FillPortList(list, names, spooler, library, registry, version);
  EXPECT_EQ(names, (std::vector<std::string>{"COM1:", "COM4:", "USB001"}));
  EXPECT_EQ(Texts(list),
            (std::vector<std::string>{"COM1:", "COM4:  Thermal", "USB001 Tarno ZERVIKO 2"}));
  EXPECT_EQ(SelectedText(list), "COM4:  Thermal");
  EXPECT_EQ(names.at(list.GetItemData(list.GetCurSel())), "COM4:");

  // Without the bridge, the printer mark decides.
  FakeBridgeLibrary none;
  PortListBox fallback;
  FillPortList(fallback, names, spooler, none, registry, version);
  EXPECT_EQ(SelectedText(fallback), "USB001 Tarno ZERVIKO 2");
}

TEST(FillPortList, EmptyListHasNoSelectionAndAsksNoBridge) {
  FakeSpooler spooler;
  spooler.ports = {"LPT1:", "FILE:"};
  FakeBridgeLibrary library;
  library.devices = {FakeBridgeDevice{}};
  FakeRegistry registry;
  FakeVersion version(VERSION_WINDOWS_XP);
  PortListBox list;
  std::vector<std::string> names;
  FillPortList(list, names, spooler, library, registry, version);
  EXPECT_EQ(list.GetCount(), 0);
  EXPECT_EQ(list.GetCurSel(), PortListBox::LB_ERR);
  EXPECT_TRUE(library.opened.empty());
}

}  // namespace
}  // namespace zerviko::ports::test

// The machine's serial devices and USB bridges as sysfs shows them.
//
// Everything is read below a root folder ("/" on a running system) so that tests can
// build a tree of their own. A tty counts as a serial device when a real device backs
// it (it has a "device" link) and it is one of:
//   - ttyUSB* (USB serial converters) or ttyACM* (USB modems, CDC ACM);
//   - a UART of the serial core (ttyS*, and the like of ttyAMA*) whose "type" is not 0.
//     The 8250 driver registers ttyS0..ttyS3 at the legacy addresses whether or not a
//     chip answers there; those placeholders have type 0 (no UART), and their I/O
//     port and IRQ are filled in all the same, so only the type tells.
// Virtual terminals, the console and ptmx have no device link and are never listed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ports/PortDiscovery.h"

namespace zerviko::ports {

struct SerialDevice {
  std::string name;        // ttyUSB0
  // /dev/ttyUSB0, on the running system whatever the root; but ROOT/dev/ttyUSB0 when
  // a root other than "/" holds that (a virtual printer's link to its terminal)
  std::string devicePath;
};

// The serial devices below root, in natural name order (ttyS2 before ttyS10).
std::vector<SerialDevice> ListSerialDevices(const std::filesystem::path& root);

// A USB device, as the bridge library sees it.
struct UsbSerialDevice {
  std::optional<std::uint16_t> vendorId;   // idVendor
  std::optional<std::uint16_t> productId;  // idProduct
  std::optional<std::string> serial;       // serial, absent on many devices
  std::optional<std::string> product;      // product string
  // The serial device of its interface 0, /dev/ttyUSB0; empty when interface 0 has
  // none (its driver unbound, say): another UART of the chip is not the printer's.
  std::string ttyPath;
  // Where it is plugged in, as the kernel names the device: 1-4, 1-1.2 (bus, hub ports).
  std::string usbPath;
  // Its bus and device number, "1:7": the kernel gives the device a new number at each
  // plug-in, however short the gap. Empty when sysfs does not show them.
  std::string plugIn;
};

// The USB devices above the serial devices below root, in the order of their first
// serial device (a device with two ports, a dual UART, listed once); then every other
// USB device of sys/bus/usb/devices, in natural order of its USB path. Among those is a
// bridge whose driver is not bound: it has no tty at all, yet it holds a printer.
std::vector<UsbSerialDevice> ListUsbSerialDevices(const std::filesystem::path& root);

// The bridge maker's library over the USB serial devices sysfs shows: device index i
// is the i-th of ListUsbSerialDevices, taken once when the object is made.
class SysfsBridgeLibrary : public BridgeLibrary {
 public:
  explicit SysfsBridgeLibrary(const std::filesystem::path& root);
  explicit SysfsBridgeLibrary(std::vector<UsbSerialDevice> devices);

  int GetDeviceCount(std::uint32_t& count) override;
  int GetProductText(std::uint32_t index, BridgeProductBuffer& text,
                     std::uint32_t option) override;
  int Open(std::uint32_t index, BridgeHandle& handle) override;
  int Close(BridgeHandle handle) override;
  int GetSerialText(BridgeHandle handle, BridgeSerialBuffer& text, std::uint8_t& length,
                    bool singleByte) override;
  int GetVendorId(BridgeHandle handle, std::uint16_t& vendorId) override;
  int GetProductId(BridgeHandle handle, std::uint16_t& productId) override;

  // The device path of the port of device index (its interface 0); empty if none.
  std::string TtyPath(std::uint32_t index) const;
  // The USB path of device index (1-4); empty if none.
  std::string UsbPath(std::uint32_t index) const;
  // What tells this plug-in of device index from an earlier one ("1:7"); empty if none.
  std::string PlugIn(std::uint32_t index) const;

 private:
  const UsbSerialDevice* Device(BridgeHandle handle) const;

  std::vector<UsbSerialDevice> m_devices;
  std::vector<bool> m_open;
};

// Failure codes of SysfsBridgeLibrary.
enum : int {
  BRIDGE_ERROR_NO_DEVICE = 1,
  BRIDGE_ERROR_INVALID_HANDLE = 2,
  BRIDGE_ERROR_NO_VALUE = 3,
};

}  // namespace zerviko::ports

#pragma once
// The serial ports present, what they are, whether they are free, and which of them
// `--ports auto` makes COM1..COM4. Everything comes from an ISystemPorts; nothing is opened.
#include <array>
#include <string>
#include <vector>

#include "tablet/PortPaths.h"
#include "tablet/SystemPorts.h"

namespace vellum {

enum class PortKind { kUart, kUsbAdapter, kUsbModem, kBluetooth, kOther };

// "built-in UART", "USB adapter", "USB modem/ACM", "Bluetooth", "other".
const char* PortKindName(PortKind kind);

struct SerialPortInfo {
  SerialDeviceFacts device;
  PortKind kind = PortKind::kOther;
  FileFacts file;
  std::vector<Holder> holders;
  bool console = false;  // the kernel writes its console there: never probe it
};

// The serial devices present, in the order `--ports auto` takes them: built-in UARTs by
// number, then the others by their stable name (those without one last, by name). A UART
// node with no UART behind it (serial type 0) is left out.
std::vector<SerialPortInfo> ListSerialPorts(const ISystemPorts& system);

// The `--list-ports` line of one device.
std::string DescribePort(const SerialPortInfo& port);

// "you may open it", "you may not open it (group dialout may)", "you may not open it".
std::string AccessText(const FileFacts& file);

// "held by ModemManager (PID 812)", "held by another program"; "" when nobody holds it.
std::string HeldText(const std::vector<Holder>& holders);

struct AutoPorts {
  PortPaths paths;                 // COMn without a device: "" (opening it fails, nothing else)
  std::vector<std::string> lines;  // the assignment and what was passed over, for stderr
};

// COM1..COM4 from `ports` in order, skipping consoles and held ports. A COM given with --port
// (given[n-1], its path in `explicitPaths`) keeps that path and its device is not taken again.
AutoPorts AssignPortsAutomatically(const std::vector<SerialPortInfo>& ports,
                                   const PortPaths& explicitPaths,
                                   const std::array<bool, kComPorts>& given);

// Keeps the probe's bytes off the system consoles. A COM port's device is a console when its name,
// or that of the device whose /dev/serial/ link it is, is among the active consoles. A COM port not
// given with --port (given[n-1] false) whose device is a console is withheld
// (PortPaths::Withhold). One given with --port is
// probed all the same; the result has one warning line for stderr for each such port.
std::vector<std::string> KeepOffConsoles(PortPaths& paths, const std::array<bool, kComPorts>& given,
                                         const ISystemPorts& system);

}  // namespace vellum

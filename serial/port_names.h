#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavel {

// The device that the port name "\\.\COM<n>" opens; empty when the name
// leads to none.
std::string DevicePathForPortName(const std::string& name);

// Where devices are not called COM<n>, the numbers are mapped: first by the
// entries COM<n> of the ports directory, each a link to a device, then by a
// fixed scheme over the usual serial devices.

// TAVEL_PORTS_DIR when set and not empty, otherwise
// ${XDG_CONFIG_HOME:-$HOME/.config}/tavel-tool/ports.
std::string PortsDirectory();

// The number after "\\.\COM", read as a decimal value; none without that
// prefix.
std::optional<int> ComNumberFromDeviceName(std::string_view name);

// The ports-directory entry COM<n> when there is one, otherwise
// COM1-COM32 = /dev/ttyS0-31, COM33-COM64 = /dev/ttyUSB0-31,
// COM65-COM96 = /dev/ttyACM0-31; empty for any other number.
std::string DevicePathForCom(int n);

// The number that the fixed scheme gives a device path; none outside it.
std::optional<int> ComNumberForDevicePath(const std::string& path);

}  // namespace tavel

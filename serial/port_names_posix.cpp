#include "serial/port_names.h"

#include <array>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "protocol/text.h"

namespace tavel {
namespace {

constexpr std::string_view kDeviceNamePrefix = "\\\\.\\COM";
constexpr int kDevicesPerFamily = 32;

struct DeviceFamily {
  std::string_view pathPrefix;
  int firstCom;
};

constexpr std::array<DeviceFamily, 3> kFamilies = {{
    {"/dev/ttyS", 1},
    {"/dev/ttyUSB", 33},
    {"/dev/ttyACM", 65},
}};

std::string EnvironmentText(const char* variable) {
  const char* value = std::getenv(variable);
  return value ? std::string(value) : std::string();
}

bool EntryExists(const std::filesystem::path& entry) {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::symlink_status(entry, error));
}

// Digits only and without leading zeros, so that each number has one path.
std::optional<int> CanonicalIndex(std::string_view digits) {
  if (digits.empty() || digits.size() > 2) return std::nullopt;
  if (digits.size() > 1 && digits.front() == '0') return std::nullopt;
  int index = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    index = index * 10 + (c - '0');
  }
  return index;
}

}  // namespace

std::string DevicePathForPortName(const std::string& name) {
  const std::optional<int> number = ComNumberFromDeviceName(name);
  return number ? DevicePathForCom(*number) : std::string();
}

std::string PortsDirectory() {
  const std::string override = EnvironmentText("TAVEL_PORTS_DIR");
  if (!override.empty()) return override;
  std::string config = EnvironmentText("XDG_CONFIG_HOME");
  if (config.empty()) config = EnvironmentText("HOME") + "/.config";
  return config + "/tavel-tool/ports";
}

std::optional<int> ComNumberFromDeviceName(std::string_view name) {
  if (!name.starts_with(kDeviceNamePrefix)) return std::nullopt;
  return DecimalValue(name.substr(kDeviceNamePrefix.size()));
}

std::string DevicePathForCom(int n) {
  const std::filesystem::path entry =
      std::filesystem::path(PortsDirectory()) / ("COM" + std::to_string(n));
  if (EntryExists(entry)) return entry.string();
  for (const DeviceFamily& family : kFamilies) {
    const int index = n - family.firstCom;
    if (index >= 0 && index < kDevicesPerFamily) {
      return std::string(family.pathPrefix) + std::to_string(index);
    }
  }
  return {};
}

std::optional<int> ComNumberForDevicePath(const std::string& path) {
  const std::string_view text = path;
  for (const DeviceFamily& family : kFamilies) {
    if (!text.starts_with(family.pathPrefix)) continue;
    const std::optional<int> index = CanonicalIndex(text.substr(family.pathPrefix.size()));
    if (index && *index < kDevicesPerFamily) return family.firstCom + *index;
  }
  return std::nullopt;
}

}  // namespace tavel

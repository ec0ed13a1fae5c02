#include <libudev.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <string_view>
#include <system_error>
#include <vector>

#include "protocol/text.h"
#include "serial/dev_info.h"
#include "serial/port_names.h"

namespace tavel {
namespace {

struct FoundPort {
  std::string portName;
  std::string friendlyName;
  std::string manufacturer;
};

using Udev = std::unique_ptr<udev, decltype(&udev_unref)>;
using UdevEnumeration = std::unique_ptr<udev_enumerate, decltype(&udev_enumerate_unref)>;
using UdevDevice = std::unique_ptr<udev_device, decltype(&udev_device_unref)>;

std::string CanonicalPath(const std::filesystem::path& path) {
  std::error_code error;
  const std::filesystem::path resolved = std::filesystem::canonical(path, error);
  return error ? std::string() : resolved.string();
}

// Only the names that DevicePathForCom looks up: COM and a number in decimal.
bool IsPortEntryName(const std::string& name) {
  return name.starts_with("COM") &&
         name == "COM" + std::to_string(DecimalValue(std::string_view(name).substr(3)));
}

void AddDirectoryPorts(std::vector<FoundPort>& ports, std::set<std::string>& targets) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(PortsDirectory(), error)) {
    const std::string name = entry.path().filename().string();
    if (!IsPortEntryName(name)) continue;
    const std::string target = CanonicalPath(entry.path());
    if (target.empty()) continue;
    ports.push_back({name, target, {}});
    targets.insert(target);
  }
}

std::string_view Text(const char* value) { return value ? std::string_view(value) : std::string_view(); }

// The database names read as written; the device's own have spaces as '_'.
std::string DescriptionOf(udev_device* device, const char* fromDatabase, const char* fromDevice) {
  if (const std::string_view named = Text(udev_device_get_property_value(device, fromDatabase)); !named.empty()) {
    return std::string(named);
  }
  std::string own(Text(udev_device_get_property_value(device, fromDevice)));
  std::replace(own.begin(), own.end(), '_', ' ');
  return own;
}

// Virtual consoles and pseudo-terminals have no parent device; a UART slot
// that the driver found nothing in has the type 0 (unknown).
bool IsPresentPort(udev_device* device) {
  if (!udev_device_get_devnode(device) || !udev_device_get_parent(device)) return false;
  return Text(udev_device_get_sysattr_value(device, "type")) != "0";
}

std::string PortNameFor(const std::string& devnode) {
  if (const std::optional<int> number = ComNumberForDevicePath(devnode)) {
    return "COM" + std::to_string(*number);
  }
  return std::filesystem::path(devnode).filename().string();
}

void AddSystemPorts(udev* context, std::vector<FoundPort>& ports, const std::set<std::string>& targets) {
  const UdevEnumeration enumeration(udev_enumerate_new(context), &udev_enumerate_unref);
  if (!enumeration || udev_enumerate_add_match_subsystem(enumeration.get(), "tty") < 0 ||
      udev_enumerate_scan_devices(enumeration.get()) < 0) {
    return;
  }
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumeration.get())) {
    const UdevDevice device(udev_device_new_from_syspath(context, udev_list_entry_get_name(entry)),
                            &udev_device_unref);
    if (!device || !IsPresentPort(device.get())) continue;
    const std::string devnode = udev_device_get_devnode(device.get());
    if (targets.contains(CanonicalPath(devnode))) continue;
    ports.push_back({PortNameFor(devnode),
                     DescriptionOf(device.get(), "ID_MODEL_FROM_DATABASE", "ID_MODEL"),
                     DescriptionOf(device.get(), "ID_VENDOR_FROM_DATABASE", "ID_VENDOR")});
  }
}

}  // namespace

// The set is taken whole when it is opened: the ports-directory entries first,
// then the system's serial devices that no entry already names.
struct CDevInfo::DeviceSet {
  std::vector<FoundPort> ports;
};

CDevInfo::CDevInfo() = default;
CDevInfo::~CDevInfo() = default;

// The setup class and flags select the system's serial ports; here that is the
// tty subsystem's present devices whatever is passed.
bool CDevInfo::Open(const SetupClass&, std::uint32_t) {
  const Udev context(udev_new(), &udev_unref);
  if (!context) return false;
  auto set = std::make_unique<DeviceSet>();
  std::set<std::string> targets;
  AddDirectoryPorts(set->ports, targets);
  AddSystemPorts(context.get(), set->ports, targets);
  set_ = std::move(set);
  return true;
}

bool CDevInfo::EnumNext() {
  Index = static_cast<std::int16_t>(Index + 1);
  Valid = set_ && Index >= 0 && static_cast<std::size_t>(Index) < set_->ports.size();
  return Valid;
}

bool CDevInfo::GetPortName(std::string& name) {
  name = Valid ? set_->ports[Index].portName : std::string();
  return KeepComPortName(name);
}

bool CDevInfo::GetProperty(std::uint32_t property, PropertyBuffer& buffer) {
  if (!Valid) return false;
  const FoundPort& port = set_->ports[Index];
  const std::string* text = property == kSpdrpFriendlyName ? &port.friendlyName
                            : property == kSpdrpMfg        ? &port.manufacturer
                                                           : nullptr;
  if (!text || text->empty() || text->size() >= buffer.size()) return false;
  std::copy(text->begin(), text->end(), buffer.begin());
  buffer[text->size()] = '\0';
  return true;
}

}  // namespace tavel

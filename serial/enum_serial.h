#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "serial/dev_info.h"

namespace tavel {

struct _SSerInfo {
  std::string PortName;
  std::string FriendlyName;
  std::string Manufacturer;
  std::int32_t PortNumber = 0;
};

// The line of the port list that shows one port.
std::string ListEntry(const _SSerInfo& port);

class CEnumSerial {
 public:
  static constexpr std::size_t kCapacity = 20;

  std::array<_SSerInfo, kCapacity> Ports;
  std::int32_t PortCount = 0;

  void Enumerate();
  // Any device source with the operations of CDevInfo.
  template <class DevInfo>
  void EnumerateWith(DevInfo& info);
  void SortByPortNumber();

 private:
  template <class DevInfo>
  static std::string PropertyText(DevInfo& info, std::uint32_t property);
  static _SSerInfo MakeRecord(std::string portName, std::string friendlyName,
                              std::string manufacturer);
  void StoreLowestNumbers(std::vector<_SSerInfo> found);
};

template <class DevInfo>
void CEnumSerial::EnumerateWith(DevInfo& info) {
  if (!info.Open(kPortsSetupClass, kPresentInProfile)) return;
  std::vector<_SSerInfo> found;
  while (info.EnumNext()) {
    std::string portName;
    if (!info.GetPortName(portName)) continue;
    std::string friendlyName = PropertyText(info, kSpdrpFriendlyName);
    std::string manufacturer = PropertyText(info, kSpdrpMfg);
    found.push_back(MakeRecord(std::move(portName), std::move(friendlyName), std::move(manufacturer)));
  }
  StoreLowestNumbers(std::move(found));
}

template <class DevInfo>
std::string CEnumSerial::PropertyText(DevInfo& info, std::uint32_t property) {
  PropertyBuffer buffer{};
  if (!info.GetProperty(property, buffer)) return {};
  return std::string(buffer.data(), std::find(buffer.begin(), buffer.end(), '\0'));
}

}  // namespace tavel

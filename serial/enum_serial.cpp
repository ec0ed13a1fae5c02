#include "serial/enum_serial.h"

#include <string_view>
#include <utility>

#include "protocol/text.h"

namespace tavel {

std::string ListEntry(const _SSerInfo& port) {
  return port.PortName + " " + port.FriendlyName + " " + port.Manufacturer;
}

void CEnumSerial::Enumerate() {
  CDevInfo info;
  EnumerateWith(info);
}

void CEnumSerial::SortByPortNumber() {
  for (std::int32_t pass = 0; pass < PortCount - 1; ++pass) {
    bool swapped = false;
    for (std::int32_t j = 0; j <= PortCount - 2 - pass; ++j) {
      if (Ports[j].PortNumber > Ports[j + 1].PortNumber) {
        std::swap(Ports[j], Ports[j + 1]);
        swapped = true;
      }
    }
    if (!swapped) return;
  }
}

_SSerInfo CEnumSerial::MakeRecord(std::string portName, std::string friendlyName,
                                  std::string manufacturer) {
  const std::int32_t number = DecimalValue(std::string_view(portName).substr(3));
  return {std::move(portName), std::move(friendlyName), std::move(manufacturer), number};
}

// The table has room for 20; beyond that the lowest numbers are kept, in the
// order the system gave ports of equal number.
void CEnumSerial::StoreLowestNumbers(std::vector<_SSerInfo> found) {
  std::stable_sort(found.begin(), found.end(), [](const _SSerInfo& a, const _SSerInfo& b) {
    return a.PortNumber < b.PortNumber;
  });
  PortCount = static_cast<std::int32_t>(std::min(found.size(), kCapacity));
  std::move(found.begin(), found.begin() + PortCount, Ports.begin());
}

}  // namespace tavel

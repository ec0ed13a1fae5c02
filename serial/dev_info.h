#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tavel {

// A device set-up class, laid out as the system's GUID.
struct SetupClass {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::array<std::uint8_t, 8> Data4;
};

constexpr SetupClass kPortsSetupClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// Present devices of the current hardware profile (DIGCF_PRESENT | DIGCF_PROFILE).
constexpr std::uint32_t kPresentInProfile = 0x0A;

constexpr std::uint32_t kSpdrpMfg = 11;
constexpr std::uint32_t kSpdrpFriendlyName = 12;

constexpr std::size_t kPropertyBufferSize = 260;
using PropertyBuffer = std::array<char, kPropertyBufferSize>;

// A port name counts only when it begins with the capital letters COM; any
// other is emptied.
inline bool KeepComPortName(std::string& name) {
  if (name.starts_with("COM")) return true;
  name.clear();
  return false;
}

// One device-information set of the system, walked one device at a time.
class CDevInfo {
 public:
  CDevInfo();
  ~CDevInfo();
  CDevInfo(const CDevInfo&) = delete;
  CDevInfo& operator=(const CDevInfo&) = delete;

  bool Open(const SetupClass& setupClass, std::uint32_t flags);
  bool EnumNext();
  // False, with `name` emptied, unless the current device's port name begins
  // with "COM".
  bool GetPortName(std::string& name);
  // The property as text with its terminator; false when the device lacks it
  // or it does not fit.
  bool GetProperty(std::uint32_t property, PropertyBuffer& buffer);

  bool Valid = false;
  std::int16_t Index = -1;

 private:
  struct DeviceSet;
  std::unique_ptr<DeviceSet> set_;
};

}  // namespace tavel

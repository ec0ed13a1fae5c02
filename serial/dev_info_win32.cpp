#include <windows.h>
#include <setupapi.h>

#include <cstring>
#include <memory>

#include "serial/dev_info.h"

namespace tavel {
namespace {

constexpr DWORD kPortNameBufferSize = 256;

GUID GuidOf(const SetupClass& setupClass) {
  GUID guid{};
  guid.Data1 = setupClass.Data1;
  guid.Data2 = setupClass.Data2;
  guid.Data3 = setupClass.Data3;
  std::memcpy(guid.Data4, setupClass.Data4.data(), sizeof guid.Data4);
  return guid;
}

class RegistryKey {
 public:
  explicit RegistryKey(HKEY key) : key_(key) {}
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  ~RegistryKey() {
    if (IsOpen()) RegCloseKey(key_);
  }

  HKEY Get() const { return key_; }
  bool IsOpen() const { return key_ != reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE); }

 private:
  HKEY key_;
};

}  // namespace

struct CDevInfo::DeviceSet {
  explicit DeviceSet(HDEVINFO set) : handle(set) {}
  DeviceSet(const DeviceSet&) = delete;
  DeviceSet& operator=(const DeviceSet&) = delete;
  ~DeviceSet() { SetupDiDestroyDeviceInfoList(handle); }

  HDEVINFO handle;
  SP_DEVINFO_DATA device{};
};

CDevInfo::CDevInfo() = default;
CDevInfo::~CDevInfo() = default;

bool CDevInfo::Open(const SetupClass& setupClass, std::uint32_t flags) {
  const GUID guid = GuidOf(setupClass);
  const HDEVINFO set = SetupDiGetClassDevsA(&guid, nullptr, nullptr, flags);
  if (set == INVALID_HANDLE_VALUE) return false;
  set_ = std::make_unique<DeviceSet>(set);
  return true;
}

bool CDevInfo::EnumNext() {
  Index = static_cast<std::int16_t>(Index + 1);
  set_->device.cbSize = sizeof(SP_DEVINFO_DATA);
  Valid = SetupDiEnumDeviceInfo(set_->handle, static_cast<DWORD>(Index), &set_->device) != FALSE;
  return Valid;
}

bool CDevInfo::GetPortName(std::string& name) {
  name.clear();
  const RegistryKey key(
      SetupDiOpenDevRegKey(set_->handle, &set_->device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ));
  if (!key.IsOpen()) return false;
  char value[kPortNameBufferSize] = {};
  DWORD size = sizeof value;
  if (RegQueryValueExA(key.Get(), "PortName", nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                       &size) != ERROR_SUCCESS) {
    return false;
  }
  name.assign(value, strnlen(value, size));
  return KeepComPortName(name);
}

bool CDevInfo::GetProperty(std::uint32_t property, PropertyBuffer& buffer) {
  return SetupDiGetDeviceRegistryPropertyA(set_->handle, &set_->device, property, nullptr,
                                           reinterpret_cast<PBYTE>(buffer.data()),
                                           static_cast<DWORD>(buffer.size()), nullptr) != FALSE;
}

}  // namespace tavel

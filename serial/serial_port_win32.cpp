#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>

#include "serial/port_names.h"
#include "serial/serial_port.h"

namespace tavel {
namespace {

OpenFailure FailureForError(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return OpenFailure::NoSuchDevice;
    // A port held by another program is refused with "access denied".
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return OpenFailure::Busy;
    case ERROR_INVALID_FUNCTION:
      return OpenFailure::NotASerialPort;
    default:
      return OpenFailure::Other;
  }
}

std::string ReasonForError(DWORD error) {
  char text[256] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, error, 0, text, sizeof text, nullptr);
  std::string reason(text, length);
  while (!reason.empty() && (reason.back() == '\r' || reason.back() == '\n')) reason.pop_back();
  return reason;
}

class PortHandle {
 public:
  explicit PortHandle(HANDLE handle) : handle_(handle) {}
  PortHandle(PortHandle&& other) noexcept
      : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
  PortHandle& operator=(PortHandle&&) = delete;
  ~PortHandle() {
    if (IsOpen()) CloseHandle(handle_);
  }

  HANDLE Get() const { return handle_; }
  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }

  // A failed CloseHandle leaves the port open.
  bool Close() {
    if (!IsOpen() || !CloseHandle(handle_)) return false;
    handle_ = INVALID_HANDLE_VALUE;
    return true;
  }

 private:
  HANDLE handle_;
};

void ReadRecord(const DCB& dcb, LineSettings& settings) {
  settings.BaudRate = dcb.BaudRate;
  settings.ByteSize = dcb.ByteSize;
  settings.Parity = dcb.Parity;
  settings.StopBits = dcb.StopBits;
  settings.fBinary = dcb.fBinary;
  settings.fParity = dcb.fParity;
  settings.fOutxCtsFlow = dcb.fOutxCtsFlow;
  settings.fOutxDsrFlow = dcb.fOutxDsrFlow;
  settings.fDtrControl = static_cast<std::uint8_t>(dcb.fDtrControl);
  settings.fDsrSensitivity = dcb.fDsrSensitivity;
  settings.fTXContinueOnXoff = dcb.fTXContinueOnXoff;
  settings.fOutX = dcb.fOutX;
  settings.fInX = dcb.fInX;
  settings.fErrorChar = dcb.fErrorChar;
  settings.fNull = dcb.fNull;
  settings.fRtsControl = static_cast<std::uint8_t>(dcb.fRtsControl);
  settings.fAbortOnError = dcb.fAbortOnError;
  settings.XonLim = dcb.XonLim;
  settings.XoffLim = dcb.XoffLim;
  settings.XonChar = dcb.XonChar;
  settings.XoffChar = dcb.XoffChar;
  settings.ErrorChar = dcb.ErrorChar;
  settings.EofChar = dcb.EofChar;
  settings.EvtChar = dcb.EvtChar;
}

void ApplyRecord(const LineSettings& settings, DCB& dcb) {
  dcb.BaudRate = settings.BaudRate;
  dcb.ByteSize = settings.ByteSize;
  dcb.Parity = settings.Parity;
  dcb.StopBits = settings.StopBits;
  dcb.fBinary = settings.fBinary;
  dcb.fParity = settings.fParity;
  dcb.fOutxCtsFlow = settings.fOutxCtsFlow;
  dcb.fOutxDsrFlow = settings.fOutxDsrFlow;
  dcb.fDtrControl = settings.fDtrControl;
  dcb.fDsrSensitivity = settings.fDsrSensitivity;
  dcb.fTXContinueOnXoff = settings.fTXContinueOnXoff;
  dcb.fOutX = settings.fOutX;
  dcb.fInX = settings.fInX;
  dcb.fErrorChar = settings.fErrorChar;
  dcb.fNull = settings.fNull;
  dcb.fRtsControl = settings.fRtsControl;
  dcb.fAbortOnError = settings.fAbortOnError;
  dcb.XonLim = settings.XonLim;
  dcb.XoffLim = settings.XoffLim;
  dcb.XonChar = settings.XonChar;
  dcb.XoffChar = settings.XoffChar;
  dcb.ErrorChar = settings.ErrorChar;
  dcb.EofChar = settings.EofChar;
  dcb.EvtChar = settings.EvtChar;
}

class Win32SerialPort final : public SerialPort {
 public:
  explicit Win32SerialPort(PortHandle handle) : handle_(std::move(handle)) {
    lastRead_.DCBlength = sizeof(DCB);
  }

  bool ReadSettings(LineSettings& settings) override {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    if (!GetCommState(handle_.Get(), &dcb)) return false;
    lastRead_ = dcb;
    ReadRecord(dcb, settings);
    return true;
  }

  // Members the record does not carry go back as they were read.
  bool WriteSettings(const LineSettings& settings) override {
    DCB dcb = lastRead_;
    ApplyRecord(settings, dcb);
    return SetCommState(handle_.Get(), &dcb) != FALSE;
  }

  bool Escape(LineControl code) override {
    return EscapeCommFunction(handle_.Get(), static_cast<DWORD>(code)) != FALSE;
  }

  bool PurgeReceive() override { return PurgeComm(handle_.Get(), PURGE_RXCLEAR) != FALSE; }

  bool QueryStatus(QueueStatus& status) override {
    DWORD errors = 0;
    COMSTAT comStat{};
    if (!ClearCommError(handle_.Get(), &errors, &comStat)) return false;
    status.cbInQue = comStat.cbInQue;
    status.cbOutQue = comStat.cbOutQue;
    return true;
  }

  bool Write(const std::uint8_t* bytes, std::uint32_t count, std::uint32_t& written) override {
    DWORD done = 0;
    const bool ok = WriteFile(handle_.Get(), bytes, count, &done, nullptr) != FALSE;
    written = done;
    return ok;
  }

  bool Read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t& got) override {
    DWORD done = 0;
    const bool ok = ReadFile(handle_.Get(), buffer, count, &done, nullptr) != FALSE;
    got = done;
    return ok;
  }

  // A synchronous handle offers no cheap wait for input; a short sleep still
  // lets a busy wait yield.
  void WaitForInput(int timeout_ms) override { Sleep(static_cast<DWORD>(std::clamp(timeout_ms, 0, 1))); }

  bool Close() override { return handle_.Close(); }

 private:
  PortHandle handle_;
  DCB lastRead_{};
};

}  // namespace

OpenResult OpenSerialPort(const std::string& name) {
  OpenResult result;
  result.devicePath = DevicePathForPortName(name);
  PortHandle handle(CreateFileA(result.devicePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr));
  if (!handle.IsOpen()) {
    const DWORD error = GetLastError();
    result.failure = FailureForError(error);
    result.reason = ReasonForError(error);
    return result;
  }
  result.port = std::make_unique<Win32SerialPort>(std::move(handle));
  return result;
}

}  // namespace tavel

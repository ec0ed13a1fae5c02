#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tavel {

// The port's line settings record. The tool changes only the rate, the frame
// format and the flow-control members; every other member is carried back to
// the port as it was read.
struct LineSettings {
  std::uint32_t BaudRate = 0;
  std::uint8_t ByteSize = 8;
  std::uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  std::uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
  bool fBinary = true;
  bool fParity = false;
  bool fOutxCtsFlow = false;
  bool fOutxDsrFlow = false;
  std::uint8_t fDtrControl = 1;
  bool fDsrSensitivity = false;
  bool fTXContinueOnXoff = false;
  bool fOutX = false;
  bool fInX = false;
  bool fErrorChar = false;
  bool fNull = false;
  std::uint8_t fRtsControl = 1;
  bool fAbortOnError = false;
  std::uint16_t XonLim = 0;
  std::uint16_t XoffLim = 0;
  char XonChar = 0x11;
  char XoffChar = 0x13;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;
};

constexpr std::uint8_t kNoParity = 0;
constexpr std::uint8_t kOneStopBit = 0;

struct QueueStatus {
  std::uint32_t cbInQue = 0;   // bytes waiting to be read
  std::uint32_t cbOutQue = 0;  // bytes not yet sent
};

enum class LineControl : std::uint8_t {
  SetRts = 3,
  ClearRts = 4,
  SetDtr = 5,
  ClearDtr = 6,
};

// Why an open failed, mapped once per platform from errno / GetLastError.
enum class OpenFailure {
  None,
  NoSuchDevice,
  Busy,
  PermissionDenied,
  NotASerialPort,
  Other,
};

// An open serial port: exclusive, synchronous reads and writes. Every call
// reports success as a bool; an object always owns its device and releases it
// when destroyed.
class SerialPort {
 public:
  virtual ~SerialPort() = default;
  virtual bool ReadSettings(LineSettings& settings) = 0;
  virtual bool WriteSettings(const LineSettings& settings) = 0;
  virtual bool Escape(LineControl code) = 0;
  virtual bool PurgeReceive() = 0;
  virtual bool QueryStatus(QueueStatus& status) = 0;
  virtual bool Write(const std::uint8_t* bytes, std::uint32_t count, std::uint32_t& written) = 0;
  // Reads exactly `count` bytes unless the line stays silent for the port's
  // read bound; `got` tells how many arrived.
  virtual bool Read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t& got) = 0;
  // Sleeps until input arrives or `timeout_ms` has passed; lets busy waits
  // yield the CPU without changing what they wait for.
  virtual void WaitForInput(int timeout_ms) = 0;
  // Closes the device; false leaves it open.
  virtual bool Close() = 0;
};

struct OpenResult {
  std::unique_ptr<SerialPort> port;
  OpenFailure failure = OpenFailure::None;
  std::string devicePath;  // what the name resolved to
  std::string reason;      // the system's own words
};

// Opens the port named "\\.\COM<n>" (the name the window builds) for
// exclusive reading and writing.
OpenResult OpenSerialPort(const std::string& name);

std::string DescribeFailure(OpenFailure failure);

}  // namespace tavel

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <optional>
#include <system_error>
#include <utility>

#include "serial/port_names.h"
#include "serial/serial_port.h"

namespace tavel {
namespace {

// A line that stays silent this long ends a read short.
constexpr int kReadSilenceMs = 1000;

struct RateCode {
  std::uint32_t rate;
  speed_t code;
};

constexpr std::array<RateCode, 30> kRates = {{
    {50, B50},         {75, B75},           {110, B110},         {134, B134},
    {150, B150},       {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},     {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},     {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200}, {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000}, {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
}};

std::optional<speed_t> SpeedCodeFor(std::uint32_t rate) {
  for (const RateCode& entry : kRates) {
    if (entry.rate == rate) return entry.code;
  }
  return std::nullopt;
}

std::uint32_t RateFor(speed_t code) {
  for (const RateCode& entry : kRates) {
    if (entry.code == code) return entry.rate;
  }
  return 0;
}

constexpr std::array<tcflag_t, 4> kSizeFlags = {CS5, CS6, CS7, CS8};

std::optional<tcflag_t> SizeFlagFor(std::uint8_t byteSize) {
  if (byteSize < 5 || byteSize > 8) return std::nullopt;
  return kSizeFlags[byteSize - 5];
}

std::uint8_t ByteSizeFor(tcflag_t cflag) {
  const auto found = std::find(kSizeFlags.begin(), kSizeFlags.end(), cflag & CSIZE);
  return static_cast<std::uint8_t>(5 + (found - kSizeFlags.begin()));
}

constexpr tcflag_t kParityFlags = PARENB | PARODD | CMSPAR;
constexpr std::array<tcflag_t, 5> kParityByCode = {
    0,                         // none
    PARENB | PARODD,           // odd
    PARENB,                    // even
    PARENB | PARODD | CMSPAR,  // mark
    PARENB | CMSPAR,           // space
};

std::optional<tcflag_t> ParityFlagsFor(std::uint8_t parity) {
  if (parity >= kParityByCode.size()) return std::nullopt;
  return kParityByCode[parity];
}

std::uint8_t ParityFor(tcflag_t cflag) {
  if (!(cflag & PARENB)) return 0;
  const auto found = std::find(kParityByCode.begin(), kParityByCode.end(), cflag & kParityFlags);
  return static_cast<std::uint8_t>(found - kParityByCode.begin());
}

constexpr std::uint8_t kTwoStopBits = 2;

std::optional<tcflag_t> StopFlagFor(std::uint8_t stopBits) {
  if (stopBits == kOneStopBit) return tcflag_t{0};
  if (stopBits == kTwoStopBits) return tcflag_t{CSTOPB};
  return std::nullopt;
}

void SetFlag(tcflag_t& flags, tcflag_t flag, bool on) {
  flags = on ? (flags | flag) : (flags & ~flag);
}

// Binary frames cross the line untouched: no line editing, echo, signals,
// character translation or output processing.
void MakeRaw(termios& line) {
  line.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IMAXBEL);
  line.c_oflag &= ~OPOST;
  line.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
  line.c_cflag |= CLOCAL | CREAD;
  line.c_cc[VMIN] = 1;
  line.c_cc[VTIME] = 0;
}

bool ApplyRecord(const LineSettings& settings, termios& line) {
  const std::optional<speed_t> speed = SpeedCodeFor(settings.BaudRate);
  const std::optional<tcflag_t> size = SizeFlagFor(settings.ByteSize);
  const std::optional<tcflag_t> parity = ParityFlagsFor(settings.Parity);
  const std::optional<tcflag_t> stop = StopFlagFor(settings.StopBits);
  if (!speed || !size || !parity || !stop) return false;
  if (cfsetispeed(&line, *speed) != 0 || cfsetospeed(&line, *speed) != 0) return false;
  line.c_cflag = (line.c_cflag & ~(CSIZE | kParityFlags | CSTOPB)) | *size | *parity | *stop;
  SetFlag(line.c_cflag, CRTSCTS, settings.fOutxCtsFlow);
  SetFlag(line.c_iflag, INPCK, settings.fParity);
  SetFlag(line.c_iflag, IXON, settings.fOutX);
  SetFlag(line.c_iflag, IXOFF, settings.fInX);
  line.c_cc[VSTART] = static_cast<cc_t>(settings.XonChar);
  line.c_cc[VSTOP] = static_cast<cc_t>(settings.XoffChar);
  return true;
}

void ReadRecord(const termios& line, LineSettings& settings) {
  settings.BaudRate = RateFor(cfgetospeed(&line));
  settings.ByteSize = ByteSizeFor(line.c_cflag);
  settings.Parity = ParityFor(line.c_cflag);
  settings.StopBits = (line.c_cflag & CSTOPB) ? kTwoStopBits : kOneStopBit;
  settings.fOutxCtsFlow = line.c_cflag & CRTSCTS;
  settings.fParity = line.c_iflag & INPCK;
  settings.fOutX = line.c_iflag & IXON;
  settings.fInX = line.c_iflag & IXOFF;
  settings.XonChar = static_cast<char>(line.c_cc[VSTART]);
  settings.XoffChar = static_cast<char>(line.c_cc[VSTOP]);
}

// tcsetattr succeeds when any part of a change took, so the line is read back
// and compared on everything that was asked for.
bool SameLine(const termios& wanted, const termios& actual) {
  constexpr tcflag_t kCflags = CSIZE | kParityFlags | CSTOPB | CRTSCTS | CLOCAL | CREAD;
  constexpr tcflag_t kIflags = INPCK | IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP;
  constexpr tcflag_t kLflags = ECHO | ICANON | ISIG | IEXTEN;
  return cfgetospeed(&wanted) == cfgetospeed(&actual) &&
         cfgetispeed(&wanted) == cfgetispeed(&actual) &&
         (wanted.c_cflag & kCflags) == (actual.c_cflag & kCflags) &&
         (wanted.c_iflag & kIflags) == (actual.c_iflag & kIflags) &&
         (wanted.c_lflag & kLflags) == (actual.c_lflag & kLflags) &&
         (wanted.c_oflag & OPOST) == (actual.c_oflag & OPOST) &&
         wanted.c_cc[VMIN] == actual.c_cc[VMIN] && wanted.c_cc[VTIME] == actual.c_cc[VTIME];
}

OpenFailure FailureForErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return OpenFailure::NoSuchDevice;
    case EBUSY:
    case EWOULDBLOCK:
      return OpenFailure::Busy;
    case EACCES:
    case EPERM:
    case EROFS:
      return OpenFailure::PermissionDenied;
    case ENOTTY:
      return OpenFailure::NotASerialPort;
    default:
      return OpenFailure::Other;
  }
}

std::string ReasonForErrno(int error) { return std::generic_category().message(error); }

// Owns an open terminal. Exclusive mode stays on a terminal whose other end
// lives on (a pseudo-terminal's slave), so it is lifted before the close.
class TerminalFd {
 public:
  explicit TerminalFd(int fd) : fd_(fd) {}
  TerminalFd(TerminalFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  TerminalFd& operator=(TerminalFd&&) = delete;
  ~TerminalFd() { Close(); }

  int Get() const { return fd_; }
  bool IsOpen() const { return fd_ >= 0; }

  // The descriptor is gone after close() whatever close() reports.
  bool Close() {
    if (fd_ < 0) return false;
    ioctl(fd_, TIOCNXCL);
    return ::close(std::exchange(fd_, -1)) == 0;
  }

 private:
  int fd_;
};

enum class Readiness { Ready, Silent, Failed };

Readiness AwaitReadiness(int fd, short events, int timeoutMs) {
  pollfd watch{fd, events, 0};
  for (;;) {
    const int result = poll(&watch, 1, timeoutMs);
    if (result > 0) return Readiness::Ready;
    if (result == 0) return Readiness::Silent;
    if (errno != EINTR) return Readiness::Failed;
  }
}

class PosixSerialPort final : public SerialPort {
 public:
  explicit PosixSerialPort(TerminalFd fd) : fd_(std::move(fd)) {}

  bool ReadSettings(LineSettings& settings) override {
    termios line{};
    if (tcgetattr(fd_.Get(), &line) != 0) return false;
    ReadRecord(line, settings);
    return true;
  }

  bool WriteSettings(const LineSettings& settings) override {
    termios line{};
    if (tcgetattr(fd_.Get(), &line) != 0) return false;
    MakeRaw(line);
    if (!ApplyRecord(settings, line)) return false;
    if (tcsetattr(fd_.Get(), TCSANOW, &line) != 0) return false;
    termios applied{};
    return tcgetattr(fd_.Get(), &applied) == 0 && SameLine(line, applied);
  }

  bool Escape(LineControl code) override {
    switch (code) {
      case LineControl::SetRts:
        return ChangeModemLine(TIOCMBIS, TIOCM_RTS);
      case LineControl::ClearRts:
        return ChangeModemLine(TIOCMBIC, TIOCM_RTS);
      case LineControl::SetDtr:
        return ChangeModemLine(TIOCMBIS, TIOCM_DTR);
      case LineControl::ClearDtr:
        return ChangeModemLine(TIOCMBIC, TIOCM_DTR);
    }
    return false;
  }

  bool PurgeReceive() override { return tcflush(fd_.Get(), TCIFLUSH) == 0; }

  bool QueryStatus(QueueStatus& status) override {
    int waiting = 0;
    int unsent = 0;
    if (ioctl(fd_.Get(), FIONREAD, &waiting) != 0) return false;
    if (ioctl(fd_.Get(), TIOCOUTQ, &unsent) != 0) return false;
    status.cbInQue = static_cast<std::uint32_t>(waiting);
    status.cbOutQue = static_cast<std::uint32_t>(unsent);
    return true;
  }

  bool Write(const std::uint8_t* bytes, std::uint32_t count, std::uint32_t& written) override {
    written = 0;
    while (written < count) {
      const ssize_t result = ::write(fd_.Get(), bytes + written, count - written);
      if (result > 0) {
        written += static_cast<std::uint32_t>(result);
      } else if (!MayRetry(result, POLLOUT)) {
        return false;
      }
    }
    return true;
  }

  bool Read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t& got) override {
    got = 0;
    while (got < count) {
      const Readiness readiness = AwaitReadiness(fd_.Get(), POLLIN, kReadSilenceMs);
      if (readiness == Readiness::Silent) return true;
      if (readiness == Readiness::Failed) return false;
      const ssize_t result = ::read(fd_.Get(), buffer + got, count - got);
      // Zero bytes from a ready line is a hang-up: the device is gone.
      if (result == 0) return false;
      if (result > 0) {
        got += static_cast<std::uint32_t>(result);
      } else if (errno != EINTR && errno != EAGAIN) {
        return false;
      }
    }
    return true;
  }

  void WaitForInput(int timeout_ms) override {
    AwaitReadiness(fd_.Get(), POLLIN, std::max(timeout_ms, 0));
  }

  bool Close() override { return fd_.Close(); }

 private:
  bool ChangeModemLine(unsigned long request, int line) {
    return ioctl(fd_.Get(), request, &line) == 0;
  }

  bool MayRetry(ssize_t result, short events) {
    if (result != -1) return false;
    if (errno == EINTR) return true;
    return errno == EAGAIN && AwaitReadiness(fd_.Get(), events, -1) == Readiness::Ready;
  }

  TerminalFd fd_;
};

OpenResult FailedOpen(std::string devicePath, int error) {
  OpenResult result;
  result.failure = FailureForErrno(error);
  result.devicePath = std::move(devicePath);
  result.reason = ReasonForErrno(error);
  return result;
}

// errno of the first step that fails, 0 when the terminal is ours alone.
int TakeExclusively(const TerminalFd& fd) {
  if (!isatty(fd.Get())) return ENOTTY;
  if (flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) return errno;
  if (ioctl(fd.Get(), TIOCEXCL) != 0) return errno;
  const int flags = fcntl(fd.Get(), F_GETFL);
  if (flags < 0 || fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return errno;
  return 0;
}

}  // namespace

OpenResult OpenSerialPort(const std::string& name) {
  std::string path = DevicePathForPortName(name);
  if (path.empty()) return FailedOpen(std::move(path), ENOENT);
  TerminalFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.IsOpen()) {
    const int error = errno;
    return FailedOpen(std::move(path), error);
  }
  if (const int error = TakeExclusively(fd); error != 0) return FailedOpen(std::move(path), error);
  OpenResult result;
  result.port = std::make_unique<PosixSerialPort>(std::move(fd));
  result.devicePath = std::move(path);
  return result;
}

}  // namespace tavel

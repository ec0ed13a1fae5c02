#include "app/serial_line.hpp"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <array>
#include <cstdlib>
#include <optional>

namespace tavel::sim {
namespace {

std::optional<SysError> configure_raw_4800(int fd, const std::string& what) {
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        return errno_error("tcgetattr " + what);
    }
    ::cfmakeraw(&settings);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    if (::cfsetispeed(&settings, B4800) != 0 || ::cfsetospeed(&settings, B4800) != 0) {
        return errno_error("cfsetspeed " + what);
    }
    if (::tcsetattr(fd, TCSANOW, &settings) != 0) {
        return errno_error("tcsetattr " + what);
    }
    return std::nullopt;
}

std::variant<std::string, SysError> slave_name(int master) {
    std::array<char, 128> name{};
    if (const int error = ::ptsname_r(master, name.data(), name.size()); error != 0) {
        return SysError{"ptsname_r", error};
    }
    return std::string{name.data()};
}

}  // namespace

std::variant<Line, SysError> open_pty() {
    Line line;
    line.io = UniqueFd{::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)};
    if (!line.io) {
        return errno_error("posix_openpt");
    }
    if (::grantpt(line.io.get()) != 0) {
        return errno_error("grantpt");
    }
    if (::unlockpt(line.io.get()) != 0) {
        return errno_error("unlockpt");
    }
    auto name = slave_name(line.io.get());
    if (auto* error = std::get_if<SysError>(&name)) {
        return *error;
    }
    line.path = std::get<std::string>(name);
    line.slave = UniqueFd{::open(line.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)};
    if (!line.slave) {
        return errno_error("open " + line.path);
    }
    if (auto error = configure_raw_4800(line.slave.get(), line.path)) {
        return *error;
    }
    return line;
}

std::variant<Line, SysError> open_device(const std::string& path) {
    Line line;
    line.path = path;
    line.io = UniqueFd{::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)};
    if (!line.io) {
        return errno_error("open " + path);
    }
    if (auto error = configure_raw_4800(line.io.get(), path)) {
        return *error;
    }
    return line;
}

std::size_t discard_unread_input(const Line& line, std::size_t limit) {
    int unread = 0;
    if (!line.is_pty() || ::ioctl(line.slave.get(), FIONREAD, &unread) != 0 ||
        static_cast<std::size_t>(unread) <= limit) {
        return 0;
    }
    ::tcflush(line.slave.get(), TCIFLUSH);
    return static_cast<std::size_t>(unread);
}

}  // namespace tavel::sim

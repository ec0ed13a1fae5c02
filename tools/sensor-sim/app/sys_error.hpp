#pragma once

#include <cerrno>
#include <cstring>
#include <string>

namespace tavel::sim {

struct SysError {
    std::string context;
    int code = 0;

    std::string message() const { return context + ": " + std::strerror(code); }
};

// Call right after the failing call, before anything can change errno.
inline SysError errno_error(std::string context) {
    const int code = errno;
    return SysError{std::move(context), code};
}

}  // namespace tavel::sim

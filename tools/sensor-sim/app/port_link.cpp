#include "app/port_link.hpp"

#include <system_error>
#include <utility>

namespace tavel::sim {
namespace fs = std::filesystem;

namespace {

std::string failure(std::string_view what, const fs::path& path, const std::error_code& error) {
    return std::string(what) + " " + path.string() + ": " + error.message();
}

}  // namespace

std::variant<PortLink, std::string> PortLink::create(const fs::path& directory, unsigned com, const fs::path& target) {
    std::error_code error;
    fs::create_directories(directory, error);
    if (error) {
        return failure("cannot create", directory, error);
    }
    const fs::path link = directory / ("COM" + std::to_string(com));
    const fs::file_status existing = fs::symlink_status(link, error);
    if (fs::exists(existing)) {
        if (!fs::is_symlink(existing)) {
            return link.string() + " exists and is not a symbolic link";
        }
        if (fs::remove(link, error); error) {
            return failure("cannot replace", link, error);
        }
    }
    fs::create_symlink(target, link, error);
    if (error) {
        return failure("cannot create", link, error);
    }
    return PortLink{link, target};
}

PortLink::PortLink(fs::path link, fs::path target) : link_(std::move(link)), target_(std::move(target)) {}

PortLink::PortLink(PortLink&& other) noexcept
    : link_(std::exchange(other.link_, {})), target_(std::exchange(other.target_, {})) {}

PortLink::~PortLink() {
    if (link_.empty()) {
        return;
    }
    std::error_code error;
    // Another simulator may have taken the name over since; leave its link alone.
    if (fs::read_symlink(link_, error) == target_ && !error) {
        fs::remove(link_, error);
    }
}

}  // namespace tavel::sim

#pragma once

#include <filesystem>
#include <string>
#include <variant>

namespace tavel::sim {

// The ports-directory entry COM<n> -> the slave device, removed again when destroyed.
class PortLink {
public:
    static std::variant<PortLink, std::string> create(const std::filesystem::path& directory, unsigned com,
                                                      const std::filesystem::path& target);

    PortLink(PortLink&& other) noexcept;
    PortLink& operator=(PortLink&&) = delete;
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;
    ~PortLink();

    const std::filesystem::path& path() const { return link_; }

private:
    PortLink(std::filesystem::path link, std::filesystem::path target);

    std::filesystem::path link_;
    std::filesystem::path target_;
};

}  // namespace tavel::sim

#include "core/ports_dir.hpp"

#include <optional>

namespace tavel::sim {
namespace {

std::optional<std::filesystem::path> non_empty(const GetEnv& get_env, const char* name) {
    const char* value = get_env(name);
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::filesystem::path{value};
}

}  // namespace

std::variant<std::filesystem::path, std::string> ports_directory(const GetEnv& get_env) {
    if (auto explicit_dir = non_empty(get_env, "TAVEL_PORTS_DIR")) {
        return *explicit_dir;
    }
    std::optional<std::filesystem::path> config_home = non_empty(get_env, "XDG_CONFIG_HOME");
    if (!config_home) {
        const auto home = non_empty(get_env, "HOME");
        if (!home) {
            return std::string{"neither TAVEL_PORTS_DIR, XDG_CONFIG_HOME nor HOME is set"};
        }
        config_home = *home / ".config";
    }
    return *config_home / "tavel-tool" / "ports";
}

}  // namespace tavel::sim

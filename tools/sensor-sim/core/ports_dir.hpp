#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <variant>

namespace tavel::sim {

using GetEnv = std::function<const char*(const char* name)>;

// TAVEL_PORTS_DIR, else ${XDG_CONFIG_HOME:-$HOME/.config}/tavel-tool/ports; or why there is none.
std::variant<std::filesystem::path, std::string> ports_directory(const GetEnv& get_env);

}  // namespace tavel::sim

#pragma once

#include "core/faults.hpp"
#include "core/loader.hpp"

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace tavel::sim {

struct Options {
    unsigned com = 100;
    std::optional<std::string> device;
    bool pace = false;
    std::chrono::milliseconds turnaround{0};
    bool echo = false;
    std::chrono::milliseconds announce{1000};
    std::chrono::milliseconds rerequest{0};
    bool ask_stay = false;
    std::optional<std::string> image_out;
    std::optional<std::size_t> image_size;
    bool exit_after_q = false;
    std::uint32_t seed = 4800;
    FaultPlan faults;
    std::optional<std::string> trace;
    std::optional<std::string> log_file;
    bool quiet = false;
    bool help = false;
};

// The options, or the reason they were refused.
std::variant<Options, std::string> parse_options(std::span<const std::string_view> args);

std::string_view usage();

LoaderConfig loader_config(const Options& options);

}  // namespace tavel::sim

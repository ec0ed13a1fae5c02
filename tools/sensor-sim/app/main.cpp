#include "app/port_link.hpp"
#include "app/report.hpp"
#include "app/serial_line.hpp"
#include "app/simulator.hpp"
#include "app/unique_fd.hpp"
#include "core/options.hpp"
#include "core/ports_dir.hpp"

#include <signal.h>
#include <sys/signalfd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace {

using namespace tavel::sim;

int fail(const std::string& message) {
    std::fprintf(stderr, "tavel-sensor-sim: %s\n", message.c_str());
    return 1;
}

std::variant<UniqueFd, SysError> stop_signals() {
    ::signal(SIGPIPE, SIG_IGN);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    if (::sigprocmask(SIG_BLOCK, &signals, nullptr) != 0) {
        return errno_error("sigprocmask");
    }
    UniqueFd fd{::signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK)};
    if (!fd) {
        return errno_error("signalfd");
    }
    return fd;
}

std::variant<Line, SysError> open_line(const Options& options) {
    return options.device ? open_device(*options.device) : open_pty();
}

std::variant<std::optional<PortLink>, std::string> link_port(const Options& options, const Line& line) {
    if (!line.is_pty()) {
        return std::optional<PortLink>{};
    }
    const auto directory = ports_directory([](const char* name) { return std::getenv(name); });
    if (const auto* error = std::get_if<std::string>(&directory)) {
        return *error;
    }
    auto link = PortLink::create(std::get<std::filesystem::path>(directory), options.com, line.path);
    if (auto* error = std::get_if<std::string>(&link)) {
        return *error;
    }
    return std::optional<PortLink>{std::move(std::get<PortLink>(link))};
}

void announce_line(Reporter& reporter, const std::optional<PortLink>& link, const Line& line) {
    const std::string where = link ? link->path().filename().string() + " -> " + line.path
                                   : "on " + line.path;
    const std::string text = "tavel-sensor-sim: " + where;
    std::fprintf(stdout, "%s\n", text.c_str());
    std::fflush(stdout);
    if (link) {
        reporter.note("link " + link->path().string());
    }
}

int run(const Options& options) {
    auto signals = stop_signals();
    if (auto* error = std::get_if<SysError>(&signals)) {
        return fail(error->message());
    }
    auto reporter = Reporter::open(options);
    if (auto* error = std::get_if<std::string>(&reporter)) {
        return fail(*error);
    }
    auto line = open_line(options);
    if (auto* error = std::get_if<SysError>(&line)) {
        return fail(error->message());
    }
    auto link = link_port(options, std::get<Line>(line));
    if (auto* error = std::get_if<std::string>(&link)) {
        return fail(*error);
    }
    announce_line(std::get<Reporter>(reporter), std::get<std::optional<PortLink>>(link), std::get<Line>(line));
    Loader loader{loader_config(options), FaultInjector{options.faults, options.seed}};
    Simulator simulator{options, std::move(std::get<Line>(line)), std::move(loader), std::get<Reporter>(reporter)};
    return simulator.run(std::get<UniqueFd>(signals).get());
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const auto parsed = parse_options(args);
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        std::fprintf(stderr, "tavel-sensor-sim: %s\n\n%.*s", error->c_str(), static_cast<int>(usage().size()),
                     usage().data());
        return 2;
    }
    const Options& options = std::get<Options>(parsed);
    if (options.help) {
        std::fwrite(usage().data(), 1, usage().size(), stdout);
        return 0;
    }
    return run(options);
}

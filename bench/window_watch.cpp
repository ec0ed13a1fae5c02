// Start-up and peak memory of window programs, seen from outside: starts each
// program, waits on the X server for a mapped top-level window with the given
// title, then reads the program's VmHWM and ends it. The programs take turns
// so that a busy moment of the machine does not fall on one of them only.
//
//   window-watch [--runs N] [--settle-ms MS] [--title T] [--results FILE] FLOOR TOOL

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "bench/bench_support.h"

namespace tavel::bench {
namespace {

struct Sample {
  double startupMs = 0;
  long hwmKiB = 0;
};

class Watcher {
 public:
  bool Connect() {
    connection_ = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection_)) return false;
    fcntl(xcb_get_file_descriptor(connection_), F_SETFD, FD_CLOEXEC);
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection_);
    netWmName_ = Atom("_NET_WM_NAME");
    return true;
  }
  ~Watcher() {
    if (connection_ != nullptr) xcb_disconnect(connection_);
  }

  // Starts `program` and measures until its window with `title` is mapped.
  std::optional<Sample> Measure(const std::string& program, const std::string& title, int settleMs) {
    Drain(0);
    mapped_.clear();
    const double started = WallSeconds();
    const pid_t pid = fork();
    if (pid == 0) {
      const int null = open("/dev/null", O_WRONLY);
      if (null >= 0) {
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
      }
      unsetenv("QT_QPA_PLATFORM");
      execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    std::optional<Sample> sample;
    const double giveUp = started + 20;
    while (!sample && WallSeconds() < giveUp) {
      for (const xcb_window_t window : Drain(50)) {
        if (Title(window) == title) {
          sample = Sample{(WallSeconds() - started) * 1000, 0};
          break;
        }
      }
    }
    if (sample) {
      const double settled = WallSeconds() + settleMs / 1000.0;
      while (WallSeconds() < settled) Drain(10);
      sample->hwmKiB = StatusKiB(pid, "VmHWM");
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return sample;
  }

 private:
  xcb_atom_t Atom(const char* name) {
    const auto cookie = xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection_, cookie, nullptr), &std::free);
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
  }

  std::string Property(xcb_window_t window, xcb_atom_t property) {
    const auto cookie = xcb_get_property(connection_, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 256);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(connection_, cookie, nullptr), &std::free);
    if (!reply) return {};
    return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                       static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
  }

  std::string Title(xcb_window_t window) {
    std::string title = Property(window, netWmName_);
    return title.empty() ? Property(window, XCB_ATOM_WM_NAME) : title;
  }

  // Windows mapped, or retitled while mapped, among the events that arrive
  // within `timeoutMs`.
  std::vector<xcb_window_t> Drain(int timeoutMs) {
    std::vector<xcb_window_t> candidates;
    pollfd watch{xcb_get_file_descriptor(connection_), POLLIN, 0};
    if (poll(&watch, 1, timeoutMs) < 0) return candidates;
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
      const auto type = event->response_type & 0x7F;
      if (type == XCB_MAP_NOTIFY) {
        const auto window = reinterpret_cast<xcb_map_notify_event_t*>(event)->window;
        mapped_.insert(window);
        candidates.push_back(window);
        // The title may come after the mapping.
        const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(connection_, window, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(connection_);
      } else if (type == XCB_PROPERTY_NOTIFY) {
        const auto window = reinterpret_cast<xcb_property_notify_event_t*>(event)->window;
        if (mapped_.count(window) != 0) candidates.push_back(window);
      }
      std::free(event);
    }
    return candidates;
  }

  xcb_connection_t* connection_ = nullptr;
  xcb_window_t root_ = 0;
  xcb_atom_t netWmName_ = XCB_ATOM_NONE;
  std::set<xcb_window_t> mapped_;
};

double Median(std::vector<double> values) {
  return SpreadOf(std::move(values)).median;
}

}  // namespace
}  // namespace tavel::bench

int main(int argc, char** argv) {
  using namespace tavel::bench;
  int runs = 7;
  int settleMs = 1000;
  std::string title = "Tavel Tool";
  std::string resultsPath;
  std::vector<std::string> programs;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (arg == "--runs") runs = std::atoi(value().c_str());
    else if (arg == "--settle-ms") settleMs = std::atoi(value().c_str());
    else if (arg == "--title") title = value();
    else if (arg == "--results") resultsPath = value();
    else programs.push_back(arg);
  }
  if (programs.size() != 2 || runs < 1) {
    std::fprintf(stderr, "usage: window-watch [--runs N] [--settle-ms MS] [--title T] [--results FILE] FLOOR TOOL\n");
    return 2;
  }
  Watcher watcher;
  if (!watcher.Connect()) {
    std::fprintf(stderr, "window-watch: no X server (DISPLAY=%s)\n", std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "");
    return 2;
  }
  std::vector<double> startup[2];
  std::vector<double> hwm[2];
  const char* names[2] = {"floor", "tool"};
  watcher.Measure(programs[0], title, 0);  // the first start of all fills the file cache
  watcher.Measure(programs[1], title, 0);
  for (int run = 0; run < runs; ++run) {
    for (int which = 0; which < 2; ++which) {
      const auto sample = watcher.Measure(programs[which], title, settleMs);
      if (!sample) {
        std::fprintf(stderr, "window-watch: no window \"%s\" from %s\n", title.c_str(), programs[which].c_str());
        return 1;
      }
      std::printf("  %-5s run %d: window shown after %7.1f ms, VmHWM %6ld KiB\n", names[which], run + 1,
                  sample->startupMs, sample->hwmKiB);
      startup[which].push_back(sample->startupMs);
      hwm[which].push_back(static_cast<double>(sample->hwmKiB));
    }
  }
  const Results results(resultsPath);
  const double floorStart = Median(startup[0]);
  const double toolStart = Median(startup[1]);
  const double floorMiB = Median(hwm[0]) / 1024;
  const double toolMiB = Median(hwm[1]) / 1024;
  results.Add("5. start-up: Qt floor (median)", Fixed(floorStart, 1) + " ms", "-", std::nullopt);
  results.Add("5. start-up: tool (median)", Fixed(toolStart, 1) + " ms", "-", std::nullopt);
  results.Add("5. start-up: tool / floor", Fixed(toolStart / floorStart, 3), "<= 1.5", toolStart <= 1.5 * floorStart);
  results.Add("5. peak RSS: Qt floor (median)", Fixed(floorMiB, 1) + " MiB", "-", std::nullopt);
  results.Add("5. peak RSS: tool (median)", Fixed(toolMiB, 1) + " MiB", "-", std::nullopt);
  results.Add("5. peak RSS: tool - floor", Fixed(toolMiB - floorMiB, 1) + " MiB", "<= 10 MiB",
              toolMiB - floorMiB <= 10);
  return 0;
}

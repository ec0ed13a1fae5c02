#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tavel::bench {

using Bytes = std::vector<std::uint8_t>;

// The simulator as a child process; its pseudo-terminal appears as COM<com>
// in the ports directory.
class SimProcess {
 public:
  SimProcess(const std::string& simPath, const std::string& portsDir, int com, std::vector<std::string> args);
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;
  bool Ready() const;
  void Stop();

 private:
  std::string link_;
  pid_t pid_ = -1;
};

// One line of the simulator's trace. Times are the simulator's monotonic
// microseconds: for "tx" (simulator to tool) first and last byte written,
// for "rx" (tool to simulator) first and last byte read.
struct TraceFrame {
  bool tx = false;
  char code = 0;
  std::int64_t firstUs = 0;
  std::int64_t lastUs = 0;
  std::size_t wireBytes = 0;  // frame bytes plus the noise written before it
  std::string status;
  std::string hex;  // the frame's bytes, without the noise
};

std::vector<TraceFrame> ReadTrace(const std::string& path);

struct Spread {
  std::size_t count = 0;
  double median = 0;
  double p99 = 0;
  double max = 0;
};
Spread SpreadOf(std::vector<double> values);

// Milliseconds from the last byte of every answer the tool replies to
// ('G', 'N', 'T') to the first byte of the tool's next frame.
std::vector<double> TurnaroundsMs(const std::vector<TraceFrame>& trace);

// The span of one upload in a trace, from the first byte of the 'g' frame to
// the last byte of the 'Q' answer, with every byte on the line in between.
struct UploadWindow {
  bool found = false;
  double seconds = 0;
  std::size_t bytes = 0;
  std::size_t frames = 0;
  std::size_t answers = 0;
  double wireSeconds() const { return static_cast<double>(bytes) * 10.0 / 4800.0; }
};
UploadWindow FindUploadWindow(const std::vector<TraceFrame>& trace);

std::string Hex(const std::uint8_t* bytes, std::size_t count);

Bytes RandomImage(std::size_t size, std::uint32_t seed);
Bytes ReadFile(const std::string& path);
void WriteFile(const std::string& path, const Bytes& bytes);

double CpuSeconds();    // this process, user plus system
double WallSeconds();   // monotonic
long StatusKiB(pid_t pid, const char* field);  // a "VmRSS:" style line of /proc/<pid>/status, -1 if absent

// Prints a figure and appends "figure<TAB>measured<TAB>target<TAB>met" to the
// results file, if any; a figure without a target has no verdict.
class Results {
 public:
  explicit Results(std::string path) : path_(std::move(path)) {}
  void Add(const std::string& figure, const std::string& measured, const std::string& target,
           std::optional<bool> met) const;

 private:
  std::string path_;
};

std::string Fixed(double value, int decimals);

}  // namespace tavel::bench

#include "bench/bench_support.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace tavel::bench {
namespace fs = std::filesystem;

SimProcess::SimProcess(const std::string& simPath, const std::string& portsDir, int com,
                       std::vector<std::string> args)
    : link_(portsDir + "/COM" + std::to_string(com)) {
  std::error_code ignored;
  fs::remove(link_, ignored);  // left behind by a simulator that was killed
  args.insert(args.begin(), {simPath, "--com", std::to_string(com), "--quiet"});
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, STDOUT_FILENO);
    setenv("TAVEL_PORTS_DIR", portsDir.c_str(), 1);
    execv(argv[0], argv.data());
    _exit(127);
  }
  for (int i = 0; i < 500 && !Ready(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

SimProcess::~SimProcess() { Stop(); }

bool SimProcess::Ready() const { return fs::is_symlink(link_); }

void SimProcess::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

namespace {

std::string Field(const std::string& line, const std::string& name) {
  const std::string key = "\"" + name + "\":";
  const auto at = line.find(key);
  if (at == std::string::npos) return {};
  auto from = at + key.size();
  if (from < line.size() && line[from] == '"') {
    ++from;
    auto to = from;
    while (to < line.size() && line[to] != '"') to += line[to] == '\\' ? 2 : 1;
    return line.substr(from, to - from);
  }
  auto to = from;
  while (to < line.size() && line[to] != ',' && line[to] != '}') ++to;
  return line.substr(from, to - from);
}

std::int64_t Number(const std::string& text) { return text.empty() ? 0 : std::stoll(text); }

char Code(const std::string& text) {
  if (text.size() == 6 && text.rfind("\\u00", 0) == 0) return static_cast<char>(std::stoi(text.substr(4), nullptr, 16));
  if (text.size() == 2 && text[0] == '\\') return text[1];
  return text.empty() ? 0 : text[0];
}

}  // namespace

std::vector<TraceFrame> ReadTrace(const std::string& path) {
  std::vector<TraceFrame> frames;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    TraceFrame frame;
    frame.tx = Field(line, "dir") == "tx";
    frame.code = Code(Field(line, "code"));
    frame.hex = Field(line, "hex");
    frame.wireBytes = frame.hex.size() / 2;
    frame.status = Field(line, "status");
    if (frame.tx) {
      frame.firstUs = Number(Field(line, "t_us"));
      frame.lastUs = Number(Field(line, "t_last_us"));
      frame.wireBytes += static_cast<std::size_t>(Number(Field(line, "noise")));
    } else {
      frame.firstUs = Number(Field(line, "t_first_us"));
      frame.lastUs = Number(Field(line, "t_us"));
    }
    frames.push_back(frame);
  }
  return frames;
}

Spread SpreadOf(std::vector<double> values) {
  Spread spread;
  spread.count = values.size();
  if (values.empty()) return spread;
  std::sort(values.begin(), values.end());
  const auto at = [&](double q) {
    const auto rank = static_cast<std::size_t>(std::ceil(q * static_cast<double>(values.size())));
    return values[std::min(values.size() - 1, rank == 0 ? 0 : rank - 1)];
  };
  spread.median = values.size() % 2 == 1
                      ? values[values.size() / 2]
                      : (values[values.size() / 2 - 1] + values[values.size() / 2]) / 2;
  spread.p99 = at(0.99);
  spread.max = values.back();
  return spread;
}

std::vector<double> TurnaroundsMs(const std::vector<TraceFrame>& trace) {
  std::vector<double> gaps;
  for (std::size_t i = 0; i < trace.size(); ++i) {
    const TraceFrame& answer = trace[i];
    if (!answer.tx || (answer.code != 'G' && answer.code != 'N' && answer.code != 'T')) continue;
    for (std::size_t j = i + 1; j < trace.size(); ++j) {
      if (trace[j].tx) continue;
      gaps.push_back(static_cast<double>(trace[j].firstUs - answer.lastUs) / 1000.0);
      break;
    }
  }
  return gaps;
}

UploadWindow FindUploadWindow(const std::vector<TraceFrame>& trace) {
  UploadWindow window;
  std::size_t begin = trace.size();
  for (std::size_t i = 0; i < trace.size(); ++i) {
    if (!trace[i].tx && trace[i].code == 'g') begin = i;
  }
  std::size_t end = trace.size();
  for (std::size_t i = begin; i < trace.size(); ++i) {
    if (trace[i].tx && trace[i].code == 'Q') {
      end = i;
      break;
    }
  }
  if (begin == trace.size() || end == trace.size()) return window;
  window.found = true;
  window.seconds = static_cast<double>(trace[end].lastUs - trace[begin].firstUs) / 1e6;
  for (std::size_t i = begin; i <= end; ++i) {
    window.bytes += trace[i].wireBytes;
    ++window.frames;
    window.answers += trace[i].tx ? 1 : 0;
  }
  return window;
}

std::string Hex(const std::uint8_t* bytes, std::size_t count) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

Bytes RandomImage(std::size_t size, std::uint32_t seed) {
  std::mt19937 generator(seed);
  Bytes image(size);
  for (auto& byte : image) byte = static_cast<std::uint8_t>(generator());
  return image;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

long StatusKiB(pid_t pid, const char* field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  const std::string key = std::string(field) + ":";
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) == 0) return std::stol(line.substr(key.size()));
  }
  return -1;
}

void Results::Add(const std::string& figure, const std::string& measured, const std::string& target,
                  std::optional<bool> met) const {
  const char* verdict = !met ? "-" : *met ? "yes" : "NO";
  std::printf("  %-44s %-28s target %-14s %s\n", figure.c_str(), measured.c_str(), target.c_str(), verdict);
  std::fflush(stdout);
  if (path_.empty()) return;
  std::ofstream(path_, std::ios::app) << figure << '\t' << measured << '\t' << target << '\t' << verdict << '\n';
}

std::string Fixed(double value, int decimals) {
  std::ostringstream text;
  text.setf(std::ios::fixed);
  text.precision(decimals);
  text << value;
  return text.str();
}

}  // namespace tavel::bench

// Hosts the real window offscreen against the simulator process and measures
// the line figures (mode "figures"), runs uploads under recoverable faults
// (mode "soak"), measures corruption the frame checksum lets through
// (mode "undetected") and the idle load alone (mode "idle").

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "app/form1.h"
#include "bench/bench_support.h"
#include "bench/corrupting_port.h"
#include "ui/widgets/message_box.h"

namespace tavel::bench {
namespace {

namespace fs = std::filesystem;

constexpr int kCom = 100;
constexpr std::size_t kFullImage = 65535;
constexpr std::size_t kBlockSize = cmdframe::kDataSize;
const std::string kLimitBox = "Много ошибок!";

struct Settings {
  std::string mode = "figures";
  std::string simPath = TAVEL_SIM_PATH;
  std::string results;
  bool paced = true;
  bool keep = false;
  int idleSeconds = 30;
  int runs = 100;
  std::uint32_t seed = 1;
  int uploadsPerKind = 4;
  double corruptRate = 0.01;
  std::vector<std::string> simArgs;  // mode "idle" only
};

enum class Outcome { Done, RepeatLimit, Stuck, NotStarted };

const char* Name(Outcome outcome) {
  switch (outcome) {
    case Outcome::Done: return "done";
    case Outcome::RepeatLimit: return "repeat-limit";
    case Outcome::Stuck: return "stuck";
    case Outcome::NotStarted: return "not-started";
  }
  return "?";
}

// One window, one ports directory, one simulator at a time.
class Bench {
 public:
  Bench(std::string simPath, bool keep) : keep_(keep), simPath_(std::move(simPath)) {
    char dirTemplate[] = "/tmp/tavel-bench-XXXXXX";
    dir_ = mkdtemp(dirTemplate);
    setenv("TAVEL_PORTS_DIR", dir_.c_str(), 1);
    ui::SetBoxResponder([this](const ui::BoxRequest& request) {
      ++boxes;
      if (request.text.rfind(kLimitBox, 0) == 0) ++limitBoxes;
      return (request.flags & 0x0F) == ui::MB_YESNO ? ui::IDYES : ui::IDOK;
    });
    form = std::make_unique<TForm1>();
    form->Window()->show();
    form->lblPort->SetText(std::to_string(kCom));
  }
  ~Bench() {
    form.reset();
    sim.reset();
    ui::SetBoxResponder(nullptr);
    if (keep_) {
      std::printf("  kept %s\n", dir_.c_str());
    } else {
      fs::remove_all(dir_);
    }
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::string Trace() const { return Path("trace.jsonl"); }
  std::string Out() const { return Path("out.bin"); }

  bool StartSim(std::vector<std::string> args) {
    sim.reset();
    std::error_code ignored;
    fs::remove(Out(), ignored);
    args.insert(args.end(), {"--trace", Trace(), "--image-out", Out()});
    sim = std::make_unique<SimProcess>(simPath_, dir_, kCom, args);
    return sim->Ready();
  }

  // Runs the window's event loop until `done` holds, asking every `stepMs`.
  bool Spin(const std::function<bool()>& done, int limitMs, int stepMs = 20) {
    if (done()) return true;
    QEventLoop loop;
    QTimer step;
    bool met = false;
    const double until = WallSeconds() + limitMs / 1000.0;
    QObject::connect(&step, &QTimer::timeout, [&] {
      if (done()) {
        met = true;
        loop.quit();
      } else if (WallSeconds() >= until) {
        loop.quit();
      }
    });
    step.start(stepMs);
    loop.exec();
    return met;
  }

  bool OpenInLoader() {
    if (!form->IsPortOpen()) form->Open_portClick(nullptr);
    return form->IsPortOpen() && Spin([&] { return form->Timer3->Enabled(); }, 5000);
  }

  void ClosePort() {
    if (form->IsPortOpen()) form->Open_portClick(nullptr);
  }

  // Loads `image`, starts the upload (link test first) and waits for the
  // answer to 'q'. No change of the tool's upload state for `stallMs` is stuck.
  Outcome Upload(const Bytes& image, int limitMs, int stallMs, int stepMs = 20) {
    WriteFile(Path("image.bin"), image);
    if (!form->LoadFirmwareImage(Path("image.bin"))) return Outcome::NotStarted;
    const int limitBefore = limitBoxes;
    form->ButChangeSWClick(nullptr);
    if (form->Open_port->Enabled()) return Outcome::NotStarted;
    Outcome outcome = Outcome::Stuck;
    auto state = std::make_tuple(-1, -1, -1, -1);
    double changed = WallSeconds();
    Spin([&] {
      if (limitBoxes > limitBefore) {
        outcome = Outcome::RepeatLimit;
        return true;
      }
      if (form->Open_port->Enabled() && fs::exists(Out())) {
        outcome = Outcome::Done;
        return true;
      }
      const auto now = std::make_tuple(int{form->BlockIndex}, int{form->TestIndex}, int{form->ErrorCount},
                                       int{form->PendingAction});
      if (now != state) {
        state = now;
        changed = WallSeconds();
      }
      return WallSeconds() - changed > stallMs / 1000.0;
    }, limitMs, stepMs);
    return outcome;
  }

  std::unique_ptr<TForm1> form;
  std::unique_ptr<SimProcess> sim;
  int boxes = 0;
  int limitBoxes = 0;

 private:
  bool keep_;
  std::string simPath_;
  std::string dir_;
};

std::string Ms(double value) { return Fixed(value, 2) + " ms"; }

int Figures(const Settings& settings, const Results& results) {
  Bench bench(settings.simPath, settings.keep);
  const Bytes image = RandomImage(kFullImage, settings.seed);
  int failures = 0;

  std::printf("unpaced upload of %zu bytes\n", kFullImage);
  if (!bench.StartSim({"--image-size", std::to_string(kFullImage)}) || !bench.OpenInLoader()) {
    std::fprintf(stderr, "the simulator did not come up\n");
    return 2;
  }
  Outcome outcome = bench.Upload(image, 120000, 10000);
  bool exact = outcome == Outcome::Done && ReadFile(bench.Out()) == image;
  auto trace = ReadTrace(bench.Trace());
  const Spread turn = SpreadOf(TurnaroundsMs(trace));
  const UploadWindow unpaced = FindUploadWindow(trace);
  std::printf("  outcome %s, byte-exact %s, %zu turnarounds, %zu frames in the window\n", Name(outcome),
              exact ? "yes" : "no", turn.count, unpaced.frames);
  if (!exact || !unpaced.found) ++failures;
  results.Add("1. turnaround median", Ms(turn.median), "<= 2 ms", exact && turn.median <= 2);
  results.Add("1. turnaround p99", Ms(turn.p99), "<= 5 ms", exact && turn.p99 <= 5);
  results.Add("1. turnaround max", Ms(turn.max), "-", std::nullopt);
  results.Add("2. unpaced 65535-byte upload", Fixed(unpaced.seconds, 3) + " s", "<= 2 s",
              exact && unpaced.found && unpaced.seconds <= 2);
  bench.ClosePort();

  if (!settings.paced) return failures;
  std::printf("paced line: %d s idle with the port open, then the upload (about 4 minutes)\n", settings.idleSeconds);
  if (!bench.StartSim({"--pace", "--image-size", std::to_string(kFullImage)}) || !bench.OpenInLoader()) {
    std::fprintf(stderr, "the paced simulator did not come up\n");
    return 2;
  }
  double cpu = CpuSeconds();
  double wall = WallSeconds();
  bench.Spin([] { return false; }, settings.idleSeconds * 1000, 1000);
  const double idleShare = (CpuSeconds() - cpu) / (WallSeconds() - wall) * 100;
  const bool idleInLoader = bench.form->Timer3->Enabled();

  cpu = CpuSeconds();
  wall = WallSeconds();
  outcome = bench.Upload(image, 600000, 10000, 250);
  const double uploadShare = (CpuSeconds() - cpu) / (WallSeconds() - wall) * 100;
  exact = outcome == Outcome::Done && ReadFile(bench.Out()) == image;
  trace = ReadTrace(bench.Trace());
  const UploadWindow paced = FindUploadWindow(trace);
  const Spread pacedTurn = SpreadOf(TurnaroundsMs(trace));
  const double ratio = paced.found ? paced.seconds / paced.wireSeconds() : 0;
  std::printf("  outcome %s, byte-exact %s; window %.3f s for %zu bytes in %zu frames, wire time %.3f s\n",
              Name(outcome), exact ? "yes" : "no", paced.seconds, paced.bytes, paced.frames, paced.wireSeconds());
  // The paced simulator writes a byte at the start of its byte time; a real line
  // delivers the last byte of every answer one byte time later.
  const double lineEnd = (paced.seconds + static_cast<double>(paced.answers) * 10.0 / 4800.0) / paced.wireSeconds();
  std::printf("  with each answer's last byte at the end of its byte time the ratio is %.4f\n", lineEnd);
  std::printf("  paced turnaround: median %.2f ms, p99 %.2f ms, max %.2f ms over %zu answers\n", pacedTurn.median,
              pacedTurn.p99, pacedTurn.max, pacedTurn.count);
  if (!exact || !paced.found) ++failures;
  results.Add("3. paced upload / wire time", Fixed(ratio, 4) + " (" + Fixed(paced.seconds, 1) + " s)", "<= 1.01",
              exact && paced.found && ratio <= 1.01);
  results.Add("4. CPU idle, port open", Fixed(idleShare, 2) + " %", "<= 1 %", idleInLoader && idleShare <= 1);
  results.Add("4. CPU during paced upload", Fixed(uploadShare, 2) + " %", "<= 5 %", exact && uploadShare <= 5);
  bench.ClosePort();
  return failures;
}

int Soak(const Settings& settings, const Results& results) {
  Bench bench(settings.simPath, settings.keep);
  std::mt19937 sizes(settings.seed);
  int completed = 0;
  int exact = 0;
  int limited = 0;
  int stuck = 0;
  int mostErrors = 0;
  int linkBoxes = 0;
  std::vector<long> rss;
  const double started = WallSeconds();
  std::printf("soak: %d uploads, seeded faults: --repeat 0.01 --bad-sum 0.05 --noise 0.05 --stall-once --rerequest 700\n",
              settings.runs);
  for (int run = 0; run < settings.runs; ++run) {
    const std::size_t size = std::uniform_int_distribution<std::size_t>(1, kFullImage)(sizes);
    const Bytes image = RandomImage(size, settings.seed * 7919u + static_cast<std::uint32_t>(run));
    const std::uint32_t simSeed = settings.seed * 1000u + static_cast<std::uint32_t>(run);
    const double began = WallSeconds();
    const int boxesBefore = bench.boxes;
    Outcome outcome = Outcome::Stuck;
    if (bench.StartSim({"--seed", std::to_string(simSeed), "--repeat", "0.01", "--bad-sum", "0.05", "--noise", "0.05",
                        "--stall-once", "--rerequest", "700", "--image-size", std::to_string(size)}) &&
        bench.OpenInLoader()) {
      outcome = bench.Upload(image, 180000, 10000);
    }
    bool same = false;
    if (outcome == Outcome::Done) {
      ++completed;
      same = ReadFile(bench.Out()) == image;
      exact += same ? 1 : 0;
    }
    if (outcome == Outcome::RepeatLimit) ++limited;
    if (outcome == Outcome::Stuck || outcome == Outcome::NotStarted) ++stuck;
    const int errors = bench.form->ErrorCount;
    mostErrors = std::max(mostErrors, errors);
    linkBoxes += bench.boxes - boxesBefore - (outcome == Outcome::RepeatLimit ? 1 : 0);
    bench.ClosePort();
    bench.sim.reset();
    rss.push_back(StatusKiB(getpid(), "VmRSS"));
    std::printf("  run %3d  seed %6u  %5zu bytes  %-12s exact %-3s errors %2d  boxes %d  %5.2f s  RSS %ld KiB\n", run + 1,
                simSeed, size, Name(outcome), outcome == Outcome::Done ? (same ? "yes" : "NO") : "-", errors,
                bench.boxes - boxesBefore, WallSeconds() - began, rss.back());
    std::fflush(stdout);
  }
  const long first = rss.front();
  const long last = rss.back();
  const long peak = *std::max_element(rss.begin(), rss.end());
  const long middle = rss[rss.size() / 2];
  std::printf("  %.0f s in all; highest error count %d (the limit is 20); %d link-test boxes answered Yes\n",
              WallSeconds() - started, mostErrors, linkBoxes);
  results.Add("6. soak: completed uploads", std::to_string(completed) + " of " + std::to_string(settings.runs), "-",
              std::nullopt);
  results.Add("6. soak: byte-exact of completed", std::to_string(exact) + " of " + std::to_string(completed), "all",
              exact == completed);
  results.Add("6. soak: stopped at the repeat limit", std::to_string(limited), "-", std::nullopt);
  results.Add("6. soak: stuck (10 s without progress)", std::to_string(stuck), "0", stuck == 0);
  results.Add("6. soak: bench RSS first / last / max",
              std::to_string(first) + " / " + std::to_string(last) + " / " + std::to_string(peak) + " KiB",
              "-", std::nullopt);
  // The first uploads settle the allocator; a leak per upload keeps growing after them.
  results.Add("6. soak: bench RSS growth over the second half", std::to_string(last - middle) + " KiB", "<= 64 KiB",
              last - middle <= 64);
  return 0;
}

// The idle figure alone, against a simulator with the extra arguments given,
// to see what the idle load is made of.
int Idle(const Settings& settings, const Results& results) {
  Bench bench(settings.simPath, settings.keep);
  // Without announcements the loader may stay unseen; the port is open all the same.
  if (!bench.StartSim(settings.simArgs) || (!bench.OpenInLoader() && !bench.form->IsPortOpen())) {
    std::fprintf(stderr, "the simulator did not come up\n");
    return 2;
  }
  const double cpu = CpuSeconds();
  const double wall = WallSeconds();
  bench.Spin([] { return false; }, settings.idleSeconds * 1000, 1000);
  const double share = (CpuSeconds() - cpu) / (WallSeconds() - wall) * 100;
  std::string args;
  for (const auto& arg : settings.simArgs) args += " " + arg;
  results.Add("CPU idle, port open, simulator" + args, Fixed(share, 2) + " %", "<= 1 %", share <= 1);
  bench.ClosePort();
  return 0;
}

struct KindPlan {
  Corruption kind;
  const char* name;
};

int Undetected(const Settings& settings, const Results& results) {
  Bench bench(settings.simPath, settings.keep);
  const KindPlan kinds[] = {
      {Corruption::LastDataByte, "last data byte (135) changed"},
      {Corruption::SwappedBytes, "two summed data bytes swapped"},
      {Corruption::CancellingPair, "+k / -k on two summed data bytes"},
      {Corruption::OneSummedByte, "one summed data byte changed (control)"},
  };
  std::printf("corruption of block frames on the way to the sensor, rate %.3f per frame, %d uploads of %zu bytes per kind\n",
              settings.corruptRate, settings.uploadsPerKind, kFullImage);
  for (const KindPlan& plan : kinds) {
    int corrupted = 0;
    int accepted = 0;
    int rejected = 0;
    int repeats = 0;
    int blocksWrong = 0;
    int bytesWrong = 0;
    int complete = 0;
    for (int upload = 0; upload < settings.uploadsPerKind; ++upload) {
      auto log = std::make_shared<CorruptingPort::Log>();
      const std::uint32_t seed = settings.seed * 104729u + static_cast<std::uint32_t>(upload);
      bench.form->PortOpener = [&, log, seed](const std::string& name) {
        OpenResult opened = OpenSerialPort(name);
        if (opened.port) {
          opened.port = std::make_unique<CorruptingPort>(std::move(opened.port), plan.kind, settings.corruptRate, seed, log);
        }
        return opened;
      };
      const Bytes image = RandomImage(kFullImage, seed);
      Outcome outcome = Outcome::Stuck;
      if (bench.StartSim({"--image-size", std::to_string(kFullImage)}) && bench.OpenInLoader()) {
        outcome = bench.Upload(image, 120000, 10000);
      }
      bench.ClosePort();
      bench.sim.reset();
      // The simulator's verdict on each changed frame, found by its bytes.
      const auto trace = ReadTrace(bench.Trace());
      for (const std::string& hex : log->frames) {
        ++corrupted;
        bool ok = false;
        for (const TraceFrame& frame : trace) ok |= !frame.tx && frame.hex == hex && frame.status == "ok";
        (ok ? accepted : rejected) += 1;
      }
      for (const TraceFrame& frame : trace) repeats += frame.tx && frame.code == 'R' ? 1 : 0;
      if (outcome != Outcome::Done) continue;
      ++complete;
      const Bytes out = ReadFile(bench.Out());
      for (std::size_t block = 0; block * kBlockSize < image.size(); ++block) {
        bool wrong = false;
        for (std::size_t i = block * kBlockSize; i < std::min(image.size(), (block + 1) * kBlockSize); ++i) {
          const bool differs = i >= out.size() || out[i] != image[i];
          bytesWrong += differs ? 1 : 0;
          wrong |= differs;
        }
        blocksWrong += wrong ? 1 : 0;
      }
    }
    bench.form->PortOpener = OpenSerialPort;
    std::printf("  %-40s changed %3d, rejected %3d, accepted %3d, 'R' answers %3d, blocks wrong %3d, bytes wrong %4d, "
                "uploads complete %d/%d\n",
                plan.name, corrupted, rejected, accepted, repeats, blocksWrong, bytesWrong, complete,
                settings.uploadsPerKind);
    const std::string measured = std::to_string(accepted) + " of " + std::to_string(corrupted) + " accepted, " +
                                 std::to_string(blocksWrong) + " blocks wrong";
    if (plan.kind == Corruption::OneSummedByte) {
      results.Add("6. undetected: " + std::string(plan.name), measured, "0 accepted",
                  accepted == 0 && blocksWrong == 0 && complete == settings.uploadsPerKind);
    } else {
      results.Add("6. undetected: " + std::string(plan.name), measured, "- (protocol)", std::nullopt);
    }
  }
  return 0;
}

bool Parse(int argc, char** argv, Settings& settings) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (arg == "figures" || arg == "soak" || arg == "undetected" || arg == "idle") settings.mode = arg;
    else if (arg == "--sim-arg") settings.simArgs.push_back(value());
    else if (arg == "--sim") settings.simPath = value();
    else if (arg == "--results") settings.results = value();
    else if (arg == "--no-paced") settings.paced = false;
    else if (arg == "--keep") settings.keep = true;
    else if (arg == "--idle-seconds") settings.idleSeconds = std::atoi(value().c_str());
    else if (arg == "--runs") settings.runs = std::atoi(value().c_str());
    else if (arg == "--seed") settings.seed = static_cast<std::uint32_t>(std::strtoul(value().c_str(), nullptr, 10));
    else if (arg == "--uploads-per-kind") settings.uploadsPerKind = std::atoi(value().c_str());
    else if (arg == "--corrupt-rate") settings.corruptRate = std::atof(value().c_str());
    else return false;
  }
  return settings.runs > 0 && settings.idleSeconds > 0 && settings.uploadsPerKind > 0;
}

}  // namespace
}  // namespace tavel::bench

int main(int argc, char** argv) {
  using namespace tavel::bench;
  Settings settings;
  if (!Parse(argc, argv, settings)) {
    std::fprintf(stderr,
                 "usage: tavel-upload-bench [figures|soak|undetected|idle] [--sim PATH] [--results FILE] [--no-paced] [--keep]\n"
                 "       [--idle-seconds N] [--runs N] [--seed N] [--uploads-per-kind N] [--corrupt-rate R]\n"
                 "       [--sim-arg ARG]...\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const Results results(settings.results);
  if (settings.mode == "soak") return Soak(settings, results);
  if (settings.mode == "undetected") return Undetected(settings, results);
  if (settings.mode == "idle") return Idle(settings, results);
  return Figures(settings, results);
}

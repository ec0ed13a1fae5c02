// The whole tool against the simulator process over a real pseudo-terminal,
// with the real window offscreen and its own timers driving it.

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <thread>

#include "app/form1.h"
#include "ui/widgets/message_box.h"

namespace tavel {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class SimProcess {
 public:
  SimProcess(const std::string& portsDir, int com, std::vector<std::string> args) : link_(portsDir + "/COM" + std::to_string(com)) {
    args.insert(args.begin(), {TAVEL_SIM_PATH, "--com", std::to_string(com), "--quiet"});
    pid_ = fork();
    if (pid_ == 0) {
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      setenv("TAVEL_PORTS_DIR", portsDir.c_str(), 1);
      execv(argv[0], argv.data());
      _exit(127);
    }
    for (int i = 0; i < 300 && !fs::is_symlink(link_); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ~SimProcess() { Stop(SIGTERM); }
  bool Ready() const { return fs::is_symlink(link_); }
  void Stop(int signal) {
    if (pid_ <= 0) return;
    kill(pid_, signal);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  std::string link_;
  pid_t pid_ = -1;
};

struct TracedFrame {
  std::string dir;
  char code;
  Bytes bytes;
};

std::vector<TracedFrame> ReadTrace(const std::string& path) {
  std::vector<TracedFrame> frames;
  std::ifstream in(path);
  std::string line;
  auto field = [&](const std::string& name) {
    const std::string key = "\"" + name + "\":\"";
    const auto at = line.find(key);
    if (at == std::string::npos) return std::string();
    const auto from = at + key.size();
    return line.substr(from, line.find('"', from) - from);
  };
  while (std::getline(in, line)) {
    TracedFrame frame{field("dir"), 0, {}};
    const std::string code = field("code");
    frame.code = code.empty() ? 0 : code[0];
    const std::string hex = field("hex");
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
      frame.bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    frames.push_back(frame);
  }
  return frames;
}

Bytes RandomImage(std::size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  Bytes image(size);
  for (auto& byte : image) byte = static_cast<std::uint8_t>(generator());
  return image;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    char dirTemplate[] = "/tmp/tavel-e2e-XXXXXX";
    dir_ = mkdtemp(dirTemplate);
    setenv("TAVEL_PORTS_DIR", dir_.c_str(), 1);
    ui::SetBoxResponder([this](const ui::BoxRequest& request) {
      boxes.push_back(request);
      return (request.flags & 0x0F) == ui::MB_YESNO ? ui::IDYES : ui::IDOK;
    });
    form = std::make_unique<TForm1>();
  }
  void TearDown() override {
    form.reset();
    sim.reset();
    ui::SetBoxResponder(nullptr);
    unsetenv("TAVEL_PORTS_DIR");
    fs::remove_all(dir_);
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  void StartSim(std::vector<std::string> args) {
    args.insert(args.end(), {"--trace", Path("trace.jsonl")});
    sim = std::make_unique<SimProcess>(dir_, 100, args);
    ASSERT_TRUE(sim->Ready());
  }

  // Chooses COM100 in the port list and opens it, as the operator does.
  void OpenFromList() {
    form->SpeedButton1->Click();
    int line = -1;
    for (int i = 0; i < form->ListCOMPORTS->ItemCount(); ++i) {
      if (form->ListCOMPORTS->Item(i).rfind("COM100 ", 0) == 0) line = i;
    }
    ASSERT_GE(line, 0);
    form->ListCOMPORTS->ChooseByOperator(line);
    ASSERT_EQ(form->lblPort->Text(), "100");
    form->Open_port->Click();
    ASSERT_TRUE(form->IsPortOpen());
  }

  bool RunUntil(const std::function<bool()>& done, int ms) {
    QTimer wake;
    wake.start(5);
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
      if (clock.elapsed() > ms) return false;
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    return true;
  }

  void OpenInLoader() {
    OpenFromList();
    ASSERT_TRUE(RunUntil([&] { return form->Timer3->Enabled(); }, 3000));
  }

  std::vector<TracedFrame> Received(char code) {
    std::vector<TracedFrame> found;
    for (auto& frame : ReadTrace(Path("trace.jsonl"))) {
      if (frame.dir == "rx" && frame.code == code) found.push_back(frame);
    }
    return found;
  }

  // Loads an image, starts the upload and waits for its end.
  bool Upload(const Bytes& image, int ms) {
    std::ofstream(Path("image.bin"), std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    ui::SetOpenDialogResponder([&](const std::string&) { return std::optional<std::string>(Path("image.bin")); });
    form->Find_New_SWClick(form->Find_New_SW.get());
    ui::SetOpenDialogResponder(nullptr);
    form->ButChangeSWClick(form->ButChangeSW.get());
    if (form->Open_port->Enabled()) return false;
    return RunUntil([&] { return form->Open_port->Enabled() && fs::exists(Path("out.bin")); }, ms);
  }

  std::string dir_;
  std::unique_ptr<SimProcess> sim;
  std::unique_ptr<TForm1> form;
  std::vector<ui::BoxRequest> boxes;
};

TEST_F(EndToEnd, ConversationWithTheLoader) {
  StartSim({});
  OpenInLoader();
  ASSERT_TRUE(RunUntil([&] { return !form->Memo1->Lines().empty(); }, 2000));
  EXPECT_EQ(form->Memo1->Lines().front(), "Загрузчик Tavel готов");
  bool lit = false;
  bool dark = false;
  RunUntil([&] {
    (form->iLedReady->Active() ? lit : dark) = true;
    return lit && dark;
  }, 3000);
  EXPECT_TRUE(lit && dark);

  form->Intrval_Lbl->SetText("5");
  form->sLowPowChkBx->SetChecked(true);
  form->ButChngPLLset->Click();
  ASSERT_TRUE(RunUntil([&] { return !Received('p').empty(); }, 2000));
  const Bytes p = Received('p').front().bytes;
  ASSERT_EQ(p.size(), 140u);
  EXPECT_EQ(Bytes(p.begin(), p.begin() + 8), (Bytes{0x2A, 'p', 0x01, 0x00, 0x05, 0x00, 0x00, 0x00}));
  EXPECT_EQ(Bytes(p.begin() + 8, p.begin() + 13), (Bytes{0x31, 0x30, 0x35, 0x46, 0x51}));

  form->ButExit->Click();
  ASSERT_TRUE(RunUntil([&] { return !form->Timer3->Enabled(); }, 2000));
  EXPECT_FALSE(form->iLedReady->Active());
  EXPECT_TRUE(boxes.empty());
}

TEST_F(EndToEnd, RequestToStayIsAnswered) {
  StartSim({"--ask-stay"});
  OpenFromList();
  ASSERT_TRUE(RunUntil([&] { return !Received('s').empty(); }, 3000));
  EXPECT_GE(form->Memo1->Lines().size(), 2u);
}

TEST_F(EndToEnd, LinkTestThenFullUploadArrivesByteExact) {
  StartSim({"--image-out", Path("out.bin"), "--image-size", "65535"});
  OpenInLoader();
  const Bytes image = RandomImage(65535, 7);
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(Upload(image, 60000));
  const auto took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  RecordProperty("upload_seconds", std::to_string(took));
  std::printf("full 65535-byte upload with link test: %.2f s\n", took);
  EXPECT_EQ(ReadFile(Path("out.bin")), image);
  EXPECT_EQ(Received('n').size(), 512u);
  EXPECT_EQ(Received('t').size(), 12u);
  bool good = false;
  for (const auto& line : form->Memo1->Lines()) good |= line == "Связь хорошая. Тест завершен с 0 ошибками";
  EXPECT_TRUE(good);
  EXPECT_FALSE(form->ProgressBar1->Visible());
  EXPECT_TRUE(boxes.empty());
}

TEST_F(EndToEnd, FaultsAreCountedAndRecoveredFrom) {
  StartSim({"--image-out", Path("out.bin"), "--image-size", "5000", "--seed", "11", "--bad-sum", "0.2",
            "--repeat", "0.03", "--noise", "0.3"});
  OpenInLoader();
  const Bytes image = RandomImage(5000, 3);
  ASSERT_TRUE(Upload(image, 30000));
  EXPECT_EQ(ReadFile(Path("out.bin")), image);
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes[0].text.rfind("Связь плохая. Тест завершен с ", 0), 0u);
  EXPECT_NE(boxes[0].text.find("\nПродолжить?"), std::string::npos);
  EXPECT_EQ(boxes[0].flags, 0x2014u);
}

TEST_F(EndToEnd, StalledAnswerIsReleasedAndTheUploadGoesOn) {
  StartSim({"--image-out", Path("out.bin"), "--image-size", "3000", "--stall-once", "--rerequest", "700"});
  OpenInLoader();
  const Bytes image = RandomImage(3000, 5);
  ASSERT_TRUE(Upload(image, 30000));
  EXPECT_EQ(ReadFile(Path("out.bin")), image);
}

TEST_F(EndToEnd, SimulatorKilledMidUploadThenRestarted) {
  StartSim({"--turnaround", "20", "--image-out", Path("out.bin")});
  OpenInLoader();
  const Bytes image = RandomImage(20000, 9);
  std::ofstream(Path("image.bin"), std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  ASSERT_TRUE(form->LoadFirmwareImage(Path("image.bin")));
  form->ButChangeSWClick(nullptr);
  ASSERT_TRUE(RunUntil([&] { return form->BlockIndex > 2; }, 20000));
  sim->Stop(SIGKILL);
  EXPECT_FALSE(RunUntil([&] { return !form->IsPortOpen(); }, 1500));  // no crash, no freeze
  form->Memo1->AddLine("still here");
  form->ButClear->Click();
  EXPECT_TRUE(form->Memo1->Lines().empty());
  form->Open_portClick(nullptr);  // as a close request would; the button waits for the upload's end
  EXPECT_FALSE(form->IsPortOpen());
  fs::remove(Path("COM100"));  // the killed simulator could not remove its link
  StartSim({});
  form->Open_portClick(nullptr);
  ASSERT_TRUE(form->IsPortOpen());
  EXPECT_TRUE(RunUntil([&] { return form->Timer3->Enabled(); }, 3000));
}

TEST_F(EndToEnd, EchoModeOnALineWithoutDirectionControl) {
  StartSim({"--echo", "--turnaround", "50"});  // a sensor answers after its turnaround
  form->ChckBxHrdCtrl->SetChecked(false);
  OpenInLoader();
  form->ButChngPLLset->Click();
  ASSERT_TRUE(RunUntil([&] { return !Received('p').empty(); }, 2000));
  form->ButExit->Click();
  EXPECT_TRUE(RunUntil([&] { return !form->Timer3->Enabled(); }, 3000));
  EXPECT_TRUE(boxes.empty());
}

}  // namespace
}  // namespace tavel

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

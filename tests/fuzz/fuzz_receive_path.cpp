// Arbitrary byte streams through the receive poller and dispatcher of the
// real window, on a port living in memory.
//
// Input: three header bytes, then the stream.
//   [0] bit 0     bootloader mode on at the start
//       bits 1-2  image: none, 1 byte, 129 bytes, 65535 bytes
//       bit 3     echo mode (the port echoes every write)
//       bit 4     start an upload first, as the "Обновить" button does
//       bit 5     the first Yes/No box is answered Yes; answers alternate
//       bit 6     the error counter starts close to the repeat limit
//       bit 7     closing the port fails
//   [1] chunk size with which the stream reaches the port; 0 = all at once
//   [2] bits 0-3  number of the read that fails (counted from 1); 0 = none
//       bits 4-7  poller ticks that run inside each message box, as its own
//                 event loop runs them, up to a few boxes deep

#include <QCoreApplication>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/form1.h"
#include "memory_port.h"
#include "offscreen_app.h"
#include "protocol/text.h"
#include "ui/widgets/message_box.h"

namespace {

using namespace tavel;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kHeader = 3;
constexpr std::size_t kImageSizes[] = {0, 1, 129, 65535};

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "receive path: %s\n", what);
  std::abort();
}

struct Harness {
  TForm1* form = nullptr;
  fuzz::Line line;
  fs::path dir;
  std::string imagePath[4];
  Bytes image[4];
  bool nextAnswerYes = false;
  int ticksInBox = 0;
  int boxDepth = 0;
  std::size_t budget = 0;  // ticks left for this input
  std::tm clock{};
};

constexpr int kMaxBoxDepth = 3;

Harness* h = nullptr;

void RemoveImages() {
  std::error_code ignored;
  fs::remove_all(h->dir, ignored);
}

fs::path ScratchDir() {
  const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
  std::string pattern = (base / "tavel-fuzz-XXXXXX").string();
  if (!mkdtemp(pattern.data())) std::abort();
  return pattern;
}

void WriteImages() {
  h->dir = ScratchDir();
  std::atexit(RemoveImages);
  for (std::size_t k = 1; k < 4; ++k) {
    Bytes& bytes = h->image[k];
    bytes.resize(kImageSizes[k]);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>((i * 7 + k) % 251);
    h->imagePath[k] = (h->dir / ("image" + std::to_string(k) + ".bin")).string();
    std::ofstream(h->imagePath[k], std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
}

void EnsurePortOpen() {
  if (h->form->IsPortOpen()) return;
  h->form->lblPort->SetText("3");
  h->form->Open_portClick(nullptr);
  Check(h->form->IsPortOpen(), "the memory port does not open");
}

void Reset(std::uint8_t flags, std::uint8_t lineFaults) {
  TForm1& f = *h->form;
  fuzz::Line& line = h->line;
  line.failClose = false;
  EnsurePortOpen();
  line.input.clear();
  line.written.clear();
  line.reads = 0;
  line.failRead = lineFaults & 0x0F;
  h->ticksInBox = lineFaults >> 4;
  h->boxDepth = 0;
  line.echo = (flags & 0x08) != 0;
  line.failClose = (flags & 0x80) != 0;
  h->nextAnswerYes = (flags & 0x20) != 0;

  f.EchoMode = line.echo ? 1 : 0;
  f.ButClearClick(nullptr);
  f.Timer3->SetEnabled((flags & 0x01) != 0);
  f.iLedReady->SetActive(false);
  f.ErrorCount = (flags & 0x40) != 0 ? 18 : 0;
  f.TestIndex = 0;
  f.BlockIndex = 0;
  f.PendingAction = 255;
  f.TxFrame.Bytes.fill(0);
  f.TxFrame.SetStart('*');
  f.RxBuffer.fill(0);
  f.RxFrame = nullptr;
  f.Open_port->SetEnabled(true);
  f.ProgressBar1->SetVisible(false);
  f.LabelPrgrsBar->SetVisible(false);

  const std::size_t image = (flags >> 1) & 0x03;
  if (image == 0) {
    f.ImageLoaded = false;
    f.ImageSize = 0;
    f.BlockCount = 0;
    f.ImageBuffer.fill(0);
  } else {
    Check(f.LoadFirmwareImage(h->imagePath[image]), "a prepared image does not load");
  }
  if ((flags & 0x10) != 0) f.ButChangeSWClick(nullptr);
}

// A tick must never meet a '~' whose 70 bytes are not all there: the poller
// would sit out its bound on the line.
bool FrameRestMissing() {
  const auto& input = h->line.input;
  return !input.empty() && input.front() == rspframe::kStartByte && input.size() < rspframe::kSize;
}

void Tick() {
  Check(h->budget-- > 0, "the poller stopped taking bytes off the line");
  h->form->Timer1Timer(h->form->Timer1.get());
}

void Drain(bool moreToCome) {
  auto& input = h->line.input;
  while (!input.empty()) {
    if (FrameRestMissing()) {
      if (moreToCome) return;
      input.resize(rspframe::kSize, 0);
    }
    EnsurePortOpen();
    Tick();
  }
}

// What the event loop of a modal box runs meanwhile: the direction timer and
// poller ticks, while the poll timer is on and whole frames wait.
void RunBoxLoop() {
  TForm1& f = *h->form;
  if (h->boxDepth >= kMaxBoxDepth) return;
  ++h->boxDepth;
  if (f.Timer2->Enabled()) f.Timer2Timer(f.Timer2.get());
  for (int i = 0; i < h->ticksInBox; ++i) {
    if (!f.Timer1->Enabled() || h->line.input.empty() || FrameRestMissing()) break;
    Tick();
  }
  --h->boxDepth;
}

bool IsValidUtf8(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    const std::size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : 0;
    if (n == 0 || i + n > text.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n;
  }
  return true;
}

void CheckSentFrames(std::size_t image) {
  const TForm1& f = *h->form;
  const Bytes& written = h->line.written;
  Check(written.size() % cmdframe::kSize == 0, "a partial command frame was written");
  const Bytes& bytes = h->image[image];
  for (std::size_t at = 0; at < written.size(); at += cmdframe::kSize) {
    CommandFrame frame;
    std::copy_n(written.begin() + static_cast<std::ptrdiff_t>(at), cmdframe::kSize, frame.Bytes.begin());
    const std::uint16_t sent = frame.Checksum();
    Check(frame.Start() == '*', "a frame without its start byte");
    Check(SealCommandFrame(frame) == sent, "a frame with a wrong checksum");
    if (frame.Code() != cmd::kBlock) continue;
    const std::size_t block = frame.Number();
    Check(block < f.BlockCount, "a block beyond the image");
    Check(frame.Length() == cmdframe::kDataSize, "a block with the wrong length");
    for (std::size_t i = 0; i < cmdframe::kDataSize; ++i) {
      const std::size_t offset = block * cmdframe::kDataSize + i;
      const std::uint8_t expected = offset < bytes.size() ? bytes[offset] : 0xFF;
      Check(frame.Data()[i] == expected, "a block whose data is not the image's");
    }
  }
}

// Qt looks up a fallback font the first time a character is laid out and
// keeps it for good; doing that for every character of the log's text here
// keeps the leak check of libFuzzer from firing on those caches.
void WarmUpFonts() {
  std::uint8_t all[256];
  for (int i = 0; i < 256; ++i) all[i] = static_cast<std::uint8_t>(i == 0 ? ' ' : i);
  h->form->Memo1->AddLine(Cp1251ToUtf8(all, sizeof all));
  QCoreApplication::sendPostedEvents();
  h->form->ButClearClick(nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::StartOffscreenApp();
  h = new Harness;
  WriteImages();
  ui::SetBoxResponder([](const ui::BoxRequest& request) {
    RunBoxLoop();
    if ((request.flags & 0x0F) != ui::MB_YESNO) return ui::IDOK;
    const bool yes = h->nextAnswerYes;
    h->nextAnswerYes = !yes;
    return yes ? ui::IDYES : ui::IDNO;
  });
  h->form = new TForm1;
  WarmUpFonts();
  h->form->Pause = [](int) {};
  h->form->LocalClock = [] { return h->clock; };
  h->form->PortOpener = [](const std::string& name) {
    OpenResult result;
    result.devicePath = name;
    result.port = std::make_unique<fuzz::MemoryPort>(h->line);
    return result;
  };
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kHeader) return 0;
  const std::uint8_t flags = data[0];
  Reset(flags, data[2]);

  const std::uint8_t* stream = data + kHeader;
  const std::size_t length = size - kHeader;
  const std::size_t chunk = data[1] != 0 ? data[1] : std::max<std::size_t>(length, 1);
  h->budget = 2 * length + 2 * rspframe::kSize + 16;
  auto& input = h->line.input;
  for (std::size_t at = 0; at < length;) {
    const std::size_t n = std::min(chunk, length - at);
    input.insert(input.end(), stream + at, stream + at + n);
    at += n;
    Drain(at < length);
  }
  Drain(false);

  const TForm1& f = *h->form;
  CheckSentFrames((flags >> 1) & 0x03);
  Check(f.BlockIndex <= f.BlockCount, "the next block lies beyond the image");
  for (const std::string& line : f.Memo1->Lines()) Check(IsValidUtf8(line), "a log line that is not UTF-8");
  // Nothing runs the event loop, so what the widgets post is delivered here.
  QCoreApplication::sendPostedEvents();
  return 0;
}

// Arbitrary files through LoadFirmwareImage of the real window, then the
// whole upload ('G', then 'N' until 'q') over the image that is loaded.
//
// Before each load the window holds an earlier image and an upload of it
// under way; both are derived from the input's length, so that every input
// replays alone.

#include <QCoreApplication>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/form1.h"
#include "offscreen_app.h"
#include "ui/widgets/message_box.h"

namespace {

using namespace tavel;
namespace fs = std::filesystem;

constexpr std::size_t kBlock = cmdframe::kDataSize;
constexpr std::size_t kBufferSize = 65535;

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "image load: %s\n", what);
  std::abort();
}

struct Harness {
  TForm1* form = nullptr;
  fs::path dir;
  std::string path;
  std::array<std::uint8_t, kBufferSize> earlier{};
  std::array<std::uint8_t, kBufferSize> pattern{};  // bytes of the earlier images
  std::array<std::uint8_t, kBufferSize> fill{};     // all 0xFF
};

Harness* h = nullptr;

void RemoveScratch() {
  std::error_code ignored;
  fs::remove_all(h->dir, ignored);
}

std::size_t Blocks(std::size_t size) { return size / kBlock + (size % kBlock != 0 ? 1 : 0); }

// The earlier image: ImageBuffer as a successful load leaves it.
void HoldEarlierImage(std::size_t inputSize) {
  TForm1& f = *h->form;
  const std::size_t size = 1 + (inputSize * 2654435761u) % kBufferSize;
  std::memcpy(h->earlier.data(), h->pattern.data(), size);
  std::memset(h->earlier.data() + size, 0xFF, kBufferSize - size);
  f.ImageBuffer = h->earlier;
  f.ImageSize = static_cast<std::uint32_t>(size);
  f.BlockCount = static_cast<std::uint16_t>(Blocks(size));
  f.ImageLoaded = true;
  f.BlockIndex = static_cast<std::uint16_t>(inputSize % (f.BlockCount + 1u));
}

// The harness's own checksum, kept out of the coverage feedback: it runs for
// every block and would only slow the search.
__attribute__((no_sanitize("coverage"))) bool ChecksumHolds(const CommandFrame& frame) {
  std::uint16_t sum = 0;
  for (std::size_t i = cmdframe::kFirstSummed; i <= cmdframe::kLastSummed; ++i) {
    sum = static_cast<std::uint16_t>(sum + frame.Bytes.data()[i]);
  }
  return sum == frame.Checksum();
}

void CheckBlockFrame(const std::uint8_t* file, std::size_t size, std::size_t block) {
  const TForm1& f = *h->form;
  const CommandFrame& frame = f.TxFrame;
  Check(frame.Code() == cmd::kBlock, "a block step sent no block");
  Check(frame.Number() == block, "a block with the wrong number");
  Check(frame.Length() == kBlock, "a block with the wrong length");
  Check(ChecksumHolds(frame), "a block frame with a wrong checksum");
  std::array<std::uint8_t, kBlock> expected;
  expected.fill(0xFF);
  const std::size_t from = block * kBlock;
  if (from < size) std::memcpy(expected.data(), file + from, std::min(kBlock, size - from));
  Check(std::memcmp(f.TxFrame.Data().data(), expected.data(), kBlock) == 0,
        "a block whose data is not the file's");
  Check(f.BlockIndex == block + 1, "the next block is not the one after");
  Check(f.ProgressBar1->Position() == static_cast<int>((block + 1) * 100 / f.BlockCount),
        "the progress bar is not at the share of blocks sent");
}

void CheckDoneFrame() {
  const TForm1& f = *h->form;
  Check(f.TxFrame.Code() == cmd::kUploadDone, "the step after the last block is not 'q'");
  Check(ChecksumHolds(f.TxFrame), "the 'q' frame with a wrong checksum");
}

void CheckUpload(const std::uint8_t* file, std::size_t size) {
  TForm1& f = *h->form;
  const std::size_t blocks = f.BlockCount;

  // The upload of the earlier image goes on: its next 'N' must take the
  // block from the new image, or end with 'q' when that is shorter.
  const std::size_t resumed = f.BlockIndex;
  Check(f.HandleNextBlock(), "an 'N' during an upload sends nothing");
  if (resumed < blocks) {
    CheckBlockFrame(file, size, resumed);
  } else {
    CheckDoneFrame();
  }

  Check(f.HandleUploadStart(), "a 'G' with an image sends nothing");
  CheckBlockFrame(file, size, 0);
  for (std::size_t step = 1; step < blocks + 2; ++step) {
    Check(f.HandleNextBlock(), "an 'N' with an image sends nothing");
    if (step < blocks) {
      CheckBlockFrame(file, size, step);
    } else {
      CheckDoneFrame();
    }
  }
  Check(f.TxFrame.Code() == cmd::kUploadDone, "the upload does not end with 'q'");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::StartOffscreenApp();
  h = new Harness;
  const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
  std::string pattern = (base / "tavel-fuzz-XXXXXX").string();
  if (!mkdtemp(pattern.data())) std::abort();
  h->dir = pattern;
  h->path = (h->dir / "image.bin").string();
  for (std::size_t i = 0; i < kBufferSize; ++i) h->pattern[i] = static_cast<std::uint8_t>((i * 13 + 5) % 251);
  h->fill.fill(0xFF);
  std::atexit(RemoveScratch);
  ui::SetBoxResponder([](const ui::BoxRequest&) { return ui::IDOK; });
  h->form = new TForm1;
  h->form->Pause = [](int) {};
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TForm1& f = *h->form;
  HoldEarlierImage(size);
  const std::uint32_t earlierSize = f.ImageSize;
  const std::uint16_t earlierBlocks = f.BlockCount;
  const std::uint16_t earlierIndex = f.BlockIndex;

  std::ofstream(h->path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  const bool loaded = f.LoadFirmwareImage(h->path);

  Check(f.ImageSize <= kBufferSize, "an image larger than the buffer");
  if (!loaded) {
    Check(size == 0 || size > kBufferSize, "a file that fits was refused");
    Check(f.ImageLoaded && f.ImageSize == earlierSize && f.BlockCount == earlierBlocks &&
              f.BlockIndex == earlierIndex,
          "a refused file changed the image held");
    Check(std::memcmp(f.ImageBuffer.data(), h->earlier.data(), kBufferSize) == 0,
          "a refused file changed the image bytes");
    return 0;
  }
  Check(size <= kBufferSize, "a file larger than the buffer was taken");
  Check(f.ImageLoaded && f.ImageSize == size, "the image size is not the file's");
  Check(f.BlockCount == Blocks(size), "the block count does not cover the image");
  Check(std::memcmp(f.ImageBuffer.data(), data, size) == 0, "the image bytes are not the file's");
  Check(std::memcmp(f.ImageBuffer.data() + size, h->fill.data(), kBufferSize - size) == 0,
        "bytes of the earlier image remain after the new one");
  if (f.BlockCount != 0) CheckUpload(data, size);
  QCoreApplication::sendPostedEvents();
  return 0;
}

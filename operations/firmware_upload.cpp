#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

#include "app/form1.h"
#include "ui/widgets/message_box.h"

namespace tavel {
namespace {

constexpr std::size_t kBlockSize = cmdframe::kDataSize;
constexpr unsigned kWarningBox = ui::MB_TASKMODAL | ui::MB_ICONWARNING;

// The length of the regular file at `path`, or nothing when it is not one.
std::optional<std::uintmax_t> RegularFileSize(const std::filesystem::path& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error) return std::nullopt;
  return size;
}

}  // namespace

void TForm1::Find_New_SWClick(TObject*) {
  if (OpenDialog1->Execute()) FirmwarePath = OpenDialog1->FileName();
  EditPathBin->SetText(FirmwarePath);
  LoadFirmwareImage(FirmwarePath);
}

bool TForm1::LoadFirmwareImage(const std::string& path) {
  const std::filesystem::path filePath(reinterpret_cast<const char8_t*>(path.c_str()));
  std::ifstream file(filePath, std::ios::binary);
  const std::optional<std::uintmax_t> size = file ? RegularFileSize(filePath) : std::nullopt;
  if (!size) {
    ui::ApplicationMessageBox("Невозможно открыть файл ПО *.bin", "warning!", kWarningBox);
    return false;
  }
  // A truncated or empty image must never reach the sensor by accident.
  if (*size == 0) {
    ui::ApplicationMessageBox("Файл ПО *.bin пуст. Загружать нечего", "warning!", kWarningBox);
    return false;
  }
  if (*size > ImageBuffer.size()) {
    ui::ApplicationMessageBox("Файл ПО *.bin больше 65535 байт и не может быть загружен",
                              "warning!", kWarningBox);
    return false;
  }
  ImageSize = static_cast<std::uint32_t>(*size);
  ImageBuffer.fill(0xFF);
  file.read(reinterpret_cast<char*>(ImageBuffer.data()), ImageSize);
  BlockCount = static_cast<std::uint16_t>(ImageSize / kBlockSize + (ImageSize % kBlockSize != 0 ? 1 : 0));
  ImageLoaded = true;
  return true;
}

void TForm1::ButChangeSWClick(TObject*) {
  if (!ReadyForCommand()) return;
  if (!ImageLoaded) {
    ui::SystemMessageBox("Необходимо открыть файл ПО *.bin", "", ui::MB_TASKMODAL | ui::MB_ICONINFORMATION);
    return;
  }
  Open_port->SetEnabled(false);
  PendingAction = cmd::kBeginUpload;
  But_TestClick(nullptr);
}

void TForm1::BeginUpload() {
  PendingAction = 255;
  SendCommand(cmd::kBeginUpload, 0, 0);
  ProgressBar1->SetPosition(0);
  ProgressBar1->SetVisible(true);
  LabelPrgrsBar->SetCaption("Загрузка нового ПО");
  LabelPrgrsBar->SetVisible(true);
}

// The last block of a full-size image runs one byte past the buffer; that
// byte is sent as the fill value.
void TForm1::PrepareNextBlock() {
  TxFrame.SetCode(cmd::kBlock);
  TxFrame.SetNumber(BlockIndex);
  TxFrame.SetLength(kBlockSize);
  const auto data = TxFrame.Data();
  const std::size_t from = std::min<std::size_t>(std::size_t{BlockIndex} * kBlockSize, ImageBuffer.size());
  const std::size_t count = std::min(kBlockSize, ImageBuffer.size() - from);
  std::fill(data.begin(), data.end(), 0xFF);
  std::copy_n(ImageBuffer.begin() + static_cast<std::ptrdiff_t>(from), count, data.begin());
  ++BlockIndex;
  SealCommandFrame();
  ProgressBar1->SetPosition(BlockIndex * 100 / BlockCount);
}

// Without an image nothing is sent: the sensor must not take an empty one.
bool TForm1::HandleUploadStart() {
  if (BlockCount == 0) return false;
  BlockIndex = 0;
  PrepareNextBlock();
  return true;
}

bool TForm1::HandleNextBlock() {
  if (BlockCount == 0) return false;
  if (BlockIndex >= BlockCount) {
    TxFrame.SetCode(cmd::kUploadDone);
    SealCommandFrame();
    return true;
  }
  PrepareNextBlock();
  return true;
}

void TForm1::HandleUploadEnded() {
  ProgressBar1->SetVisible(false);
  LabelPrgrsBar->SetVisible(false);
  Open_port->SetEnabled(true);
}

}  // namespace tavel

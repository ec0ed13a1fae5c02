#include <ctime>
#include <random>

#include "app/form1.h"
#include "ui/widgets/message_box.h"

namespace tavel {
namespace {

constexpr std::uint16_t kLastTestFrame = 11;

}  // namespace

void TForm1::But_TestClick(TObject*) {
  if (!ReadyForCommand()) return;
  TestIndex = 0;
  ErrorCount = 0;
  ProgressBar1->SetPosition(0);
  ProgressBar1->SetVisible(true);
  LabelPrgrsBar->SetVisible(true);
  LabelPrgrsBar->SetCaption("Тест связи с датчиком");
  SendTestFrame();
}

// Seeded anew before every frame, so frames filled within one second match.
void TForm1::SendTestFrame() {
  std::minstd_rand generator(static_cast<std::minstd_rand::result_type>(std::time(nullptr)));
  for (std::uint8_t& byte : TxFrame.Data()) byte = static_cast<std::uint8_t>(generator() & 0xFF);
  SendCommand(cmd::kTest, TestIndex, cmdframe::kDataSize);
}

void TForm1::HandleTestResponse() {
  if (CheckPayloadSum() == 1) ++ErrorCount;
  ProgressBar1->SetPosition(TestIndex * 100 / 10);
  if (TestIndex < kLastTestFrame) {
    ++TestIndex;
    SendTestFrame();
    return;
  }
  ProgressBar1->SetVisible(false);
  LabelPrgrsBar->SetVisible(false);
  TestIndex = 0;
  if (ErrorCount == 0) {
    Memo1->AddLine("Связь хорошая. Тест завершен с " + std::to_string(ErrorCount) + " ошибками");
  } else {
    const bool uploadPending = PendingAction == cmd::kBeginUpload;
    std::string text = "Связь плохая. Тест завершен с " + std::to_string(ErrorCount) + " ошибками";
    if (uploadPending) text += "\nПродолжить?";
    const unsigned buttons = uploadPending ? ui::MB_YESNO : ui::MB_OK;
    const int answer = ui::SystemMessageBox(text, "", ui::MB_TASKMODAL | ui::MB_ICONERROR | buttons);
    if (answer == ui::IDNO) return;
  }
  if (PendingAction == cmd::kBeginUpload) BeginUpload();
}

}  // namespace tavel

#include <chrono>

#include "app/form1.h"
#include "protocol/text.h"
#include "ui/widgets/message_box.h"

namespace tavel {
namespace {

constexpr std::uint32_t kFrameRest = rspframe::kSize - 1;
constexpr int kFrameDirectionMs = 500;
constexpr std::int32_t kRepeatLimit = 20;
// Three times the 146 ms that the rest of a frame takes at 4800 baud.
constexpr std::chrono::milliseconds kFrameRestBound{440};

std::string PayloadText(const std::array<std::uint8_t, rspframe::kSize>& frame) {
  return Cp1251ToUtf8(frame.data() + rspframe::kPayload, rspframe::kPayloadSize);
}

}  // namespace

void TForm1::SendTxFrame() { Transmit(TxFrame.Bytes.data(), cmdframe::kSize); }

bool TForm1::SendCommand(char code, std::uint16_t number, std::uint16_t length) {
  TxFrame.SetCode(code);
  TxFrame.SetNumber(number);
  TxFrame.SetLength(length);
  SealCommandFrame();
  return Transmit(TxFrame.Bytes.data(), cmdframe::kSize);
}

bool TForm1::WaitForFrameRest() {
  const auto deadline = std::chrono::steady_clock::now() + kFrameRestBound;
  for (;;) {
    QueueStatus status;
    if (hComPort->QueryStatus(status) && status.cbInQue >= kFrameRest) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    WaitOnLine();
  }
}

void TForm1::Timer1Timer(TObject*) {
  if (!IsPortOpen()) return;
  QueueStatus status;
  if (!hComPort->QueryStatus(status) || status.cbInQue < MinRxQueue) return;
  if (ReadPort(&RxBuffer[0], 1) != 1) return;
  if (RxBuffer[0] != rspframe::kStartByte) return;
  Timer2->SetInterval(kFrameDirectionMs);
  Timer2->SetEnabled(true);
  if (!IsPortOpen() || !WaitForFrameRest()) return;
  if (ReadPort(&RxBuffer[1], kFrameRest) != static_cast<std::int32_t>(kFrameRest)) return;
  const std::uint8_t check = CheckResponseFrame();
  if (check != kFrameGood && check != kFrameBadLength) return;
  DispatchResponse(static_cast<char>(RxFrame[rspframe::kCode]));
}

// Ticks nest inside any box a handler opens and reuse the receive buffer, so
// what a handler needs after its box is taken from this copy.
void TForm1::DispatchResponse(char code) {
  std::array<std::uint8_t, rspframe::kSize> frame{};
  std::copy(RxFrame, RxFrame + rspframe::kSize, frame.begin());
  switch (code) {
    case rsp::kLoaderReady: HandleLoaderReady(); break;
    case rsp::kLoaderLeft: HandleLoaderLeft(); break;
    case rsp::kUploadStart:
      if (HandleUploadStart()) SendTxFrame();
      break;
    case rsp::kNextBlock:
      if (HandleNextBlock()) SendTxFrame();
      break;
    case rsp::kUploadEnded: HandleUploadEnded(); break;
    case rsp::kClockSettings:
      Memo1->AddLine("Запись новых параметров - OK");
      ShowClockSettings(frame.data() + rspframe::kPayload);
      break;
    case rsp::kExtParamsDone: Memo1->AddLine("Запись раширенных параметров - OK"); break;
    case rsp::kTestEcho: HandleTestResponse(); break;
    case rsp::kRepeat: HandleRepeatRequest(); break;
    case rsp::kClosePort: Open_portClick(nullptr); break;
    case rsp::kAskStay:
      ButStayBLClick(nullptr);
      Memo1->AddLine(PayloadText(frame));
      break;
    case rsp::kText: Memo1->AddLine(PayloadText(frame)); break;
    default: break;
  }
}

void TForm1::HandleRepeatRequest() {
  ++ErrorCount;
  if (ErrorCount <= kRepeatLimit) {
    SendTxFrame();
    return;
  }
  ui::ApplicationMessageBox("Много ошибок!\nПроверьте линию связи с датчиком и питание", "ERR ",
                            ui::MB_TASKMODAL | ui::MB_ICONERROR);
  ProgressBar1->SetVisible(false);
  TestIndex = 0;
}

}  // namespace tavel

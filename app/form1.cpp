#include "app/form1.h"

#include <chrono>
#include <thread>

#include "app/local_clock.h"
#include "serial/enum_serial.h"
#include "ui/widgets/application.h"
#include "ui/widgets/message_box.h"

namespace tavel {

std::unique_ptr<TForm1> Form1;

namespace {

void SleepFor(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

ScreenPlace CentredPlace(int screenWidth, int screenHeight, int windowWidth, int windowHeight) {
  return {screenWidth / 2 - windowWidth / 2, screenHeight / 2 - windowHeight / 2};
}

TForm1::TForm1() : ui::TForm(640, 457, "Tavel Tool"), Pause(SleepFor), LocalClock(LocalClockNow) {
  CreateControls();
  WireHandlers();
  FirmwarePath.clear();
  EnumSerial = std::make_unique<CEnumSerial>();
  CentreOnScreen();
  SetCaption("Tavel Tool");
  Intrval_Lbl->SetText("1");
  ComboBoxNoSens->SetEnabled(false);
  ComboBoxNoSens->SetVisible(false);
  SetRussianTexts();
  MinRxQueue = 1;
  TxFrame.SetStart('*');
  ImageLoaded = false;
  FrameMarker = {'H', 'E', 'A', 'D', '\0'};
  PendingAction = 255;
  ChckBxHrdCtrlClick(nullptr);
  FillPortList();
}

TForm1::~TForm1() {
  EnumSerial.reset();
  FirmwarePath.clear();
  DestroyWindow();
}

void TForm1::CentreOnScreen() {
  const int screenHeight = ui::GetSystemMetrics(ui::SM_CYSCREEN);
  const int screenWidth = ui::GetSystemMetrics(ui::SM_CXSCREEN);
  const ScreenPlace place = CentredPlace(screenWidth, screenHeight, Width(), Height());
  SetTop(place.top);
  SetLeft(place.left);
}

bool TForm1::ReadyForCommand() {
  if (!IsPortOpen()) {
    ui::SystemMessageBox("COM порт не открыт", "", ui::MB_TASKMODAL | ui::MB_ICONINFORMATION);
    return false;
  }
  if (!Timer3->Enabled()) {
    ui::SystemMessageBox("Tavel не в режиме программирования", "",
                         ui::MB_TASKMODAL | ui::MB_ICONINFORMATION);
    return false;
  }
  return true;
}

std::uint16_t TForm1::SealCommandFrame() { return tavel::SealCommandFrame(TxFrame); }

std::uint8_t TForm1::CheckResponseFrame() {
  std::size_t start = 0;
  const std::uint8_t result = tavel::CheckResponseFrame(RxBuffer, FrameMarker.data(), start);
  if (result != kFrameNoStart) RxFrame = RxBuffer.data() + start;
  return result;
}

std::uint8_t TForm1::CheckPayloadSum() {
  return tavel::CheckPayloadSum(std::span<const std::uint8_t, rspframe::kSize>(RxFrame, rspframe::kSize));
}

}  // namespace tavel

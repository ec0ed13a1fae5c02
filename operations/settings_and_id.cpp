#include "app/form1.h"
#include "protocol/text.h"
#include "ui/widgets/message_box.h"

namespace tavel {
namespace {

enum SettingsByte { kSensorCode = 0, kIntervalTens = 1, kIntervalUnits = 2, kFullSignal = 3, kLowPower = 4 };
constexpr std::uint16_t kSettingsLength = 5;
constexpr std::uint16_t kDeviceIdLength = 2;
constexpr std::size_t kDeviceIdChars = 4;

std::size_t CharacterCount(const std::string& utf8) {
  std::size_t count = 0;
  for (const char c : utf8) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
  return count;
}

}  // namespace

void TForm1::ButChngPLLsetClick(TObject*) {
  if (!ReadyForCommand()) return;
  TxFrame.SetCode(cmd::kSettings);
  TxFrame.SetLength(kSettingsLength);
  TxFrame.SetNumber(1);
  DataCursor = TxFrame.Data().data();
  DataCursor[kSensorCode] = '1';
  DataCursor[kLowPower] = static_cast<std::uint8_t>('P' + (sLowPowChkBx->Checked() ? 1 : 0));
  const std::int32_t interval = DecimalValue(Intrval_Lbl->Text());
  if (interval < 1) {
    ui::SystemMessageBox("Введите интервал минут в диапазоне 1-10", "",
                         ui::MB_TASKMODAL | ui::MB_ICONWARNING);
    return;
  }
  if (interval > 10) {
    ui::SystemMessageBox("Интервал более 10 мин", "", ui::MB_TASKMODAL | ui::MB_ICONINFORMATION);
    return;
  }
  DataCursor[kIntervalUnits] = static_cast<std::uint8_t>('0' + interval % 10);
  DataCursor[kIntervalTens] = static_cast<std::uint8_t>('0' + interval / 10);
  DataCursor[kFullSignal] = static_cast<std::uint8_t>('F' + (ChkBx_Gerk->Checked() ? 1 : 0));
  SealCommandFrame();
  SendTxFrame();
  ErrorCount = 0;
}

void TForm1::ButCh_ID_devClick(TObject*) {
  if (!ReadyForCommand()) return;
  const std::string text = Lbl_ID_dev->Text();
  if (CharacterCount(text) != kDeviceIdChars) {
    ui::SystemMessageBox("Значение ID датчика должно содержать 4 цифры", "",
                         ui::MB_TASKMODAL | ui::MB_ICONWARNING);
    return;
  }
  NewDeviceId = static_cast<std::uint32_t>(DecimalValue(text));
  PutLe16(TxFrame.Data(), 0, static_cast<std::uint16_t>(NewDeviceId & 0xFFFF));
  SendCommand(cmd::kDeviceId, 0, kDeviceIdLength);
  ErrorCount = 0;
}

}  // namespace tavel

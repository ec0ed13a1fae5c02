#include <algorithm>

#include "app/form1.h"
#include "protocol/text.h"

namespace tavel {
namespace {

constexpr std::size_t kClockRecordSize = 40;
constexpr std::size_t kSensorIndexByte = 40;
constexpr std::uint16_t kClockLength = 2;
constexpr std::uint16_t kExtParamsLength = 2;

struct ClockField {
  std::unique_ptr<ui::TLabeledEdit> TForm1::*edit;
  std::size_t offset;
  bool wide;  // 32 bits; the others are 16
};

// In the order the fields are read and shown.
constexpr ClockField kClockFields[] = {
    {&TForm1::Lbl_PLLM, 4, false},     {&TForm1::Lbl_PLLN, 6, false},
    {&TForm1::Lbl_PLLP, 8, false},     {&TForm1::Lbl_AHB_Psc, 16, false},
    {&TForm1::Lbl_HCLK, 20, true},     {&TForm1::Lbl_APB1_Psc, 24, false},
    {&TForm1::Lbl_Smpl, 32, false},    {&TForm1::Lbl_Full, 34, false},
};

}  // namespace

void TForm1::ButChngFREQClick(TObject* Sender) {
  if (!ReadyForCommand()) return;
  const auto data = TxFrame.Data();
  std::fill_n(data.begin(), kClockRecordSize, 0xFF);
  data[kSensorIndexByte] = static_cast<std::uint8_t>(CmbBx_Sel_sens->ItemIndex() & 0xFF);
  if (Sender == ButChngFREQ.get()) {
    for (const ClockField& field : kClockFields) {
      const std::string text = (this->*field.edit)->Text();
      const auto value = static_cast<std::uint32_t>(text.empty() ? -1 : DecimalValue(text));
      if (field.wide) {
        PutLe32(data, field.offset, value);
      } else {
        PutLe16(data, field.offset, static_cast<std::uint16_t>(value & 0xFFFF));
      }
    }
  }
  SendCommand(cmd::kClock, 0, kClockLength);
  ErrorCount = 0;
}

void TForm1::ButCHEXTPARAMClick(TObject*) {
  if (!ReadyForCommand()) return;
  const auto data = TxFrame.Data();
  for (std::size_t n = 0; n < lblParam.size(); ++n) {
    const std::string text = lblParam[n]->Text();
    const std::int32_t value = text.empty() ? 0 : DecimalValue(text);
    PutLe32(data, 4 * n, static_cast<std::uint32_t>(value));
  }
  SendCommand(cmd::kExtParams, 0, kExtParamsLength);
  ErrorCount = 0;
}

void TForm1::ShowClockSettings(const std::uint8_t* payload) {
  const std::span<const std::uint8_t> record(payload, kClockRecordSize);
  for (const ClockField& field : kClockFields) {
    const std::uint32_t value = field.wide ? GetLe32(record, field.offset) : GetLe16(record, field.offset);
    (this->*field.edit)->SetText(std::to_string(value));
  }
}

}  // namespace tavel

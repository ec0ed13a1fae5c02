#include "app/form1.h"
#include "ui/widgets/message_box.h"

namespace tavel {
namespace {

// Only the last character is tested; a refused text empties the whole field.
void FilterDigits(ui::TEdit& field, const char* message) {
  const std::string text = field.Text();
  if (text.empty()) return;
  const char last = text.back();
  if (last >= '0' && last <= '9') return;
  ui::SystemMessageBox(message, "", ui::MB_TASKMODAL | ui::MB_ICONINFORMATION);
  field.SetText("");
}

}  // namespace

void TForm1::ButClearClick(TObject*) { Memo1->Clear(); }

void TForm1::Intrval_LblChange(TObject*) { FilterDigits(*Intrval_Lbl, "Введите действительные числа"); }

void TForm1::Lbl_ID_devChange(TObject* Sender) {
  auto* field = dynamic_cast<ui::TEdit*>(Sender);
  if (field != nullptr) FilterDigits(*field, "Должны быть цифры");
}

}  // namespace tavel

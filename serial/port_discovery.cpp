#include "app/form1.h"
#include "serial/enum_serial.h"

namespace tavel {

void TForm1::FillPortList() {
  lblPort->SetText("");
  ListCOMPORTS->Clear();
  EnumSerial->Enumerate();
  EnumSerial->SortByPortNumber();
  for (int i = 0; i < EnumSerial->PortCount; ++i) {
    ListCOMPORTS->AddItem(ListEntry(EnumSerial->Ports[static_cast<std::size_t>(i)]));
    ListCOMPORTS->SetItemIndex(0);
  }
}

// A typed text that matches no line chooses nothing and leaves the field alone.
void TForm1::ListCOMPORTSChange(TObject*) {
  const int index = ListCOMPORTS->ItemIndex();
  if (index < 0 || index >= EnumSerial->PortCount) return;
  lblPort->SetText(std::to_string(EnumSerial->Ports[static_cast<std::size_t>(index)].PortNumber));
}

void TForm1::SpeedButton1Click(TObject*) { FillPortList(); }

}  // namespace tavel

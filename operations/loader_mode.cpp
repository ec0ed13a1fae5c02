#include "app/form1.h"

namespace tavel {

void TForm1::Timer3Timer(TObject*) { iLedReady->SetActive(!iLedReady->Active()); }

void TForm1::HandleLoaderReady() { Timer3->SetEnabled(true); }

void TForm1::HandleLoaderLeft() {
  Timer3->SetEnabled(false);
  iLedReady->SetActive(false);
}

void TForm1::ButExitClick(TObject*) {
  if (!ReadyForCommand()) return;
  SendCommand(cmd::kExit, 1, cmdframe::kDataSize);
}

bool TForm1::ButStayBLClick(TObject*) {
  return SendCommand(cmd::kStay, 1, cmdframe::kDataSize);
}

}  // namespace tavel

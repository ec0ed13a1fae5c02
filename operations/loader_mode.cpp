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
  TxFrame.SetCode(cmd::kExit);
  TxFrame.SetNumber(1);
  TxFrame.SetLength(cmdframe::kDataSize);
  SealCommandFrame();
  SendTxFrame();
}

bool TForm1::ButStayBLClick(TObject*) {
  TxFrame.SetCode(cmd::kStay);
  TxFrame.SetNumber(1);
  TxFrame.SetLength(cmdframe::kDataSize);
  SealCommandFrame();
  return Transmit(TxFrame.Bytes.data(), cmdframe::kSize);
}

}  // namespace tavel

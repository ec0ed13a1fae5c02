#include <QWidget>

#include "app/form1.h"

namespace tavel {
namespace {

using ui::Rect;

template <class Control, class... Args>
std::unique_ptr<Control> Make(QWidget* parent, const Rect& place, Args&&... args) {
  return std::make_unique<Control>(parent, place, std::forward<Args>(args)...);
}

void ChainTabOrder(std::initializer_list<const ui::TControl*> controls) {
  const ui::TControl* previous = nullptr;
  for (const ui::TControl* control : controls) {
    if (previous != nullptr) QWidget::setTabOrder(previous->Widget(), control->Widget());
    previous = control;
  }
}

void HidePage(ui::TPageControl& pages, ui::TTabSheet& sheet) {
  pages.SetTabShown(sheet, false);
  sheet.SetEnabled(false);
}

}  // namespace

void TForm1::CreateControls() {
  QWidget* form = Window();
  Memo1 = Make<ui::TMemo>(form, {32, 8, 489, 153});
  iLedReady = Make<ui::TLed>(form, {528, 16, 97, 20}, "ЗАГР ГОТОВ");
  ButExit = Make<ui::TButton>(form, {528, 96, 97, 25}, "exit");
  ButClear = Make<ui::TButton>(form, {528, 136, 97, 25}, "clear");
  PageControl1 = Make<ui::TPageControl>(form, {32, 176, 593, 169});
  ChckBxHrdCtrl = Make<ui::TCheckBox>(form, {8, 360, 257, 17}, "Half duplex Hard control", true);
  LabelPrgrsBar = Make<ui::TLabel>(form, {347, 360, 0, 13}, "", true);
  LabelPrgrsBar->SetVisible(false);
  ProgressBar1 = Make<ui::TProgressBar>(form, {40, 384, 569, 17}, 51);
  ProgressBar1->SetVisible(false);
  Open_port = Make<ui::TButton>(form, {8, 424, 83, 25}, "Open port");
  Open_port->SetHint("Open the chosen COM port");
  lblPort = Make<ui::TLabeledEdit>(form, {96, 424, 33, 21}, "Port №", "");
  ListCOMPORTS = Make<ui::TComboBox>(form, {136, 424, 361, 21}, std::vector<std::string>{});
  ListCOMPORTS->SetHint("Choice existing COM ports");
  SpeedButton1 = Make<ui::TSpeedButton>(form, {496, 424, 23, 22}, "");
  SpeedButton1->SetHint("Search of existing COM ports in on the computer");
  But_Test = Make<ui::TButton>(form, {552, 424, 75, 25}, "Test line");
  But_Test->SetHint("Test traffic throw COM port in half-duplex mode");
  But_Test->SetVisible(false);
  But_Test->SetEnabled(false);

  ChNumSen_Sheet = std::make_unique<ui::TTabSheet>(*PageControl1, "Change Num Sensor");
  QWidget* settings = ChNumSen_Sheet->Page();
  ComboBoxNoSens = Make<ui::TComboBox>(
      settings, {8, 24, 185, 21},
      std::vector<std::string>{"Num 1, f = 69800 - 70200", "Num 2, f = 72300 - 72700",
                               "Num 3, f = 74800 - 75200", "Num 4, f = 77300 - 77700"});
  ComboBoxNoSens->SetItemIndex(0);
  ComboBoxNoSens->SetHint("Select number of sensor");
  Intrval_Lbl = Make<ui::TLabeledEdit>(settings, {8, 72, 65, 21}, "Interval sending, sec", "60");
  Intrval_Lbl->SetHint("Time of sleep between sending");
  ChkBx_Gerk = Make<ui::TCheckBox>(settings, {8, 112, 339, 22},
                                   "Draw out rod make event and sending signal \"FULL\" ", false, 10, true);
  ButChngPLLset = Make<ui::TButton>(settings, {488, 56, 75, 25}, "Do it");
  ButChngPLLset->SetHint("Send command to change № of sensor code and other parameterseters");
  sLowPowChkBx = Make<ui::TCheckBox>(settings, {200, 71, 130, 22}, "Low power signal", false, 10, true);

  Ch_ID_Dev_Sheet = std::make_unique<ui::TTabSheet>(*PageControl1, "SERVISE FUNC");
  QWidget* service = Ch_ID_Dev_Sheet->Page();
  Lbl_ID_dev = Make<ui::TLabeledEdit>(service, {16, 56, 65, 21}, "New ID device", "");
  ButCh_ID_dev = Make<ui::TButton>(service, {96, 56, 75, 25}, "CHANGE ID");

  ChSWSheet = std::make_unique<ui::TTabSheet>(*PageControl1, "Change HW");
  QWidget* upload = ChSWSheet->Page();
  Label1 = Make<ui::TLabel>(upload, {8, 48, 0, 13}, "", true);
  EditPathBin = Make<ui::TEdit>(upload, {8, 72, 545, 21}, "");
  Find_New_SW = Make<ui::TSpeedButton>(upload, {552, 72, 23, 22}, "...");
  ButChangeSW = Make<ui::TButton>(upload, {488, 112, 75, 25}, "Upload");
  ButChangeSW->SetHint("Upload new software in Tavel");

  TabChPLL_SET = std::make_unique<ui::TTabSheet>(*PageControl1, "CHANGE PLL SETT");
  QWidget* clock = TabChPLL_SET->Page();
  Label2 = Make<ui::TLabel>(clock, {8, 8, 47, 13}, "Num sens", false);
  CmbBx_Sel_sens = Make<ui::TComboBox>(clock, {8, 24, 57, 21},
                                       std::vector<std::string>{"Num 1", "Num 2", "Num 3", "Num 4"});
  CmbBx_Sel_sens->SetItemIndex(0);
  ButFill = Make<ui::TButton>(clock, {486, 16, 75, 25}, "Read");
  Lbl_PLLM = Make<ui::TLabeledEdit>(clock, {8, 64, 49, 21}, "PLLM", "");
  Lbl_PLLN = Make<ui::TLabeledEdit>(clock, {72, 64, 49, 21}, "PLLN", "");
  Lbl_PLLP = Make<ui::TLabeledEdit>(clock, {128, 64, 49, 21}, "PLLP", "");
  Lbl_AHB_Psc = Make<ui::TLabeledEdit>(clock, {184, 64, 49, 21}, "AHB psc", "");
  Lbl_HCLK = Make<ui::TLabeledEdit>(clock, {240, 64, 73, 21}, "HCLK", "");
  Lbl_APB1_Psc = Make<ui::TLabeledEdit>(clock, {320, 64, 49, 21}, "APB1 Psc", "");
  Lbl_Smpl = Make<ui::TLabeledEdit>(clock, {376, 64, 49, 21}, "Smpl", "");
  Lbl_Full = Make<ui::TLabeledEdit>(clock, {432, 64, 49, 21}, "Full", "");
  ButChngFREQ = Make<ui::TButton>(clock, {488, 64, 75, 25}, "CHANGE");
  Splitter1 = Make<ui::TSplitter>(clock, {0, 96, 569, 9});
  for (int n = 0; n < 6; ++n) {
    lblParam[n] = Make<ui::TLabeledEdit>(clock, {8 + 72 * n, 128, 65, 21},
                                         "PARAM " + std::to_string(n + 1), "0");
  }
  ButCHEXTPARAM = Make<ui::TButton>(clock, {440, 120, 121, 33}, "CHANGE EXT PARAM");

  PageControl1->SetActivePage(*ChNumSen_Sheet);
  HidePage(*PageControl1, *Ch_ID_Dev_Sheet);
  HidePage(*PageControl1, *ChSWSheet);
  HidePage(*PageControl1, *TabChPLL_SET);

  Timer1 = std::make_unique<ui::TTimer>(2);
  Timer2 = std::make_unique<ui::TTimer>(360);
  Timer3 = std::make_unique<ui::TTimer>(500);
  OpenDialog1 = std::make_unique<ui::TOpenDialog>("SoftWare Tavel, *.bin|*.bin|All|*.*");

  ChainTabOrder({PageControl1.get(), Open_port.get(), lblPort.get(), Memo1.get(), ButClear.get(),
                 But_Test.get(), ProgressBar1.get(), ButExit.get(), ListCOMPORTS.get(),
                 ChckBxHrdCtrl.get()});
  ChainTabOrder({ComboBoxNoSens.get(), Intrval_Lbl.get(), ChkBx_Gerk.get(), ButChngPLLset.get(),
                 sLowPowChkBx.get()});
  ChainTabOrder({Lbl_ID_dev.get(), ButCh_ID_dev.get()});
  ChainTabOrder({EditPathBin.get(), ButChangeSW.get()});
  ChainTabOrder({CmbBx_Sel_sens.get(), Lbl_PLLM.get(), Lbl_PLLN.get(), Lbl_PLLP.get(),
                 Lbl_AHB_Psc.get(), Lbl_APB1_Psc.get(), Lbl_Smpl.get(), Lbl_Full.get(),
                 ButChngFREQ.get(), Lbl_HCLK.get(), ButFill.get(), lblParam[0].get(),
                 lblParam[1].get(), lblParam[2].get(), lblParam[5].get(), lblParam[4].get(),
                 lblParam[3].get(), ButCHEXTPARAM.get()});
}

void TForm1::WireHandlers() {
  Timer1->OnTimer = [this] { Timer1Timer(Timer1.get()); };
  Timer2->OnTimer = [this] { Timer2Timer(Timer2.get()); };
  Timer3->OnTimer = [this] { Timer3Timer(Timer3.get()); };
  Open_port->OnClick = [this] { Open_portClick(Open_port.get()); };
  ChckBxHrdCtrl->OnClick = [this] { ChckBxHrdCtrlClick(ChckBxHrdCtrl.get()); };
  ListCOMPORTS->OnChange = [this] { ListCOMPORTSChange(ListCOMPORTS.get()); };
  SpeedButton1->OnClick = [this] { SpeedButton1Click(SpeedButton1.get()); };
  ButChngPLLset->OnClick = [this] { ButChngPLLsetClick(ButChngPLLset.get()); };
  ButCh_ID_dev->OnClick = [this] { ButCh_ID_devClick(ButCh_ID_dev.get()); };
  ButChngFREQ->OnClick = [this] { ButChngFREQClick(ButChngFREQ.get()); };
  ButFill->OnClick = [this] { ButChngFREQClick(ButFill.get()); };
  ButCHEXTPARAM->OnClick = [this] { ButCHEXTPARAMClick(ButCHEXTPARAM.get()); };
  But_Test->OnClick = [this] { But_TestClick(But_Test.get()); };
  Find_New_SW->OnClick = [this] { Find_New_SWClick(Find_New_SW.get()); };
  ButChangeSW->OnClick = [this] { ButChangeSWClick(ButChangeSW.get()); };
  ButExit->OnClick = [this] { ButExitClick(ButExit.get()); };
  ButClear->OnClick = [this] { ButClearClick(ButClear.get()); };
  Intrval_Lbl->OnChange = [this] { Intrval_LblChange(Intrval_Lbl.get()); };
  for (ui::TLabeledEdit* field : {Lbl_ID_dev.get(), Lbl_PLLM.get(), Lbl_PLLN.get(), Lbl_PLLP.get(),
                                  Lbl_AHB_Psc.get(), Lbl_HCLK.get(), Lbl_APB1_Psc.get(),
                                  Lbl_Smpl.get(), Lbl_Full.get(), lblParam[0].get(),
                                  lblParam[1].get(), lblParam[2].get(), lblParam[3].get(),
                                  lblParam[4].get(), lblParam[5].get()}) {
    field->OnChange = [this, field] { Lbl_ID_devChange(field); };
  }
}

}  // namespace tavel

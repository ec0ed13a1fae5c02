#include <QApplication>
#include <QLabel>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>

#include "form_fixture.h"
#include "ui/widgets/application.h"

namespace tavel::testing {
namespace {

TEST(CentredPlace, TruncatesEachHalfAndDoesNotClamp) {
  const ScreenPlace normal = CentredPlace(1024, 768, 651, 485);
  EXPECT_EQ(normal.left, 187);
  EXPECT_EQ(normal.top, 142);
  const ScreenPlace large = CentredPlace(800, 600, 1001, 701);
  EXPECT_EQ(large.left, -100);
  EXPECT_EQ(large.top, -50);
}

TEST(StartUp, WindowIsCentredOnTheReportedScreen) {
  ui::SetBoxResponder([](const ui::BoxRequest&) { return ui::IDOK; });
  ui::OverrideScreenSize(1024, 768);
  TForm1 form;
  const ScreenPlace expected = CentredPlace(1024, 768, form.Width(), form.Height());
  EXPECT_EQ(form.Left(), expected.left);
  EXPECT_EQ(form.Top(), expected.top);
  ui::OverrideScreenSize(0, 0);
  ui::SetBoxResponder(nullptr);
}

class WindowTest : public FormTest {};

TEST_F(WindowTest, StartUpState) {
  EXPECT_EQ(form->Caption(), "Tavel Tool");
  EXPECT_EQ(form->ClientWidth(), 640);
  EXPECT_EQ(form->ClientHeight(), 457);
  EXPECT_EQ(form->PageControl1->ShownTabCount(), 1);
  EXPECT_EQ(form->PageControl1->ActivePage(), form->ChNumSen_Sheet.get());
  EXPECT_EQ(form->PageControl1->PageCaption(*form->ChNumSen_Sheet), "Изменение текущих настроек");
  for (const ui::TTabSheet* hidden : {form->Ch_ID_Dev_Sheet.get(), form->ChSWSheet.get(), form->TabChPLL_SET.get()}) {
    EXPECT_FALSE(form->PageControl1->TabShown(*hidden));
    EXPECT_FALSE(hidden->Enabled());
  }
  EXPECT_EQ(form->PageControl1->PageCaption(*form->Ch_ID_Dev_Sheet), "SERVISE FUNC");
  EXPECT_EQ(form->PageControl1->PageCaption(*form->TabChPLL_SET), "CHANGE PLL SETT");
  EXPECT_EQ(form->Intrval_Lbl->Text(), "1");
  EXPECT_FALSE(form->ComboBoxNoSens->Visible());
  EXPECT_FALSE(form->ComboBoxNoSens->Enabled());
  EXPECT_FALSE(form->But_Test->Visible());
  EXPECT_FALSE(form->But_Test->Enabled());
  EXPECT_FALSE(form->ProgressBar1->Visible());
  EXPECT_FALSE(form->LabelPrgrsBar->Visible());
  EXPECT_FALSE(form->iLedReady->Active());
  EXPECT_FALSE(form->IsPortOpen());
  EXPECT_FALSE(form->Timer1->Enabled());
  EXPECT_FALSE(form->Timer2->Enabled());
  EXPECT_FALSE(form->Timer3->Enabled());
  EXPECT_EQ(form->Timer1->Interval(), 2);
  EXPECT_EQ(form->Timer2->Interval(), 360);
  EXPECT_EQ(form->Timer3->Interval(), 500);
  EXPECT_EQ(form->TxFrame.Start(), '*');
  EXPECT_EQ(form->PendingAction, 255);
  EXPECT_EQ(form->MinRxQueue, 1u);
  EXPECT_EQ(std::string(form->FrameMarker.data()), "HEAD");
  EXPECT_EQ(form->EchoMode, 0);
  EXPECT_TRUE(form->ChckBxHrdCtrl->Checked());
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(form->ProgressBar1->Position(), 51);
}

TEST_F(WindowTest, VisibleTextsAreRussian) {
  EXPECT_EQ(form->ButExit->Caption(), "Штатная работа");
  EXPECT_EQ(form->ButClear->Caption(), "Очистить");
  EXPECT_EQ(form->ButChngPLLset->Caption(), "Выполнть");
  EXPECT_EQ(form->Intrval_Lbl->LabelCaption(), "Интервал посылок, мин");
  EXPECT_EQ(form->ChkBx_Gerk->Caption(),
            "Активация сигнала \"НАПОЛНЕНИЕ\" по срабатыванию вытяжного механизма");
  EXPECT_EQ(form->sLowPowChkBx->Caption(), "Пониженная мощность сигнала");
  EXPECT_EQ(form->ChckBxHrdCtrl->Caption(), "Аппаратный контроль двунаправленной шины");
  EXPECT_EQ(form->Open_port->Caption(), "Открыть порт");
  EXPECT_EQ(form->Open_port->Hint(), "Открыть выбранный COM порт");
  EXPECT_EQ(form->lblPort->LabelCaption(), "Порт №");
  EXPECT_EQ(form->iLedReady->CentreText(), "ЗАГР ГОТОВ");
  EXPECT_EQ(form->iLedReady->Hint(), "Индикатор готовности загрузчика");
  EXPECT_EQ(form->Intrval_Lbl->Hint(), "Время между посылкаи (1-10 мин)");
  EXPECT_EQ(form->SpeedButton1->Hint(), "Поиск существующих COM портов");
  EXPECT_EQ(form->ButChangeSW->Caption(), "Обновить");
  EXPECT_EQ(form->PageControl1->PageCaption(*form->ChSWSheet), "Обновление ПО");
  EXPECT_EQ(form->Label1->Caption(), "Загружаемый файл, *.bin");
  EXPECT_EQ(form->ButCh_ID_dev->Caption(), "CHANGE ID");  // hidden pages keep their texts
  EXPECT_EQ(form->ComboBoxNoSens->Item(0), "Num 1, f = 69800 - 70200");
}

TEST_F(WindowTest, ControlsSitAtTheirPlaces) {
  struct Placed {
    const ui::TControl* control;
    ui::Rect place;
  };
  const Placed table[] = {
      {form->Memo1.get(), {32, 8, 489, 153}},        {form->iLedReady.get(), {528, 16, 97, 20}},
      {form->ButExit.get(), {528, 96, 97, 25}},      {form->ButClear.get(), {528, 136, 97, 25}},
      {form->PageControl1.get(), {32, 176, 593, 169}}, {form->ChckBxHrdCtrl.get(), {8, 360, 257, 17}},
      {form->ProgressBar1.get(), {40, 384, 569, 17}}, {form->Open_port.get(), {8, 424, 83, 25}},
      {form->lblPort.get(), {96, 424, 33, 21}},      {form->ListCOMPORTS.get(), {136, 424, 361, 21}},
      {form->SpeedButton1.get(), {496, 424, 23, 22}}, {form->Intrval_Lbl.get(), {8, 72, 65, 21}},
      {form->ButChngPLLset.get(), {488, 56, 75, 25}},
  };
  for (const Placed& p : table) {
    const ui::Rect r = p.control->Place();
    EXPECT_EQ(r.left, p.place.left);
    EXPECT_EQ(r.top, p.place.top);
    EXPECT_EQ(r.width, p.place.width);
    EXPECT_EQ(r.height, p.place.height);
  }
  for (const ui::TCheckBox* box : {form->sLowPowChkBx.get(), form->ChkBx_Gerk.get()}) {
    EXPECT_EQ(box->Place().height, 22);  // these size their width to the caption
  }
  EXPECT_EQ(form->sLowPowChkBx->Place().left, 200);
  EXPECT_EQ(form->ChkBx_Gerk->Place().top, 112);
  EXPECT_EQ(form->lblPort->LabelWidget()->geometry().bottom() + 1 + 3, 424);
}

struct FilterCase {
  const char* typed;
  bool refused;
};

class DigitFilterTest : public FormTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(DigitFilterTest, IdFamily) {
  form->Lbl_PLLN->SetText(GetParam().typed);
  if (GetParam().refused) {
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Должны быть цифры");
    EXPECT_EQ(boxes[0].caption, "");
    EXPECT_EQ(boxes[0].flags, 0x2040u);
    EXPECT_EQ(boxes[0].owner, ui::BoxOwner::System);
    EXPECT_EQ(form->Lbl_PLLN->Text(), "");
  } else {
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(form->Lbl_PLLN->Text(), GetParam().typed);
  }
}

TEST_P(DigitFilterTest, IntervalFamily) {
  form->Intrval_Lbl->SetText(GetParam().typed);
  if (GetParam().refused) {
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Введите действительные числа");
    EXPECT_EQ(form->Intrval_Lbl->Text(), "");
  } else {
    EXPECT_TRUE(boxes.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Texts, DigitFilterTest,
                         ::testing::Values(FilterCase{"12", false}, FilterCase{"12a", true},
                                           FilterCase{"a", true}, FilterCase{"Ж", true},
                                           FilterCase{"1Ж", true}, FilterCase{"a-1", false},
                                           FilterCase{" -5", false}, FilterCase{"", false},
                                           FilterCase{"1 ", true}));

TEST_F(WindowTest, FilterBoxShowsWhileTheFieldStillHoldsTheText) {
  std::string seen;
  ui::SetBoxResponder([&](const ui::BoxRequest&) {
    seen = form->Lbl_ID_dev->Text();
    return ui::IDOK;
  });
  form->Lbl_ID_dev->SetText("12x");
  EXPECT_EQ(seen, "12x");
  EXPECT_EQ(form->Lbl_ID_dev->Text(), "");
}

TEST_F(WindowTest, ClearEmptiesTheLog) {
  form->ButClear->Click();
  EXPECT_TRUE(form->Memo1->Lines().empty());
  form->Memo1->AddLine("one");
  form->Memo1->AddLine("two");
  form->ButClear->Click();
  EXPECT_TRUE(form->Memo1->Lines().empty());
  form->Memo1->AddLine("three");
  EXPECT_EQ(form->Memo1->Lines(), std::vector<std::string>{"three"});
}

TEST_F(WindowTest, GuardRefusesWithPortClosedThenOutsideLoader) {
  EXPECT_FALSE(form->ReadyForCommand());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "COM порт не открыт");
  EXPECT_EQ(boxes[0].flags, 0x2040u);
  form->Timer3->SetEnabled(true);
  EXPECT_FALSE(form->ReadyForCommand());
  EXPECT_EQ(boxes.back().text, "COM порт не открыт");
  form->Timer3->SetEnabled(false);
  OpenFake();
  boxes.clear();
  EXPECT_FALSE(form->ReadyForCommand());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Tavel не в режиме программирования");
  EXPECT_EQ(boxes[0].caption, "");
  fake.written.clear();
  form->ButExit->Click();
  EXPECT_TRUE(fake.written.empty());
}

TEST_F(WindowTest, PortFieldThatIsNotANumberShowsTheConversionError) {
  form->lblPort->SetText("COM7");
  form->Open_port->Click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find("'COM7' is not a valid integer value"), std::string::npos);
  EXPECT_EQ(boxes[0].flags & 0xF0, ui::MB_ICONERROR);
  EXPECT_FALSE(form->IsPortOpen());
}

TEST(StrToInt, AcceptsWhatTheConversionAccepts) {
  EXPECT_EQ(ui::StrToInt("007"), 7);
  EXPECT_EQ(ui::StrToInt("-12"), -12);
  EXPECT_EQ(ui::StrToInt("$1F"), 31);
  EXPECT_EQ(ui::StrToInt("2147483647"), 2147483647);
  for (const char* bad : {"", "COM7", "7 ", "2147483648", "1.5", "-"}) {
    EXPECT_THROW(ui::StrToInt(bad), ui::EConvertError) << bad;
  }
}

// Real timers through the event loop.
void RunEventsFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

TEST(TTimer, SameValuesChangeNothingAndANewIntervalRestarts) {
  int ticks = 0;
  ui::TTimer timer(60);
  timer.OnTimer = [&] { ++ticks; };
  timer.SetEnabled(true);
  RunEventsFor(40);
  timer.SetInterval(60);  // same value: the period started 40 ms ago goes on
  timer.SetEnabled(true);
  RunEventsFor(35);
  EXPECT_EQ(ticks, 1);
  timer.SetInterval(100);  // new value: a new period starts now
  RunEventsFor(70);
  EXPECT_EQ(ticks, 1);
  RunEventsFor(60);
  EXPECT_EQ(ticks, 2);
  timer.SetEnabled(false);
  RunEventsFor(150);
  EXPECT_EQ(ticks, 2);
}

TEST(TTimer, TicksGoOnInsideABoxOpenedByATick) {
  int ticks = 0;
  int nestedTicks = 0;
  bool inBox = false;
  ui::TTimer timer(5);
  timer.OnTimer = [&] {
    ++ticks;
    if (inBox) {
      ++nestedTicks;
      return;
    }
    if (ticks == 1) {
      inBox = true;
      RunEventsFor(60);  // what a modal box's own loop does
      inBox = false;
    }
  };
  timer.SetEnabled(true);
  RunEventsFor(100);
  timer.SetEnabled(false);
  EXPECT_GE(nestedTicks, 3);
  EXPECT_GT(ticks, nestedTicks + 1);
}

}  // namespace
}  // namespace tavel::testing

#include "app/form1.h"

namespace tavel {

void TForm1::SetRussianTexts() {
  ButExit->SetCaption("Штатная работа");
  ButExit->SetHint("Выход датчика из режима программирования и работа основной программы");
  ButClear->SetCaption("Очистить");
  ButClear->SetHint("Очистить экран сообщений");
  iLedReady->SetCentreText("ЗАГР ГОТОВ");
  iLedReady->SetHint("Индикатор готовности загрузчика");
  PageControl1->SetPageCaption(*ChNumSen_Sheet, "Изменение текущих настроек");
  ButChngPLLset->SetCaption("Выполнть");
  ButChngPLLset->SetHint("Команда начала программирования");
  Intrval_Lbl->SetHint("Время между посылкаи (1-10 мин)");
  Intrval_Lbl->SetLabelCaption("Интервал посылок, мин");
  ChkBx_Gerk->SetCaption("Активация сигнала \"НАПОЛНЕНИЕ\" по срабатыванию вытяжного механизма");
  ListCOMPORTS->SetHint("Выбор из существующих COM портов");
  SpeedButton1->SetHint("Поиск существующих COM портов");
  But_Test->SetCaption("Тест связи");
  But_Test->SetHint("Тестирование связи с датчиком");
  Open_port->SetCaption("Открыть порт");
  Open_port->SetHint("Открыть выбранный COM порт");
  lblPort->SetLabelCaption("Порт №");
  lblPort->SetHint("Номер выбранного COM порта");
  ComboBoxNoSens->SetHint("Выбор номера кода датчика");
  Label1->SetCaption("Загружаемый файл, *.bin");
  EditPathBin->SetHint("Путь к загружаемому файлу");
  PageControl1->SetPageCaption(*ChSWSheet, "Обновление ПО");
  ChSWSheet->SetHint("Обновление програмного обеспечения Tavel");
  Find_New_SW->SetHint("Поиск загружаемого файла *.bin");
  ButChangeSW->SetHint("Загрузка нового ПО в Tavel");
  ButChangeSW->SetCaption("Обновить");
  sLowPowChkBx->SetCaption("Пониженная мощность сигнала");
  ChckBxHrdCtrl->SetCaption("Аппаратный контроль двунаправленной шины");
}

}  // namespace tavel

#include <chrono>
#include <iostream>
#include <thread>

#include "app/form1.h"
#include "ui/widgets/application.h"
#include "ui/widgets/message_box.h"

namespace tavel {
namespace {

constexpr std::uint32_t kLineBaudRate = 4800;
constexpr int kDtrPulseMs = 500;
constexpr int kSendDirectionMs = 360;
constexpr int kEchoTimeoutSeconds = 5;
constexpr unsigned kErrorBox = ui::MB_TASKMODAL | ui::MB_ICONERROR;
constexpr unsigned kWarningBox = ui::MB_TASKMODAL | ui::MB_ICONWARNING;

void ShowPortError(const char* text) { ui::ApplicationMessageBox(text, "ERR ", kErrorBox); }

// Whole clock seconds from `start` to `now`, counted within the hour so that
// a change of hour or day does not matter.
int SecondsBetween(const std::tm& start, const std::tm& now) {
  const int from = start.tm_min * 60 + start.tm_sec;
  const int to = now.tm_min * 60 + now.tm_sec;
  return ((to - from) % 3600 + 3600) % 3600;
}

void ApplyLineFormat(LineSettings& settings, std::uint32_t baudRate) {
  settings.BaudRate = baudRate;
  settings.ByteSize = 8;
  settings.Parity = kNoParity;
  settings.StopBits = kOneStopBit;
  settings.fOutxCtsFlow = false;
  settings.fOutxDsrFlow = false;
  settings.fDsrSensitivity = false;
  settings.fOutX = false;
  settings.fInX = false;
}

void ReportOpenFailure(const std::string& name, const OpenResult& result) {
  std::cerr << "tavel-tool: cannot open " << name;
  if (!result.devicePath.empty()) std::cerr << " (" << result.devicePath << ")";
  std::cerr << ": " << DescribeFailure(result.failure);
  if (!result.reason.empty()) std::cerr << " - " << result.reason;
  std::cerr << '\n';
}

}  // namespace

bool TForm1::IsPortOpen() const { return hComPort != nullptr; }

void TForm1::WaitOnLine() { std::this_thread::sleep_for(std::chrono::microseconds(500)); }

void TForm1::Open_portClick(TObject*) {
  if (IsPortOpen()) {
    if (!hComPort->Close()) return;
    Open_port->SetCaption("Открыть порт");
    Open_port->SetHint("Открыть выбранный COM порт");
    lblPort->SetEnabled(true);
    Timer1->SetEnabled(false);
    hComPort.reset();
    Timer3->SetEnabled(false);
    iLedReady->SetActive(false);
    SpeedButton1->SetEnabled(true);
    ListCOMPORTS->SetEnabled(true);
    return;
  }
  const std::string text = lblPort->Text();
  if (text.empty()) {
    ui::SystemMessageBox("Произведите поиск и выберите COM порт для связи с Tavel", " ",
                         ui::MB_TASKMODAL | ui::MB_ICONINFORMATION);
    return;
  }
  const int number = ui::StrToInt(text);
  const std::string name = "\\\\.\\COM" + std::to_string(number);
  if (OpenPort(name, kLineBaudRate) != 0) return;
  Open_port->SetCaption("Закрыть порт");
  Open_port->SetHint("Закрыть выбранный COM порт");
  lblPort->SetEnabled(false);
  Timer1->SetEnabled(true);
  SpeedButton1->SetEnabled(false);
  ListCOMPORTS->SetEnabled(false);
}

std::uint8_t TForm1::OpenPort(const std::string& name, std::uint32_t baudRate) {
  OpenResult opened = PortOpener(name);
  if (!opened.port) {
    ReportOpenFailure(name, opened);
    ui::ApplicationMessageBox("Невозможно открыть " + name + " порт", "ERR ", kErrorBox);
    return 1;
  }
  hComPort = std::move(opened.port);
  LineSettings settings;
  std::uint8_t result = ReadPortSettings(settings);
  if (result == 0) {
    ApplyLineFormat(settings, baudRate);
    result = WritePortSettings(settings);
  } else {
    result = 2;
  }
  SetRts('R');
  SetDtr('D');
  Pause(kDtrPulseMs);
  SetDtr('E');
  if (result != 0 && hComPort) {
    hComPort->Close();
    hComPort.reset();
  }
  return result;
}

void TForm1::SetRts(char letter) {
  if (!IsPortOpen()) return;
  if (letter == 'R') hComPort->Escape(LineControl::SetRts);
  if (letter == 'T') hComPort->Escape(LineControl::ClearRts);
}

void TForm1::SetDtr(char letter) {
  if (!IsPortOpen()) return;
  if (letter == 'E') hComPort->Escape(LineControl::SetDtr);
  if (letter == 'D') hComPort->Escape(LineControl::ClearDtr);
}

std::uint8_t TForm1::ReadPortSettings(LineSettings& settings) {
  if (!IsPortOpen()) return 1;
  if (!hComPort->ReadSettings(settings)) {
    ShowPortError("Невозможно считать параметры COM порта");
    return 2;
  }
  return 0;
}

std::uint8_t TForm1::WritePortSettings(const LineSettings& settings) {
  if (!IsPortOpen()) return 1;
  if (!hComPort->WriteSettings(settings)) {
    ShowPortError("Невозможно установить параметры COM порта");
    return 3;
  }
  return 0;
}

std::int32_t TForm1::ReadPort(std::uint8_t* buffer, std::uint32_t count) {
  std::uint32_t got = 0;
  if (!hComPort || !hComPort->Read(buffer, count, got)) {
    ShowPortError("Невозможно считать пришедшие данные из COM порта");
    return -1;
  }
  return static_cast<std::int32_t>(got);
}

bool TForm1::Transmit(const std::uint8_t* bytes, std::uint32_t count) {
  if (!IsPortOpen()) return false;
  SetRts('T');
  Timer2->SetInterval(kSendDirectionMs);
  Timer2->SetEnabled(true);
  hComPort->PurgeReceive();
  std::uint32_t written = 0;
  hComPort->Write(bytes, count, written);
  for (;;) {
    if (!hComPort->QueryStatus(ComStat)) return false;
    if (ComStat.cbOutQue == 0) break;
    WaitOnLine();
  }
  if (EchoMode == 1) DrainEcho(count);
  return true;
}

bool TForm1::DrainEcho(std::uint32_t count) {
  EchoClock = LocalClock();
  const std::tm start = EchoClock;
  while (count != 0) {
    if (!hComPort->QueryStatus(ComStat)) return false;
    const std::uint32_t waiting = ComStat.cbInQue;
    EchoClock = LocalClock();
    if (SecondsBetween(start, EchoClock) > kEchoTimeoutSeconds) {
      ui::ApplicationMessageBox(
          "Fail traffic throw COM port\nCheck \"Half duplex Hard control\" checkbox", "warning!",
          kWarningBox);
      break;
    }
    if (waiting == count) break;
    WaitOnLine();
  }
  // The box's own event loop may have let the sensor close the port.
  if (!IsPortOpen()) return false;
  hComPort->PurgeReceive();
  return hComPort->QueryStatus(ComStat);
}

void TForm1::Timer2Timer(TObject*) {
  Timer2->SetEnabled(false);
  SetRts('R');
}

void TForm1::ChckBxHrdCtrlClick(TObject*) { EchoMode = ChckBxHrdCtrl->Checked() ? 0 : 1; }

}  // namespace tavel

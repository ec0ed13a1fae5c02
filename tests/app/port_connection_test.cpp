#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "form_fixture.h"

namespace tavel::testing {
namespace {

class PortTest : public FormTest {};

TEST_F(PortTest, OpensThroughThePortsDirectoryAt4800EightNOne) {
  PtySensor sensor(7);
  OpenPty(sensor);
  EXPECT_EQ(form->Open_port->Caption(), "Закрыть порт");
  EXPECT_EQ(form->Open_port->Hint(), "Закрыть выбранный COM порт");
  EXPECT_FALSE(form->lblPort->Enabled());
  EXPECT_FALSE(form->ListCOMPORTS->Enabled());
  EXPECT_FALSE(form->SpeedButton1->Enabled());
  EXPECT_TRUE(form->Timer1->Enabled());
  EXPECT_TRUE(boxes.empty());

  const int fd = ::open(sensor.SlavePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  termios line{};
  ASSERT_EQ(tcgetattr(fd, &line), 0);
  ::close(fd);
  EXPECT_EQ(cfgetispeed(&line), B4800);
  EXPECT_EQ(cfgetospeed(&line), B4800);
  EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(line.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), 0u);
  EXPECT_EQ(line.c_oflag & OPOST, 0u);

  form->Open_port->Click();
  EXPECT_FALSE(form->IsPortOpen());
  EXPECT_EQ(form->Open_port->Caption(), "Открыть порт");
  EXPECT_TRUE(form->lblPort->Enabled());
  EXPECT_TRUE(form->ListCOMPORTS->Enabled());
  EXPECT_TRUE(form->SpeedButton1->Enabled());
  EXPECT_FALSE(form->Timer1->Enabled());
}

TEST_F(PortTest, SecondOpenOfTheSamePortIsRefused) {
  PtySensor sensor(7);
  OpenPty(sensor);
  TForm1 other;
  other.Pause = [](int) {};
  other.lblPort->SetText("7");
  other.Open_port->Click();
  EXPECT_FALSE(other.IsPortOpen());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Невозможно открыть \\\\.\\COM7 порт");
  EXPECT_EQ(boxes[0].caption, "ERR ");
  EXPECT_EQ(boxes[0].flags, 0x2010u);
  EXPECT_EQ(boxes[0].owner, ui::BoxOwner::Application);
}

TEST_F(PortTest, MissingPortNamesItsDevice) {
  PtySensor sensor(7);  // a private, empty-but-for-COM7 ports directory
  form->lblPort->SetText("99");
  form->Open_port->Click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Невозможно открыть \\\\.\\COM99 порт");
  EXPECT_FALSE(form->IsPortOpen());
  EXPECT_EQ(form->Open_port->Caption(), "Открыть порт");
  EXPECT_TRUE(form->lblPort->Enabled());
}

TEST_F(PortTest, EmptyFieldAsksForAPort) {
  int opens = 0;
  form->PortOpener = [&](const std::string&) { ++opens; return OpenResult{}; };
  form->lblPort->SetText("");
  form->Open_port->Click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Произведите поиск и выберите COM порт для связи с Tavel");
  EXPECT_EQ(boxes[0].caption, " ");
  EXPECT_EQ(boxes[0].flags, 0x2040u);
  EXPECT_EQ(opens, 0);
}

TEST_F(PortTest, TheNumberNotTheTextNamesTheDevice) {
  std::vector<std::string> names;
  form->PortOpener = [&](const std::string& name) {
    names.push_back(name);
    return OpenResult{};
  };
  for (const char* text : {"007", "12", "-3"}) {
    form->lblPort->SetText(text);
    form->Open_port->Click();
  }
  EXPECT_EQ(names, (std::vector<std::string>{"\\\\.\\COM7", "\\\\.\\COM12", "\\\\.\\COM-3"}));
}

TEST_F(PortTest, OpenSetsTheFormatAndPulsesDtr) {
  std::vector<int> pauses;
  form->Pause = [&](int ms) {
    pauses.push_back(ms);
    fake.escapes.push_back(static_cast<LineControl>(0));  // marks when the pause happened
  };
  fake.settings.BaudRate = 9600;
  fake.settings.ByteSize = 7;
  fake.settings.Parity = 2;
  fake.settings.StopBits = 2;
  fake.settings.fOutxCtsFlow = true;
  fake.settings.fOutX = true;
  fake.settings.fInX = true;
  fake.settings.fNull = true;  // not ours to change
  fake.settings.XonChar = 0x21;
  OpenFake();
  EXPECT_EQ(fake.settings.BaudRate, 4800u);
  EXPECT_EQ(fake.settings.ByteSize, 8);
  EXPECT_EQ(fake.settings.Parity, 0);
  EXPECT_EQ(fake.settings.StopBits, 0);
  EXPECT_FALSE(fake.settings.fOutxCtsFlow);
  EXPECT_FALSE(fake.settings.fOutX);
  EXPECT_FALSE(fake.settings.fInX);
  EXPECT_TRUE(fake.settings.fNull);
  EXPECT_EQ(fake.settings.XonChar, 0x21);
  EXPECT_EQ(pauses, std::vector<int>{500});
  EXPECT_EQ(fake.escapes, (std::vector<LineControl>{LineControl::SetRts, LineControl::ClearDtr,
                                                   static_cast<LineControl>(0), LineControl::SetDtr}));
}

struct SettingsFault {
  bool readFails;
  const char* message;
};

class SettingsFaultTest : public FormTest, public ::testing::WithParamInterface<SettingsFault> {};

TEST_P(SettingsFaultTest, LeavesThePortClosed) {
  fake.faults.readSettings = GetParam().readFails;
  fake.faults.writeSettings = !GetParam().readFails;
  form->PortOpener = [this](const std::string&) {
    OpenResult result;
    result.port = std::make_unique<FakePort>(fake);
    return result;
  };
  form->lblPort->SetText("4");
  form->Open_port->Click();
  EXPECT_FALSE(form->IsPortOpen());
  EXPECT_TRUE(fake.closed);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, GetParam().message);
  EXPECT_EQ(boxes[0].caption, "ERR ");
  EXPECT_EQ(boxes[0].flags, 0x2010u);
  EXPECT_EQ(form->Open_port->Caption(), "Открыть порт");
  EXPECT_FALSE(form->Timer1->Enabled());
  // The line sequence ran whatever the result.
  EXPECT_EQ(fake.escapes.size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(Faults, SettingsFaultTest,
                         ::testing::Values(SettingsFault{true, "Невозможно считать параметры COM порта"},
                                           SettingsFault{false, "Невозможно установить параметры COM порта"}));

TEST_F(PortTest, FailedCloseChangesNothing) {
  OpenFake();
  fake.faults.close = true;
  form->Open_port->Click();
  EXPECT_TRUE(form->IsPortOpen());
  EXPECT_EQ(form->Open_port->Caption(), "Закрыть порт");
  EXPECT_TRUE(form->Timer1->Enabled());
  EXPECT_TRUE(boxes.empty());
}

TEST_F(PortTest, ClosingEndsBootloaderMode) {
  OpenFake();
  EnterLoader();
  form->iLedReady->SetActive(true);
  form->Open_port->Click();
  EXPECT_FALSE(form->Timer3->Enabled());
  EXPECT_FALSE(form->iLedReady->Active());
  form->Open_port->Click();
  EXPECT_TRUE(form->IsPortOpen());
  EXPECT_FALSE(form->Timer3->Enabled());
}

TEST_F(PortTest, TransmitPurgesWhatWaitedAndWritesTheFrameExactly) {
  PtySensor sensor(7);
  OpenPty(sensor);
  sensor.Send({'s', 't', 'a', 'l', 'e'});
  ::usleep(20000);
  form->TxFrame.SetCode('x');
  for (std::size_t i = 0; i < 128; ++i) form->TxFrame.Data()[i] = static_cast<std::uint8_t>(i * 7 + 0x0A);
  form->SealCommandFrame();
  EXPECT_TRUE(form->Transmit(form->TxFrame.Bytes.data(), 140));
  const Bytes got = sensor.Receive(141, 300);
  EXPECT_EQ(got, Bytes(form->TxFrame.Bytes.begin(), form->TxFrame.Bytes.end()));
  QueueStatus status;
  ASSERT_TRUE(form->hComPort->QueryStatus(status));
  EXPECT_EQ(status.cbInQue, 0u);
  EXPECT_TRUE(form->Timer2->Enabled());
  EXPECT_EQ(form->Timer2->Interval(), 360);
}

TEST_F(PortTest, TransmitWithNoPortTouchesNothing) {
  EXPECT_FALSE(form->Transmit(form->TxFrame.Bytes.data(), 140));
  EXPECT_FALSE(form->Timer2->Enabled());
}

TEST_F(PortTest, TransmitSwitchesToSendAndTheDirectionTimerBack) {
  OpenFake();
  fake.escapes.clear();
  EXPECT_TRUE(form->Transmit(form->TxFrame.Bytes.data(), 140));
  EXPECT_EQ(fake.escapes, std::vector<LineControl>{LineControl::ClearRts});
  EXPECT_EQ(fake.written.size(), 140u);
  form->Timer2Timer(nullptr);
  EXPECT_FALSE(form->Timer2->Enabled());
  EXPECT_EQ(fake.escapes.back(), LineControl::SetRts);
}

TEST_F(PortTest, FailedQueueQueryFailsTheSend) {
  OpenFake();
  fake.faults.queryStatus = true;
  EXPECT_FALSE(form->Transmit(form->TxFrame.Bytes.data(), 140));
  EXPECT_EQ(fake.written.size(), 140u);
}

// A clock that moves one second at every reading, from a chosen start.
std::function<std::tm()> SteppingClock(int minute, int second) {
  auto seconds = std::make_shared<int>(minute * 60 + second);
  return [seconds] {
    std::tm t{};
    t.tm_hour = 10;
    t.tm_min = (*seconds / 60) % 60;
    t.tm_sec = *seconds % 60;
    ++*seconds;
    return t;
  };
}

TEST_F(PortTest, EchoModeDiscardsTheEcho) {
  OpenFake();
  form->ChckBxHrdCtrl->SetChecked(false);
  EXPECT_EQ(form->EchoMode, 1);
  fake.echo = true;
  EXPECT_TRUE(form->Transmit(form->TxFrame.Bytes.data(), 140));
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(fake.input.empty());
  form->ChckBxHrdCtrl->SetChecked(true);
  EXPECT_EQ(form->EchoMode, 0);
}

class EchoTimeoutTest : public FormTest, public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(EchoTimeoutTest, WarnsAfterFiveWholeSecondsAcrossAnHour) {
  OpenFake();
  form->ChckBxHrdCtrl->SetChecked(false);
  int readings = 0;
  auto clock = SteppingClock(GetParam().first, GetParam().second);
  form->LocalClock = [&] {
    ++readings;
    return clock();
  };
  Feed({1, 2, 3});  // purged before the write: no echo ever comes
  EXPECT_TRUE(form->Transmit(form->TxFrame.Bytes.data(), 140));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Fail traffic throw COM port\nCheck \"Half duplex Hard control\" checkbox");
  EXPECT_EQ(boxes[0].caption, "warning!");
  EXPECT_EQ(boxes[0].flags, 0x2030u);
  EXPECT_EQ(readings, 7);  // the start, then 1 .. 6 seconds later
  EXPECT_TRUE(fake.input.empty());
}

INSTANTIATE_TEST_SUITE_P(Starts, EchoTimeoutTest,
                         ::testing::Values(std::make_pair(10, 0), std::make_pair(59, 58)));

TEST_F(PortTest, AnswerArrivingWithTheEchoRunsIntoTheTimeoutAndIsPurged) {
  OpenFake();
  form->ChckBxHrdCtrl->SetChecked(false);
  form->LocalClock = SteppingClock(0, 0);
  fake.echo = true;
  fake.replyAfterWrite = Response('P');  // so exactly 140 waiting is never seen
  EXPECT_TRUE(form->Transmit(form->TxFrame.Bytes.data(), 140));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "warning!");
  EXPECT_TRUE(fake.input.empty());
}

TEST_F(PortTest, PortListShowsPortsDirectoryEntriesAndChoosingFillsTheField) {
  PtySensor sensor(42);
  form->SpeedButton1->Click();
  EXPECT_EQ(form->lblPort->Text(), "");
  int found = -1;
  for (int i = 0; i < form->ListCOMPORTS->ItemCount(); ++i) {
    if (form->ListCOMPORTS->Item(i).rfind("COM42 ", 0) == 0) found = i;
  }
  ASSERT_GE(found, 0);
  EXPECT_EQ(form->ListCOMPORTS->Item(found), "COM42 " + sensor.SlavePath() + " ");
  EXPECT_EQ(form->ListCOMPORTS->ItemIndex(), 0);
  form->ListCOMPORTS->ChooseByOperator(found);
  EXPECT_EQ(form->lblPort->Text(), "42");
  form->ListCOMPORTS->SetText("typed text");
  form->ListCOMPORTSChange(nullptr);
  EXPECT_EQ(form->lblPort->Text(), "42");
}

}  // namespace
}  // namespace tavel::testing

#include <chrono>

#include "form_fixture.h"

namespace tavel::testing {
namespace {

// Windows-1251 for "Датчик готов"
const Bytes kCyrillicText = {0xC4, 0xE0, 0xF2, 0xF7, 0xE8, 0xEA, ' ', 0xE3, 0xEE, 0xF2, 0xEE, 0xE2};

class PollerTest : public FormTest {
 protected:
  void SetUp() override {
    FormTest::SetUp();
    OpenFake();
  }
};

TEST_F(PollerTest, IdleTickMakesOneStatusQuery) {
  fake.statusQueries = 0;
  Tick();
  EXPECT_EQ(fake.statusQueries, 1);
  EXPECT_FALSE(form->Timer2->Enabled());
}

TEST_F(PollerTest, StrayBytesAreDroppedOnePerTick) {
  Feed({0x01, 0x0D, 'H'});
  Feed(Response('b', TextPayload({'A', 'B', 'C'})));
  Tick(3);
  EXPECT_TRUE(form->Memo1->Lines().empty());
  EXPECT_EQ(fake.input.size(), 71u);
  Tick();
  EXPECT_EQ(form->Memo1->Lines(), std::vector<std::string>{"ABC"});
}

TEST_F(PollerTest, StartOfFrameArmsTheDirectionTimerFor500) {
  Feed(Response('F'));
  Tick();
  EXPECT_TRUE(form->Timer2->Enabled());
  EXPECT_EQ(form->Timer2->Interval(), 500);
}

TEST_F(PollerTest, WrongMarkerIsDroppedSilently) {
  Bytes frame = Response('b', TextPayload({'A'}));
  frame[2] = 'e';
  Feed(frame);
  Tick();
  EXPECT_TRUE(form->Memo1->Lines().empty());
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(form->ErrorCount, 0);
  EXPECT_TRUE(fake.input.empty());
}

TEST_F(PollerTest, CarriageReturnInsidePayloadIsStillDispatched) {
  Bytes frame = Response('b', TextPayload({'A', 0x0D, 'B'}));
  frame[3] = 'x';  // the marker is not compared then
  Feed(frame);
  Tick();
  EXPECT_EQ(form->Memo1->Lines(), std::vector<std::string>{"A\rB"});
}

TEST_F(PollerTest, TwoFramesBackToBackTakeTwoTicks) {
  Feed(Response('b', TextPayload({'1'})));
  Feed(Response('b', TextPayload({'2'})));
  Tick();
  EXPECT_EQ(form->Memo1->Lines().size(), 1u);
  Tick();
  EXPECT_EQ(form->Memo1->Lines(), (std::vector<std::string>{"1", "2"}));
}

TEST_F(PollerTest, TextIsDecodedFromWindows1251) {
  Feed(Response('b', TextPayload(kCyrillicText)));
  Feed(Response('b', TextPayload({})));
  Tick(2);
  EXPECT_EQ(form->Memo1->Lines(), (std::vector<std::string>{"Датчик готов", ""}));
}

TEST_F(PollerTest, TextWithoutNulEndsWithThePayload) {
  Feed(Response('b', Bytes(62, 'Z')));
  Tick();
  EXPECT_EQ(form->Memo1->Lines(), std::vector<std::string>{std::string(62, 'Z')});
}

TEST_F(PollerTest, TwentyRepeatRequestsResendThenTheLimitStops) {
  form->TxFrame.SetCode('p');
  form->SealCommandFrame();
  form->ProgressBar1->SetVisible(true);
  form->TestIndex = 5;
  for (int i = 0; i < 20; ++i) {
    Feed(Response('R'));  // one at a time: each send empties the receive queue
    Tick();
  }
  const auto frames = SentFrames();
  ASSERT_EQ(frames.size(), 20u);
  for (const auto& frame : frames) EXPECT_EQ(frame.bytes, Bytes(form->TxFrame.Bytes.begin(), form->TxFrame.Bytes.end()));
  EXPECT_TRUE(boxes.empty());
  Feed(Response('R'));
  Tick();
  EXPECT_EQ(SentFrames().size(), 20u);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Много ошибок!\nПроверьте линию связи с датчиком и питание");
  EXPECT_EQ(boxes[0].caption, "ERR ");
  EXPECT_EQ(boxes[0].flags, 0x2010u);
  EXPECT_FALSE(form->ProgressBar1->Visible());
  EXPECT_EQ(form->TestIndex, 0);
  Feed(Response('R'));
  Tick();
  EXPECT_EQ(boxes.size(), 2u);
}

TEST_F(PollerTest, CloseRequestClosesThePort) {
  EnterLoader();
  Feed(Response('X'));
  Tick();
  EXPECT_FALSE(form->IsPortOpen());
  EXPECT_FALSE(form->Timer1->Enabled());
  EXPECT_FALSE(form->Timer3->Enabled());
  EXPECT_FALSE(form->iLedReady->Active());
}

TEST_F(PollerTest, StayRequestIsAnsweredEvenOutsideTheLoader) {
  Feed(Response('Y', TextPayload(kCyrillicText)));
  Tick();
  const auto frames = SentFrames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].Code(), 's');
  EXPECT_EQ(frames[0].Number(), 1);
  EXPECT_EQ(frames[0].Length(), 128);
  EXPECT_TRUE(frames[0].ChecksumOk());
  EXPECT_EQ(form->Memo1->Lines(), std::vector<std::string>{"Датчик готов"});
}

TEST_F(PollerTest, CodesWithoutMeaningDoNothing) {
  for (char code : {'F', 'A', 'c', 'P', 'I'}) Feed(Response(code));
  Tick(5);
  EXPECT_TRUE(fake.written.empty());
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(form->Memo1->Lines().empty());
  EXPECT_TRUE(form->IsPortOpen());
  EXPECT_FALSE(form->Timer3->Enabled());
}

TEST_F(PollerTest, StalledFrameIsReleasedByTheBound) {
  const Bytes frame = Response('b', TextPayload({'O', 'K'}));
  Feed(Bytes(frame.begin(), frame.begin() + 30));
  const auto started = std::chrono::steady_clock::now();
  Tick();
  const auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_LT(waited, std::chrono::seconds(2));
  EXPECT_EQ(fake.input.size(), 29u);  // the '~' went, the rest waits to be dropped
  Tick(29);
  Feed(frame);
  Tick();
  EXPECT_EQ(form->Memo1->Lines(), std::vector<std::string>{"OK"});
}

TEST_F(PollerTest, FailingStatusQueryEndsTheTickQuietly) {
  Feed(Response('b'));
  fake.faults.queryStatus = true;
  Tick(3);
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(fake.input.size(), 71u);
}

TEST_F(PollerTest, ReadFailureShowsItsBoxAndDispatchesNothing) {
  Feed(Response('b', TextPayload({'A'})));
  fake.faults.read = true;
  Tick();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Невозможно считать пришедшие данные из COM порта");
  EXPECT_EQ(boxes[0].caption, "ERR ");
  EXPECT_TRUE(form->Memo1->Lines().empty());
}

// A box opened by a tick runs its own loop; ticks inside it must not spoil
// what the outer tick still has to do.
TEST_F(PollerTest, TicksNestedInABoxKeepTheOuterFrame) {
  form->ChckBxHrdCtrl->SetChecked(false);  // echo mode: the send may warn
  int clock = 0;
  form->LocalClock = [&] {
    std::tm t{};
    t.tm_sec = clock++ % 60;
    return t;
  };
  bool nested = false;
  ui::SetBoxResponder([&](const ui::BoxRequest& request) {
    boxes.push_back(request);
    if (!nested) {
      nested = true;
      Feed(Response('b', TextPayload({'i', 'n', 'n', 'e', 'r'})));
      Tick();
    }
    return ui::IDOK;
  });
  Feed(Response('Y', TextPayload({'o', 'u', 't', 'e', 'r'})));
  Tick();
  EXPECT_EQ(form->Memo1->Lines(), (std::vector<std::string>{"inner", "outer"}));
}

TEST_F(PollerTest, ClosedByANestedTickTheSendStopsCleanly) {
  form->ChckBxHrdCtrl->SetChecked(false);
  int clock = 0;
  form->LocalClock = [&] {
    std::tm t{};
    t.tm_sec = clock++ % 60;
    return t;
  };
  ui::SetBoxResponder([&](const ui::BoxRequest& request) {
    boxes.push_back(request);
    if (form->IsPortOpen()) {
      fake.input.clear();
      Feed(Response('X'));
      Tick();
    }
    return ui::IDOK;
  });
  Feed(Response('Y'));
  Tick();
  EXPECT_FALSE(form->IsPortOpen());
  EXPECT_EQ(form->Memo1->Lines(), std::vector<std::string>{""});
}

TEST_F(PollerTest, FramesFromAPseudoTerminalAreDispatched) {
  form->Open_port->Click();
  form->PortOpener = OpenSerialPort;
  PtySensor sensor(7);
  form->lblPort->SetText("7");
  form->Open_port->Click();
  ASSERT_TRUE(form->IsPortOpen());
  sensor.Send(Response('B'));
  Bytes text = Response('b', TextPayload(kCyrillicText));
  sensor.Send(text);
  for (int i = 0; i < 200 && form->Memo1->Lines().empty(); ++i) {
    Tick();
    ::usleep(1000);
  }
  EXPECT_TRUE(form->Timer3->Enabled());
  EXPECT_EQ(form->Memo1->Lines(), std::vector<std::string>{"Датчик готов"});
  sensor.CloseMaster();
  Tick(5);  // an unplugged line must not hang or crash the poller
  SUCCEED();
}

}  // namespace
}  // namespace tavel::testing

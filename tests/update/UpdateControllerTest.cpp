#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "OsImage.h"
#include "UpdateController.h"
#include "UpdateFrames.h"

namespace kv37 {
namespace {

using ::testing::ElementsAre;
using Bytes = std::vector<uint8_t>;

// Records every effect as a short line, and keeps the state a window would.
class RecordingEffects : public UpdateEffects {
 public:
  void WriteCommData(const uint8_t* data, uint16_t length) override {
    written.emplace_back(data, data + length);
    log.push_back("write " + std::to_string(length));
  }
  void ShowStatus() override { log.push_back("show"); }
  void MoveStatus(int left) override {
    this->left = left;
    log.push_back("move " + std::to_string(left));
  }
  void SetStatusText(const std::string& text) override {
    this->text = text;
    log.push_back("text " + text);
  }
  void SetGaugeProgress(int value) override {
    gauge = value;
    log.push_back("gauge " + std::to_string(value));
  }
  void SetTimerEnabled(bool enabled) override {
    timer = enabled;
    log.push_back(enabled ? "timer on" : "timer off");
  }
  void SetTimerInterval(int ms) override { log.push_back("interval " + std::to_string(ms)); }
  void FatalError(const std::string& text) override { log.push_back("fatal " + text); }
  void PageRequested(uint16_t page) override { log.push_back("page " + std::to_string(page)); }
  void WatchdogTicked(int32_t count) override { log.push_back("tick " + std::to_string(count)); }
  void UpdateEnded(UpdateEnd end) override {
    static const char* const kNames[] = {"success", "unit failure", "no answer", "delimiter",
                                         "checksum"};
    ended = kNames[static_cast<int>(end)];
    log.push_back(std::string("ended ") + ended);
  }

  std::vector<std::string> log;
  std::vector<Bytes> written;
  std::string text;
  std::string ended;  // the typed end, "" until one
  int left = -1;
  int gauge = 0;
  bool timer = false;
};

Bytes Request(uint16_t page) {
  Bytes r{0x02, 0xAA, static_cast<uint8_t>(page >> 8), static_cast<uint8_t>(page), 0, 0, 0x03};
  const uint16_t sum = static_cast<uint16_t>(0x02 + 0xAA + r[2] + r[3]);
  r[4] = static_cast<uint8_t>(sum >> 8);
  r[5] = static_cast<uint8_t>(sum);
  return r;
}

class UpdateControllerTest : public ::testing::Test {
 protected:
  UpdateControllerTest() {
    for (std::size_t i = 0; i < kOsImageSize; ++i) {
      const uint8_t b = static_cast<uint8_t>(i * 31 + (i >> 8));
      image.Write(&b, 1);
    }
  }
  void Receive(const Bytes& chunk) {
    controller.Comm1ReceiveData(chunk.data(), static_cast<uint16_t>(chunk.size()));
  }
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) controller.Timer1Timer();
  }

  MemoryStream image;
  RecordingEffects fx;
  UpdateController controller{image, fx};
};

TEST_F(UpdateControllerTest, StartWritesTheCommandThenArmsTheWatchdog) {
  controller.KV37_ModeClick();
  EXPECT_THAT(fx.log, ElementsAre("write 5", "interval 1000", "timer on"));
  EXPECT_EQ(fx.written[0], Bytes(kStartCommand.begin(), kStartCommand.end()));
}

TEST_F(UpdateControllerTest, SilenceCountsFiveTimeOutsThenGivesUpOnTheSixthTick) {
  controller.KV37_ModeClick();
  for (int k = 0; k < 5; ++k) {
    controller.Timer1Timer();
    EXPECT_EQ(fx.text, "Time_Out" + std::to_string(k));
    EXPECT_EQ(fx.left, 144);
    EXPECT_TRUE(fx.timer);
  }
  fx.log.clear();
  controller.Timer1Timer();
  EXPECT_THAT(fx.log,
              ElementsAre("show", "move 144", "text Time_Out5", "tick 5", "move 80",
                          "text Update Fail,retry again!!", "timer off", "ended no answer"));
  EXPECT_EQ(controller.WatchdogCount(), 0);
}

TEST_F(UpdateControllerTest, TheCountSurvivesAStopOfTheTimerWithoutAChunk) {
  controller.KV37_ModeClick();
  Ticks(3);
  fx.SetTimerEnabled(false);  // what a window activation does
  controller.KV37_ModeClick();
  EXPECT_EQ(controller.WatchdogCount(), 3);
  controller.Timer1Timer();
  EXPECT_EQ(fx.text, "Time_Out3");
  Ticks(2);
  EXPECT_EQ(fx.text, "Update Fail,retry again!!");
}

TEST_F(UpdateControllerTest, AValidRequestIsServedInOrderAndRestartsTheWatchdog) {
  controller.KV37_ModeClick();
  Ticks(1);
  fx.log.clear();
  Receive(Request(0x1F));
  EXPECT_THAT(fx.log, ElementsAre("show", "timer off", "move 160", "text PAGE01F", "gauge 31",
                                  "page 31", "write 261", "timer on"));
  EXPECT_EQ(controller.WatchdogCount(), 0);
  const Bytes& reply = fx.written.back();
  EXPECT_TRUE(std::equal(reply.begin() + 2, reply.begin() + 258, image.Memory() + 0x1F00));
}

TEST_F(UpdateControllerTest, RequestsInAnyOrderAndRepeatedAreEachAnsweredWithTheirPage) {
  for (uint16_t page : {5, 0, 511, 5, 300}) {
    Receive(Request(page));
    PageReply expected;
    BuildPageReply(image, page, expected);
    EXPECT_EQ(fx.written.back(), Bytes(expected.begin(), expected.end())) << page;
  }
}

TEST_F(UpdateControllerTest, PageTextsCoverEveryPageOfAPaddedImage) {
  for (uint16_t page = 0; page < 512; ++page) {
    Receive(Request(page));
    char expected[16];
    std::snprintf(expected, sizeof expected, "PAGE%03X", page);
    ASSERT_EQ(fx.text, expected);
    ASSERT_EQ(fx.gauge, page);
  }
  EXPECT_EQ(PageText(0), "PAGE000");
  EXPECT_EQ(PageText(0x1FF), "PAGE1FF");
  EXPECT_EQ(PageText(0x1000), "PAGE1000");
}

TEST_F(UpdateControllerTest, ARequestBeyondTheImageIsAnsweredWithPadding) {
  Receive(Request(0x300));
  const Bytes& reply = fx.written.back();
  ASSERT_EQ(reply.size(), kPageReplyLength);
  for (std::size_t i = 2; i < 258; ++i) ASSERT_EQ(reply[i], 0xFF);
  EXPECT_EQ(reply[258], 0xFF);
  EXPECT_EQ(reply[259], 0xAC);
}

struct CompletionCase {
  const char* name;
  Bytes chunk;
  std::string text;
  int gauge;
  const char* ended;
};

class Completion : public UpdateControllerTest,
                   public ::testing::WithParamInterface<CompletionCase> {};

TEST_P(Completion, ShowsItsResultAtTheLeftEdgeAndStopsTheWatchdog) {
  const CompletionCase& c = GetParam();
  fx.SetGaugeProgress(42);
  controller.KV37_ModeClick();
  Ticks(2);
  fx.SetStatusText("before");
  fx.log.clear();
  Receive(c.chunk);
  EXPECT_EQ(fx.text, c.text);
  EXPECT_EQ(fx.gauge, c.gauge);
  EXPECT_EQ(fx.ended, c.ended);
  EXPECT_FALSE(fx.timer);
  EXPECT_EQ(controller.WatchdogCount(), 0);
  EXPECT_TRUE(fx.written.size() == 1) << "nothing is written in answer";
  if (c.text != "before") {
    EXPECT_EQ(fx.left, 80);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Results, Completion,
    ::testing::Values(
        CompletionCase{
            "Success", {0x02, 0x66, '1', 0x00, 0x99, 0x03}, "OS Update Success!!", 511, "success"},
        CompletionCase{"Failure",
                       {0x02, 0x66, '0', 0x00, 0x98, 0x03},
                       "Error!! please retry again",
                       42,
                       "unit failure"},
        CompletionCase{"NoResult", {0x02, 0x66, '2', 0x00, 0x9A, 0x03}, "before", 42, ""},
        CompletionCase{"Noise", {0x55, 0x55, 0x55}, "before", 42, ""},
        CompletionCase{"TooLongForTheReceiveArea", Bytes(65, 0x66), "before", 42, ""}),
    [](const auto& info) { return info.param.name; });

TEST_F(UpdateControllerTest, NoiseStopsTheWatchdogSoNoTimeOutFollows) {
  controller.KV37_ModeClick();
  Ticks(4);
  Receive({0x13, 0x37});
  EXPECT_FALSE(fx.timer);
  EXPECT_EQ(controller.WatchdogCount(), 0);
  EXPECT_EQ(fx.text, "Time_Out3");
}

TEST_F(UpdateControllerTest, ARequestAfterATimeOutGetsItsPageAndResetsTheCount) {
  controller.KV37_ModeClick();
  Receive(Request(0));
  Ticks(1);
  EXPECT_EQ(fx.text, "Time_Out0");
  Receive(Request(1));
  EXPECT_EQ(fx.text, "PAGE001");
  EXPECT_EQ(controller.WatchdogCount(), 0);
  EXPECT_TRUE(fx.timer);
}

struct FaultCase {
  const char* name;
  Bytes chunk;
  const char* text;
  const char* ended;
};

class FrameFault : public UpdateControllerTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FrameFault, ShowsTheFatalTextAndSendsNoReply) {
  controller.KV37_ModeClick();
  fx.log.clear();
  Receive(GetParam().chunk);
  EXPECT_THAT(fx.log, ElementsAre("show", "timer off", std::string("ended ") + GetParam().ended,
                                  std::string("fatal ") + GetParam().text));
  EXPECT_EQ(fx.written.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FrameFault,
    ::testing::Values(
        FaultCase{"BadChecksum",
                  {0x02, 0xAA, 0x00, 0x00, 0xAC, 0x00, 0x03},
                  "CheckSume Error!!",
                  "checksum"},
        FaultCase{"BadStx", {0x01, 0xAA, 0x00, 0x00, 0x00, 0xAB, 0x03}, "Data Error", "delimiter"},
        FaultCase{"BadEtx", {0x02, 0xAA, 0x00, 0x00, 0x00, 0xAC, 0x04}, "Data Error", "delimiter"},
        FaultCase{"ShortPiece", {0x02, 0xAA, 0x00}, "Data Error", "delimiter"}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace kv37

// The whole update: the real window and serial component on a pseudo-terminal
// mapped as COM1, and a scripted unit on the other end that asks for every
// page of the image and reports success.

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "NetServers.h"
#include "OsImage.h"
#include "ProgressGauge.h"
#include "WindowFixture.h"

namespace kv37::test {
namespace {

constexpr int kPages = 512;
constexpr int kLineSilenceMs = 3000;  // far beyond the 100 ms that ends a chunk

// The reply the unit must receive for `page`, built from the padded image.
std::vector<uint8_t> ExpectedReply(const std::vector<uint8_t>& padded, int page) {
  std::vector<uint8_t> reply(kPageReplyLength);
  reply[0] = kStx;
  reply[1] = kCmdPage;
  std::copy_n(padded.begin() + page * 256, 256, reply.begin() + 2);
  uint16_t sum = 0;
  for (int i = 0; i < 258; ++i) sum = static_cast<uint16_t>(sum + reply[i]);
  reply[258] = static_cast<uint8_t>(sum >> 8);
  reply[259] = static_cast<uint8_t>(sum & 0xFF);
  reply[260] = kEtx;
  return reply;
}

// Plays the unit: waits for the start command, fetches every page in turn,
// checks each reply and ends with the success frame.
struct ScriptedUnit {
  ScriptedUnit(PtyPair& line, std::vector<uint8_t> padded, int pages = kPages)
      : line(line), padded(std::move(padded)), pages(pages) {}

  PtyPair& line;
  std::vector<uint8_t> padded;
  int pages;
  std::atomic<bool> done{false};
  bool started = false;
  int served = 0;
  std::vector<std::string> problems;

  void Run() {
    const std::vector<uint8_t> start(kStartCommand.begin(), kStartCommand.end());
    started = line.Read(start.size(), 30'000) == start;
    for (int page = 0; started && page < pages && problems.empty(); ++page) {
      if (!line.Write(PageRequest(static_cast<uint16_t>(page)))) {
        problems.push_back("request " + std::to_string(page) + " not written");
        break;
      }
      const std::vector<uint8_t> reply = line.Read(kPageReplyLength, kLineSilenceMs);
      if (reply != ExpectedReply(padded, page))
        problems.push_back("reply to page " + std::to_string(page) + " differs (" +
                           std::to_string(reply.size()) + " bytes)");
      else
        ++served;
    }
    if (started && problems.empty())
      line.Write({kStx, kCmdCompletion, kResultSuccess, 0x00, 0x99, kEtx});
    done = true;
  }
};

TEST_F(WindowTest, UpdateServesEveryPageByteExactAndEndsInSuccess) {
  PtyPair pty;
  ASSERT_TRUE(pty.Valid());
  PortMap map;
  map.Link("COM1", pty.SlavePath());

  std::vector<uint8_t> image = Pattern(100'000);
  const std::string path = files.Write("os.bin", image);
  image.resize(kOsImageSize, kPadByte);
  ScriptedUnit unit(pty, image);
  std::thread unitThread([&unit] { unit.Run(); });

  Load(path);
  QTest::mouseClick(form->BTn_OpenCom, Qt::LeftButton);
  ASSERT_TRUE(form->Comm1->IsOpen());
  ASSERT_TRUE(form->KV37_Mode->isEnabled());
  QTest::mouseClick(form->KV37_Mode, Qt::LeftButton);

  // The unit's own pace: a chunk ends 100 ms after its last byte.
  const bool finished = QTest::qWaitFor(
      [&] { return unit.done && form->PageNo->text() == "OS Update Success!!"; }, 150'000);
  unitThread.join();

  EXPECT_TRUE(unit.started) << "no start command";
  EXPECT_TRUE(unit.problems.empty()) << unit.problems.front();
  EXPECT_EQ(unit.served, kPages);
  ASSERT_TRUE(finished) << "status line: " << form->PageNo->text().toStdString();
  EXPECT_EQ(form->PageNo->pos(), QPoint(80, 240));
  EXPECT_EQ(form->Gauge1->Progress(), 511);
  EXPECT_FALSE(form->Timer1->isActive());
}

TEST_F(WindowTest, ComNMappedToANetworkPortOpensUpdatesAndCloses) {
  // COM2's map entry is a link whose text is the address of ser2net, in
  // front of the pseudo-terminal the unit is on.
  PtyPair pty;
  ASSERT_TRUE(pty.Valid());
  kv37::test::Ser2Net server({pty.SlavePath()});
  PortMap map;
  map.Link("COM2", server.Url(0));

  std::vector<uint8_t> image = Pattern(2000);
  const std::string path = files.Write("os.bin", image);
  image.resize(kOsImageSize, kPadByte);
  ScriptedUnit unit(pty, image, 8);
  std::thread unitThread([&unit] { unit.Run(); });

  Load(path);
  ChoosePort(1);
  QTest::mouseClick(form->BTn_OpenCom, Qt::LeftButton);
  // The server is connected without holding up the window.
  EXPECT_TRUE(form->Comm1->IsOpening());
  const bool opened = QTest::qWaitFor([&] { return form->KV37_Mode->isEnabled(); }, 5000);
  EXPECT_TRUE(form->Comm1->IsOpen());
  if (opened) QTest::mouseClick(form->KV37_Mode, Qt::LeftButton);
  const bool finished =
      opened &&
      QTest::qWaitFor([&] { return unit.done && form->PageNo->text() == "OS Update Success!!"; },
                      30'000);
  unitThread.join();
  EXPECT_TRUE(unit.problems.empty()) << unit.problems.front();
  EXPECT_EQ(unit.served, 8);
  ASSERT_TRUE(finished) << "status line: " << form->PageNo->text().toStdString();

  ChoosePort(0);  // another port closes this one
  EXPECT_FALSE(form->Comm1->IsOpen());
}

}  // namespace
}  // namespace kv37::test

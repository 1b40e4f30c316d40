// The update core driven by an input-decided sequence of start clicks,
// watchdog ticks and received chunks, against a small unpadded image, so that
// requests name pages inside, across and beyond its end.
//
// Input: two bytes of image size (big-endian, up to 4095), then operations:
//   op % 4 == 0  start click
//   op % 4 == 1  watchdog tick (delivered only while the timer runs)
//   op % 4 == 2  raw chunk: two length bytes (big-endian, up to 2048), then
//                that many bytes (fewer when the input ends)
//   op % 4 == 3  well-formed page request: two page bytes

#include <algorithm>
#include <cstring>
#include <memory>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "UpdateController.h"
#include "UpdateFrames.h"

namespace {

using namespace kv37;

constexpr size_t kMaxChunk = 2048;  // the most one receive event carries

uint8_t ImageByte(size_t i) {
  return static_cast<uint8_t>(i * 31 + (i >> 8));
}

bool IsStatusText(const std::string& text) {
  if (text == kTextUpdateFail || text == kTextCompletionFail || text == kTextSuccess) return true;
  if (text.size() == 9 && text.starts_with("Time_Out")) return text[8] >= '0' && text[8] <= '5';
  const std::string digits = text.starts_with("PAGE") ? text.substr(4) : "";
  return (digits.size() == 3 || digits.size() == 4) &&
         digits.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

// Checks every effect as it happens against what the current event allows.
class CheckingEffects : public UpdateEffects {
 public:
  CheckingEffects(const uint8_t* image, size_t imageSize) : image_(image), imageSize_(imageSize) {}

  void BeginStart() { Begin(nullptr, 0); }
  void BeginChunk(const uint8_t* chunk, size_t length) { Begin(chunk, length); }
  void BeginTick() { Begin(nullptr, 0); }
  bool TimerRunning() const { return timer_; }

  void WriteCommData(const uint8_t* data, uint16_t length) override {
    FUZZ_CHECK(!fatal_ && writes_ == 0);
    ++writes_;
    if (chunk_ == nullptr) {
      FUZZ_CHECK(length == kStartCommand.size());
      FUZZ_CHECK(std::equal(kStartCommand.begin(), kStartCommand.end(), data));
      return;
    }
    // A reply answers a page request with good delimiters and checksum.
    FUZZ_CHECK(length == kPageReplyLength);
    FUZZ_CHECK(chunkLength_ >= 6 && chunkLength_ <= kReceiveAreaSize);
    FUZZ_CHECK(chunk_[0] == kStx && chunk_[1] == kCmdPage && chunk_[chunkLength_ - 1] == kEtx);
    unsigned sum = 0;
    for (size_t i = 0; i + 3 < chunkLength_; ++i) sum += chunk_[i];
    FUZZ_CHECK(static_cast<uint16_t>(sum) == (chunk_[4] << 8 | chunk_[5]));

    const size_t page = chunk_[2] << 8 | chunk_[3];
    FUZZ_CHECK(std::memcmp(data, ExpectedReply(page).data(), kPageReplyLength) == 0);
    FUZZ_CHECK(gauge_ == static_cast<int>(page));
  }
  void ShowStatus() override {}
  void MoveStatus(int left) override {
    FUZZ_CHECK(left == kPageLeft || left == kTimeOutLeft || left == kResultLeft);
  }
  void SetStatusText(const std::string& text) override { FUZZ_CHECK(IsStatusText(text)); }
  void SetGaugeProgress(int value) override {
    FUZZ_CHECK(value >= 0 && value <= 0xFFFF);
    gauge_ = value;
  }
  void SetTimerEnabled(bool enabled) override { timer_ = enabled; }
  void SetTimerInterval(int milliseconds) override {
    FUZZ_CHECK(milliseconds == kWatchdogIntervalMs);
  }
  void FatalError(const std::string& text) override {
    FUZZ_CHECK(chunk_ != nullptr && chunkLength_ >= 2 && chunk_[1] == kCmdPage);
    // The typed end came first and names the same fault.
    FUZZ_CHECK(text == (ended_ == UpdateEnd::DelimiterFault ? kTextDataError : kTextChecksumError));
    FUZZ_CHECK(ended_ == UpdateEnd::DelimiterFault || ended_ == UpdateEnd::ChecksumFault);
    FUZZ_CHECK(!fatal_);
    fatal_ = true;
  }
  void PageRequested(uint16_t page) override {
    FUZZ_CHECK(chunk_ != nullptr && gauge_ == static_cast<int>(page) && writes_ == 0);
  }
  void UpdateEnded(UpdateEnd end) override {
    FUZZ_CHECK(!ended_);
    ended_ = end;
  }

 private:
  // The reply the unit must get: the page's bytes, 0xFF past the image.
  PageReply ExpectedReply(size_t page) const {
    PageReply reply;
    reply.fill(kPadByte);
    reply[0] = kStx;
    reply[1] = kCmdPage;
    const size_t from = page * kPageSize;
    if (from < imageSize_)
      std::copy_n(image_ + from, std::min(kPageSize, imageSize_ - from), reply.begin() + 2);
    const unsigned sum = std::accumulate(reply.begin(), reply.begin() + 258, 0u);
    reply[258] = static_cast<uint8_t>(sum >> 8);
    reply[259] = static_cast<uint8_t>(sum);
    reply[260] = kEtx;
    return reply;
  }

  void Begin(const uint8_t* chunk, size_t length) {
    chunk_ = chunk;
    chunkLength_ = length;
    writes_ = 0;
    fatal_ = false;
    ended_.reset();
  }

  const uint8_t* image_;
  size_t imageSize_;
  const uint8_t* chunk_ = nullptr;
  size_t chunkLength_ = 0;
  int writes_ = 0;
  bool fatal_ = false;
  std::optional<UpdateEnd> ended_;  // within the current event
  bool timer_ = false;
  int gauge_ = -1;
};

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Empty() const { return at_ >= size_; }
  size_t Left() const { return size_ - at_; }
  uint8_t Byte() { return Empty() ? 0 : data_[at_++]; }
  uint16_t Word() {
    const uint8_t high = Byte();
    return static_cast<uint16_t>(high << 8 | Byte());
  }
  const uint8_t* Take(size_t n) {
    const uint8_t* p = data_ + at_;
    at_ += n;
    return p;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

void CheckClassification(const uint8_t* chunk, size_t length) {
  const ChunkClass c = ClassifyChunk(chunk, length);
  if (length > kReceiveAreaSize) FUZZ_CHECK(c.kind == ChunkKind::NotAFrame);
  if (c.kind == ChunkKind::PageRequest) FUZZ_CHECK(c.page == (chunk[2] << 8 | chunk[3]));
  if (c.kind == ChunkKind::DelimiterFault || c.kind == ChunkKind::ChecksumFault)
    FUZZ_CHECK(chunk[1] == kCmdPage);
  const auto sum = FrameCheckSum(chunk, static_cast<int32_t>(length));
  if (sum) FUZZ_CHECK(length >= 1 && chunk[0] == kStx && chunk[length - 1] == kEtx);
}

void Receive(UpdateController& controller, CheckingEffects& fx, const uint8_t* bytes,
             size_t length) {
  // An exact-size copy, as the serial component hands it over, so any read
  // past the chunk is caught.
  auto chunk = std::make_unique<uint8_t[]>(std::max<size_t>(length, 1));
  std::copy(bytes, bytes + length, chunk.get());
  CheckClassification(chunk.get(), length);
  fx.BeginChunk(chunk.get(), length);
  controller.Comm1ReceiveData(chunk.get(), static_cast<uint16_t>(length));
  FUZZ_CHECK(controller.WatchdogCount() == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  static const std::vector<uint8_t> kPattern = [] {
    std::vector<uint8_t> bytes(0x1000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = ImageByte(i);
    return bytes;
  }();
  const size_t imageSize = in.Word() & 0x0FFF;
  MemoryStream image;
  image.Write(kPattern.data(), imageSize);
  CheckingEffects fx(kPattern.data(), imageSize);
  UpdateController controller(image, fx);

  while (!in.Empty()) {
    switch (in.Byte() % 4) {
      case 0:
        fx.BeginStart();
        controller.KV37_ModeClick();
        break;
      case 1:
        if (fx.TimerRunning()) {
          fx.BeginTick();
          controller.Timer1Timer();
        }
        break;
      case 2: {
        const size_t length = std::min<size_t>({in.Word() % (kMaxChunk + 1), in.Left()});
        Receive(controller, fx, in.Take(length), length);
        break;
      }
      case 3: {
        const uint16_t page = in.Word();
        const uint16_t sum = static_cast<uint16_t>(kStx + kCmdPage + (page >> 8) + (page & 0xFF));
        const uint8_t request[] = {kStx,
                                   kCmdPage,
                                   static_cast<uint8_t>(page >> 8),
                                   static_cast<uint8_t>(page),
                                   static_cast<uint8_t>(sum >> 8),
                                   static_cast<uint8_t>(sum),
                                   kEtx};
        Receive(controller, fx, request, sizeof request);
        break;
      }
    }
    FUZZ_CHECK(controller.WatchdogCount() >= 0 && controller.WatchdogCount() <= kWatchdogTickLimit);
  }
  return 0;
}

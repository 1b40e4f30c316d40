#include "FastFraming.h"

#include <QTimer>

#include "UpdateFrames.h"

namespace kv37 {

namespace {

// The component's largest chunk.
constexpr std::size_t kMostBytes = 2048;

}  // namespace

FastFraming::FastFraming(std::chrono::milliseconds gap, Deliver deliver, QObject* parent)
    : QObject(parent), deliver_(std::move(deliver)), gap_(new QTimer(this)) {
  gap_->setSingleShot(true);
  gap_->setTimerType(Qt::PreciseTimer);
  // "Exceeds": the component ends a chunk once the gap is longer than this.
  gap_->setInterval(gap + std::chrono::milliseconds(1));
  connect(gap_, &QTimer::timeout, this, [this] { Flush(); });
}

bool FastFraming::IsCleanRequest(const uint8_t* data, std::size_t length) {
  return length == kPageRequestLength && ClassifyChunk(data, length).kind == ChunkKind::PageRequest;
}

void FastFraming::Feed(const uint8_t* data, uint16_t length) {
  buffer_.insert(buffer_.end(), data, data + length);
  if (IsCleanRequest(buffer_.data(), buffer_.size()) || buffer_.size() >= kMostBytes) {
    Flush();
    return;
  }
  gap_->start();
}

void FastFraming::Flush() {
  gap_->stop();
  while (!buffer_.empty()) {
    const std::size_t n = std::min(buffer_.size(), kMostBytes);
    const std::vector<uint8_t> chunk(buffer_.begin(), buffer_.begin() + static_cast<long>(n));
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(n));
    deliver_(chunk.data(), static_cast<uint16_t>(chunk.size()));
  }
}

}  // namespace kv37

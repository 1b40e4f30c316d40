#include "ScriptedUtility.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "UpdateFrames.h"

namespace kv37::sim::test {
namespace {

using Clock = std::chrono::steady_clock;

bool WaitReadable(int fd, std::chrono::milliseconds timeout) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, static_cast<int>(timeout.count())) > 0;
}

}  // namespace

ScriptedUtility::ScriptedUtility(const std::string& port) {
  fd_ = ::open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  EXPECT_GE(fd_, 0) << port << ": " << std::strerror(errno);
  termios tio{};
  if (fd_ >= 0 && ::tcgetattr(fd_, &tio) == 0) {
    ::cfmakeraw(&tio);
    ::tcsetattr(fd_, TCSANOW, &tio);
  }
}

ScriptedUtility::~ScriptedUtility() {
  if (fd_ >= 0) ::close(fd_);
}

void ScriptedUtility::Write(std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n > 0) {
      bytes = bytes.subspan(static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EAGAIN) {
      pollfd p{fd_, POLLOUT, 0};
      ::poll(&p, 1, 100);
    } else if (n < 0 && errno != EINTR) {
      ADD_FAILURE() << "write: " << std::strerror(errno);
      return;
    }
  }
}

void ScriptedUtility::SendStart() {
  Write(kStartCommand);
}

void ScriptedUtility::SendReply(const MemoryStream& image, uint16_t page) {
  PageReply reply;
  BuildPageReply(image, page, reply);
  Write(reply);
}

Bytes ScriptedUtility::ReadChunk(std::chrono::milliseconds timeout, std::chrono::milliseconds gap) {
  Bytes chunk;
  if (!WaitReadable(fd_, timeout)) return chunk;
  uint8_t buffer[512];
  do {
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n <= 0) break;
    chunk.insert(chunk.end(), buffer, buffer + n);
  } while (WaitReadable(fd_, gap));
  return chunk;
}

Bytes ScriptedUtility::ReadFrame(std::chrono::milliseconds timeout) {
  Bytes frame;
  const auto deadline = Clock::now() + timeout;
  const auto wanted = [&] {
    if (frame.size() < 2) return std::size_t{2};
    if (frame[1] == kCmdPage) return kPageRequestLength;
    if (frame[1] == kCmdCompletion) return std::size_t{6};
    return frame.size();
  };
  while (frame.size() < wanted()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 || !WaitReadable(fd_, left)) return frame.size() >= 2 ? frame : Bytes{};
    // Never more than this frame needs: the next one stays on the line.
    uint8_t buffer[kPageRequestLength];
    const ssize_t n = ::read(fd_, buffer, wanted() - frame.size());
    if (n <= 0) break;
    frame.insert(frame.end(), buffer, buffer + n);
  }
  return frame;
}

ScriptedUtility::Served ScriptedUtility::Serve(const MemoryStream& image, const Answer& answer,
                                               std::chrono::milliseconds timeout) {
  Served served;
  for (;;) {
    const Bytes frame = ReadFrame(timeout);
    if (frame.empty()) return served;
    const ChunkClass kind = ClassifyChunk(frame.data(), frame.size());
    if (kind.kind == ChunkKind::CompletionFailure || kind.kind == ChunkKind::CompletionSuccess) {
      served.result = frame[2];
      return served;
    }
    if (kind.kind != ChunkKind::PageRequest) {
      served.otherFrames.push_back(frame);
      continue;
    }
    served.pages.push_back(kind.page);
    PageReply reply;
    BuildPageReply(image, kind.page, reply);
    if (!answer || answer(kind.page, reply)) Write(reply);
  }
}

MemoryStream PatternImage(std::size_t size) {
  MemoryStream image;
  for (std::size_t i = 0; i < size; ++i) {
    const uint8_t byte = static_cast<uint8_t>(i * 7 + i / 256);
    image.Write(&byte, 1);
  }
  return image;
}

}  // namespace kv37::sim::test

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "OsImage.h"
#include "TempFile.h"

namespace kv37 {
namespace {

using test::Pattern;
using test::TempDir;

std::vector<uint8_t> Contents(const MemoryStream& s) {
  return s.Size() ? std::vector<uint8_t>(s.Memory(), s.Memory() + s.Size())
                  : std::vector<uint8_t>{};
}

struct LoadCase {
  const char* name;
  std::size_t fileSize;
  std::size_t imageSize;
  std::size_t position;
};

class LoadOsImageSizes : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoadOsImageSizes, KeepsFileBytesAndPadsOnlyUpToTheImageSize) {
  const LoadCase& c = GetParam();
  TempDir dir;
  const auto bytes = Pattern(c.fileSize);
  MemoryStream image;
  LoadOsImage(image, dir.Write("os.bin", bytes));

  ASSERT_EQ(image.Size(), c.imageSize);
  EXPECT_EQ(image.Position(), c.position);
  const auto got = Contents(image);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), got.begin())) << "file bytes changed";
  for (std::size_t i = c.fileSize; i < got.size(); ++i) ASSERT_EQ(got[i], 0xFF) << "at " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoadOsImageSizes,
    ::testing::Values(LoadCase{"Empty", 0, kOsImageSize, kOsImageSize},
                      LoadCase{"Thousand", 1000, kOsImageSize, kOsImageSize},
                      LoadCase{"ExactlyFull", kOsImageSize, kOsImageSize, kOsImageSize},
                      LoadCase{"OneByteOver", kOsImageSize + 1, kOsImageSize + 1, 0}),
    [](const auto& info) { return info.param.name; });

TEST(LoadOsImage, PageThreeOfAThousandByteFileEndsInPadding) {
  TempDir dir;
  const auto bytes = Pattern(1000);
  MemoryStream image;
  LoadOsImage(image, dir.Write("os.bin", bytes));
  uint8_t page[kPageSize];
  CopyPage(image, 3, page);
  EXPECT_TRUE(std::equal(bytes.begin() + 768, bytes.end(), page));
  for (std::size_t i = 232; i < kPageSize; ++i) EXPECT_EQ(page[i], 0xFF);
}

TEST(LoadOsImage, ReloadingAShorterFileReplacesEverything) {
  TempDir dir;
  MemoryStream image;
  LoadOsImage(image, dir.Write("big.bin", std::vector<uint8_t>(kOsImageSize + 500, 0x11)));
  LoadOsImage(image, dir.Write("small.bin", std::vector<uint8_t>(10, 0x22)));
  const auto got = Contents(image);
  ASSERT_EQ(got.size(), kOsImageSize);
  EXPECT_EQ(got[9], 0x22);
  EXPECT_EQ(got[10], 0xFF);
  EXPECT_EQ(got[kOsImageSize - 1], 0xFF);
}

TEST(LoadOsImage, UnreadablePathRaisesTheOperatorTextAndKeepsThePreviousImage) {
  TempDir dir;
  MemoryStream image;
  LoadOsImage(image, dir.Write("os.bin", {1, 2, 3}));
  const std::string missing = (dir.Path() / "missing.bin").string();
  try {
    LoadOsImage(image, missing);
    FAIL() << "no error raised";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + missing);
  }
  ASSERT_EQ(image.Size(), kOsImageSize);
  EXPECT_EQ(image.Memory()[0], 1);
}

TEST(LoadOsImage, AFolderIsNotAnImage) {
  TempDir dir;
  MemoryStream image;
  EXPECT_THROW(LoadOsImage(image, dir.Path().string()), std::runtime_error);
  EXPECT_EQ(image.Size(), 0u);
}

TEST(LoadOsImage, OnlyARegularFileIsReadAndTheReasonIsKept) {
  // A FIFO would block the load forever, /dev/zero never end, /dev/null read
  // as an empty image: none of them is opened.
  TempDir dir;
  const std::string fifo = (dir.Path() / "image.fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string link = (dir.Path() / "link.bin").string();
  std::filesystem::create_symlink(dir.Write("target.bin", {7}), link);
  struct Case {
    std::string path;
    const char* reason;  // "" when it loads
  };
  const Case cases[] = {
      {fifo, "a FIFO, not a regular file"},
      {"/dev/zero", "a device, not a regular file"},
      {"/dev/null", "a device, not a regular file"},
      {dir.Path().string(), "a folder, not a regular file"},
      {(dir.Path() / "missing.bin").string(), "No such file or directory"},
      {link, ""},  // a link to a regular file is that file
  };
  for (const Case& c : cases) {
    MemoryStream image;
    LoadOsImage(image, dir.Write("before.bin", {1}));
    try {
      LoadOsImage(image, c.path);
      EXPECT_STREQ(c.reason, "") << c.path;
      EXPECT_EQ(image.Memory()[0], 7) << c.path;
    } catch (const EFOpenError& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot open file " + c.path);
      EXPECT_EQ(e.Reason(), c.reason) << c.path;
      EXPECT_EQ(image.Memory()[0], 1) << c.path;  // the previous image stays
    }
  }
}

TEST(LoadOsImage, AFileAboveSixteenMebibytesIsRefused) {
  TempDir dir;
  const std::string big = (dir.Path() / "big.bin").string();
  std::filesystem::resize_file(dir.Write("big.bin", {}), MemoryStream::kMaxFileSize + 1);
  MemoryStream image;
  EXPECT_THROW(LoadOsImage(image, big), EFileTooLarge);
  EXPECT_EQ(image.Size(), 0u);
  std::filesystem::resize_file(big, MemoryStream::kMaxFileSize);
  LoadOsImage(image, big);
  EXPECT_EQ(image.Size(), MemoryStream::kMaxFileSize);
}

TEST(CopyPage, PagesBeyondTheBufferAreAnsweredWithPadding) {
  MemoryStream image;
  const auto bytes = Pattern(300);  // page 1 is partly outside
  image.Write(bytes.data(), bytes.size());
  uint8_t page[kPageSize];

  CopyPage(image, 1, page);
  EXPECT_TRUE(std::equal(bytes.begin() + 256, bytes.end(), page));
  for (std::size_t i = 44; i < kPageSize; ++i) ASSERT_EQ(page[i], 0xFF);

  CopyPage(image, 0xFFFF, page);
  for (uint8_t b : page) ASSERT_EQ(b, 0xFF);

  MemoryStream empty;
  CopyPage(empty, 0, page);
  for (uint8_t b : page) ASSERT_EQ(b, 0xFF);
}

TEST(MemoryStream, SeekClampsBelowZeroAndWritePastTheEndFillsTheGapWithZeros) {
  MemoryStream s;
  EXPECT_EQ(s.Seek(-5, MemoryStream::Origin::Current), 0u);
  s.Seek(3, MemoryStream::Origin::Beginning);
  const uint8_t b = 9;
  s.Write(&b, 1);
  EXPECT_EQ(Contents(s), (std::vector<uint8_t>{0, 0, 0, 9}));
  EXPECT_EQ(s.Seek(-1, MemoryStream::Origin::End), 3u);
  s.Clear();
  EXPECT_EQ(s.Size(), 0u);
  EXPECT_EQ(s.Memory(), nullptr);
}

}  // namespace
}  // namespace kv37

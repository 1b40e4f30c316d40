// DecomposeStr under each double-byte code page, and the locale-name lookup.
// Input: one byte choosing the code page, then the text.

#include <cstring>
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "fautil/StringDecompose.h"

namespace {

using namespace fautil;

constexpr int kCodePages[] = {0, 932, 936, 949, 950};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int codePage = kCodePages[data[0] % std::size(kCodePages)];
  const std::string text = kv37fuzz::AsText(data + 1, size - 1);

  const int named = DoubleByteCodePageOfLocale(text.c_str());
  FUZZ_CHECK(named == 0 || named == 932 || named == 936 || named == 949 || named == 950);

  SetLeadByteTest(LeadByteTestForCodePage(codePage));
  // Exactly the room the caller is told to give, on the heap so that
  // AddressSanitizer sees the first byte past it.
  auto first = std::make_unique<char[]>(kDecomposeFirstSize);
  auto rest = std::make_unique<char[]>(text.size() + 1);
  FUZZ_CHECK(DecomposeStr(text.c_str(), first.get(), rest.get()));
  SetLeadByteTest(nullptr);

  const size_t firstLength = std::strlen(first.get());
  FUZZ_CHECK(firstLength <= 9);
  if (text.size() <= 8) FUZZ_CHECK(firstLength == text.size());
  if (text.size() > 8) FUZZ_CHECK(firstLength >= 1);
  // Nothing is lost or repeated: the two parts put together are the text.
  FUZZ_CHECK(std::string(first.get()) + rest.get() == text);
  return 0;
}

#include "fautil/StringDecompose.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <clocale>
#include <cstring>
#include <string>
#include <string_view>

namespace fautil {
namespace {

constexpr std::size_t kFirstLength = 8;

bool NeverLead(uint8_t) {
  return false;
}
bool ShiftJisLead(uint8_t b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
bool WideLead(uint8_t b) {
  return b >= 0x81 && b <= 0xFE;
}  // GBK, UHC and Big5 alike

std::atomic<LeadByteTest> g_leadByteOverride{nullptr};

// Upper-cased, with '-' and '_' dropped, so "EUC-KR", "euckr" and "eucKR" match.
std::string NormalizedCharset(std::string_view name) {
  std::string out;
  for (char c : name) {
    if (c == '-' || c == '_') continue;
    out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return out;
}

}  // namespace

LeadByteTest LeadByteTestForCodePage(int codePage) {
  switch (codePage) {
    case 932:
      return ShiftJisLead;
    case 936:
    case 949:
    case 950:
      return WideLead;
    default:
      return NeverLead;
  }
}

int DoubleByteCodePageOfLocale(const char* localeName) {
  if (localeName == nullptr) return 0;
  std::string_view name(localeName);
  const auto dot = name.find('.');
  if (dot == std::string_view::npos) return 0;
  name.remove_prefix(dot + 1);
  name = name.substr(0, name.find('@'));
  const std::string charset = NormalizedCharset(name);
  struct Alias {
    const char* name;
    int codePage;
  };
  static constexpr Alias kAliases[] = {
      {"SJIS", 932}, {"SHIFTJIS", 932},  {"CP932", 932}, {"MS932", 932},  {"WINDOWS31J", 932},
      {"932", 932},  {"GBK", 936},       {"CP936", 936}, {"GB2312", 936}, {"EUCCN", 936},
      {"936", 936},  {"EUCKR", 949},     {"CP949", 949}, {"UHC", 949},    {"949", 949},
      {"BIG5", 950}, {"BIG5HKSCS", 950}, {"CP950", 950}, {"950", 950},
  };
  for (const Alias& alias : kAliases) {
    if (charset == alias.name) return alias.codePage;
  }
  return 0;
}

void SetLeadByteTest(LeadByteTest test) {
  g_leadByteOverride.store(test);
}

LeadByteTest CurrentLeadByteTest() {
  if (LeadByteTest test = g_leadByteOverride.load()) return test;
  return LeadByteTestForCodePage(DoubleByteCodePageOfLocale(std::setlocale(LC_CTYPE, nullptr)));
}

bool DecomposeStr(const char* text, char* first, char* rest) {
  const std::string_view s = text != nullptr ? std::string_view(text) : std::string_view();
  std::size_t cut = s.size();
  if (s.size() > kFirstLength) {
    const LeadByteTest isLead = CurrentLeadByteTest();
    // Walk whole characters, so a trail byte is never taken for a lead byte
    // or a space. `lastSpace` is the 1-based position of the single-byte
    // space nearest before the cut, 0 if none.
    cut = kFirstLength;
    std::size_t lastSpace = 0;
    for (std::size_t i = 0; i < kFirstLength;) {
      const bool wide = isLead(static_cast<uint8_t>(s[i])) && i + 1 < s.size();
      if (wide) {
        if (i + 1 == kFirstLength) cut = kFirstLength + 1;  // keep the character whole
        i += 2;
        continue;
      }
      if (s[i] == ' ' && i + 1 < kFirstLength) lastSpace = i + 1;
      ++i;
    }
    if (lastSpace != 0 && s.size() - lastSpace <= kFirstLength) cut = lastSpace;
  }
  if (first != nullptr) {
    s.copy(first, cut);
    first[cut] = '\0';
  }
  if (rest != nullptr) {
    const std::string_view tail = s.substr(cut);
    tail.copy(rest, tail.size());
    rest[tail.size()] = '\0';
  }
  return true;
}

}  // namespace fautil

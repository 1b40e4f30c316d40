// Answers calls of the C++ library read from standard input, one per line,
// so that another binding of the library can be compared with it on the same
// inputs. A line is "<routine> <argument>...", an answer one line of tokens.
// Numbers are decimal. Texts and byte strings are hexadecimal ("-" when
// empty), word arrays four hex digits per word, lists comma-separated.
// A failed routine answers "0"; a successful one "1" and its outputs.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "fautil/fautil.h"

namespace {

using namespace fautil;
using Args = std::vector<std::string>;

std::string Hex(const void* data, std::size_t size) {
  if (size == 0) return "-";
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out(2 * size, '0');
  const auto* bytes = static_cast<const uint8_t*>(data);
  for (std::size_t i = 0; i < size; ++i) {
    out[2 * i] = kDigits[bytes[i] >> 4];
    out[2 * i + 1] = kDigits[bytes[i] & 15];
  }
  return out;
}
std::string Hex(const std::string& text) {
  return Hex(text.data(), text.size());
}

int Nibble(char c) {
  return c <= '9' ? c - '0' : (c & ~0x20) - 'A' + 10;
}

std::string Bytes(const std::string& hex) {
  std::string out;
  if (hex == "-") return out;
  out.resize(hex.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char>(Nibble(hex[2 * i]) << 4 | Nibble(hex[2 * i + 1]));
  }
  return out;
}

std::vector<uint16_t> Words(const std::string& hex) {
  std::vector<uint16_t> out;
  if (hex == "-") return out;
  for (std::size_t i = 0; i + 3 < hex.size(); i += 4) {
    out.push_back(static_cast<uint16_t>(std::stoul(hex.substr(i, 4), nullptr, 16)));
  }
  return out;
}

std::string WordsHex(const uint16_t* words, std::size_t count) {
  if (count == 0) return "-";
  std::string out;
  char cell[5];
  for (std::size_t i = 0; i < count; ++i) {
    std::snprintf(cell, sizeof cell, "%04X", words[i]);
    out += cell;
  }
  return out;
}

std::string List(const TStrings& lines) {
  std::string out;
  for (const std::string& line : lines) out += (out.empty() ? "" : ",") + Hex(line);
  return out.empty() ? "-" : out;
}

TStrings Lines(const Args& a, std::size_t from) {
  TStrings lines;
  for (std::size_t i = from; i < a.size(); ++i) lines.push_back(Bytes(a[i]));
  return lines;
}

unsigned long Num(const std::string& s) {
  return std::stoul(s, nullptr, 0);
}
long SNum(const std::string& s) {
  return std::stol(s, nullptr, 0);
}

std::string Pair(bool ok, uint8_t type, uint32_t address) {
  return ok ? "1 " + std::to_string(type) + " " + std::to_string(address) : "0";
}
std::string Code(bool ok, uint16_t code) {
  return ok ? "1 " + std::to_string(code) : "0";
}
std::string Text(bool ok, const char* text) {
  return ok ? "1 " + Hex(std::string(text)) : "0";
}

using Decode = bool (*)(uint16_t, uint8_t&, uint32_t&);
using Encode = bool (*)(uint8_t, uint32_t, uint16_t&);
using Parse = bool (*)(const char*, uint16_t&);
using Print = bool (*)(char*, uint16_t);
using ParsePair = bool (*)(const char*, uint8_t&, uint32_t&);

std::function<std::string(const Args&)> ToType(Decode f) {
  return [f](const Args& a) {
    uint8_t t = 0;
    uint32_t addr = 0;
    const bool ok = f(static_cast<uint16_t>(Num(a[0])), t, addr);
    return Pair(ok, t, addr);
  };
}
std::function<std::string(const Args&)> FromType(Encode f) {
  return [f](const Args& a) {
    uint16_t code = 0;
    const bool ok = f(static_cast<uint8_t>(Num(a[0])), static_cast<uint32_t>(Num(a[1])), code);
    return Code(ok, code);
  };
}
std::function<std::string(const Args&)> TextToCode(Parse f) {
  return [f](const Args& a) {
    uint16_t code = 0;
    const bool ok = f(Bytes(a[0]).c_str(), code);
    return Code(ok, code);
  };
}
std::function<std::string(const Args&)> CodeToText(Print f) {
  return [f](const Args& a) {
    char buffer[32] = {};
    const bool ok = f(buffer, static_cast<uint16_t>(Num(a[0])));
    return Text(ok, buffer);
  };
}
std::function<std::string(const Args&)> TextToPair(ParsePair f) {
  return [f](const Args& a) {
    uint8_t t = 0;
    uint32_t addr = 0;
    const bool ok = f(Bytes(a[0]).c_str(), t, addr);
    return Pair(ok, t, addr);
  };
}

// The line parsers: limit, then the lines; the bytes stored or -1.
std::function<std::string(const Args&)> ParseLines(int32_t (*parse)(const TStrings*, uint8_t*,
                                                                    int32_t)) {
  return [parse](const Args& a) {
    const TStrings lines = Lines(a, 1);
    std::vector<uint8_t> b(Num(a[0]));
    const int32_t n = parse(&lines, b.data(), static_cast<int32_t>(b.size()));
    return n < 0 ? std::string("-1") : Hex(b.data(), static_cast<std::size_t>(n));
  };
}

const std::map<std::string, std::function<std::string(const Args&)>>& Routines() {
  static const std::map<std::string, std::function<std::string(const Args&)>> routines = {
      // Operand text and ranges
      {"StrToType", TextToPair(StrToType)},
      {"TypeToStr",
       [](const Args& a) {
         char b[32] = {};
         return Text(
             TypeToStr(b, static_cast<uint8_t>(Num(a[0])), static_cast<uint32_t>(Num(a[1]))), b);
       }},
      {"StrNormalize",
       [](const Args& a) {
         char b[32] = {};
         return Text(StrNormalize(b, Bytes(a[0]).c_str()), b);
       }},
      {"CheckTypeRange",
       [](const Args& a) {
         uint8_t t = static_cast<uint8_t>(Num(a[0]));
         uint32_t addr = static_cast<uint32_t>(Num(a[1]));
         const bool ok = CheckTypeRange(t, addr);
         return Pair(ok, t, addr);
       }},
      {"GetTableMaxSize",
       [](const Args& a) {
         return std::to_string(GetTableMaxSize(Bytes(a[0]).c_str(), static_cast<int>(SNum(a[1]))));
       }},
      {"CheckTableRange",
       [](const Args& a) {
         return std::to_string(CheckTableRange(Bytes(a[0]).c_str(), static_cast<int>(SNum(a[1])),
                                               static_cast<int>(SNum(a[2]))));
       }},
      {"GetNextRef",
       [](const Args& a) {
         char b[32] = {};
         return Text(GetNextRef(Bytes(a[0]).c_str(), b, Num(a[1]) != 0), b);
       }},
      {"RefStrRangeToStr",
       [](const Args& a) {
         TStrings items;
         return RefStrRangeToStr(Bytes(a[0]).c_str(), &items) ? "1 " + List(items)
                                                              : std::string("0");
       }},
      // Packed reference codes
      {"DocRefToType", ToType(DocRefToType)},
      {"DRefToType", ToType(DRefToType)},
      {"RRefToType", ToType(RRefToType)},
      {"RegRefToType", ToType(RegRefToType)},
      {"TypeToDocRef", FromType(TypeToDocRef)},
      {"TypeToDRef", FromType(TypeToDRef)},
      {"TypeToRRef", FromType(TypeToRRef)},
      {"TypeToRegRef", FromType(TypeToRegRef)},
      {"StrToDocRef", TextToCode(StrToDocRef)},
      {"StrToDRef", TextToCode(StrToDRef)},
      {"StrToRRef", TextToCode(StrToRRef)},
      {"FlashRegStrToRef", TextToCode(FlashRegStrToRef)},
      {"DocRefToStr", CodeToText(DocRefToStr)},
      {"DRefToStr", CodeToText(DRefToStr)},
      {"RRefToStr", CodeToText(RRefToStr)},
      {"FlashRegRefToStr", CodeToText(FlashRegRefToStr)},
      // Link strings
      {"LinkStrToType", TextToPair(LinkStrToType)},
      {"ULinkStrToType", TextToPair(ULinkStrToType)},
      {"TypeToLinkStrVer",
       [](const Args& a) {
         char b[32] = {};
         return Text(
             TypeToLinkStrVer(b, static_cast<uint8_t>(Num(a[0])), static_cast<uint32_t>(Num(a[1])),
                              static_cast<uint16_t>(Num(a[2]))),
             b);
       }},
      {"TypeToULinkStr",
       [](const Args& a) {
         char b[32] = {};
         return Text(
             TypeToULinkStr(b, static_cast<uint8_t>(Num(a[0])), static_cast<uint32_t>(Num(a[1]))),
             b);
       }},
      {"LinkStrV40ChgOnOff",
       [](const Args& a) {
         std::string text = Bytes(a[0]);
         LinkStrV40ChgOnOff(text.data());
         return Hex(text);
       }},
      {"TypeToLinkMode",
       [](const Args& a) {
         return std::to_string(TypeToLinkMode(static_cast<uint8_t>(Num(a[0]))));
       }},
      {"LinkModeToType",
       [](const Args& a) {
         return std::to_string(LinkModeToType(static_cast<uint8_t>(Num(a[0]))));
       }},
      // Number text
      {"StrToHex",
       [](const Args& a) {
         uint8_t v = 0;
         const bool ok = StrToHex(Bytes(a[0]).c_str(), v);
         return Code(ok, v);
       }},
      {"StrToDWord", [](const Args& a) { return std::to_string(StrToDWord(Bytes(a[0]).c_str())); }},
      {"StrToWMem",
       [](const Args& a) {
         const std::string text = Bytes(a[0]);
         std::vector<uint16_t> words(text.size() / 4);
         StrToWMem(text.c_str(), words.data(), static_cast<uint16_t>(words.size()));
         return WordsHex(words.data(), words.size());
       }},
      {"WMemToStr",
       [](const Args& a) {
         const std::vector<uint16_t> words = Words(a[0]);
         std::vector<char> b(4 * words.size() + 1);
         WMemToStr(b.data(), words.data(), static_cast<uint16_t>(words.size()));
         return Hex(std::string(b.data()));
       }},
      {"WordToFmtStr",
       [](const Args& a) {
         char b[kWordFmtRoom] = {};
         WordToFmtStr(b, static_cast<uint16_t>(Num(a[0])), static_cast<uint16_t>(Num(a[1])));
         return Hex(std::string(b));
       }},
      {"DWordToFmtStr",
       [](const Args& a) {
         char b[kDWordFmtRoom] = {};
         DWordToFmtStr(b, static_cast<uint32_t>(Num(a[0])), static_cast<uint16_t>(Num(a[1])));
         return Hex(std::string(b));
       }},
      {"RegDisToWord",
       [](const Args& a) {
         const std::vector<uint16_t> cells = Words(a[1]);
         return std::to_string(RegDisToWord(cells.data(), static_cast<uint16_t>(Num(a[0]))));
       }},
      {"WordToRegBin",
       [](const Args& a) {
         std::vector<uint16_t> cells = Words(a[2]);
         WordToRegBin(cells.data(), static_cast<uint16_t>(Num(a[1])),
                      static_cast<uint16_t>(Num(a[0])));
         return WordsHex(cells.data(), cells.size());
       }},
      // Memory dumps
      {"MemDump",
       [](const Args& a) {
         const std::string data = Bytes(a[0]);
         TStrings lines;
         MemDump(&lines, reinterpret_cast<const uint8_t*>(data.data()),
                 static_cast<int32_t>(data.size()));
         return List(lines);
       }},
      {"WordMemDump",
       [](const Args& a) {
         const std::vector<uint16_t> words = Words(a[0]);
         TStrings lines;
         WordMemDump(&lines, words.data(), static_cast<int32_t>(words.size()));
         return List(lines);
       }},
      {"TextToMem", ParseLines(TextToMem)},
      {"UTextToMem", ParseLines(UTextToMem)},
      {"UStrToMem",
       [](const Args& a) {
         std::vector<uint8_t> b(Num(a[1]));
         const int32_t n = UStrToMem(Bytes(a[0]).c_str(), b.data(), static_cast<int32_t>(b.size()));
         return n < 0 ? std::string("-1") : Hex(b.data(), static_cast<std::size_t>(n));
       }},
      // CRC-16 and the tagged file
      {"CRC16",
       [](const Args& a) {
         const std::string data = Bytes(a[1]);
         return std::to_string(CRC16(reinterpret_cast<const uint8_t*>(data.data()),
                                     static_cast<uint32_t>(data.size()),
                                     static_cast<uint16_t>(Num(a[0]))));
       }},
      {"FD2CheckNodeEx",
       [](const Args& a) {
         const std::string data = Bytes(a[1]);
         const TFileNodeEx2 node{static_cast<uint32_t>(Num(a[0])),
                                 static_cast<uint32_t>(data.size()),
                                 reinterpret_cast<const uint8_t*>(data.data())};
         return std::to_string(FD2CheckNodeEx(node));
       }},
      {"FD2CheckFileTag",
       [](const Args& a) {
         const std::string tag = Bytes(a[1]);
         TFileTag2 copy{};
         std::memcpy(&copy, tag.data(), std::min(tag.size(), sizeof copy));
         return std::to_string(FD2CheckFileTag(&copy, static_cast<uint16_t>(Num(a[0]))));
       }},
      {"FD2WriteNodeEx",
       [](const Args& a) {
         const std::string data = Bytes(a[1]);
         const TFileNodeEx2 node{static_cast<uint32_t>(Num(a[0])),
                                 static_cast<uint32_t>(data.size()),
                                 reinterpret_cast<const uint8_t*>(data.data())};
         std::ostringstream out;
         FD2WriteNodeEx(&out, node);
         FD2WriteEOF(&out);
         return Hex(out.str());
       }},
      {"FD2NodeGetAnsiString",
       [](const Args& a) {
         const std::string data = Bytes(a[1]);
         int32_t cursor = static_cast<int32_t>(SNum(a[0]));
         // The C++ routine trusts the caller with the bounds; this one checks
         // them as a caller must.
         if (cursor < 0 || std::size_t(cursor) + 2 > data.size()) return std::string("0");
         const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
         const std::size_t count = bytes[cursor] | std::size_t{bytes[cursor + 1]} << 8;
         if (std::size_t(cursor) + 2 + count > data.size()) return std::string("0");
         std::string value;
         const bool ok = FD2NodeGetAnsiString(bytes, cursor, value);
         return ok ? "1 " + Hex(value) + " " + std::to_string(cursor) : std::string("0");
       }},
      // Telephone registers and decomposition
      {"TelphoneToReg",
       [](const Args& a) {
         uint16_t regs[kTelephoneRegisters] = {};
         return TelphoneToReg(Bytes(a[0]).c_str(), regs)
                    ? "1 " + WordsHex(regs, kTelephoneRegisters)
                    : std::string("0");
       }},
      {"RegToTelphone",
       [](const Args& a) {
         const std::vector<uint16_t> regs = Words(a[0]);
         char text[kTelephoneTextSize] = {};
         return Text(RegToTelphone(regs.data(), text), text);
       }},
      {"DecomposeStr",
       [](const Args& a) {
         SetLeadByteTest(LeadByteTestForCodePage(static_cast<int>(Num(a[0]))));
         const std::string text = Bytes(a[1]);
         char first[kDecomposeFirstSize] = {};
         std::vector<char> rest(text.size() + 1);
         DecomposeStr(text.c_str(), first, rest.data());
         return Hex(std::string(first)) + " " + Hex(std::string(rest.data()));
       }},
      // Ladder masking and the shift key
      {"LadderMask",
       [](const Args& a) {
         std::string data = Bytes(a[0]);
         LadderMask(reinterpret_cast<uint8_t*>(data.data()));
         return Hex(data);
       }},
      {"LadderUnMask",
       [](const Args& a) {
         std::string data = Bytes(a[0]);
         LadderUnMask(reinterpret_cast<uint8_t*>(data.data()));
         return Hex(data);
       }},
      {"ShiftKey",
       [](const Args& a) {
         TShiftState state;
         for (const std::string& m : a) state.Include(static_cast<TShiftMember>(Num(m)));
         return std::to_string(ShiftKey(state));
       }},
  };
  return routines;
}

}  // namespace

int main() {
  std::ios::sync_with_stdio(false);
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream words(line);
    std::string name;
    words >> name;
    Args args;
    for (std::string arg; words >> arg;) args.push_back(arg);
    const auto routine = Routines().find(name);
    if (routine == Routines().end()) {
      std::cerr << "fautil_oracle: unknown routine " << name << "\n";
      return 2;
    }
    std::cout << routine->second(args) << "\n";
  }
  return 0;
}

#include "StationFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "SerialDevice.h"

#include "RecordsServer.h"

namespace kv37 {

namespace {

// Far more than any fixture's slots need.
constexpr off_t kMaxFileBytes = 1 << 20;

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// A value without a trailing "; comment" or " # comment".
std::string Value(const std::string& text) {
  std::string value = text;
  for (const char* mark : {" ;", "\t;", " #", "\t#"})
    if (const auto at = value.find(mark); at != std::string::npos) value.erase(at);
  return Trim(value);
}

bool Flag(const std::string& value, std::optional<bool>& out) {
  std::string v = value;
  std::transform(v.begin(), v.end(), v.begin(), [](unsigned char c) { return std::tolower(c); });
  if (v == "yes" || v == "true" || v == "on" || v == "1") out = true;
  if (v == "no" || v == "false" || v == "off" || v == "0") out = false;
  return out.has_value();
}

}  // namespace

std::string Printable(const std::string& text) {
  std::string shown;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      shown += c;
      continue;
    }
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
    shown += escaped;
  }
  return shown;
}

namespace {

// One station file, line by line: each kind of line has its own step, and
// every fault names its line.
class Parser {
 public:
  explicit Parser(const std::string& path)
      : path_(path), folder_(std::filesystem::path(path).parent_path()) {
    spec_.file = path;
  }

  void Line(int number, const std::string& raw) {
    number_ = number;
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == '#' || line[0] == ';') return;
    if (line.front() == '[') return Heading(line);
    const auto equals = line.find('=');
    if (equals == std::string::npos) throw Fail("expected 'key = value'");
    const std::string key = Trim(line.substr(0, equals));
    const std::string value = Value(line.substr(equals + 1));
    if (value.empty()) throw Fail(key + " has no value");
    if (section_ == "station")
      StationKey(key, value);
    else if (slot_ != nullptr)
      SlotKey(key, value);
    else
      throw Fail("'" + key + "' before any [station] or [slot] heading");
  }

  StationSpec Finish() {
    number_ = 0;
    if (spec_.image.empty()) throw Fail("no image in [station]");
    if (spec_.slotSpecs.empty()) throw Fail("no [slot NAME] sections");
    for (const SlotSpec& s : spec_.slotSpecs) {
      number_ = s.line;
      if (s.value.empty())
        throw Fail("slot " + s.name + " names no adapter (serial, usb-port, path or url)");
    }
    if (spec_.name.empty()) spec_.name = std::filesystem::path(path_).stem().string();
    return std::move(spec_);
  }

 private:
  // The file's own text goes to a terminal: its control bytes never do.
  StationFileError Fail(const std::string& message) const {
    return StationFileError(
        Printable(path_ + (number_ > 0 ? ":" + std::to_string(number_) : "") + ": " + message));
  }

  std::string Resolve(const std::string& value) const {
    const std::filesystem::path p(value);
    return (p.is_absolute() || folder_.empty() ? p : folder_ / p).lexically_normal().string();
  }

  void Heading(const std::string& line) {
    if (line.back() != ']') throw Fail("a section heading ends with ']'");
    const std::string heading = Trim(line.substr(1, line.size() - 2));
    slot_ = nullptr;
    if (heading == "station") {
      section_ = heading;
      return;
    }
    if (heading.rfind("slot ", 0) != 0 || Trim(heading.substr(5)).empty())
      throw Fail("unknown section [" + heading + "]; expected [station] or [slot NAME]");
    section_ = "slot";
    const std::string name = Trim(heading.substr(5));
    if (const auto [it, added] = slotLines_.emplace(name, number_); !added)
      throw Fail("slot " + name + " is named twice (first on line " + std::to_string(it->second) +
                 ")");
    spec_.slotSpecs.push_back({name, SlotSpec::By::Path, "", number_});
    slot_ = &spec_.slotSpecs.back();
  }

  void StationKey(const std::string& key, const std::string& value) {
    std::optional<bool> flag;
    if (key == "name") {
      spec_.name = value;
    } else if (key == "image") {
      spec_.image = Resolve(value);
    } else if (key == "database") {
      spec_.database = Resolve(value);
    } else if (key == "sha256") {
      spec_.sha256 = value;
      std::transform(spec_.sha256.begin(), spec_.sha256.end(), spec_.sha256.begin(),
                     [](unsigned char c) { return std::tolower(c); });
      if (spec_.sha256.size() != 64 ||
          spec_.sha256.find_first_not_of("0123456789abcdef") != std::string::npos)
        throw Fail("sha256 must be 64 hexadecimal digits");
    } else if (key == "forward") {
      if (const std::string problem = RecordsServerUriProblem(value); !problem.empty())
        throw Fail("forward: " + problem);
      spec_.forward = value;
    } else if (key == "settle") {
      char* end = nullptr;
      const double seconds = std::strtod(value.c_str(), &end);
      if (end == value.c_str() || *end != '\0' || seconds < 0 || seconds > 60)
        throw Fail("settle must be seconds from 0 to 60");
      spec_.settle = std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    } else if (key == "wait-for-unit" && Flag(value, flag)) {
      spec_.waitForUnit = *flag;
    } else if (key == "fast" && Flag(value, flag)) {
      spec_.fast = *flag;
    } else if (key == "wait-for-unit" || key == "fast") {
      throw Fail(key + " must be yes or no");
    } else {
      throw Fail("unknown key '" + key + "' in [station]");
    }
  }

  void SlotKey(const std::string& key, const std::string& value) {
    static const std::map<std::string, SlotSpec::By> kKeys{{"serial", SlotSpec::By::Serial},
                                                           {"usb-port", SlotSpec::By::UsbPort},
                                                           {"path", SlotSpec::By::Path},
                                                           {"url", SlotSpec::By::Network}};
    const auto by = kKeys.find(key);
    if (by == kKeys.end())
      throw Fail("unknown key '" + key + "' in [slot " + slot_->name +
                 "]; expected serial, usb-port, path or url");
    if (by->second == SlotSpec::By::Network) {
      TNetAddress address;
      if (const std::string problem = ParseNetAddress(value, address); !problem.empty())
        throw Fail("url " + value + ": " + problem);
    }
    if (!slot_->value.empty()) throw Fail("slot " + slot_->name + " names its adapter twice");
    slot_->by = by->second;
    slot_->value = by->second == SlotSpec::By::Path ? Resolve(value) : value;
  }

  std::string path_;
  std::filesystem::path folder_;
  StationSpec spec_;
  std::string section_;
  SlotSpec* slot_ = nullptr;  // the slot whose keys come now
  std::map<std::string, int> slotLines_;
  int number_ = 0;  // the line being read; 0 for the file as a whole
};

}  // namespace

StationSpec ParseStationFile(const std::string& text, const std::string& path) {
  Parser parser(path);
  std::istringstream lines(text);
  int number = 0;
  for (std::string raw; std::getline(lines, raw);) parser.Line(++number, raw);
  return parser.Finish();
}

StationSpec ReadStationFile(const std::string& path) {
  // Opened without waiting (a FIFO would block until a writer came) and
  // read only when it is a plain file of a station file's size.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw StationFileError(Printable(path) + ": cannot be read: " + std::strerror(errno));
  struct stat st {};
  const bool statted = fstat(fd, &st) == 0;
  std::string problem = !statted                     ? std::string("cannot be read")
                        : S_ISDIR(st.st_mode)        ? "is a folder, not a station file"
                        : !S_ISREG(st.st_mode)       ? "is not a regular file"
                        : st.st_size > kMaxFileBytes ? "is too large for a station file"
                                                     : "";
  std::string text;
  if (problem.empty()) {
    text.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    for (ssize_t n; done < text.size() && (n = read(fd, text.data() + done, text.size() - done));) {
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        problem = std::string("cannot be read: ") + std::strerror(errno);
        break;
      }
      done += static_cast<std::size_t>(n);
    }
    text.resize(done);
  }
  close(fd);
  if (!problem.empty()) throw StationFileError(Printable(path) + ": " + problem);
  return ParseStationFile(text, path);
}

std::vector<std::string> SlotPaths(const StationSpec& spec) {
  std::vector<std::string> paths;
  for (const SlotSpec& slot : spec.slotSpecs)
    if (slot.by == SlotSpec::By::Path) paths.push_back(slot.value);
  return paths;
}

std::string SlotSpecText(const SlotSpec& slot) {
  switch (slot.by) {
    case SlotSpec::By::Serial:
      return "serial " + slot.value;
    case SlotSpec::By::UsbPort:
      return "USB port " + slot.value;
    case SlotSpec::By::Network:
      return slot.value;
    case SlotSpec::By::Path:
      break;
  }
  return "path " + slot.value;
}

}  // namespace kv37

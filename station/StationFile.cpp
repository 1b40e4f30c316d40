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

StationSpec ParseStationFile(const std::string& text, const std::string& path) {
  // The file's own text goes to a terminal: its control bytes never do.
  const auto fail = [&](int line, const std::string& message) -> StationFileError {
    return StationFileError(
        Printable(path + (line > 0 ? ":" + std::to_string(line) : "") + ": " + message));
  };
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  const auto resolve = [&](const std::string& value) {
    const std::filesystem::path p(value);
    return (p.is_absolute() || folder.empty() ? p : folder / p).lexically_normal().string();
  };

  StationSpec spec;
  spec.file = path;
  std::string section;
  SlotSpec* slot = nullptr;
  std::map<std::string, int> slotLines;
  std::istringstream lines(text);
  int number = 0;
  for (std::string raw; std::getline(lines, raw);) {
    ++number;
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line.front() == '[') {
      if (line.back() != ']') throw fail(number, "a section heading ends with ']'");
      const std::string heading = Trim(line.substr(1, line.size() - 2));
      slot = nullptr;
      if (heading == "station") {
        section = heading;
      } else if (heading.rfind("slot ", 0) == 0 && !Trim(heading.substr(5)).empty()) {
        section = "slot";
        const std::string name = Trim(heading.substr(5));
        if (const auto [it, added] = slotLines.emplace(name, number); !added)
          throw fail(number, "slot " + name + " is named twice (first on line " +
                                 std::to_string(it->second) + ")");
        spec.slotSpecs.push_back({name, SlotSpec::By::Path, "", number});
        slot = &spec.slotSpecs.back();
      } else {
        throw fail(number, "unknown section [" + heading + "]; expected [station] or [slot NAME]");
      }
      continue;
    }
    const auto equals = line.find('=');
    if (equals == std::string::npos) throw fail(number, "expected 'key = value'");
    const std::string key = Trim(line.substr(0, equals));
    const std::string value = Value(line.substr(equals + 1));
    if (value.empty()) throw fail(number, key + " has no value");
    if (section == "station") {
      std::optional<bool> flag;
      if (key == "name") {
        spec.name = value;
      } else if (key == "image") {
        spec.image = resolve(value);
      } else if (key == "database") {
        spec.database = resolve(value);
      } else if (key == "sha256") {
        spec.sha256 = value;
        std::transform(spec.sha256.begin(), spec.sha256.end(), spec.sha256.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        if (spec.sha256.size() != 64 ||
            spec.sha256.find_first_not_of("0123456789abcdef") != std::string::npos)
          throw fail(number, "sha256 must be 64 hexadecimal digits");
      } else if (key == "settle") {
        char* end = nullptr;
        const double seconds = std::strtod(value.c_str(), &end);
        if (end == value.c_str() || *end != '\0' || seconds < 0 || seconds > 60)
          throw fail(number, "settle must be seconds from 0 to 60");
        spec.settle = std::chrono::milliseconds(static_cast<long>(seconds * 1000));
      } else if (key == "wait-for-unit" && Flag(value, flag)) {
        spec.waitForUnit = *flag;
      } else if (key == "fast" && Flag(value, flag)) {
        spec.fast = *flag;
      } else if (key == "wait-for-unit" || key == "fast") {
        throw fail(number, key + " must be yes or no");
      } else {
        throw fail(number, "unknown key '" + key + "' in [station]");
      }
    } else if (slot != nullptr) {
      SlotSpec::By by;
      if (key == "serial")
        by = SlotSpec::By::Serial;
      else if (key == "usb-port")
        by = SlotSpec::By::UsbPort;
      else if (key == "path")
        by = SlotSpec::By::Path;
      else if (key == "url")
        by = SlotSpec::By::Network;
      else
        throw fail(number, "unknown key '" + key + "' in [slot " + slot->name +
                               "]; expected serial, usb-port, path or url");
      if (by == SlotSpec::By::Network) {
        TNetAddress address;
        if (const std::string problem = ParseNetAddress(value, address); !problem.empty())
          throw fail(number, "url " + value + ": " + problem);
      }
      if (!slot->value.empty())
        throw fail(number, "slot " + slot->name + " names its adapter twice");
      slot->by = by;
      slot->value = by == SlotSpec::By::Path ? resolve(value) : value;
    } else {
      throw fail(number, "'" + key + "' before any [station] or [slot] heading");
    }
  }

  if (spec.image.empty()) throw fail(0, "no image in [station]");
  if (spec.slotSpecs.empty()) throw fail(0, "no [slot NAME] sections");
  for (const SlotSpec& s : spec.slotSpecs)
    if (s.value.empty())
      throw fail(s.line, "slot " + s.name + " names no adapter (serial, usb-port, path or url)");
  if (spec.name.empty()) spec.name = std::filesystem::path(path).stem().string();
  return spec;
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

#include "PosixPortLock.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

namespace {

// The pid a lock file names: ten ASCII digits and a newline (HDB UUCP), or
// the binary int of the oldest programs. 0 when it names none.
long ReadLockPid(const std::string& lockFile) {
  const int fd = open(lockFile.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return 0;
  char text[32] = {};
  const ssize_t n = read(fd, text, sizeof text - 1);
  close(fd);
  if (n == static_cast<ssize_t>(sizeof(int32_t))) {
    int32_t binary = 0;
    std::memcpy(&binary, text, sizeof binary);
    if (binary > 0) return binary;
  }
  if (n <= 0) return 0;
  char* end = nullptr;
  const long pid = std::strtol(text, &end, 10);
  return pid > 0 ? pid : 0;
}

bool ProcessAlive(long pid) {
  // EPERM: it exists, it is only someone else's.
  return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// The numeric entries of a /proc folder, in ascending order.
std::vector<long> NumericEntries(const std::string& folder, int& error) {
  std::vector<long> numbers;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  error = dir ? 0 : errno;
  if (!dir) return numbers;
  while (const dirent* entry = readdir(dir.get())) {
    char* end = nullptr;
    const long n = std::strtol(entry->d_name, &end, 10);
    if (end != entry->d_name && *end == '\0') numbers.push_back(n);
  }
  std::sort(numbers.begin(), numbers.end());
  return numbers;
}

bool IsActiveConsole(const std::string& devicePath, const std::string& consoleFile) {
  if (devicePath.rfind("/dev/", 0) != 0) return false;
  const std::string name = devicePath.substr(5);
  std::ifstream active(consoleFile);
  std::string word;
  while (active >> word)
    if (word == name) return true;
  return false;
}

// Whether descriptor `fd` of process `pid` is one of `devices`. The link is
// read first, so only device nodes are ever stat'ed: a stat of a file on a
// dead network mount could block.
bool OpensDevice(long pid, long fd, const dev_t* devices, std::size_t count) {
  const std::string link = "/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd);
  char target[16];
  const ssize_t n = readlink(link.c_str(), target, sizeof target);
  if (n < 5 || std::memcmp(target, "/dev/", 5) != 0) return false;
  struct stat st {};
  if (stat(link.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  return std::find(devices, devices + count, st.st_rdev) != devices + count;
}

}  // namespace

std::string LockFilePath(const std::string& folder, const std::string& devicePath) {
  std::string name = devicePath;
  if (name.rfind("/dev/", 0) == 0) {
    name.erase(0, 5);
  } else if (const auto slash = name.rfind('/'); slash != std::string::npos) {
    name.erase(0, slash + 1);
  }
  for (char& c : name)
    if (c == '/') c = '_';
  return folder + "/LCK.." + name;
}

long LiveLockHolder(const std::string& lockFile) {
  struct stat st {};
  if (lstat(lockFile.c_str(), &st) != 0) return 0;
  const long pid = ReadLockPid(lockFile);
  if (pid != 0 && ProcessAlive(pid)) return pid;
  unlink(lockFile.c_str());
  return 0;
}

long CreateLockFile(const std::string& lockFile) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int fd =
        open(lockFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd >= 0) {
      char text[16];
      const int n = std::snprintf(text, sizeof text, "%10ld\n", static_cast<long>(getpid()));
      const bool written = write(fd, text, static_cast<std::size_t>(n)) == n;
      close(fd);
      if (written) return 0;
      unlink(lockFile.c_str());
      return -1;
    }
    if (errno != EEXIST) return -1;
    // Someone was quicker, or left a stale file behind.
    if (const long holder = LiveLockHolder(lockFile)) return holder;
  }
  return -1;
}

void RemoveLockFile(const std::string& lockFile) {
  if (ReadLockPid(lockFile) == static_cast<long>(getpid())) unlink(lockFile.c_str());
}

long FlockHolder(dev_t device, ino_t inode) {
  // Lines like "1: FLOCK  ADVISORY  WRITE 4242 00:05:87 0 EOF"; blocked
  // waiters ("1: -> FLOCK ...") hold nothing.
  std::ifstream locks("/proc/locks");
  char wanted[64];
  std::snprintf(wanted, sizeof wanted, "%02x:%02x:%lu", major(device), minor(device),
                static_cast<unsigned long>(inode));
  std::string line;
  while (std::getline(locks, line)) {
    std::istringstream fields(line);
    std::string index, kind, mode, access, where;
    long pid = 0;
    if (!(fields >> index >> kind)) continue;
    if (kind != "FLOCK") continue;
    if (!(fields >> mode >> access >> pid >> where)) continue;
    if (where == wanted) return pid;
  }
  return 0;
}

TOpeners FindOtherOpeners(dev_t device, const std::string& devicePath,
                          const std::string& consoleFile) {
  const bool console = IsActiveConsole(devicePath, consoleFile);
  const dev_t devices[] = {device, makedev(5, 1)};  // the device, /dev/console
  const std::size_t count = console ? 2 : 1;
  TOpeners found;
  int error = 0;
  const long self = getpid();
  for (const long pid : NumericEntries("/proc", error)) {
    if (pid == self) continue;
    const std::vector<long> fds = NumericEntries("/proc/" + std::to_string(pid) + "/fd", error);
    // Another user's process keeps its open files to itself.
    if (error == EACCES || error == EPERM) ++found.uncheckedProcs;
    for (const long fd : fds) {
      if (!OpensDevice(pid, fd, devices, count)) continue;
      found.pid = pid;
      found.name = ProcessName(pid);
      return found;
    }
  }
  if (console) found.name = "the system console";
  return found;
}

std::string ProcessName(long pid) {
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

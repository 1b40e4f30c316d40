// Telling other programs that a port is in use, and finding out who holds
// one: the UUCP lock files of the classic terminal programs
// (<folder>/LCK..<device>, the holder's pid inside), the kernel's flock
// table, and the open files of every process (as fuser finds them). Linux
// only; used by OpenSerialDevice.
#pragma once

#include <sys/types.h>

#include <string>

// "<folder>/LCK..ttyUSB0" for /dev/ttyUSB0; a device below a subfolder of
// /dev (/dev/pts/3) has its slashes turned into '_' (LCK..pts_3).
std::string LockFilePath(const std::string& folder, const std::string& devicePath);

// The pid in `lockFile` when that process is alive, else 0. A lock file whose
// process is dead, or that names no process, is stale and removed.
long LiveLockHolder(const std::string& lockFile);

// Creates `lockFile` holding this process's pid. Returns 0 on success, the
// pid of a live holder that got there first, or -1 when the folder takes no
// lock file (missing, read-only, no permission): the port is used without.
long CreateLockFile(const std::string& lockFile);

// Removes `lockFile` if it still names this process.
void RemoveLockFile(const std::string& lockFile);

// The pid of a process holding an flock on the file with this device and
// inode number, from /proc/locks, or 0.
long FlockHolder(dev_t device, ino_t inode);

// Other processes with a device open.
struct TOpeners {
  long pid = 0;            // the lowest such pid, 0 when none was found
  std::string name;        // its command name, or "the system console"
  int uncheckedProcs = 0;  // processes whose open files this user may not read
};

// Looks through /proc/*/fd for another process with the character device
// `device` (at `devicePath`) open. A device that is the kernel's active
// console (`consoleFile` lists it) also counts as held by every process with
// /dev/console open, and by the kernel itself when there is none. This
// process is left out: its own ports are guarded by flock.
TOpeners FindOtherOpeners(dev_t device, const std::string& devicePath,
                          const std::string& consoleFile = "/sys/class/tty/console/active");

// The command name of process `pid`, or "" when it cannot be read.
std::string ProcessName(long pid);

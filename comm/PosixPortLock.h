// Telling other programs that a port is in use, and finding out who holds
// one: the UUCP lock files of the classic terminal programs
// (<folder>/LCK..<device>, the holder's pid inside) and the kernel's flock
// table. Linux only; used by OpenSerialDevice.
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

// The command name of process `pid`, or "" when it cannot be read.
std::string ProcessName(long pid);

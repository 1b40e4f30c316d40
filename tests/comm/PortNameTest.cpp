// Port names, the per-user port map and the exclusive open.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <QDir>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <iomanip>

#include "CommTestSupport.h"
#include "PortName.h"
#include "PosixPortLock.h"

namespace {

namespace fs = std::filesystem;

class PortMap : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = PortMapDirectory();
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  void Map(const std::string& com, const std::string& target) {
    fs::create_symlink(target, dir + "/" + com);
  }
  std::string dir;
};

TEST(ResolvePortName, NamesWithoutAMapEntry) {
  struct Case {
    const char* name;
    const char* path;
  };
  const Case cases[] = {
      {"/dev/ttyUSB0", "/dev/ttyUSB0"},  // absolute paths as they are
      {"COM1", "/dev/ttyS0"},            // no map entry: the serial device
      {"com12", "/dev/ttyS11"},
      {"COM256", "/dev/ttyS255"},
      {"COM0", "/dev/COM0"},  // not a COM number: a name from /dev
      {"COM257", "/dev/COM257"},
      {"COM01", "/dev/COM01"},
      {"COMx", "/dev/COMx"},
      {"ttyACM0", "/dev/ttyACM0"},
      {"dev/ttyS0", "dev/ttyS0"},  // relative paths are left alone
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ResolvePortName(c.name), c.path) << c.name;
}

TEST_F(PortMap, EntryIsTheOnlyPathForItsName) {
  Map("COM3", "/dev/ttyUSB7");
  EXPECT_EQ(ResolvePortName("COM3"), dir + "/COM3");
  EXPECT_EQ(ResolvePortName("com3"), dir + "/COM3");
  EXPECT_EQ(ResolvePortName("COM4"), "/dev/ttyS3");
}

TEST_F(PortMap, MappedNameOpensTheLinkedDevice) {
  TPty pty;
  Map("COM9", pty.slavePath());
  EXPECT_TRUE(OpensNow("COM9"));
  TComm comm;
  comm.CommName = "COM9";
  comm.StartComm();
  EXPECT_TRUE(comm.IsOpen());
  EXPECT_EQ(comm.LastOpenResult().path, dir + "/COM9");
  EXPECT_EQ(comm.LastOpenResult().devicePath, pty.slavePath());
  EXPECT_FALSE(OpensNow("COM9"));
}

TEST_F(PortMap, MappedNameNeverFallsBackToAnotherDevice) {
  // /dev/ttyS0 would be another unit: the operator asked for the mapped one.
  TPty held;
  const TOpenResult holder = OpenPort(held.slavePath());
  ASSERT_TRUE(holder.device);
  Map("COM1", dir + "/unplugged-adapter");
  Map("COM2", held.slavePath());
  struct Case {
    const char* name;
    TOpenError error;
  };
  for (const Case& c : {Case{"COM1", TOpenError::Missing}, Case{"COM2", TOpenError::Busy}}) {
    const TOpenResult r = OpenPort(c.name);
    EXPECT_EQ(r.device, nullptr) << c.name;
    EXPECT_EQ(r.error, c.error) << c.name;
    EXPECT_EQ(r.path, dir + "/" + c.name) << c.name;
    EXPECT_FALSE(OpensNow(c.name)) << c.name;
    TComm comm;
    comm.CommName = c.name;
    EXPECT_THROW(comm.StartComm(), ECommsError) << c.name;
    EXPECT_EQ(comm.LastOpenResult().path, dir + "/" + c.name) << c.name;
  }
}

TEST(OpenPort, ClassifiesWhatCannotBeAPort) {
  QTemporaryDir tmp;
  const std::string file = tmp.filePath("image.bin").toStdString();
  std::ofstream(file) << "not a port";
  const std::string missing = tmp.filePath("missing").toStdString();
  struct Case {
    std::string path;
    TOpenError error;
    int sysError;
  };
  const Case cases[] = {
      {file, TOpenError::NotCharDevice, 0},
      {tmp.path().toStdString(), TOpenError::Other, EISDIR},
      {"/dev/null", TOpenError::NotTerminal, ENOTTY},
      {missing, TOpenError::Missing, ENOENT},
  };
  for (const Case& c : cases) {
    const TOpenResult r = OpenPort(c.path);
    EXPECT_EQ(r.error, c.error) << c.path;
    EXPECT_EQ(r.sysError, c.sysError) << c.path;
    EXPECT_EQ(r.path, c.path) << c.path;
  }
  EXPECT_FALSE(fs::exists(missing));  // never created
}

TEST(ProbePort, OpenIsExclusiveUntilTheHolderCloses) {
  TPty pty;
  {
    TOpenResult held = OpenPort(pty.slavePath());
    ASSERT_TRUE(held.device);
    EXPECT_FALSE(OpensNow(pty.slavePath()));
    const TOpenResult second = OpenPort(pty.slavePath());
    EXPECT_EQ(second.error, TOpenError::Busy);
    EXPECT_EQ(second.holderPid, static_cast<long>(getpid()));
  }
  EXPECT_TRUE(OpensNow(pty.slavePath()));
  EXPECT_TRUE(OpensNow(pty.slavePath()));  // the probe itself holds nothing
}

TEST(OtherOpeners, APlainReaderOrTheSystemConsoleHoldsThePort) {
  TPty pty;
  // A reader that takes no lock of any kind, as cat or a getty.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, pty.slavePath().c_str(), O_RDONLY | O_NOCTTY, 0);
  pid_t reader = 0;
  char* argv[] = {const_cast<char*>("sleep"), const_cast<char*>("30"), nullptr};
  ASSERT_EQ(posix_spawnp(&reader, "sleep", &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  const TOpenResult held = OpenPort(pty.slavePath());
  kill(reader, SIGKILL);
  waitpid(reader, nullptr, 0);
  EXPECT_EQ(held.error, TOpenError::Busy);
  EXPECT_EQ(held.holderPid, reader);
  EXPECT_NE(DescribeOpenFailure(held).find("held by sleep (pid " + std::to_string(reader) + ")"),
            std::string::npos)
      << DescribeOpenFailure(held);
  EXPECT_NE(OpenPort(pty.slavePath()).device, nullptr);

  QTemporaryDir dir;
  const std::string active = dir.filePath("active").toStdString();
  std::ofstream(active) << "tty0 " << pty.slavePath().substr(5) << "\n";
  struct stat st {};
  ASSERT_EQ(stat(pty.slavePath().c_str(), &st), 0);
  const TOpeners console = FindOtherOpeners(st.st_rdev, pty.slavePath(), active);
  EXPECT_EQ(console.pid, 0);
  EXPECT_EQ(console.name, "the system console");
}

TEST(PortIdentity, UsbAdaptersAreFoundAboveTheirTtyInSysfs) {
  // sysfs as the kernel lays it out: /sys/dev/char/M:m -> the tty's class
  // folder, whose "device" is the port, below the interface, below the USB
  // device (usb-serial); a CDC-ACM tty's "device" is the interface itself.
  QTemporaryDir sys;
  const fs::path root = sys.path().toStdString();
  struct Case {
    const char* name;
    dev_t device;
    const char* portFolder;  // the tty's "device", below devices/
    bool usb;
  };
  const Case cases[] = {
      {"usb-serial", makedev(188, 0), "pci0/usb1/1-1/1-1.2/1-1.2:1.0/ttyUSB0", true},
      {"cdc-acm", makedev(166, 0), "pci0/usb1/1-1/1-1.3/1-1.3:1.2", true},
      {"uart", makedev(4, 65), "platform/serial8250/tty/ttyS1", false},
  };
  for (const Case& c : cases) {
    const fs::path port = root / "devices" / c.portFolder;
    const fs::path tty = port / "tty" / c.name;
    fs::create_directories(tty);
    fs::create_directory_symlink(port, tty / "device");
    fs::create_directories(root / "dev" / "char");
    fs::create_directory_symlink(
        tty, root / "dev" / "char" /
                 (std::to_string(major(c.device)) + ":" + std::to_string(minor(c.device))));
  }
  // What the USB devices and their interfaces say about themselves.
  const auto write = [&](const std::string& folder, const char* name, const char* value) {
    std::ofstream(root / "devices" / folder / name) << value << "\n";
  };
  for (const char* usbDevice : {"pci0/usb1/1-1/1-1.2", "pci0/usb1/1-1/1-1.3"}) {
    write(usbDevice, "idVendor", "0403");
    write(usbDevice, "idProduct", "6001");
  }
  write("pci0/usb1/1-1/1-1.2", "serial", "A9XYZ");
  write("pci0/usb1/1-1/1-1.2/1-1.2:1.0", "bInterfaceNumber", "00");
  write("pci0/usb1/1-1/1-1.3/1-1.3:1.2", "bInterfaceNumber", "02");
  for (const Case& c : cases)
    EXPECT_EQ(UsbIdentityOf(c.device, root.string()).has_value(), c.usb) << c.name;
  const TUsbIdentity serial = *UsbIdentityOf(makedev(188, 0), root.string());
  EXPECT_EQ(UsbIdentityText(serial), "0403:6001 serial A9XYZ at USB 1-1.2");
  EXPECT_EQ(serial.interface, "00");
  const TUsbIdentity acm = *UsbIdentityOf(makedev(166, 0), root.string());
  EXPECT_EQ(UsbIdentityText(acm), "0403:6001 at USB 1-1.3");
  EXPECT_EQ(acm.interface, "02");
}

TEST_F(PortMap, ADanglingRelativeLinkLeadsToOnePlaceForTheOpenAndForTheTooltip) {
  fs::create_directories(dir + "/adapters");
  Map("COM5", "adapters/../adapters/unplugged");
  const std::string expected = dir + "/adapters/unplugged";
  EXPECT_EQ(IdentifyPort("COM5").devicePath, expected);
  EXPECT_EQ(OpenPort("COM5").devicePath, expected);
  EXPECT_EQ(PortTargetText("COM5"), dir + "/COM5 -> " + expected + " (not present)");
}

TEST(DescribeOpenFailure, TellsTheTechnicianWhatToDo) {
  const auto text = [](TOpenError error, long pid = 0, std::string name = {}, int sysError = 0) {
    TOpenResult r;
    r.error = error;
    r.path = "/home/op/.config/kv37update/ports/COM1";
    r.devicePath = "/dev/ttyUSB0";
    r.holderPid = pid;
    r.holderName = std::move(name);
    r.sysError = sysError;
    return DescribeOpenFailure(r);
  };
  struct Case {
    std::string got;
    const char* says;
  };
  const Case cases[] = {
      {text(TOpenError::Missing), "not present"},
      {text(TOpenError::Permission), "dialout"},
      {text(TOpenError::Busy), "held by another program"},
      {text(TOpenError::Busy, 0, "the system console"), "held by the system console"},
      {text(TOpenError::Busy, 4242, "minicom"), "held by minicom (pid 4242)"},
      {text(TOpenError::NotTerminal), "not a serial port"},
      {text(TOpenError::NotCharDevice), "not a serial port"},
      {text(TOpenError::Other, 0, {}, EIO), "Input/output error"},
  };
  for (const Case& c : cases) {
    EXPECT_NE(c.got.find(c.says), std::string::npos) << c.got;
    EXPECT_NE(c.got.find("COM1 -> /dev/ttyUSB0"), std::string::npos) << c.got;
  }
  EXPECT_EQ(text(TOpenError::None), "");
}

class LockFiles : public ::testing::Test {
 protected:
  std::string LockFor(const TPty& pty) {
    return LockFilePath(folder.path().toStdString(), pty.slavePath());
  }
  void WriteLock(const std::string& file, long pid) {
    std::ofstream(file) << std::setw(10) << pid << "\n";
  }
  QTemporaryDir folder;
};

TEST(LockFilePath, NamesTheDeviceTheClassicWay) {
  EXPECT_EQ(LockFilePath("/var/lock", "/dev/ttyUSB0"), "/var/lock/LCK..ttyUSB0");
  EXPECT_EQ(LockFilePath("/var/lock", "/dev/pts/3"), "/var/lock/LCK..pts_3");
  EXPECT_EQ(LockFilePath("/run/lock", "/tmp/x/ttyV0"), "/run/lock/LCK..ttyV0");
}

TEST_F(LockFiles, LiveLockMakesThePortBusyAndNamesItsHolder) {
  TPty pty;
  WriteLock(LockFor(pty), 1);  // init: alive as long as the machine is
  const TOpenResult r = OpenSerialDevice(pty.slavePath(), folder.path().toStdString());
  EXPECT_EQ(r.device, nullptr);
  EXPECT_EQ(r.error, TOpenError::Busy);
  EXPECT_EQ(r.holderPid, 1);
  EXPECT_TRUE(fs::exists(LockFor(pty)));
}

TEST_F(LockFiles, StaleLockIsReplacedAndOursGoesWithTheClose) {
  TPty pty;
  const pid_t dead = fork();
  if (dead == 0) _exit(0);
  waitpid(dead, nullptr, 0);
  WriteLock(LockFor(pty), dead);
  {
    const TOpenResult r = OpenSerialDevice(pty.slavePath(), folder.path().toStdString());
    ASSERT_NE(r.device, nullptr);
    std::ifstream lock(LockFor(pty));
    long pid = 0;
    lock >> pid;
    EXPECT_EQ(pid, static_cast<long>(getpid()));
  }
  EXPECT_FALSE(fs::exists(LockFor(pty)));
}

TEST_F(LockFiles, FolderThatTakesNoLockStillOpensThePort) {
  TPty pty;
  const TOpenResult r = OpenSerialDevice(pty.slavePath(), folder.filePath("absent").toStdString());
  EXPECT_NE(r.device, nullptr);
}

}  // namespace

// Port names, the per-user port map and the exclusive open.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "CommTestSupport.h"
#include "PortName.h"

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
    const char* fallback;
  };
  const Case cases[] = {
      {"/dev/ttyUSB0", "/dev/ttyUSB0", ""},  // absolute paths as they are
      {"COM1", "/dev/ttyS0", ""},            // no map entry: the fallback itself
      {"com12", "/dev/ttyS11", ""},
      {"COM256", "/dev/ttyS255", ""},
      {"COM0", "/dev/COM0", ""},  // not a COM number: a name from /dev
      {"COM257", "/dev/COM257", ""},
      {"COM01", "/dev/COM01", ""},
      {"COMx", "/dev/COMx", ""},
      {"ttyACM0", "/dev/ttyACM0", ""},
      {"dev/ttyS0", "dev/ttyS0", ""},  // relative paths are left alone
      {"", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ResolvePortName(c.name), c.path) << c.name;
    EXPECT_EQ(FallbackPortName(c.name), c.fallback) << c.name;
  }
}

TEST_F(PortMap, EntryIsTriedFirstAndTheSerialDeviceIsTheFallback) {
  Map("COM3", "/dev/ttyUSB7");
  EXPECT_EQ(ResolvePortName("COM3"), dir + "/COM3");
  EXPECT_EQ(ResolvePortName("com3"), dir + "/COM3");
  EXPECT_EQ(FallbackPortName("COM3"), "/dev/ttyS2");
  EXPECT_EQ(ResolvePortName("COM4"), "/dev/ttyS3");
}

TEST_F(PortMap, MappedNameOpensTheLinkedDevice) {
  TPty pty;
  Map("COM9", pty.slavePath());
  EXPECT_TRUE(ProbePort("COM9"));
  TComm comm;
  comm.CommName = "COM9";
  comm.StartComm();
  EXPECT_TRUE(comm.IsOpen());
  EXPECT_FALSE(ProbePort("COM9"));
}

TEST(OpenPort, ClassifiesWhatCannotBeAPort) {
  QTemporaryDir tmp;
  const std::string file = tmp.filePath("image.bin").toStdString();
  std::ofstream(file) << "not a port";
  EXPECT_EQ(OpenPort(file).error, TOpenError::NotCharDevice);
  EXPECT_EQ(OpenPort(tmp.path().toStdString()).error, TOpenError::OpenFailed);
  EXPECT_EQ(OpenPort("/dev/null").error, TOpenError::NotTerminal);
  EXPECT_EQ(OpenPort(tmp.filePath("missing").toStdString()).error, TOpenError::OpenFailed);
  EXPECT_FALSE(fs::exists(tmp.filePath("missing").toStdString()));  // never created
}

TEST(ProbePort, OpenIsExclusiveUntilTheHolderCloses) {
  TPty pty;
  {
    TOpenResult held = OpenPort(pty.slavePath());
    ASSERT_TRUE(held.device);
    EXPECT_FALSE(ProbePort(pty.slavePath()));
    EXPECT_EQ(OpenPort(pty.slavePath()).error, TOpenError::OpenFailed);
  }
  EXPECT_TRUE(ProbePort(pty.slavePath()));
  EXPECT_TRUE(ProbePort(pty.slavePath()));  // the probe itself holds nothing
}

}  // namespace

// Arguments and files the updater refuses before it touches any port.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "CliTestSupport.h"
#include "NetServers.h"
#include "SerialDevice.h"

namespace kv37::cli::test {
namespace {

using ::testing::HasSubstr;

struct RefusedCase {
  const char* name;
  // "@image", "@dir", "@empty", "@ff" (all 0xFF), "@fifo", "@pty", "@link"
  // (a link to @pty) and "@dots" (@pty spelt through "..") are replaced.
  std::vector<std::string> args;
  const char* message;
};

class CliRefuses : public ::testing::TestWithParam<RefusedCase> {
 protected:
  void SetUp() override {
    ASSERT_EQ(openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
    pty_ = ttyname(slave_);
  }
  void TearDown() override {
    close(master_);
    close(slave_);
  }
  std::vector<std::string> Args(const TempDir& dir) const {
    const std::string fifo = (dir.Path() / "image.fifo").string();
    mkfifo(fifo.c_str(), 0600);
    const std::string link = (dir.Path() / "ttyLink").string();
    std::filesystem::create_symlink(pty_, link);
    const std::string base = std::filesystem::path(pty_).filename().string();
    const std::map<std::string, std::string> values{
        {"@image", dir.Write("os.bin", Pattern(10))},
        {"@dir", dir.Path().string()},
        {"@empty", dir.Write("empty.bin", {})},
        {"@ff", dir.Write("erased.bin", std::vector<uint8_t>(5000, 0xFF))},
        {"@fifo", fifo},
        {"@pty", pty_},
        {"@link", link},
        {"@dots", "/dev/pts/../pts/" + base}};
    std::vector<std::string> args;
    for (const std::string& arg : GetParam().args)
      args.push_back(values.count(arg) ? values.at(arg) : arg);
    return args;
  }

  int master_ = -1, slave_ = -1;
  std::string pty_;
};

TEST_P(CliRefuses, WithExitFiveAndAReason) {
  TempDir dir;
  std::vector<std::string> args = Args(dir);
  const CliResult result = RunCli(args);
  EXPECT_EQ(result.exitStatus, 5) << result.err;
  EXPECT_THAT(result.err, HasSubstr(GetParam().message));
  EXPECT_EQ(result.out, "");

  // With --json the same refusal is one JSON object with the status.
  args.push_back("--json");
  const CliResult json = RunCli(args);
  EXPECT_EQ(json.exitStatus, 5);
  const QJsonObject error = QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).object();
  EXPECT_EQ(error["event"].toString(), "error") << json.out;
  EXPECT_EQ(error["exit_status"].toInt(), 5);
  EXPECT_THAT(error["message"].toString().toStdString(), HasSubstr(GetParam().message));
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CliRefuses,
    ::testing::Values(
        RefusedCase{"NoPort", {"@image"}, "--port is required"},
        RefusedCase{"NoImage", {"--port", "/dev/null"}, "IMAGE is required"},
        RefusedCase{"UnreadableImage",
                    {"/nonexistent/os.bin", "--port", "COM1"},
                    "cannot open image /nonexistent/os.bin: No such file or directory"},
        RefusedCase{"ImageIsAFolder", {"@dir", "--port", "COM1"}, "a folder, not a regular file"},
        RefusedCase{"SamePortTwice",
                    {"@image", "--port", "COM2", "--port", "/dev/ttyS1"},
                    "the same device as --port COM2"},
        RefusedCase{"LogInAMissingFolder",
                    {"@image", "--port", "COM1", "--log", "/nonexistent/dir/update.log"},
                    "cannot open log file"},
        RefusedCase{"UnknownOption", {"@image", "--port", "COM1", "--bogus"}, "--bogus"},
        RefusedCase{"EmptyImage", {"@empty", "--port", "COM1"}, "is empty"},
        RefusedCase{"AllFFImage", {"@ff", "--port", "COM1"}, "is all 0xFF"},
        RefusedCase{"ImageIsAFifo", {"@fifo", "--port", "COM1"}, "a FIFO, not a regular file"},
        RefusedCase{"ImageIsADevice", {"/dev/zero", "--port", "COM1"}, "a device, not a"},
        RefusedCase{"LinkAndDevice",
                    {"@image", "--port", "@pty", "--port", "@link"},
                    "the same device as --port /dev/pts/"},
        RefusedCase{"DeviceSpeltThroughDots",
                    {"@image", "--port", "@pty", "--port", "@dots"},
                    "the same device as --port /dev/pts/"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CliHelp, ListsEveryExitStatusAndExitsZero) {
  const CliResult result = RunCli({"--help"});
  EXPECT_EQ(result.exitStatus, 0);
  for (const char* line :
       {"  0 ", "  1 ", "  2 ", "  3 ", "  4 ", "  5 ", "  130 ", "  143 ", "dialout", "--force"})
    EXPECT_THAT(result.out, HasSubstr(line));
  const CliResult version = RunCli({"--version"});
  EXPECT_EQ(version.exitStatus, 0);
  EXPECT_THAT(version.out, HasSubstr("kv37-update-cli 1."));
}

TEST(CliImage, ForcedErasingImageAndOversizeImageGoOnWithAWarningOrTheFlag) {
  // Past the image checks both reach the ports; a missing port then ends the
  // run with 3, which shows the image was not refused.
  TempDir dir;
  const std::string erased = dir.Write("erased.bin", std::vector<uint8_t>(5000, 0xFF));
  const std::string big = dir.Write("big.bin", Pattern(0x20000 + 1));
  const std::string missing = (dir.Path() / "ttyNone").string();
  const CliResult forced = RunCli({erased, "--port", missing, "--force"});
  EXPECT_EQ(forced.exitStatus, 3) << forced.err;
  const CliResult oversize = RunCli({big, "--port", missing});
  EXPECT_EQ(oversize.exitStatus, 3) << oversize.err;
  EXPECT_THAT(oversize.err, HasSubstr("warning: " + big +
                                      " is 131073 bytes; a unit asks for "
                                      "the first 512 pages (131072 bytes) only"));
}

TEST(CliListPorts, ShowsMapEntriesWithTheirDeviceAndWhetherTheyAreFree) {
  TempDir config;
  const std::string ports = (config.Path() / "kv37update" / "ports").string();
  std::filesystem::create_directories(ports);
  int freeMaster = -1, freeSlave = -1, heldMaster = -1, heldSlave = -1;
  ASSERT_EQ(openpty(&freeMaster, &freeSlave, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(openpty(&heldMaster, &heldSlave, nullptr, nullptr, nullptr), 0);
  const std::string freePty = ttyname(freeSlave), heldPty = ttyname(heldSlave);
  // An open far end is a holder like any other.
  close(freeSlave);
  close(heldSlave);
  std::filesystem::create_symlink(freePty, ports + "/COM1");
  std::filesystem::create_symlink(heldPty, ports + "/COM2");
  std::filesystem::create_symlink(ports + "/unplugged", ports + "/COM3");
  // A network port, where nothing listens.
  const std::string network = "tcp://127.0.0.1:" + std::to_string(kv37::test::FreeTcpPort());
  std::filesystem::create_symlink(network, ports + "/COM4");
  const TOpenResult holder = OpenSerialDevice(heldPty);
  ASSERT_NE(holder.device, nullptr);

  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::string before = saved ? saved : "";
  setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
  const CliResult json = RunCli({"--list-ports", "--json"});
  const CliResult text = RunCli({"--list-ports"});
  if (saved)
    setenv("XDG_CONFIG_HOME", before.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");

  EXPECT_EQ(json.exitStatus, 0) << json.err;
  std::map<std::string, QJsonObject> byName;
  for (const QJsonValue& port :
       QJsonDocument::fromJson(QByteArray::fromStdString(json.out))["ports"].toArray())
    byName[port["name"].toString().toStdString()] = port.toObject();
  ASSERT_EQ(byName.count("COM1"), 1u) << json.out;
  EXPECT_EQ(byName["COM1"]["device"].toString().toStdString(), freePty);
  EXPECT_TRUE(byName["COM1"]["free"].toBool());
  EXPECT_EQ(byName["COM2"]["device"].toString().toStdString(), heldPty);
  EXPECT_FALSE(byName["COM2"]["free"].toBool());
  EXPECT_EQ(byName["COM2"]["holder_pid"].toInteger(), getpid());
  EXPECT_EQ(byName["COM3"]["state"].toString(), "not present");
  EXPECT_EQ(byName["COM4"]["device"].toString().toStdString(), network);
  EXPECT_THAT(byName["COM4"]["state"].toString().toStdString(), HasSubstr("connection refused"));
  EXPECT_THAT(byName["COM4"]["network"].toString().toStdString(),
              HasSubstr("server's line settings hold"));
  EXPECT_THAT(text.out,
              ::testing::ContainsRegex("COM2 +" + heldPty + " +busy, held by cli_tests \\(pid"));
  for (const int fd : {freeMaster, heldMaster}) close(fd);
}

}  // namespace
}  // namespace kv37::cli::test

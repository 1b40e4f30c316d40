// kv37sim as a separate process: its first output line, --link, the summary
// line and the exit status.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>

#include "OsImage.h"
#include "RunSummary.h"
#include "ScriptedUtility.h"

extern char** environ;

namespace kv37::sim {
namespace {

using namespace test;

class Kv37SimProcess {
 public:
  explicit Kv37SimProcess(std::vector<std::string> args) {
    args.insert(args.begin(), KV37SIM_PATH);
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    out_ = out[0];
    if (rc != 0) throw std::runtime_error("spawn");
  }
  ~Kv37SimProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    ::close(out_);
  }

  // The next line of stdout, without its newline; empty on time-out or end.
  std::string ReadLine(std::chrono::milliseconds timeout = 5000ms) {
    for (;;) {
      if (const auto nl = pending_.find('\n'); nl != std::string::npos) {
        std::string line = pending_.substr(0, nl);
        pending_.erase(0, nl + 1);
        return line;
      }
      pollfd p{out_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return {};
      char buffer[512];
      const ssize_t n = ::read(out_, buffer, sizeof buffer);
      if (n <= 0) return {};
      pending_.append(buffer, static_cast<std::size_t>(n));
    }
  }

  // Exit status, or -1 when the process did not end within `timeout`.
  int Wait(std::chrono::milliseconds timeout = 10000ms) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(5ms);
    }
    return -1;
  }

  void Signal(int sig) { ::kill(pid_, sig); }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string pending_;
};

class Kv37SimProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("kv37sim-test-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string WriteImage(const std::string& name, std::size_t size) {
    const MemoryStream image = PatternImage(size);
    const auto path = dir_ / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.Memory()), static_cast<std::streamsize>(size));
    return path.string();
  }

  std::filesystem::path dir_;
};

const std::regex kSummary(
    R"(kv37sim: result=(1|0|none) requested=(\d+) verified=(\d+)/(\d+) retries=(\d+) )"
    R"(elapsed_ms=\d+\.\d{3} latency_median_ms=(\d+\.\d{3}|-) latency_p99_ms=(\d+\.\d{3}|-) )"
    R"(latency_max_ms=(\d+\.\d{3}|-))");

TEST_F(Kv37SimProgram, DefaultRunThroughTheLinkExitsZeroWithItsSummary) {
  const std::string imagePath = WriteImage("os.bin", 1000);
  const std::string link = (dir_ / "COM1").string();
  Kv37SimProcess sim({"--link", link, "--expect", imagePath, "--reply-timeout", "500"});
  const std::string port = sim.ReadLine();
  ASSERT_FALSE(port.empty());
  EXPECT_EQ(std::filesystem::read_symlink(link), port);

  MemoryStream image;
  LoadOsImage(image, imagePath);
  ScriptedUtility utility(link);
  utility.SendStart();
  const auto served = utility.Serve(image);
  EXPECT_EQ(served.pages.size(), 512u);
  EXPECT_EQ(served.result, kResultSuccess);

  const std::string summary = sim.ReadLine();
  std::smatch m;
  ASSERT_TRUE(std::regex_match(summary, m, kSummary)) << summary;
  EXPECT_EQ(m[1], "1");
  EXPECT_EQ(m[2], "512");
  EXPECT_EQ(m[3], "512");
  EXPECT_EQ(m[4], "512");
  EXPECT_EQ(m[5], "0");
  EXPECT_NE(m[6], "-");
  EXPECT_EQ(sim.Wait(), static_cast<int>(SimOutcome::Success));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST_F(Kv37SimProgram, ImageOtherThanExpectedGivesCompletionZeroAndExitOne) {
  const std::string expected = WriteImage("expected.bin", 1000);
  Kv37SimProcess sim({"--expect", expected, "--pages", "8"});
  const std::string port = sim.ReadLine();
  ScriptedUtility utility(port);
  utility.SendStart();
  const auto served = utility.Serve(PatternImage(999));  // the last byte is padding here
  EXPECT_EQ(served.pages.size(), 8u);
  EXPECT_EQ(served.result, kResultFailure);
  const std::string summary = sim.ReadLine();
  EXPECT_THAT(summary, ::testing::HasSubstr("result=0 requested=8 verified=7/8"));
  EXPECT_EQ(sim.Wait(), static_cast<int>(SimOutcome::Failure));
}

TEST_F(Kv37SimProgram, SignalEndsAWaitingUnitWithSummaryAndStatusFive) {
  Kv37SimProcess sim({});
  ASSERT_FALSE(sim.ReadLine().empty());
  sim.Signal(SIGTERM);
  EXPECT_THAT(sim.ReadLine(), ::testing::StartsWith("kv37sim: result=none requested=0"));
  EXPECT_EQ(sim.Wait(), static_cast<int>(SimOutcome::Interrupted));
}

TEST_F(Kv37SimProgram, NoStartCommandEndsWithStatusFour) {
  Kv37SimProcess sim({"--start-timeout", "100"});
  EXPECT_FALSE(sim.ReadLine().empty());
  EXPECT_EQ(sim.Wait(), static_cast<int>(SimOutcome::NoStart));
}

TEST_F(Kv37SimProgram, BadCommandLinesExitTwoBeforeOpeningAnything) {
  const std::vector<std::vector<std::string>> cases = {
      {"--pages", "0"},
      {"--pages", "513"},
      {"--split", "600"},
      {"--beyond", "100"},
      {"--split", "3", "--bad-checksum", "3"},
      {"--device", "/dev/null", "--link", "/tmp/x"},
      {"--expect", "/nonexistent/os.bin"},
      {"--no-such-option"},
  };
  for (const auto& args : cases) {
    Kv37SimProcess sim(args);
    EXPECT_EQ(sim.ReadLine(), "") << args[0];
    EXPECT_EQ(sim.Wait(), static_cast<int>(SimOutcome::Usage)) << args[0];
  }
}

TEST_F(Kv37SimProgram, UnopenableDeviceExitsThree) {
  Kv37SimProcess sim({"--device", (dir_ / "no-such-tty").string()});
  EXPECT_EQ(sim.Wait(), static_cast<int>(SimOutcome::LineError));
}

TEST_F(Kv37SimProgram, LinkNeverReplacesARealFile) {
  const std::string existing = WriteImage("precious.bin", 10);
  Kv37SimProcess sim({"--link", existing});
  EXPECT_EQ(sim.Wait(), static_cast<int>(SimOutcome::LineError));
  EXPECT_EQ(std::filesystem::file_size(existing), 10u);
}

}  // namespace
}  // namespace kv37::sim

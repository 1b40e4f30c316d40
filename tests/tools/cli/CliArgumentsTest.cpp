// Arguments and files the updater refuses before it touches any port.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CliTestSupport.h"

namespace kv37::cli::test {
namespace {

using ::testing::HasSubstr;

struct RefusedCase {
  const char* name;
  std::vector<std::string> args;  // "@image" and "@dir" are replaced
  const char* message;
};

class CliRefuses : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(CliRefuses, WithExitFiveAndAReason) {
  TempDir dir;
  const std::string image = dir.Write("os.bin", Pattern(10));
  std::vector<std::string> args;
  for (const std::string& arg : GetParam().args)
    args.push_back(arg == "@image" ? image : arg == "@dir" ? dir.Path().string() : arg);
  const CliResult result = RunCli(args);
  EXPECT_EQ(result.exitStatus, 5) << result.err;
  EXPECT_THAT(result.err, HasSubstr(GetParam().message));
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CliRefuses,
    ::testing::Values(
        RefusedCase{"NoPort", {"@image"}, "--port is required"},
        RefusedCase{"NoImage", {"--port", "/dev/null"}, "IMAGE is required"},
        RefusedCase{
            "UnreadableImage", {"/nonexistent/os.bin", "--port", "COM1"}, "Cannot open file"},
        RefusedCase{"ImageIsAFolder", {"@dir", "--port", "COM1"}, "is a folder"},
        RefusedCase{"SamePortTwice",
                    {"@image", "--port", "COM2", "--port", "/dev/ttyS1"},
                    "the same port as COM2"},
        RefusedCase{"LogInAMissingFolder",
                    {"@image", "--port", "COM1", "--log", "/nonexistent/dir/update.log"},
                    "cannot open log file"},
        RefusedCase{"UnknownOption", {"@image", "--port", "COM1", "--fast"}, "--fast"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CliHelp, ListsEveryExitStatusAndExitsZero) {
  const CliResult result = RunCli({"--help"});
  EXPECT_EQ(result.exitStatus, 0);
  for (const char* line : {"  0 ", "  1 ", "  2 ", "  3 ", "  4 ", "  5 ", "dialout"})
    EXPECT_THAT(result.out, HasSubstr(line));
}

}  // namespace
}  // namespace kv37::cli::test

#include "SimCommandLine.h"

#include <CLI/CLI.hpp>
#include <random>

#include "OsImage.h"

namespace kv37::sim {
namespace {

constexpr const char* kFooter = R"(Output:
  stdout, first line: the path the utility opens as its port (the far end of
  the pseudo-terminal, or the --device path).
  stdout, last line, one line:
    kv37sim: result=R requested=N verified=V/P retries=T elapsed_ms=E
             latency_median_ms=M latency_p99_ms=Q latency_max_ms=X
  R is the completion result sent (1, 0 or none); N the request frames sent
  (repeats, retries and faulty ones included); V of P planned pages arrived
  intact (and matched --expect); T re-requests; E milliseconds from the start
  command to the last frame sent; latency is from a request's last byte to
  its reply's first byte ("-" when no reply came).
  stderr: one line per problem seen (missing, bad or mismatching reply).

Exit status:
  0 completion '1' sent: every planned page arrived intact
  1 completion '0' sent, or the unit went silent
  2 bad command line
  3 the line could not be opened or failed
  4 no start command within --start-timeout
  5 interrupted (SIGINT, SIGTERM))";

struct Raw {
  unsigned pages = kFlashPages;
  std::string expect;
  unsigned baud = 0;
  unsigned flashDelayMs = 0;
  unsigned retries = 3;
  unsigned replyTimeoutMs = 1000;
  unsigned chunkGapMs = 250;
  unsigned startTimeoutMs = 0;
  unsigned silenceHoldMs = 7000;
  uint32_t seed = 0;
  unsigned beyond = 0, split = 0, badChecksum = 0, badDelimiter = 0, noise = 0, silentAfter = 0;
};

// Empty when fine, otherwise what is wrong.
std::string Check(unsigned pages, const CommandLine& cl) {
  const FaultPlan& f = cl.config.faults;
  if (!cl.device.empty() && !cl.link.empty())
    return "--link needs the pseudo-terminal, not --device";
  if (f.beyondPage && *f.beyondPage < pages)
    return "--beyond must name a page at or above --pages (" + std::to_string(pages) + ")";
  const std::pair<const char*, std::optional<uint16_t>> keyed[] = {
      {"--split", f.splitPage},
      {"--bad-checksum", f.badChecksumPage},
      {"--bad-delimiter", f.badDelimiterPage},
      {"--noise", f.noisePage},
      {"--silent-after", f.silentAfterPage}};
  for (const auto& [name, page] : keyed) {
    if (page && *page >= pages && f.beyondPage != page)
      return std::string(name) + ": page " + std::to_string(*page) + " is never requested";
  }
  if ((f.splitPage && (f.splitPage == f.badChecksumPage || f.splitPage == f.badDelimiterPage)) ||
      (f.badChecksumPage && f.badChecksumPage == f.badDelimiterPage))
    return "--split, --bad-checksum and --bad-delimiter need different pages";
  return {};
}

// The line, pacing and timing options.
void AddLineOptions(CLI::App& app, CommandLine& cl, Raw& raw) {
  // Ranges without descriptions: the help text states them where they matter.
  const auto ms = CLI::Range(0u, 3'600'000u).description("");
  app.add_option("--device", cl.device,
                 "Open this serial device instead of creating a pseudo-terminal")
      ->type_name("PATH");
  app.add_option("--link", cl.link,
                 "Also make PATH a symbolic link to the utility's end (removed at exit)")
      ->type_name("PATH");
  app.add_option("--pages", raw.pages, "Request pages 0 .. N-1 (1 to 512)")
      ->type_name("N")
      ->check(CLI::Range(1u, kFlashPages).description(""))
      ->capture_default_str();
  app.add_option("--expect", raw.expect,
                 "Each page must also match this image, padded as the utility pads it")
      ->check(CLI::Validator(CLI::ExistingFile).description(""))
      ->type_name("FILE");
  app.add_option("--baud", raw.baud,
                 "Pace the line at N bit/s (10 bits a byte); unpaced when absent. Sets a --device "
                 "to N (57600 when absent)")
      ->type_name("N")
      ->check(CLI::Range(50u, 4'000'000u).description(""));
  app.add_option("--write-size", cl.config.writeSize,
                 "With --baud: bytes handed to the line in one write, as a UART FIFO (16) or a "
                 "USB packet (64) does; each byte on its own by default")
      ->type_name("N")
      ->check(CLI::Range(std::size_t{1}, std::size_t{4096}).description(""))
      ->capture_default_str();
  app.add_option("--flash-delay", raw.flashDelayMs, "Unit's write time per page, ms")
      ->type_name("MS")
      ->check(ms)
      ->capture_default_str();
  app.add_flag("--retry", cl.config.retry,
               "Time out and re-request a page whose reply is missing or bad");
  app.add_option("--retries", raw.retries, "Re-requests per page at most, with --retry")
      ->type_name("N")
      ->check(CLI::Range(1u, 1000u).description(""))
      ->capture_default_str();
  app.add_option("--reply-timeout", raw.replyTimeoutMs,
                 "Wait for a reply, ms from the request's last byte")
      ->type_name("MS")
      ->check(CLI::Range(1u, 3'600'000u).description(""))
      ->capture_default_str();
  app.add_option("--chunk-gap", raw.chunkGapMs,
                 "Pause that separates chunks (split request, noise), ms")
      ->type_name("MS")
      ->check(ms)
      ->capture_default_str();
  app.add_option("--start-timeout", raw.startTimeoutMs,
                 "Give up without a start command after this many ms; 0 waits forever")
      ->type_name("MS")
      ->check(ms)
      ->capture_default_str();
  app.add_option("--silence-hold", raw.silenceHoldMs,
                 "With --silent-after: stay silent this long, ms, then end")
      ->type_name("MS")
      ->check(ms)
      ->capture_default_str();
}

// The fault options.
void AddFaultOptions(CLI::App& app, FaultPlan& f, Raw& raw) {
  const auto page = CLI::Range(0u, 0xFFFFu).description("");
  auto* faults = "Faults";
  app.add_flag("--random-order", f.randomOrder, "Request the pages in a random order")
      ->group(faults);
  app.add_option("--seed", raw.seed, "Seed of --random-order (printed on stderr when drawn)")
      ->type_name("N")
      ->group(faults);
  app.add_option("--repeat", f.repeatEvery, "Request every N-th page twice in a row")
      ->type_name("N")
      ->check(CLI::Range(1u, 0xFFFFu).description(""))
      ->group(faults);
  app.add_option("--beyond", raw.beyond,
                 "Also request PAGE (beyond the flash) after the regular pages")
      ->type_name("PAGE")
      ->check(page)
      ->group(faults);
  app.add_option("--split", raw.split,
                 "Send the request for PAGE as two chunks: 02 AA hi | lo sum sum 03")
      ->type_name("PAGE")
      ->check(page)
      ->group(faults);
  app.add_option("--bad-checksum", raw.badChecksum,
                 "Send the request for PAGE with its checksum off by one")
      ->type_name("PAGE")
      ->check(page)
      ->group(faults);
  app.add_option("--bad-delimiter", raw.badDelimiter,
                 "Send the request for PAGE with 00 in place of the ETX")
      ->type_name("PAGE")
      ->check(page)
      ->group(faults);
  app.add_option("--noise", raw.noise,
                 "Send a noise chunk (00 3C C3 7E 81) before the request for PAGE")
      ->type_name("PAGE")
      ->check(page)
      ->group(faults);
  app.add_option("--silent-after", raw.silentAfter, "Send nothing more after the exchange for PAGE")
      ->type_name("PAGE")
      ->check(page)
      ->group(faults);
  app.add_flag("--fail-completion", f.failCompletion,
               "End with completion '0' even when every page arrived intact")
      ->group(faults);
}

// A page-valued fault counts only when it was given.
void TakeFaultPages(const CLI::App& app, const Raw& raw, CommandLine& cl) {
  FaultPlan& f = cl.config.faults;
  const auto pageOption = [&](const char* name, unsigned value) -> std::optional<uint16_t> {
    if (app.count(name) == 0) return std::nullopt;
    return static_cast<uint16_t>(value);
  };
  f.beyondPage = pageOption("--beyond", raw.beyond);
  f.splitPage = pageOption("--split", raw.split);
  f.badChecksumPage = pageOption("--bad-checksum", raw.badChecksum);
  f.badDelimiterPage = pageOption("--bad-delimiter", raw.badDelimiter);
  f.noisePage = pageOption("--noise", raw.noise);
  f.silentAfterPage = pageOption("--silent-after", raw.silentAfter);
  cl.seedGiven = app.count("--seed") > 0;
  f.seed = cl.seedGiven ? raw.seed : std::random_device{}();
}

// Fills the run's settings; empty when fine, otherwise what is wrong with
// --expect.
std::string Configure(const Raw& raw, CommandLine& cl) {
  SimConfig& c = cl.config;
  c.pages = raw.pages;
  c.baud = raw.baud;
  if (raw.baud > 0) cl.deviceBaud = raw.baud;
  c.flashDelay = std::chrono::milliseconds(raw.flashDelayMs);
  c.retries = raw.retries;
  c.replyTimeout = std::chrono::milliseconds(raw.replyTimeoutMs);
  c.chunkGap = std::chrono::milliseconds(raw.chunkGapMs);
  c.startTimeout = std::chrono::milliseconds(raw.startTimeoutMs);
  c.silenceHold = std::chrono::milliseconds(raw.silenceHoldMs);
  if (!raw.expect.empty()) {
    try {
      c.expect.emplace();
      LoadOsImage(*c.expect, raw.expect);
    } catch (const std::exception& e) {
      return std::string("--expect: ") + e.what();
    }
  }
  return {};
}

}  // namespace

ParsedCommandLine ParseCommandLine(int argc, const char* const argv[], std::ostream& out,
                                   std::ostream& err) {
  CommandLine cl;
  Raw raw;
  CLI::App app{"Simulated KV-37 unit: takes an OS update over a serial line as the unit does."};
  app.set_version_flag("--version", std::string("kv37sim ") + KV37_VERSION);
  app.footer(kFooter);
  app.get_formatter()->column_width(30);
  AddLineOptions(app, cl, raw);
  AddFaultOptions(app, cl.config.faults, raw);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return {std::nullopt, 0};
  } catch (const CLI::CallForVersion& e) {
    out << e.what() << '\n';
    return {std::nullopt, 0};
  } catch (const CLI::ParseError& e) {
    err << "kv37sim: " << e.what() << "\nRun with --help for the options.\n";
    return {std::nullopt, static_cast<int>(SimOutcome::Usage)};
  }

  TakeFaultPages(app, raw, cl);
  if (std::string problem = Check(raw.pages, cl);
      !problem.empty() || !(problem = Configure(raw, cl)).empty()) {
    err << "kv37sim: " << problem << '\n';
    return {std::nullopt, static_cast<int>(SimOutcome::Usage)};
  }

  return {std::move(cl), 0};
}

}  // namespace kv37::sim

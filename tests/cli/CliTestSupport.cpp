#include "CliTestSupport.h"

#include <stdlib.h>

#include <QProcess>
#include <QStringList>
#include <fstream>

namespace kv37::cli::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kv37cli-XXXXXX").string();
  path_ = mkdtemp(pattern.data());
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
  const auto file = path_ / name;
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return file.string();
}

std::vector<uint8_t> Pattern(std::size_t size) {
  std::vector<uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 256);
  return bytes;
}

UnitOnPty::UnitOnPty(const MemoryStream& image, unsigned pages, sim::FaultPlan faults,
                     bool hangUpAtEnd, unsigned baud)
    : line_(sim::SerialTransport::CreatePseudoTerminal()), path_(line_->PeerPath()) {
  sim::SimConfig config;
  config.pages = pages;
  config.expect = image;
  config.faults = faults;
  config.baud = baud;
  // A unit the updater never starts must not keep the test waiting.
  config.startTimeout = std::chrono::milliseconds(20000);
  unit_ = std::make_unique<sim::SimulatedUnit>(*line_, std::move(config));
  thread_ = std::thread([this, hangUpAtEnd] {
    summary_ = unit_->Run();
    if (!hangUpAtEnd) return;
    try {
      line_->Drain(std::chrono::seconds(1));
    } catch (const sim::TransportError&) {
    }
    std::lock_guard lock(lineMutex_);
    line_.reset();
  });
}

UnitOnPty::~UnitOnPty() {
  Finish(true);
}

const sim::RunSummary& UnitOnPty::Finish(bool stop) {
  if (stop) {
    // Stopping cancels the line, which a hung-up unit no longer has.
    std::lock_guard lock(lineMutex_);
    if (line_) unit_->Stop();
  }
  if (thread_.joinable()) thread_.join();
  return summary_;
}

CliResult RunCli(const std::vector<std::string>& args, int timeoutMs,
                 const std::vector<std::string>& wrapper) {
  QStringList arguments;
  for (const std::string& arg : wrapper) arguments << QString::fromStdString(arg);
  arguments << QStringLiteral(KV37_UPDATE_CLI);
  for (const std::string& arg : args) arguments << QString::fromStdString(arg);
  const QString program = arguments.takeFirst();
  QProcess process;
  process.start(program, arguments);
  CliResult result;
  if (!process.waitForStarted(10000)) return result;
  process.closeWriteChannel();
  if (!process.waitForFinished(timeoutMs)) {
    process.kill();
    process.waitForFinished(5000);
  } else if (process.exitStatus() == QProcess::NormalExit) {
    result.exitStatus = process.exitCode();
  }
  result.out = process.readAllStandardOutput().toStdString();
  result.err = process.readAllStandardError().toStdString();
  return result;
}

}  // namespace kv37::cli::test

namespace kv37::cli::test {

CliResult RunCliAndTerminate(const std::vector<std::string>& args, const std::string& line) {
  QStringList arguments;
  for (const std::string& arg : args) arguments << QString::fromStdString(arg);
  QProcess process;
  process.start(QStringLiteral(KV37_UPDATE_CLI), arguments);
  CliResult result;
  if (!process.waitForStarted(10000)) return result;
  QByteArray out;
  while (!out.contains(QByteArray::fromStdString(line)) && process.waitForReadyRead(10000))
    out += process.readAllStandardOutput();
  process.terminate();
  if (process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit)
    result.exitStatus = process.exitCode();
  else
    process.kill();
  result.out = (out + process.readAllStandardOutput()).toStdString();
  result.err = process.readAllStandardError().toStdString();
  return result;
}

}  // namespace kv37::cli::test

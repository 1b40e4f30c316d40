#include "PgServer.h"

#include <libpq-fe.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <thread>

namespace kv37::test {

namespace {

constexpr const char* kBin = "/usr/lib/postgresql/15/bin/";
constexpr uid_t kNobody = 65534;

int FreePort() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  close(s);
  return ntohs(address.sin_port);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

PgServer::PgServer() : port_(FreePort()) {
  std::string pattern = (std::filesystem::temp_directory_path() / "kv37pg-XXXXXX").string();
  dir_ = mkdtemp(pattern.data());
  // The server refuses to run as root.
  if (geteuid() == 0 && chown(dir_.c_str(), kNobody, kNobody) != 0)
    throw std::runtime_error("cannot hand " + dir_ + " to nobody");
  Run(std::string(kBin) + "initdb -D " + dir_ + "/data -U postgres -E UTF8 --no-sync " +
      "--auth-local=trust --auth-host=scram-sha-256 >" + dir_ + "/initdb.log 2>&1");
  Start();
  Sql("CREATE DATABASE kv37");
}

PgServer::~PgServer() {
  if (running_) Kill();
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

void PgServer::Run(const std::string& command) const {
  const std::string as = geteuid() == 0 ? "runuser -u nobody -- " : "";
  if (std::system((as + "sh -c '" + command + "'").c_str()) != 0)
    throw std::runtime_error("'" + command + "' failed:\n" + ReadFile(dir_ + "/initdb.log") +
                             ReadFile(dir_ + "/server.log"));
}

std::string PgServer::Uri() const {
  return "postgresql://postgres@/kv37?host=" + dir_ + "&port=" + std::to_string(port_);
}

std::string PgServer::UriFor(const std::string& user) const {
  return "postgresql://" + user + "@127.0.0.1:" + std::to_string(port_) + "/kv37";
}

void PgServer::Start() {
  Run(std::string(kBin) + "pg_ctl -D " + dir_ + "/data -l " + dir_ + "/server.log -w -t 30 " +
      "-o \"-p " + std::to_string(port_) + " -k " + dir_ +
      " -c listen_addresses=127.0.0.1 -c fsync=off\" start >/dev/null");
  running_ = true;
}

void PgServer::Stop() {
  Run(std::string(kBin) + "pg_ctl -D " + dir_ + "/data -m fast -w stop >/dev/null");
  running_ = false;
}

void PgServer::Kill() {
  const pid_t server = std::atoi(ReadFile(dir_ + "/data/postmaster.pid").c_str());
  if (server <= 0) return;
  // The server's own processes first, so none lingers on its shared memory.
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string stat = ReadFile(entry.path().string() + "/stat");
    const auto after = stat.rfind(')');
    if (after == std::string::npos) continue;
    int parent = 0;
    char state = 0;
    if (std::sscanf(stat.c_str() + after + 2, "%c %d", &state, &parent) == 2 && parent == server)
      kill(std::atoi(entry.path().filename().c_str()), SIGKILL);
  }
  kill(server, SIGKILL);
  for (int i = 0; i < 500 && kill(server, 0) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  running_ = false;
}

void PgServer::Sql(const std::string& sql) const {
  Column(sql);
}

std::vector<std::string> PgServer::Column(const std::string& sql) const {
  const std::string uri = "postgresql://postgres@/" +
                          std::string(sql.rfind("CREATE DATABASE", 0) == 0 ? "postgres" : "kv37") +
                          "?host=" + dir_ + "&port=" + std::to_string(port_);
  std::unique_ptr<PGconn, decltype(&PQfinish)> conn(PQconnectdb(uri.c_str()), PQfinish);
  if (PQstatus(conn.get()) != CONNECTION_OK)
    throw std::runtime_error(std::string("test server: ") + PQerrorMessage(conn.get()));
  std::unique_ptr<PGresult, decltype(&PQclear)> result(PQexec(conn.get(), sql.c_str()), PQclear);
  const ExecStatusType status = PQresultStatus(result.get());
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
    throw std::runtime_error(sql + ": " + PQresultErrorMessage(result.get()));
  std::vector<std::string> column;
  for (int i = 0; i < PQntuples(result.get()); ++i)
    column.emplace_back(PQgetvalue(result.get(), i, 0));
  return column;
}

}  // namespace kv37::test

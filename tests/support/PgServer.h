#pragma once
// A PostgreSQL 15 server of the test's own: a cluster made in a temporary
// folder, run as an unprivileged user (nobody, when the tests run as root),
// listening on loopback and on a socket in that folder, removed at the end.
// The superuser "postgres" logs in without a password over the socket; roles
// made by the test log in with theirs over TCP.

#include <string>
#include <vector>

namespace kv37::test {

class PgServer {
 public:
  // Makes the cluster with a database "kv37" and starts it; throws
  // std::runtime_error with initdb's or the server's own words.
  PgServer();
  ~PgServer();
  PgServer(const PgServer&) = delete;
  PgServer& operator=(const PgServer&) = delete;

  // The superuser's URI (over the socket), or `user`'s over TCP.
  std::string Uri() const;
  std::string UriFor(const std::string& user) const;
  int Port() const { return port_; }
  const std::string& Folder() const { return dir_; }

  void Start();
  void Stop();
  // SIGKILL to the server and every process of it.
  void Kill();

  // Runs `sql` as the superuser; throws with the server's words.
  void Sql(const std::string& sql) const;
  // The first column of each row `sql` returns.
  std::vector<std::string> Column(const std::string& sql) const;

 private:
  void Run(const std::string& command) const;

  std::string dir_;
  int port_ = 0;
  bool running_ = false;
};

}  // namespace kv37::test

#pragma once
// Sends a station's recorded units on to the factory's records server. The
// station's SQLite database stays its durable record and is the outbox: a
// row is marked forwarded only after the server has committed it, and the
// server keys rows by the unit's identity, so a row sent twice (after a
// crash between the commit and the mark) is still one row there. Rows go in
// order, in batches, on a thread of its own; while the server cannot be
// reached, refuses the login or has the wrong schema, the station goes on
// and the rows wait, offered again after a pause that doubles up to a minute.
//
// Construction, Wake, Now and the callbacks: the owner's thread.

#include <QObject>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "RecordsServer.h"
#include "UnitDatabase.h"

namespace kv37 {

// Rows a batch carries at most.
inline constexpr std::size_t kForwardBatch = 500;

struct ForwardCalls {
  std::function<bool()> stop;                   // asked before each batch
  std::function<void(std::size_t sent)> batch;  // after each batch the server committed
  // A row the server refuses (a value it cannot take) would stop every row
  // after it: it is marked refused, kept here, and told.
  std::function<void(const UnitRow& row, const std::string& reason)> refused;
};

// Forwards every row of `database` not yet forwarded to `server`, in
// batches, until none waits or `calls.stop` says so; returns how many went.
// Throws RecordsServerError or UnitDatabaseError (rows sent so far stay sent).
std::size_t ForwardWaiting(UnitDatabase& database, RecordsServer& server,
                           const ForwardCalls& calls = {});

class RecordsForwarder : public QObject {
 public:
  static constexpr std::chrono::seconds kFirstPause{1};
  static constexpr std::chrono::seconds kLongestPause{60};

  // Starts forwarding the rows of the SQLite database at `database` to `uri`.
  RecordsForwarder(std::string database, std::string uri, QObject* parent = nullptr);
  // Stops at once, breaking a call blocked on the network; rows not yet
  // forwarded wait in the database for the next start.
  ~RecordsForwarder() override;

  // New rows were written.
  void Wake();

  struct State {
    std::size_t waiting = 0;  // rows not yet forwarded
    std::string oldest;       // the oldest waiting row's end, UTC ISO 8601; "" when none
    std::string trouble;      // why the server does not take them; "" when it does
  };
  State Now() const;
  const std::string& ServerName() const { return name_; }

  // The server stopped taking rows (each new reason once), took them again,
  // or refused one row for good.
  std::function<void(const std::string& text)> onTrouble;
  std::function<void(const std::string& text)> onForwarding;
  std::function<void(const std::string& text)> onRefused;

 private:
  void Work();
  void Post(std::function<void()> call);

  std::string database_, uri_, name_;
  mutable std::mutex mutex_;  // guards everything below
  std::condition_variable wake_;
  bool woken_ = false, stopping_ = false;
  State state_;
  RecordsServer* live_ = nullptr;  // the thread's connection, for Abort
  std::thread thread_;
};

}  // namespace kv37

#include "RecordsForwarder.h"

#include <QPointer>
#include <memory>

#include "History.h"

namespace kv37 {

namespace {

// Rows are counted again this often while nothing wakes the thread, so rows
// another writer (update --record) added are forwarded too.
constexpr auto kIdleLook = std::chrono::seconds(30);

}  // namespace

std::size_t ForwardWaiting(UnitDatabase& database, RecordsServer& server,
                           const ForwardCalls& calls) {
  std::size_t sent = 0;
  const auto send = [&](const std::vector<UnitRow>& rows) {
    server.Insert(rows);
    std::vector<std::string> ids;
    ids.reserve(rows.size());
    for (const UnitRow& row : rows) ids.push_back(row.unitId);
    // Only now: a crash before this line sends these rows again, and the
    // server keeps one of each.
    database.MarkForwarded(ids);
    sent += rows.size();
  };
  while (!calls.stop || !calls.stop()) {
    const std::vector<UnitRow> rows = database.Unforwarded(kForwardBatch);
    if (rows.empty()) break;
    try {
      send(rows);
    } catch (const RecordsServerError& e) {
      if (!e.RefusedData()) throw;
      // Which row? One by one, the others go on.
      for (const UnitRow& row : rows) {
        try {
          send({row});
        } catch (const RecordsServerError& one) {
          if (!one.RefusedData()) throw;
          database.MarkRefused(row.unitId);
          if (calls.refused) calls.refused(row, one.what());
        }
      }
    }
    if (calls.batch) calls.batch(sent);
  }
  return sent;
}

RecordsForwarder::RecordsForwarder(std::string database, std::string uri, QObject* parent)
    : QObject(parent),
      database_(std::move(database)),
      uri_(std::move(uri)),
      name_(RecordsServerName(uri_)) {
  thread_ = std::thread([this] { Work(); });
}

RecordsForwarder::~RecordsForwarder() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    if (live_ != nullptr) live_->Abort();
  }
  wake_.notify_all();
  thread_.join();
}

void RecordsForwarder::Wake() {
  {
    std::lock_guard lock(mutex_);
    woken_ = true;
  }
  wake_.notify_all();
}

RecordsForwarder::State RecordsForwarder::Now() const {
  std::lock_guard lock(mutex_);
  return state_;
}

void RecordsForwarder::Post(std::function<void()> call) {
  QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void RecordsForwarder::Work() {
  std::unique_ptr<UnitDatabase> db;
  std::unique_ptr<RecordsServer> server;
  auto pause = std::chrono::duration_cast<std::chrono::milliseconds>(kFirstPause);
  bool fresh = false;  // the connection was made for this round
  const auto stopping = [this] {
    std::lock_guard lock(mutex_);
    return stopping_;
  };
  const auto publish = [this, &db] {
    const std::size_t waiting = db ? db->CountUnforwarded() : 0;
    const std::string oldest = db ? db->OldestUnforwardedEnd() : std::string();
    std::lock_guard lock(mutex_);
    state_.waiting = waiting;
    state_.oldest = oldest;
  };
  // The server takes rows (again): a trouble told is over.
  const auto flowing = [this] {
    std::string was;
    {
      std::lock_guard lock(mutex_);
      was = std::exchange(state_.trouble, {});
    }
    if (!was.empty())
      Post([this] {
        if (onForwarding) onForwarding("records server " + name_ + " takes the rows again");
      });
  };
  ForwardCalls calls;
  calls.stop = stopping;
  calls.batch = [&](std::size_t) {
    flowing();
    publish();
  };
  calls.refused = [this](const UnitRow& row, const std::string& reason) {
    const std::string text = "unit " + row.unitId + " (slot " + row.slot + ", " + row.started +
                             "): " + reason + "; it stays in the unit database, marked refused";
    Post([this, text] {
      if (onRefused) onRefused(text);
    });
  };
  while (!stopping()) {
    try {
      try {
        if (!db) db = std::make_unique<UnitDatabase>(database_);
        publish();
      } catch (const UnitDatabaseError& e) {
        db.reset();
        throw std::runtime_error("unit database " + database_ + ": " + e.what());
      }
      if (Now().waiting == 0) {
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, kIdleLook, [this] { return woken_ || stopping_; });
        woken_ = false;
        continue;
      }
      if (!server) {
        auto connected = std::make_unique<RecordsServer>(uri_, stopping);
        {
          std::lock_guard lock(mutex_);
          if (stopping_) break;
          server = std::move(connected);
          live_ = server.get();  // from here on a stop breaks any call
        }
        server->CheckSchema();
        fresh = true;
      }
      ForwardWaiting(*db, *server, calls);
      publish();
      flowing();
      fresh = false;
      pause = std::chrono::duration_cast<std::chrono::milliseconds>(kFirstPause);
    } catch (const std::exception& e) {
      const bool reused = server && !fresh;
      {
        std::lock_guard lock(mutex_);
        live_ = nullptr;
      }
      server.reset();
      fresh = false;
      if (stopping()) break;
      // A connection that sat idle may have been closed by the server (a
      // restart, an idle timeout): one new one first, without a word.
      if (reused && dynamic_cast<const RecordsServerError*>(&e) != nullptr) continue;
      try {
        if (db) publish();
      } catch (const UnitDatabaseError&) {
        db.reset();
      }
      const State now = Now();
      std::string reason = e.what();
      if (dynamic_cast<const UnitDatabaseError*>(&e) != nullptr)
        reason = "unit database " + database_ + ": " + reason;
      bool told = false;
      {
        std::lock_guard lock(mutex_);
        told = state_.trouble == reason;
        state_.trouble = reason;
      }
      if (!told) {
        const std::string text =
            reason + "; " + std::to_string(now.waiting) + " rows wait here" +
            (now.oldest.empty() ? "" : " since " + LocalTimeText(now.oldest)) +
            " and go on when it takes them (the units are recorded here meanwhile)";
        Post([this, text] {
          if (onTrouble) onTrouble(text);
        });
      }
      std::unique_lock lock(mutex_);
      wake_.wait_for(lock, pause, [this] { return stopping_; });
      pause =
          std::min(pause * 2, std::chrono::duration_cast<std::chrono::milliseconds>(kLongestPause));
    }
  }
  std::lock_guard lock(mutex_);
  live_ = nullptr;
}

}  // namespace kv37

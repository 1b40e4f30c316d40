#include "RecordsForwarder.h"

#include <QDateTime>
#include <QPointer>
#include <memory>

namespace kv37 {

namespace {

// Rows are counted again this often while nothing wakes the thread, so rows
// another writer (update --record) added are forwarded too.
constexpr auto kIdleLook = std::chrono::seconds(30);

std::string LocalTime(const std::string& utc) {
  const QDateTime time = QDateTime::fromString(QString::fromStdString(utc), Qt::ISODateWithMs);
  return time.isValid() ? time.toLocalTime().toString("yyyy-MM-dd HH:mm:ss").toStdString() : utc;
}

}  // namespace

std::size_t ForwardWaiting(UnitDatabase& database, RecordsServer& server,
                           const std::function<bool()>& stop) {
  std::size_t sent = 0;
  while (!stop || !stop()) {
    const std::vector<UnitRow> rows = database.Unforwarded(kForwardBatch);
    if (rows.empty()) break;
    server.Insert(rows);
    std::vector<std::string> ids;
    ids.reserve(rows.size());
    for (const UnitRow& row : rows) ids.push_back(row.unitId);
    // Only now: a crash before this line sends these rows again, and the
    // server keeps one of each.
    database.MarkForwarded(ids);
    sent += rows.size();
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
  while (!stopping()) {
    try {
      if (!db) db = std::make_unique<UnitDatabase>(database_);
      publish();
      if (Now().waiting == 0) {
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, kIdleLook, [this] { return woken_ || stopping_; });
        woken_ = false;
        continue;
      }
      if (!server) {
        auto connected = std::make_unique<RecordsServer>(uri_, stopping);
        connected->CheckSchema();
        std::lock_guard lock(mutex_);
        if (stopping_) break;
        server = std::move(connected);
        live_ = server.get();
      }
      ForwardWaiting(*db, *server, stopping);
      publish();
      std::string was;
      {
        std::lock_guard lock(mutex_);
        was = std::exchange(state_.trouble, {});
      }
      if (!was.empty())
        Post([this] {
          if (onForwarding) onForwarding("records server " + name_ + " takes the rows again");
        });
      pause = std::chrono::duration_cast<std::chrono::milliseconds>(kFirstPause);
    } catch (const std::exception& e) {
      {
        std::lock_guard lock(mutex_);
        live_ = nullptr;
      }
      server.reset();
      if (stopping()) break;
      try {
        publish();
      } catch (const UnitDatabaseError&) {
        db.reset();
      }
      const State now = Now();
      const std::string reason = e.what();
      bool told = false;
      {
        std::lock_guard lock(mutex_);
        told = state_.trouble == reason;
        state_.trouble = reason;
      }
      if (!told) {
        const std::string text =
            reason + "; " + std::to_string(now.waiting) + " rows wait here" +
            (now.oldest.empty() ? "" : " since " + LocalTime(now.oldest)) +
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

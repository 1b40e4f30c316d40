#pragma once
// Writes a row to the unit database for every unit's Finished event, on a
// thread of its own with its own connection, so a database that is busy,
// slow or full never holds up the caller's thread (the ports' replies, the
// adapter events, the board). Rows wait in order while the database cannot
// take them and are offered again every two seconds; nothing finished is
// lost: what a stop leaves unwritten is kept beside the database
// (UnwrittenRows.h) and taken back by the next recorder on that database.
//
// Report, Blocked, Waiting and Finish are called from the owner's thread,
// which also gets the callbacks (from its event loop).

#include <QObject>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "PortEvents.h"
#include "UnitDatabase.h"

namespace kv37 {

class UnitRecorder : public QObject, public EventSink {
 public:
  // Opens the database at `path` (creating it when missing) and takes back
  // the rows an earlier stop kept beside it. Throws UnitDatabaseError when
  // the database cannot be opened. `station` names the rows' station.
  UnitRecorder(const std::string& path, std::string station, ImageInfo image,
               QObject* parent = nullptr);
  // Finish(0) when not finished yet.
  ~UnitRecorder() override;

  // Queues the row of a Finished event; never waits.
  void Report(const PortEvent& event) override;

  // A write failed and rows wait for the database.
  bool Blocked() const;
  // Rows not yet written.
  std::size_t Waiting() const;
  const std::string& Path() const { return path_; }

  struct Outcome {
    std::size_t unwritten = 0;  // rows the database did not take
    std::string keptIn;         // where they were kept; "" when none were left
    std::string error;          // why they could not even be kept there
  };
  // Takes no more rows, keeps offering the waiting ones for up to `limit`,
  // then keeps what is left beside the database. Waits for the thread.
  Outcome Finish(std::chrono::milliseconds limit);

  // The first failed write of an outage, with the database's reason.
  std::function<void(const std::string& reason)> onWriteFailed;
  // The waiting rows are written after an outage.
  std::function<void()> onWritingAgain;
  // Every row so far is in the database (for those who read it back).
  std::function<void()> onAllWritten;

 private:
  void Work();
  void Post(std::function<void()> call);

  std::string path_;
  std::string station_;
  ImageInfo image_;
  std::unique_ptr<UnitDatabase> db_;  // the thread's alone once it runs
  mutable std::mutex mutex_;          // guards everything below
  std::condition_variable wake_;
  std::deque<UnitRow> queue_;
  std::size_t takenBack_ = 0;  // rows at the front that came back from the file
  bool failing_ = false;
  bool finishing_ = false;
  std::chrono::steady_clock::time_point finishBy_;
  std::thread thread_;
  bool finished_ = false;
};

}  // namespace kv37

#include "StationHost.h"

namespace kv37 {

StationHost::StationHost(const std::string& file, const std::string& database,
                         const std::string& databaseOption)
    : setup_(PrepareStation(file, database, image_, databaseOption)) {
  try {
    recorder_ = std::make_unique<UnitRecorder>(setup_.database, setup_.spec.name, setup_.image);
  } catch (const UnitDatabaseError& e) {
    throw StationRefusal(e.what());
  }
  watch_ = MakeSystemAdapterWatch(SlotPaths(setup_.spec));
  station_ = std::make_unique<Station>(setup_.spec, image_, *recorder_, *watch_, clock_);
  recorder_->onAllWritten = [this] {
    for (const auto& call : written_) call();
  };
  if (!setup_.spec.forward.empty()) {
    forwarder_ = std::make_unique<RecordsForwarder>(setup_.database, setup_.spec.forward);
    forwarder_->onTrouble = [this](const std::string& text) { station_->Notify(text); };
    forwarder_->onForwarding = [this](const std::string& text) { station_->Notify(text); };
    forwarder_->onRefused = [this](const std::string& text) { station_->Notify(text); };
    AddWrittenListener([this] { forwarder_->Wake(); });
  }
}

StationHost::~StationHost() {
  recorder_->onAllWritten = nullptr;
  // Its callbacks tell the station: it goes first.
  forwarder_.reset();
}

void StationHost::Start() {
  try {
    station_->Start();
  } catch (const std::exception& e) {
    throw StationRefusal(std::string("cannot watch for adapters: ") + e.what());
  }
}

}  // namespace kv37

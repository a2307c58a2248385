// Unit records on their way to the shared database. Window-free.
//
// Every record is first appended to a local journal (the outbox, flushed to
// disk), then sent; what was stored is marked sent. Records that could not
// be sent wait, in order, and go with the next record or the next attempt,
// also after a restart. A record whose answer was lost is sent again; the
// database keeps it once (its key is the station and the record's id).
//
//   tarvel-unit-outbox 1 key=5F0C2A9E71B3D804
//   unit 5F0C2A9E71B3D804-1 <the record's fields, tab-separated>
//   sent 5F0C2A9E71B3D804-1
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "cli/SerialBook.h"
#include "db/UnitStore.h"
#include "run/UnitRecord.h"

namespace cli {

class UnitOutbox {
public:
    explicit UnitOutbox(std::string connection) : store_(std::move(connection)) {}

    // Takes over the outbox's text (empty: a new one, whose first line goes
    // to sink). False for text that is not an outbox (*why).
    bool Start(const std::string& journal, JournalSink* sink, std::string* why);

    // Journals the record, then sends what waits. False only when the
    // journal cannot be written (*why).
    bool Add(const run::UnitRecord& record, std::string* why);
    // Sends what waits, in order; true when nothing waits. Tried at most once
    // per pause after a failure unless `now`.
    bool Send(std::string* why, bool now = false);
    std::size_t Waiting() const { return waiting_.size(); }
    // Why the last attempt to send failed.
    const std::string& LastWhy() const { return lastWhy_; }

    void SetRetryPause(std::chrono::milliseconds pause) { retryPause_ = pause; }

private:
    db::UnitStore store_;
    JournalSink* sink_ = nullptr;
    std::string key_;
    std::uint64_t count_ = 0;
    std::vector<std::pair<std::string, run::UnitRecord>> waiting_;
    std::chrono::steady_clock::time_point nextTry_{};
    std::chrono::milliseconds retryPause_{1000};
    std::string lastWhy_;
};

// The record's fields joined by tabs (tab, line break and backslash
// escaped), and back.
std::string UnitLine(const run::UnitRecord& record);
bool ParseUnitLine(const std::string& text, run::UnitRecord* record);

}  // namespace cli

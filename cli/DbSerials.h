// Serial numbers from a series in the shared database (db/SerialStore.h),
// for every station of a line at once. Window-free.
//
// The station's own journal stays, written before the database is told:
//
//   tarvel-serial-state 1 database series=LINE1 taker=5F0C2A9E71B3D804
//   take 1000        the database gave 1000 to a board of this station
//   pass 1000        it passed
//   free 1001        its board failed: the database gives it to the next board
//   lost 1002        its board's fate is unknown: never again
//
// The taker token names this journal's values in the database, so that a
// station settles only its own. When the station starts again, every value
// of its journal is settled with the database once more (a value that was
// in flight as lost); settling is harmless where it was done already. A
// value the database gave whose take never reached the journal stays taken
// in the database: never given again.
//
// When the database cannot be reached, a board gets no number (Take says
// Unavailable, and asks the database again at most once a second), and
// what boards settled waits in memory and the journal until it can be sent.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cli/SerialBook.h"
#include "cli/SerialNumber.h"
#include "db/SerialStore.h"

namespace cli {

class DbSerials : public SerialSource {
public:
    // connection may hold a password. list: the values of a --serial-list
    // (empty for a sequence from start in steps of step).
    DbSerials(std::string connection, std::string series, std::string station, const SerialField& field,
              std::uint64_t start, std::uint64_t step, std::vector<SerialValue> list);

    enum class Started { Ok, Refused, JournalFailed };
    // Takes over the journal's text (empty: a new journal, whose first line
    // goes to sink) and settles its values with the database. The database
    // being out of reach is no failure: *note says so and the boards wait for
    // it. Refused: a journal of another series or kind, or a database that
    // refuses the series (*why).
    Started Start(const std::string& journal, JournalSink* sink, std::string* note, std::string* why);

    Taken Take(SerialValue* value, std::string* why) override;
    bool Passed(const SerialValue& value, std::string* why) override;
    bool Failed(const SerialValue& value, std::string* why) override;
    bool Lost(const SerialValue& value, std::string* why) override;

    // Sends what waits to be settled; true when nothing waits any longer.
    bool Flush(std::string* why);
    std::size_t Waiting() const { return waiting_.size(); }
    const std::string& Taker() const { return taker_; }

    // How long after a failed attempt the database is left alone.
    void SetRetryPause(std::chrono::milliseconds pause) { retryPause_ = pause; }

private:
    bool Ready(std::string* why);
    bool Settle(const SerialValue& value, const char* verb, db::Settle settle, std::string* why);
    bool Journal(const std::string& line, std::string* why);

    std::string connection_, series_, station_;
    SerialField field_;
    db::SeriesDefinition definition_;
    std::string taker_;
    std::unique_ptr<db::SerialStore> store_;
    JournalSink* sink_ = nullptr;
    bool prepared_ = false, refused_ = false;
    std::vector<std::pair<std::string, db::Settle>> waiting_;
    std::chrono::steady_clock::time_point nextTry_{};
    std::chrono::milliseconds retryPause_{1000};
    std::string lastWhy_;
};

// A series name: 1 to 100 letters, digits and "-_.".
bool ValidSeriesName(const std::string& name);

}  // namespace cli

// Serial numbers of one series in the shared database. Every operation is one
// short transaction; the database's unique constraint on (series, value),
// not only this code, makes a second use of a value impossible.
//
// A take gives the lowest free value (one a failed board gave back, on any
// station), else the sequence's next value. Values are settled as passed,
// free or lost only by the taker that holds them (a token of the station's
// journal), and only while they are taken, so settling again is harmless.
// Values are their canonical text (decimal numbers, byte strings as
// "00:1A:2B:3C:4D:5E").
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "db/Odbc.h"
#include "db/Schema.h"

namespace db {

struct SeriesDefinition {
    bool isList = false;
    // A sequence: start, start + step, ... up to maxValue.
    std::uint64_t start = 0, step = 1, maxValue = 0;
    // A list, in order.
    std::vector<std::string> values;
};

enum class Settle { Passed, Free, Lost };

class SerialStore {
public:
    // connection may hold a password: it is never part of a message.
    SerialStore(std::string connection, std::string series, std::string taker, std::string station)
        : connection_(std::move(connection)),
          series_(std::move(series)),
          taker_(std::move(taker)),
          station_(std::move(station)) {}

    // Creates the tables when missing and the series when it does not exist
    // yet (a list's values are loaded once). An existing series wins over
    // the definition; *note says what it holds. Refused: a series of the
    // other kind, or a sequence whose values need a wider field.
    Outcome Prepare(const SeriesDefinition& definition, std::string* note, std::string* why);

    enum class Taken { Ok, RanOut, Unavailable, Refused };
    Taken Take(std::string* value, std::string* why);

    // Settles values this taker holds, in order, in one transaction.
    Outcome SettleAll(const std::vector<std::pair<std::string, Settle>>& values, std::string* why);

    const std::string& Series() const { return series_; }
    Connection& Db() { return db_; }

private:
    bool Connect(std::string* why);
    Outcome Failed(const Error& e, const std::string& what, std::string* why);
    // Lets the open transaction's commit return before it is on disk, where
    // the database knows how (false: the connection is gone, *e says why).
    bool CommitWithoutWaiting(Error* e);

    std::string connection_, series_, taker_, station_;
    Connection db_;
    bool schemaChecked_ = false;
    bool canCommitWithoutWaiting_ = true;
    // Taken, but the confirmation failed: given back by the next take.
    std::vector<std::string> unconfirmed_;
};

}  // namespace db

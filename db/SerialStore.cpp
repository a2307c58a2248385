#include "db/SerialStore.h"

#include <cerrno>
#include <cstdlib>

namespace db {
namespace {

bool ToNumber(const Cell& cell, std::uint64_t* out) {
    if (cell.isNull || cell.text.empty() || cell.text[0] == '-') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long n = std::strtoull(cell.text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') return false;
    *out = n;
    return true;
}

const char* StateWord(Settle s) {
    switch (s) {
    case Settle::Passed: return "passed";
    case Settle::Free: return "free";
    case Settle::Lost: return "lost";
    }
    return "lost";
}

// Values whose insert hit an existing row (an administrator's own rows) are
// skipped; this many in a row end the take.
constexpr int kSkipLimit = 1000;

}  // namespace

bool SerialStore::Connect(std::string* why) {
    Error e;
    if (!db_.Open(connection_, &e)) {
        *why = "cannot reach the database: " + e.Text();
        return false;
    }
    return true;
}

Outcome SerialStore::Failed(const Error& e, const std::string& what, std::string* why) {
    db_.Rollback();
    *why = what + ": " + e.Text();
    return e.connectionLost ? Outcome::Unavailable : Outcome::Refused;
}

// PostgreSQL lets one transaction's commit return once its record is in the
// server's memory, to be written to disk a moment later (by the next commit
// that waits for the disk, or within a fraction of a second). A server crash
// in that moment forgets the transaction; a commit that did wait, and that
// came after it, keeps it too: the server's log reaches the disk in order.
// Where the statement is unknown, the transactions simply wait for the disk.
bool SerialStore::CommitWithoutWaiting(Error* e) {
    if (!canCommitWithoutWaiting_) return true;
    if (db_.Execute("SET LOCAL synchronous_commit TO OFF", {}, nullptr, e)) return true;
    db_.Rollback();
    if (e->connectionLost) return false;
    canCommitWithoutWaiting_ = false;
    return true;
}

Outcome SerialStore::Prepare(const SeriesDefinition& d, std::string* note, std::string* why) {
    note->clear();
    if (!Connect(why)) return Outcome::Unavailable;
    if (!schemaChecked_) {
        const Outcome o = EnsureSchema(db_, why);
        if (o != Outcome::Ok) return o;
        schemaChecked_ = true;
    }
    Error e;
    const Param series = Param::Str(series_);
    std::int64_t inserted = 0;
    const char* kind = d.isList ? "list" : "sequence";
    const bool ok =
        d.isList ? db_.Execute("INSERT INTO serial_series (series, kind) VALUES (?, 'list') ON CONFLICT DO NOTHING",
                               {series}, nullptr, &e, &inserted)
                 : db_.Execute(
                       "INSERT INTO serial_series (series, kind, start_value, step, max_value, next_value) "
                       "VALUES (?, 'sequence', CAST(? AS NUMERIC(20)), CAST(? AS NUMERIC(20)), "
                       "CAST(? AS NUMERIC(20)), CAST(? AS NUMERIC(20))) ON CONFLICT DO NOTHING",
                       {series, Param::Str(std::to_string(d.start)), Param::Str(std::to_string(d.step)),
                        Param::Str(std::to_string(d.maxValue)),
                        d.start > d.maxValue ? Param::None() : Param::Str(std::to_string(d.start))},
                       nullptr, &e, &inserted);
    if (!ok) return Failed(e, "cannot create the series " + series_, why);
    if (inserted == 1 && d.isList) {
        for (std::size_t i = 0; i < d.values.size(); ++i) {
            if (!db_.Execute("INSERT INTO serial_numbers (series, value, position, state) "
                             "VALUES (?, ?, CAST(? AS NUMERIC(20)), 'free')",
                             {series, Param::Str(d.values[i]), Param::Str(std::to_string(i))}, nullptr, &e))
                return Failed(e, "cannot load the list into the series " + series_, why);
        }
    }
    std::vector<Row> rows;
    if (!db_.Execute("SELECT kind, start_value, step, max_value, next_value FROM serial_series WHERE series = ?",
                     {series}, &rows, &e))
        return Failed(e, "cannot read the series " + series_, why);
    if (rows.empty()) {
        db_.Rollback();
        *why = "the series " + series_ + " is not in the database";
        return Outcome::Refused;
    }
    const Row& r = rows[0];
    if (r[0].text != kind) {
        db_.Rollback();
        *why = "the series " + series_ + " in the database is a " + r[0].text + ", not a " + kind;
        return Outcome::Refused;
    }
    std::vector<Row> counts;
    if (!db_.Execute("SELECT state, COUNT(*) FROM serial_numbers WHERE series = ? GROUP BY state ORDER BY state",
                     {series}, &counts, &e))
        return Failed(e, "cannot read the series " + series_, why);
    if (!db_.Commit(&e)) return Failed(e, "cannot create the series " + series_, why);

    std::string text = std::string(inserted == 1 ? "new " : "") + kind + " " + series_ + " in the database";
    if (!d.isList) {
        std::uint64_t maxValue = 0;
        if (ToNumber(r[3], &maxValue) && maxValue > d.maxValue) {
            *why = "the series " + series_ + " in the database goes up to " + r[3].text +
                   ", more than the serial field holds (--serial-width)";
            return Outcome::Refused;
        }
        text += ": from " + r[1].text + " in steps of " + r[2].text + ", next " +
                (r[4].isNull ? std::string("none (the field is full)") : r[4].text);
    } else if (inserted == 1) {
        text += ": " + std::to_string(d.values.size()) + " values loaded";
    }
    for (const Row& c : counts) text += ", " + c[1].text + " " + c[0].text;
    *note = text;
    return Outcome::Ok;
}

SerialStore::Taken SerialStore::Take(std::string* value, std::string* why) {
    if (!Connect(why)) return Taken::Unavailable;
    const auto failed = [&](const Error& e, const std::string& what) {
        return Failed(e, what, why) == Outcome::Unavailable ? Taken::Unavailable : Taken::Refused;
    };
    Error e;
    const Param series = Param::Str(series_);
    std::vector<Row> rows;
    // Values whose take was not confirmed went on no board: back to the
    // next board. One the server forgot, or another taker holds since, is
    // not this taker's to give back any more.
    if (!unconfirmed_.empty()) {
        if (!CommitWithoutWaiting(&e)) return failed(e, "cannot take a serial number");
        for (const std::string& v : unconfirmed_) {
            if (!db_.Execute("UPDATE serial_numbers SET state = 'free', settled_at = CURRENT_TIMESTAMP "
                             "WHERE series = ? AND value = ? AND taker = ? AND state = 'taken'",
                             {series, Param::Str(v), Param::Str(taker_)}, nullptr, &e))
                return failed(e, "cannot take a serial number");
        }
        if (!db_.Commit(&e)) return failed(e, "cannot take a serial number");
        unconfirmed_.clear();
    }
    // A value given back, lowest first; one another taker is taking right now
    // is passed over rather than waited for.
    if (!db_.Execute("SELECT value FROM serial_numbers WHERE series = ? AND state = 'free' "
                     "ORDER BY position LIMIT 1 FOR UPDATE SKIP LOCKED",
                     {series}, &rows, &e))
        return failed(e, "cannot take a serial number");
    if (!rows.empty()) {
        std::int64_t changed = 0;
        const std::string v = rows[0][0].text;
        if (!db_.Execute("UPDATE serial_numbers SET state = 'taken', station = ?, taker = ?, "
                         "taken_at = CURRENT_TIMESTAMP, settled_at = NULL "
                         "WHERE series = ? AND value = ? AND state = 'free'",
                         {Param::Str(station_), Param::Str(taker_), series, Param::Str(v)}, nullptr, &e, &changed) ||
            !db_.Commit(&e))
            return failed(e, "cannot take a serial number");
        if (changed == 1) {
            *value = v;
            return Taken::Ok;
        }
    }
    // The sequence's next value. The series' row is locked until the commit,
    // so takers of the same series go one after the other here: the commit
    // does not wait for the disk with the row locked (a wait of milliseconds
    // that every other taker of the series would wait for too). Instead the
    // value is confirmed in a second transaction, which does wait for the
    // disk, with nothing locked that another taker needs; only then is it
    // given to the board. Should the server crash before the confirmation
    // is on disk, the confirmation fails and the value goes on no board,
    // whether or not the server still holds it as taken.
    for (int skipped = 0; skipped < kSkipLimit; ++skipped) {
        if (!CommitWithoutWaiting(&e)) return failed(e, "cannot take a serial number");
        // One statement, so that the lock is held for as short a time as can
        // be: it locks the series' row, steps it on (to none after the last
        // value) and inserts the value it stood at. A value in the table
        // already (an administrator's own row) is passed over: the step over
        // it stays. No row: the series holds no next value.
        if (!db_.Execute(
                "WITH old AS (SELECT next_value, step, max_value FROM serial_series "
                "WHERE series = ? AND kind = 'sequence' AND next_value IS NOT NULL AND step > 0 FOR UPDATE), "
                "stepped AS (UPDATE serial_series SET next_value = CASE "
                "WHEN old.next_value + old.step <= old.max_value THEN old.next_value + old.step END "
                "FROM old WHERE serial_series.series = ? RETURNING old.next_value AS taken), "
                "inserted AS (INSERT INTO serial_numbers (series, value, position, state, station, taker, "
                "taken_at) SELECT ?, CAST(taken AS VARCHAR(64)), taken, 'taken', ?, ?, CURRENT_TIMESTAMP "
                "FROM stepped ON CONFLICT DO NOTHING RETURNING value) "
                "SELECT CAST(stepped.taken AS VARCHAR(64)), inserted.value FROM stepped LEFT JOIN inserted ON TRUE",
                {series, series, series, Param::Str(station_), Param::Str(taker_)}, &rows, &e))
            return failed(e, "cannot take a serial number");
        if (rows.empty()) {
            db_.Rollback();
            return Taken::RanOut;
        }
        const std::string v = rows[0][0].text;
        if (rows[0][1].isNull) {
            if (!db_.Commit(&e)) return failed(e, "cannot take a serial number");
            continue;
        }
        if (!db_.Commit(&e)) return failed(e, "cannot take a serial number");
        if (canCommitWithoutWaiting_) {
            // A write of this taker's own row, so that the commit has a
            // record to wait for, after the take's.
            std::int64_t changed = 0;
            if (!db_.Execute("UPDATE serial_numbers SET taken_at = taken_at "
                             "WHERE series = ? AND value = ? AND taker = ? AND state = 'taken'",
                             {series, Param::Str(v), Param::Str(taker_)}, nullptr, &e, &changed) ||
                !db_.Commit(&e)) {
                unconfirmed_.push_back(v);
                return failed(e, "cannot take a serial number");
            }
            if (changed != 1) {
                *why = "cannot take a serial number: the database did not keep the take of " + v;
                return Taken::Unavailable;
            }
        }
        *value = v;
        return Taken::Ok;
    }
    *why = "cannot take a serial number: " + std::to_string(kSkipLimit) +
           " values in a row of the series are in the database already";
    return Taken::Refused;
}

Outcome SerialStore::SettleAll(const std::vector<std::pair<std::string, Settle>>& values, std::string* why) {
    if (values.empty()) return Outcome::Ok;
    if (!Connect(why)) return Outcome::Unavailable;
    Error e;
    // Settling need not wait for the disk. A settle the server forgets in a
    // crash leaves its values taken, and a taken value is never given again:
    // at worst a gap in the series, never a number twice. The station's
    // journal holds the settle, and the station settles the values again
    // when it next starts. A take that finds a value given back here waits
    // for the disk, and with it for this settle.
    if (!CommitWithoutWaiting(&e)) return Failed(e, "cannot settle serial numbers", why);
    for (const auto& v : values) {
        if (!db_.Execute(
                "UPDATE serial_numbers SET state = ?, settled_at = CURRENT_TIMESTAMP "
                "WHERE series = ? AND value = ? AND taker = ? AND state = 'taken'",
                {Param::Str(StateWord(v.second)), Param::Str(series_), Param::Str(v.first), Param::Str(taker_)},
                nullptr, &e))
            return Failed(e, "cannot settle serial number " + v.first, why);
    }
    if (!db_.Commit(&e)) return Failed(e, "cannot settle serial numbers", why);
    return Outcome::Ok;
}

}  // namespace db

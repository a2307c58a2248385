#include "cli/DbSerials.h"

#include <cctype>
#include <map>
#include <memory>
#include <random>
#include <sstream>

#include "cli/Text.h"

namespace cli {
namespace {

constexpr const char* kMagic = "tarvel-serial-state 1 database";

std::string NewTaker() {
    std::random_device device;
    std::mt19937_64 rng((static_cast<std::uint64_t>(device()) << 32) ^ device() ^
                        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    return HexText(rng(), 16);
}

bool Fits(const SerialValue& v, const SerialField& field, bool isList) {
    if (v.isBytes) return isList && v.bytes.size() == field.width;
    return v.number <= MaxSerial(field.width);
}

}  // namespace

bool ValidSeriesName(const std::string& name) {
    if (name.empty() || name.size() > 100) return false;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.') return false;
    return true;
}

DbSerials::DbSerials(std::string connection, std::string series, std::string station, const SerialField& field,
                     std::uint64_t start, std::uint64_t step, std::vector<SerialValue> list)
    : connection_(std::move(connection)), series_(std::move(series)), station_(std::move(station)), field_(field) {
    definition_.isList = !list.empty();
    definition_.start = start;
    definition_.step = step;
    definition_.maxValue = MaxSerial(field.width);
    for (const SerialValue& v : list) definition_.values.push_back(v.Text());
}

bool DbSerials::Journal(const std::string& line, std::string* why) {
    return sink_ == nullptr || sink_->Append(line, why);
}

DbSerials::Started DbSerials::Start(const std::string& journal, JournalSink* sink, std::string* note,
                                    std::string* why) {
    note->clear();
    why->clear();
    std::map<std::string, std::string> last;  // value -> its last verb
    std::vector<std::string> order;
    std::size_t inFlight = 0;
    if (journal.empty()) {
        taker_ = NewTaker();
        sink_ = sink;
        if (!Journal(std::string(kMagic) + " series=" + series_ + " taker=" + taker_, why))
            return Started::JournalFailed;
    } else {
        std::istringstream in(journal);
        std::string line;
        std::getline(in, line);
        std::istringstream header(line);
        std::string w[5];
        for (std::string& word : w) header >> word;
        if (w[0] + " " + w[1] + " " + w[2] != kMagic || w[3].compare(0, 7, "series=") != 0 ||
            w[4].compare(0, 6, "taker=") != 0 || w[4].size() == 6) {
            *why = "not the serial state file of a database series (its first line is not '" + std::string(kMagic) +
                   " series=... taker=...')";
            return Started::Refused;
        }
        if (w[3].substr(7) != series_) {
            *why = "the state file belongs to the series " + w[3].substr(7) + ", not to " + series_;
            return Started::Refused;
        }
        taker_ = w[4].substr(6);
        const bool endsWithNewline = journal.back() == '\n';
        for (int lineNo = 2; std::getline(in, line); ++lineNo) {
            const bool lastLine = in.peek() == std::char_traits<char>::eof();
            std::istringstream words(line);
            std::string verb, text, extra;
            words >> verb >> text >> extra;
            if (verb.empty()) continue;
            SerialValue v;
            if ((verb != "take" && verb != "pass" && verb != "free" && verb != "lost") || !extra.empty() ||
                !ParseSerialValue(text, &v)) {
                // A line cut short by a crash: its value went into no board.
                if (lastLine && !endsWithNewline) break;
                *why = "line " + std::to_string(lineNo) + " of the state file is garbled: '" + line + "'";
                return Started::Refused;
            }
            const std::string key = v.Text();
            if (!last.count(key)) order.push_back(key);
            last[key] = verb;
        }
        for (const std::string& key : order) {
            const std::string& verb = last[key];
            db::Settle s = db::Settle::Lost;
            if (verb == "pass") s = db::Settle::Passed;
            if (verb == "free") s = db::Settle::Free;
            if (verb == "take") ++inFlight;
            waiting_.emplace_back(key, s);
        }
        sink_ = sink;
    }
    store_ = std::make_unique<db::SerialStore>(connection_, series_, taker_, station_);
    std::string reason;
    if (!Ready(&reason)) {
        if (refused_) {
            *why = reason;
            return Started::Refused;
        }
        *note = reason + "; boards wait for the database";
    } else {
        Flush(&reason);
    }
    if (inFlight != 0)
        *note += std::string(note->empty() ? "" : "; ") + std::to_string(inFlight) +
                 " serial number(s) in flight when the last run ended: lost, never given again";
    return Started::Ok;
}

// Connects and prepares the series once; false while the database is out of
// reach or refuses (tried again at most once per pause).
bool DbSerials::Ready(std::string* why) {
    if (prepared_) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now < nextTry_) {
        *why = lastWhy_;
        return false;
    }
    std::string note;
    const db::Outcome o = store_->Prepare(definition_, &note, why);
    refused_ = o == db::Outcome::Refused;
    if (o == db::Outcome::Ok) {
        prepared_ = true;
        return true;
    }
    lastWhy_ = *why;
    nextTry_ = now + retryPause_;
    return false;
}

bool DbSerials::Flush(std::string* why) {
    if (waiting_.empty()) return true;
    if (!Ready(why)) return false;
    if (store_->SettleAll(waiting_, why) != db::Outcome::Ok) {
        lastWhy_ = *why;
        nextTry_ = std::chrono::steady_clock::now() + retryPause_;
        prepared_ = false;
        return false;
    }
    waiting_.clear();
    return true;
}

SerialSource::Taken DbSerials::Take(SerialValue* value, std::string* why) {
    if (!Ready(why)) return Taken::Unavailable;
    // What was given back waits no longer: the next board may take it.
    if (!Flush(why)) return Taken::Unavailable;
    std::string text;
    switch (store_->Take(&text, why)) {
    case db::SerialStore::Taken::Ok: break;
    case db::SerialStore::Taken::RanOut: return Taken::RanOut;
    case db::SerialStore::Taken::Unavailable:
    case db::SerialStore::Taken::Refused:
        lastWhy_ = *why;
        nextTry_ = std::chrono::steady_clock::now() + retryPause_;
        prepared_ = false;
        return Taken::Unavailable;
    }
    SerialValue v;
    if (!ParseSerialValue(text, &v) || !Fits(v, field_, definition_.isList)) {
        // Not a value for this field: it stays taken, never on a board.
        *why = "the database gave the serial number '" + text + "', which does not fit the serial field";
        Journal("take " + text, why);
        waiting_.emplace_back(text, db::Settle::Lost);
        return Taken::Unavailable;
    }
    if (!Journal("take " + v.Text(), why)) {
        // The database holds it as taken by this station: never given again.
        return Taken::JournalFailed;
    }
    *value = v;
    return Taken::Ok;
}

bool DbSerials::Settle(const SerialValue& value, const char* verb, db::Settle settle, std::string* why) {
    if (!Journal(std::string(verb) + " " + value.Text(), why)) {
        // The journal cannot say it: to the database the value is lost.
        waiting_.emplace_back(value.Text(), db::Settle::Lost);
        std::string ignored;
        Flush(&ignored);
        return false;
    }
    waiting_.emplace_back(value.Text(), settle);
    std::string ignored;
    Flush(&ignored);
    return true;
}

bool DbSerials::Passed(const SerialValue& value, std::string* why) {
    return Settle(value, "pass", db::Settle::Passed, why);
}
bool DbSerials::Failed(const SerialValue& value, std::string* why) {
    return Settle(value, "free", db::Settle::Free, why);
}
bool DbSerials::Lost(const SerialValue& value, std::string* why) {
    return Settle(value, "lost", db::Settle::Lost, why);
}

}  // namespace cli

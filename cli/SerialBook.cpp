#include "cli/SerialBook.h"

#include <cctype>
#include <sstream>

#include "cli/Text.h"
#include "text/Numbers.h"

namespace cli {
namespace {

constexpr const char* kMagic = "tarvel-serial-state 1";

std::string Trim(const std::string& s) {
    std::size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}

// Decimal, or hexadecimal after "0x": the whole word, up to 2^64 - 1.
bool ParseNumber(const std::string& t, std::uint64_t* out) { return numbers::ParseUnsignedAuto(t, UINT64_MAX, *out); }

// "start=1000" -> 1000
bool NamedNumber(const std::string& word, const char* name, std::uint64_t* out) {
    const std::string prefix = std::string(name) + "=";
    return word.compare(0, prefix.size(), prefix) == 0 && ParseNumber(word.substr(prefix.size()), out);
}

}  // namespace

std::string SerialValue::Text() const {
    if (!isBytes) return std::to_string(number);
    std::string s;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i) s += ':';
        s += HexText(bytes[i], 2);
    }
    return s;
}

bool ParseSerialValue(const std::string& text, SerialValue* value) {
    const std::string t = Trim(text);
    SerialValue v;
    if (t.find_first_of(":-") != std::string::npos) {
        v.isBytes = true;
        std::size_t i = 0;
        for (;;) {
            if (i + 2 > t.size()) return false;
            const unsigned hi = numbers::DigitValue(t[i]), lo = numbers::DigitValue(t[i + 1]);
            if (hi >= 16 || lo >= 16) return false;
            v.bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
            i += 2;
            if (i == t.size()) break;
            if (t[i] != ':' && t[i] != '-') return false;
            ++i;
        }
        if (v.bytes.size() < 2) return false;
    } else if (!ParseNumber(t, &v.number)) {
        return false;
    }
    *value = v;
    return true;
}

bool ParseSerialList(const std::string& text, const SerialField& field, std::vector<SerialValue>* values,
                     std::string* why) {
    std::istringstream in(text);
    std::string line;
    std::map<std::string, int> seen;
    std::vector<SerialValue> out;
    for (int lineNo = 1; std::getline(in, line); ++lineNo) {
        const std::string t = Trim(line);
        if (t.empty() || t[0] == '#') continue;
        const std::string where = "line " + std::to_string(lineNo) + " '" + t + "'";
        SerialValue v;
        if (!ParseSerialValue(t, &v)) {
            *why = where + ": not a number (decimal or 0x hex) or a byte string such as 00:1A:2B:3C:4D:5E";
            return false;
        }
        if (v.isBytes && v.bytes.size() != field.width) {
            *why = where + ": " + std::to_string(v.bytes.size()) + " bytes, but the serial field is " +
                   std::to_string(field.width) + " (--serial-width)";
            return false;
        }
        if (!v.isBytes && v.number > MaxSerial(field.width)) {
            *why = where + ": does not fit " + std::to_string(field.width) + " bytes (--serial-width)";
            return false;
        }
        const auto dup = seen.emplace(v.Text(), lineNo);
        if (!dup.second) {
            *why = where + ": the same value as line " + std::to_string(dup.first->second);
            return false;
        }
        out.push_back(v);
    }
    if (out.empty()) {
        *why = "the list holds no values";
        return false;
    }
    *values = std::move(out);
    return true;
}

void WriteSerialValue(std::uint8_t* image, const SerialField& field, const SerialValue& value) {
    if (!value.isBytes) {
        WriteSerial(image, field, value.number);
        return;
    }
    for (std::size_t i = 0; i < value.bytes.size() && i < field.width; ++i) image[field.address + i] = value.bytes[i];
}

SerialBook::SerialBook(std::uint64_t start, std::uint64_t step, unsigned width)
    : next_(start), step_(step), max_(MaxSerial(width)) {
    exhausted_ = start > max_;
}

SerialBook::SerialBook(std::vector<SerialValue> list) : isList_(true), list_(std::move(list)) {
    for (std::size_t i = 0; i < list_.size(); ++i) listIndex_.emplace(list_[i].Text(), i);
}

bool SerialBook::Begin(std::string* why) {
    const std::string header =
        isList_ ? std::string(kMagic) + " list"
                : std::string(kMagic) + " sequence start=" + std::to_string(next_) + " step=" + std::to_string(step_);
    return Journal(header, why);
}

bool SerialBook::Resume(const std::string& journal, std::string* note, std::string* why) {
    why->clear();
    std::istringstream in(journal);
    std::string line;
    if (!std::getline(in, line) || Trim(line).compare(0, std::string(kMagic).size(), kMagic) != 0) {
        *why = "not a serial state file (its first line is not '" + std::string(kMagic) + " ...')";
        return false;
    }
    std::istringstream header(Trim(line).substr(std::string(kMagic).size()));
    std::string kind;
    header >> kind;
    if (kind == "sequence") {
        std::string a, b;
        std::uint64_t start = 0, step = 0;
        header >> a >> b;
        if (!NamedNumber(a, "start", &start) || !NamedNumber(b, "step", &step) || step == 0) {
            *why = "the state file's first line lacks a valid start= and step=";
            return false;
        }
        if (isList_) {
            *why = "the state file belongs to a numbered sequence, not to a --serial-list";
            return false;
        }
        next_ = start;
        step_ = step;
        exhausted_ = start > max_;
    } else if (kind == "list") {
        if (!isList_) {
            *why = "the state file belongs to a --serial-list, not to a numbered sequence";
            return false;
        }
    } else {
        *why = "the state file's first line names no kind (sequence or list)";
        return false;
    }
    const bool endsWithNewline = !journal.empty() && journal.back() == '\n';
    int lineNo = 1;
    while (std::getline(in, line)) {
        ++lineNo;
        const bool last = in.peek() == std::char_traits<char>::eof();
        const std::string t = Trim(line);
        if (t.empty()) continue;
        std::istringstream words(t);
        std::string verb, text, extra;
        words >> verb >> text >> extra;
        SerialValue v;
        const bool known = verb == "take" || verb == "pass" || verb == "free" || verb == "lost";
        if (!known || !extra.empty() || !ParseSerialValue(text, &v) || !Apply(verb, v, why)) {
            // A line cut short by a crash while it was written: its value
            // had not gone into any board, since a board waits for the line
            // to be on disk.
            if (last && !endsWithNewline) break;
            if (why->empty()) *why = "line " + std::to_string(lineNo) + " of the state file is garbled: '" + t + "'";
            return false;
        }
    }
    // What was in flight when the last run ended may be on a board.
    const std::size_t lostNow = inFlight_.size();
    for (const std::string& key : inFlight_) lost_.insert(key);
    inFlight_.clear();

    std::ostringstream n;
    n << "continuing from the serial state file: " << used_.size() << " used";
    if (!isList_)
        n << ", next " << (exhausted_ ? std::string("none (the field is full)") : std::to_string(next_))
          << " in steps of " << step_;
    if (lostNow != 0) n << ", " << lostNow << " in flight when the last run ended (never given again)";
    *note = n.str();
    return true;
}

bool SerialBook::Apply(const std::string& verb, const SerialValue& v, std::string* why) {
    if (!isList_ && v.isBytes) {
        *why = "a byte string in the state file of a numbered sequence";
        return false;
    }
    if (!isList_ && v.number > max_) {
        // Truncated into the field it would repeat a smaller number.
        *why = "the state file holds " + v.Text() + ", which does not fit the serial field (--serial-width)";
        return false;
    }
    const std::string key = v.Text();
    if (verb == "take") {
        inFlight_.insert(key);
        if (isList_) {
            const auto it = listIndex_.find(key);
            if (it != listIndex_.end()) {
                listReturned_.erase(it->second);
                if (it->second >= listNext_) listNext_ = it->second + 1;
            }
        } else {
            returned_.erase(v.number);
            if (!exhausted_ && v.number >= next_) exhausted_ = !Advance(v.number, &next_);
        }
        return true;
    }
    inFlight_.erase(key);
    if (verb == "pass") {
        used_.insert(key);
    } else if (verb == "lost") {
        lost_.insert(key);
    } else {  // free
        if (used_.count(key) || lost_.count(key)) return true;
        if (isList_) {
            const auto it = listIndex_.find(key);
            if (it != listIndex_.end()) listReturned_.insert(it->second);
        } else if (exhausted_ || v.number < next_) {
            // Only what the sequence has handed out comes back through it.
            returned_.insert(v.number);
        }
    }
    return true;
}

bool SerialBook::Advance(std::uint64_t from, std::uint64_t* to) const {
    if (from > max_ || step_ > max_ - from) return false;
    *to = from + step_;
    return true;
}

bool SerialBook::Journal(const std::string& line, std::string* why) {
    if (sink_ == nullptr) return true;
    return sink_->Append(line, why);
}

SerialBook::Taken SerialBook::Take(SerialValue* value, std::string* why) {
    SerialValue v;
    if (isList_) {
        std::size_t index = list_.size();
        while (!listReturned_.empty() && index == list_.size()) {
            const std::size_t i = *listReturned_.begin();
            listReturned_.erase(listReturned_.begin());
            const std::string key = list_[i].Text();
            if (!used_.count(key) && !lost_.count(key) && !inFlight_.count(key)) index = i;
        }
        while (index == list_.size() && listNext_ < list_.size()) {
            const std::size_t i = listNext_++;
            const std::string key = list_[i].Text();
            if (!used_.count(key) && !lost_.count(key) && !inFlight_.count(key)) index = i;
        }
        if (index == list_.size()) return Taken::RanOut;
        v = list_[index];
    } else {
        // A value given back and then marked otherwise by a hand-edited or
        // replayed journal is skipped, never handed out twice.
        bool found = false;
        while (!returned_.empty() && !found) {
            v.number = *returned_.begin();
            returned_.erase(returned_.begin());
            const std::string key = v.Text();
            found = !used_.count(key) && !lost_.count(key) && !inFlight_.count(key);
        }
        while (!found) {
            if (exhausted_) return Taken::RanOut;
            v.number = next_;
            exhausted_ = !Advance(v.number, &next_);
            const std::string key = v.Text();
            found = !used_.count(key) && !lost_.count(key) && !inFlight_.count(key);
        }
    }
    const std::string key = v.Text();
    inFlight_.insert(key);
    if (!Journal("take " + key, why)) {
        // Whether the line reached the disk is unknown: the value is never
        // handed out again.
        inFlight_.erase(key);
        lost_.insert(key);
        return Taken::JournalFailed;
    }
    *value = v;
    return Taken::Ok;
}

bool SerialBook::Passed(const SerialValue& value, std::string* why) {
    Apply("pass", value, why);
    return Journal("pass " + value.Text(), why);
}

bool SerialBook::Failed(const SerialValue& value, std::string* why) {
    // Given back only once the journal says so; otherwise a restart would
    // treat it as lost, which is safe.
    if (!Journal("free " + value.Text(), why)) {
        Apply("lost", value, why);
        return false;
    }
    return Apply("free", value, why);
}

bool SerialBook::Lost(const SerialValue& value, std::string* why) {
    Apply("lost", value, why);
    return Journal("lost " + value.Text(), why);
}

}  // namespace cli

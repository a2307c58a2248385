#include "cli/UnitOutbox.h"

#include <chrono>
#include <cstdlib>
#include <map>
#include <random>
#include <sstream>

#include "cli/Text.h"

namespace cli {
namespace {

constexpr const char* kMagic = "tarvel-unit-outbox 1";

std::string Escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\\') out += "\\\\";
        else if (c == '\t') out += "\\t";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else out += c;
    }
    return out;
}

std::vector<std::string> SplitTabs(const std::string& s) {
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c == '\\' && i + 1 < s.size()) {
            const char n = s[++i];
            fields.back() += n == 't' ? '\t' : n == 'n' ? '\n' : n == 'r' ? '\r' : n;
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

}  // namespace

std::string UnitLine(const run::UnitRecord& r) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", r.seconds);
    std::string s;
    for (const std::string* f : {&r.time, &r.station, &r.operatorName, &r.project, &r.projectSha256, &r.port, &r.serial,
                                 &r.imageCrc32, &r.outcome})
        s += Escape(*f) + "\t";
    return s + seconds;
}

bool ParseUnitLine(const std::string& text, run::UnitRecord* record) {
    const std::vector<std::string> f = SplitTabs(text);
    if (f.size() != 10) return false;
    run::UnitRecord r;
    std::string* into[] = {&r.time, &r.station, &r.operatorName, &r.project, &r.projectSha256,
                           &r.port, &r.serial,  &r.imageCrc32,   &r.outcome};
    for (std::size_t i = 0; i < 9; ++i) *into[i] = f[i];
    char* end = nullptr;
    r.seconds = std::strtod(f[9].c_str(), &end);
    if (f[9].empty() || *end != '\0') return false;
    *record = r;
    return true;
}

bool UnitOutbox::Start(const std::string& journal, JournalSink* sink, std::string* why) {
    sink_ = sink;
    if (journal.empty()) {
        std::random_device device;
        std::mt19937_64 rng((static_cast<std::uint64_t>(device()) << 32) ^ device() ^
                            static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
        key_ = HexText(rng(), 16);
        return sink_ == nullptr || sink_->Append(std::string(kMagic) + " key=" + key_, why);
    }
    std::istringstream in(journal);
    std::string line;
    std::getline(in, line);
    const std::string prefix = std::string(kMagic) + " key=";
    if (line.compare(0, prefix.size(), prefix) != 0 || line.size() == prefix.size()) {
        *why = "not a unit record outbox (its first line is not '" + prefix + "...')";
        return false;
    }
    key_ = line.substr(prefix.size());
    while (!key_.empty() && (key_.back() == '\r' || key_.back() == ' ')) key_.pop_back();
    const bool endsWithNewline = journal.back() == '\n';
    std::map<std::string, std::size_t> index;  // id -> place in waiting_
    std::vector<bool> sent;
    for (int lineNo = 2; std::getline(in, line); ++lineNo) {
        const bool last = in.peek() == std::char_traits<char>::eof();
        if (line.empty()) continue;
        const std::size_t a = line.find(' ');
        const std::size_t b = a == std::string::npos ? a : line.find(' ', a + 1);
        const std::string verb = line.substr(0, a);
        const std::string id = a == std::string::npos ? "" : line.substr(a + 1, b == std::string::npos ? b : b - a - 1);
        run::UnitRecord r;
        bool ok = !id.empty();
        if (ok && verb == "unit") {
            ok = b != std::string::npos && ParseUnitLine(line.substr(b + 1), &r);
            if (ok) {
                index[id] = waiting_.size();
                waiting_.emplace_back(id, r);
                sent.push_back(false);
                ++count_;
            }
        } else if (ok && verb == "sent" && index.count(id)) {
            sent[index[id]] = true;
        } else {
            ok = false;
        }
        if (!ok) {
            // A line cut short by a crash: its record was never sent.
            if (last && !endsWithNewline) break;
            *why = "line " + std::to_string(lineNo) + " of the outbox is garbled";
            return false;
        }
    }
    std::vector<std::pair<std::string, run::UnitRecord>> rest;
    for (std::size_t i = 0; i < waiting_.size(); ++i)
        if (!sent[i]) rest.push_back(std::move(waiting_[i]));
    waiting_ = std::move(rest);
    return true;
}

bool UnitOutbox::Add(const run::UnitRecord& record, std::string* why) {
    const std::string id = key_ + "-" + std::to_string(++count_);
    if (sink_ != nullptr && !sink_->Append("unit " + id + " " + UnitLine(record), why)) return false;
    waiting_.emplace_back(id, record);
    std::string ignored;
    Send(&ignored);
    return true;
}

bool UnitOutbox::Send(std::string* why, bool now) {
    if (waiting_.empty()) return true;
    const auto t = std::chrono::steady_clock::now();
    if (!now && t < nextTry_) {
        *why = lastWhy_;
        return false;
    }
    if (store_.Insert(waiting_, why) != db::Outcome::Ok) {
        lastWhy_ = *why;
        nextTry_ = t + retryPause_;
        return false;
    }
    // Stored: marked so, or sent once more after a restart (and kept once).
    for (const auto& w : waiting_) {
        std::string ignored;
        if (sink_ != nullptr) sink_->Append("sent " + w.first, &ignored);
    }
    waiting_.clear();
    return true;
}

}  // namespace cli

// Serial numbers from one database series shared by several stations: the
// rules of the local journal hold across them (a number passes on at most one
// board, a failed board's number goes to the next board of any station, a
// number in flight when its station died is lost for good), and many takers
// at once never get the same number.
#include "cli/DbSerials.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>

#include "DbTestEnv.h"
#include "db/Odbc.h"

namespace {

using cli::DbSerials;
using cli::SerialValue;
using Taken = cli::SerialSource::Taken;

class MemoryJournal : public cli::JournalSink {
public:
    bool Append(const std::string& line, std::string* why) override {
        if (failing) {
            *why = "disk full";
            return false;
        }
        text += line + "\n";
        return true;
    }
    std::string text;
    bool failing = false;
};

cli::SerialField Field(unsigned width) {
    cli::SerialField f;
    f.width = width;
    return f;
}

// The state of every value of a series in the database, "1000=passed 1001=free".
std::string States(const std::string& series) {
    db::Connection c;
    db::Error e;
    std::vector<db::Row> rows;
    if (!c.Open(dbtest::Connection(), &e) ||
        !c.Execute("SELECT value, state FROM serial_numbers WHERE series = ? ORDER BY position",
                   {db::Param::Str(series)}, &rows, &e))
        return "error: " + e.Text();
    c.Rollback();
    std::string s;
    for (const db::Row& r : rows) s += (s.empty() ? "" : " ") + r[0].text + "=" + r[1].text;
    return s;
}

// What an administrator does to a series by hand: "row" puts a value in the
// table as passed, "last" makes a value the sequence's last.
std::string ByHand(const std::string& series, const std::string& what, const std::string& value) {
    db::Connection c;
    db::Error e;
    const bool ok =
        c.Open(dbtest::Connection(), &e) &&
        (what == "row" ? c.Execute("INSERT INTO serial_numbers (series, value, position, state) "
                                   "VALUES (?, ?, CAST(? AS NUMERIC(20)), 'passed')",
                                   {db::Param::Str(series), db::Param::Str(value), db::Param::Str(value)}, nullptr, &e)
                       : c.Execute("UPDATE serial_series SET max_value = CAST(? AS NUMERIC(20)) WHERE series = ?",
                                   {db::Param::Str(value), db::Param::Str(series)}, nullptr, &e)) &&
        c.Commit(&e);
    return ok ? std::string() : e.Text();
}

// A station: its journal survives a crash, the object does not.
struct Station {
    MemoryJournal journal;
    std::unique_ptr<DbSerials> serials;
    std::string note;
};

struct Step {
    char station;        // 'A' or 'B'
    const char* action;  // take, pass, fail, lost, crash (a restart from the journal), none (runs out),
                         // row, last (ByHand)
    const char* value;   // taken (expected) or settled
};

struct Case {
    const char* name;
    bool list;
    std::vector<Step> steps;
    const char* finalStates;
};

void Boot(Station& s, const std::string& series, bool list) {
    std::vector<SerialValue> values;
    if (list) {
        for (const char* t : {"02:00:00:00:00:01", "02:00:00:00:00:02", "02:00:00:00:00:03", "02:00:00:00:00:04"}) {
            SerialValue v;
            ASSERT_TRUE(cli::ParseSerialValue(t, &v));
            values.push_back(v);
        }
    }
    s.serials =
        std::make_unique<DbSerials>(dbtest::Connection(), series, "station", Field(list ? 6 : 2), 1000, 5, values);
    const std::string old = s.journal.text;
    std::string why;
    ASSERT_EQ(s.serials->Start(old, &s.journal, &s.note, &why), DbSerials::Started::Ok) << why;
}

TEST(DbSerials, RulesAcrossTwoStations) {
    TARVEL_NEED_DB();
    const Case cases[] = {
        {"failed number goes to the other station's next board",
         false,
         {{'A', "take", "1000"},
          {'B', "take", "1005"},
          {'A', "fail", "1000"},
          {'B', "take", "1000"},
          {'B', "pass", "1000"},
          {'A', "take", "1010"},
          {'B', "pass", "1005"},
          {'A', "pass", "1010"}},
         "1000=passed 1005=passed 1010=passed"},
        {"lowest given-back number first",
         false,
         {{'A', "take", "1000"},
          {'A', "take", "1005"},
          {'B', "take", "1010"},
          {'B', "fail", "1010"},
          {'A', "fail", "1005"},
          {'B', "take", "1005"},
          {'A', "take", "1010"},
          {'A', "take", "1015"}},
         "1000=taken 1005=taken 1010=taken 1015=taken"},
        {"a crashed station's number in flight is lost, its settled ones stay",
         false,
         {{'A', "take", "1000"},
          {'A', "pass", "1000"},
          {'A', "take", "1005"},
          {'B', "take", "1010"},
          {'A', "crash", ""},
          {'B', "fail", "1010"},
          {'A', "take", "1010"},
          {'B', "take", "1015"},
          {'A', "pass", "1010"}},
         "1000=passed 1005=lost 1010=passed 1015=taken"},
        {"a number freed in the journal before a crash goes back, not lost",
         false,
         {{'A', "take", "1000"},
          {'A', "fail", "1000"},
          {'A', "crash", ""},
          {'B', "take", "1000"},
          {'B', "pass", "1000"}},
         "1000=passed"},
        {"a lost number is never given again",
         false,
         {{'A', "take", "1000"},
          {'A', "lost", "1000"},
          {'B', "take", "1005"},
          {'B', "fail", "1005"},
          {'A', "take", "1005"}},
         "1000=lost 1005=taken"},
        {"a restarted station does not settle the number another station took since",
         false,
         {{'A', "take", "1000"},
          {'A', "fail", "1000"},
          {'B', "take", "1000"},
          {'A', "crash", ""},
          {'B', "pass", "1000"}},
         "1000=passed"},
        {"a sequence passes over values put in by hand and ends at its last value",
         false,
         {{'A', "row", "1005"},
          {'A', "row", "1010"},
          {'A', "take", "1000"},
          {'B', "take", "1015"},
          {'A', "last", "1020"},
          {'B', "take", "1020"},
          {'A', "none", ""},
          {'B', "fail", "1020"},
          {'A', "take", "1020"},
          {'B', "none", ""}},
         "1000=taken 1005=passed 1010=passed 1015=taken 1020=taken"},
        {"list: values in order, given back, lost on a crash, then used up",
         true,
         {{'A', "take", "02:00:00:00:00:01"},
          {'B', "take", "02:00:00:00:00:02"},
          {'B', "fail", "02:00:00:00:00:02"},
          {'A', "take", "02:00:00:00:00:02"},
          {'A', "crash", ""},
          {'B', "take", "02:00:00:00:00:03"},
          {'B', "pass", "02:00:00:00:00:03"},
          {'B', "take", "02:00:00:00:00:04"},
          {'A', "none", ""},
          {'B', "fail", "02:00:00:00:00:04"},
          {'A', "take", "02:00:00:00:00:04"},
          {'B', "none", ""}},
         "02:00:00:00:00:01=lost 02:00:00:00:00:02=lost 02:00:00:00:00:03=passed 02:00:00:00:00:04=taken"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string series = dbtest::FreshName("rules");
        std::map<char, Station> stations;
        Boot(stations['A'], series, c.list);
        Boot(stations['B'], series, c.list);
        for (const Step& step : c.steps) {
            SCOPED_TRACE(std::string(1, step.station) + " " + step.action + " " + step.value);
            Station& s = stations[step.station];
            std::string why;
            const std::string action = step.action;
            if (action == "take") {
                SerialValue v;
                ASSERT_EQ(s.serials->Take(&v, &why), Taken::Ok) << why;
                EXPECT_EQ(v.Text(), step.value);
            } else if (action == "none") {
                SerialValue v;
                EXPECT_EQ(s.serials->Take(&v, &why), Taken::RanOut);
            } else if (action == "row" || action == "last") {
                EXPECT_EQ(ByHand(series, action, step.value), "");
            } else if (action == "crash") {
                s.serials.reset();
                Boot(s, series, c.list);
            } else {
                SerialValue v;
                ASSERT_TRUE(cli::ParseSerialValue(step.value, &v));
                const bool ok = action == "pass"   ? s.serials->Passed(v, &why)
                                : action == "fail" ? s.serials->Failed(v, &why)
                                                   : s.serials->Lost(v, &why);
                EXPECT_TRUE(ok) << why;
            }
        }
        EXPECT_EQ(States(series), c.finalStates);
    }
}

// A station whose database goes away gets no number (and programs nothing),
// keeps what its boards settled, and sends it once the database is back; a
// journal of another series is refused.
TEST(DbSerials, UnreachableDatabaseMakesBoardsWaitAndJournalWins) {
    TARVEL_NEED_DB();
    const std::string series = dbtest::FreshName("outage");
    MemoryJournal journal;
    auto a = std::make_unique<DbSerials>(dbtest::Connection(), series, "A", Field(4), 1, 1, std::vector<SerialValue>{});
    std::string note, why;
    ASSERT_EQ(a->Start("", &journal, &note, &why), DbSerials::Started::Ok) << why;
    SerialValue one, two;
    ASSERT_EQ(a->Take(&one, &why), Taken::Ok) << why;
    ASSERT_EQ(a->Take(&two, &why), Taken::Ok) << why;

    // The same journal with a connection that reaches nothing.
    const std::string dead = "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;Database=tarvel;Uid=postgres;";
    auto cut = std::make_unique<DbSerials>(dead, series, "A", Field(4), 1, 1, std::vector<SerialValue>{});
    cut->SetRetryPause(std::chrono::milliseconds(0));
    a.reset();
    ASSERT_EQ(cut->Start(journal.text, &journal, &note, &why), DbSerials::Started::Ok) << why;
    EXPECT_NE(note.find("boards wait for the database"), std::string::npos) << note;
    EXPECT_NE(note.find("2 serial number(s) in flight"), std::string::npos) << note;
    EXPECT_EQ(cut->Waiting(), 2u);
    SerialValue v;
    EXPECT_EQ(cut->Take(&v, &why), Taken::Unavailable);
    EXPECT_NE(why.find("cannot reach the database"), std::string::npos) << why;
    EXPECT_EQ(States(series), "1=taken 2=taken");

    // Back: the two in flight are lost, the next board gets 3.
    auto back =
        std::make_unique<DbSerials>(dbtest::Connection(), series, "A", Field(4), 1, 1, std::vector<SerialValue>{});
    cut.reset();
    ASSERT_EQ(back->Start(journal.text, &journal, &note, &why), DbSerials::Started::Ok) << why;
    EXPECT_EQ(back->Waiting(), 0u);
    ASSERT_EQ(back->Take(&v, &why), Taken::Ok) << why;
    EXPECT_EQ(v.Text(), "3");
    EXPECT_EQ(States(series), "1=lost 2=lost 3=taken");

    DbSerials other(dbtest::Connection(), series + "x", "A", Field(4), 1, 1, {});
    MemoryJournal sink;
    EXPECT_EQ(other.Start(journal.text, &sink, &note, &why), DbSerials::Started::Refused);
    EXPECT_NE(why.find("belongs to the series"), std::string::npos) << why;

    // A series that exists as a sequence is not a list.
    SerialValue mac;
    ASSERT_TRUE(cli::ParseSerialValue("02:00:00:00:00:01", &mac));
    DbSerials asList(dbtest::Connection(), series, "B", Field(6), 0, 1, {mac});
    EXPECT_EQ(asList.Start("", &sink, &note, &why), DbSerials::Started::Refused);
    EXPECT_NE(why.find("is a sequence, not a list"), std::string::npos) << why;
}

// The journal of one process, on disk, as the console keeps it.
class FileJournal : public cli::JournalSink {
public:
    explicit FileJournal(const std::string& path) : f_(std::fopen(path.c_str(), "a")) {}
    ~FileJournal() override {
        if (f_) std::fclose(f_);
    }
    bool Append(const std::string& line, std::string* why) override {
        if (!f_ || std::fputs((line + "\n").c_str(), f_) < 0 || std::fflush(f_) != 0) {
            *why = "cannot write";
            return false;
        }
        return true;
    }

private:
    std::FILE* f_;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Several processes take thousands of numbers at once; their boards pass,
// fail or are lost at random, and some processes die with boards in flight
// and start again from their journals. No number passes twice, every number
// the database handed out is accounted for, and the sequence has no hole.
TEST(DbSerials, ManyProcessesTakeAtOnce) {
    TARVEL_NEED_DB();
    const std::string series = dbtest::FreshName("crowd");
    const int processes = 8, takes = 500;
    char folder[] = "/tmp/tarvel-crowd.XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::vector<pid_t> children;
    for (int p = 0; p < processes; ++p) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid != 0) {
            children.push_back(pid);
            continue;
        }
        // The child: one station. It reports every event to its own file,
        // its journal is another.
        std::mt19937 rng(static_cast<unsigned>(p) * 7919u + 1);
        const std::string journalPath = std::string(folder) + "/journal" + std::to_string(p);
        std::FILE* events = std::fopen((std::string(folder) + "/events" + std::to_string(p)).c_str(), "w");
        int code = 0;
        for (int life = 0; life < 2 && code == 0; ++life) {
            FileJournal journal(journalPath);
            DbSerials serials(dbtest::Connection(), series, "st" + std::to_string(p), Field(4), 1, 1, {});
            std::string note, why;
            if (serials.Start(ReadAll(journalPath), &journal, &note, &why) != DbSerials::Started::Ok) code = 10;
            std::vector<SerialValue> inFlight;
            for (int t = 0; t < takes / 2 && code == 0; ++t) {
                SerialValue v;
                if (serials.Take(&v, &why) != Taken::Ok) {
                    std::fprintf(stderr, "take: %s\n", why.c_str());
                    code = 11;
                    break;
                }
                std::fprintf(events, "take %s\n", v.Text().c_str());
                inFlight.push_back(v);
                if (inFlight.size() < 3 && rng() % 2) continue;
                const SerialValue done = inFlight[rng() % inFlight.size()];
                inFlight.erase(std::find(inFlight.begin(), inFlight.end(), done));
                const unsigned r = rng() % 10;
                const char* verb = r < 6 ? "pass" : r < 9 ? "free" : "lost";
                const bool ok = r < 6   ? serials.Passed(done, &why)
                                : r < 9 ? serials.Failed(done, &why)
                                        : serials.Lost(done, &why);
                if (!ok || serials.Waiting() != 0) code = 12;
                std::fprintf(events, "%s %s\n", verb, done.Text().c_str());
            }
            // The first life dies with its boards in flight; they are lost
            // when it starts again. The second settles its own.
            for (const SerialValue& v : inFlight) {
                if (life == 0) {
                    std::fprintf(events, "lost %s\n", v.Text().c_str());
                } else {
                    serials.Passed(v, &why);
                    std::fprintf(events, "pass %s\n", v.Text().c_str());
                }
            }
            std::fflush(events);
        }
        std::fclose(events);
        _exit(code);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a taker failed: " << status;
    }
    // Every event of every process. The processes' order among themselves is
    // unknown, but a number is settled once per take, passes or is lost at
    // most once (a second board on it would need a second settlement), and
    // ends free when it was neither.
    std::map<std::string, int> takesOf, settled, final;
    std::map<std::string, std::string> state;
    for (int p = 0; p < processes; ++p) {
        std::istringstream in(ReadAll(std::string(folder) + "/events" + std::to_string(p)));
        std::string verb, value;
        while (in >> verb >> value) {
            if (verb == "take") {
                ++takesOf[value];
                continue;
            }
            ++settled[value];
            if (verb == "free") {
                if (!state.count(value)) state[value] = "free";
            } else {
                ++final[value];
                state[value] = verb == "pass" ? "passed" : "lost";
            }
        }
        std::remove((std::string(folder) + "/events" + std::to_string(p)).c_str());
        std::remove((std::string(folder) + "/journal" + std::to_string(p)).c_str());
    }
    rmdir(folder);
    for (const auto& t : takesOf) {
        EXPECT_EQ(settled[t.first], t.second) << t.first;
        ASSERT_LE(final[t.first], 1) << t.first << " passed or was lost on several boards";
    }

    std::istringstream states(States(series));
    std::string item;
    std::size_t rows = 0;
    std::set<std::uint64_t> numbers;
    while (states >> item) {
        ++rows;
        const std::size_t eq = item.find('=');
        const std::string value = item.substr(0, eq);
        ASSERT_TRUE(state.count(value)) << value << " is in the database but no process took it";
        EXPECT_EQ(item.substr(eq + 1), state[value]) << value;
        numbers.insert(std::stoull(value));
    }
    EXPECT_EQ(rows, takesOf.size());
    ASSERT_FALSE(numbers.empty());
    EXPECT_EQ(*numbers.begin(), 1u);
    EXPECT_EQ(*numbers.rbegin(), numbers.size()) << "the sequence has a hole";
}

}  // namespace

// Serial numbers over a gang and across restarts: a failed board's number is
// taken by the next board, the passed numbers are consecutive, a number that
// was in flight when the tool died is never given again, and the journal that
// carries this over a restart is read strictly (but survives a torn last line).
#include "cli/SerialBook.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using cli::SerialBook;
using cli::SerialValue;

// The journal as the disk would hold it; can be told to fail.
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

SerialValue Number(std::uint64_t n) {
    SerialValue v;
    v.number = n;
    return v;
}

// Boards on several ports start and end in a shuffled order, some fail: no
// number is on two boards or passes twice, and the failed boards' numbers are
// the next ones handed out, so no step is skipped; with or without a journal.
TEST(SerialBook, GangOfBoardsPassesConsecutiveNumbersOnlyOnce) {
    for (unsigned seed = 1; seed <= 20; ++seed) {
        std::mt19937 rng(seed);
        MemoryJournal journal;
        SerialBook book(1000, 5, 4);
        if (seed % 2) {
            book.Attach(&journal);
            std::string why;
            ASSERT_TRUE(book.Begin(&why));
        }
        std::vector<SerialValue> onBoard;  // one running board per port
        std::set<std::uint64_t> passed;
        std::uint64_t passes = 0;
        std::string why;
        for (int step = 0; step < 400; ++step) {
            if (onBoard.size() < 4 && rng() % 2) {
                SerialValue v;
                ASSERT_EQ(book.Take(&v, &why), SerialBook::Taken::Ok);
                for (const SerialValue& other : onBoard) ASSERT_FALSE(other == v) << "on two boards at once";
                ASSERT_EQ(passed.count(v.number), 0u) << v.number << " given again after it passed";
                onBoard.push_back(v);
            } else if (!onBoard.empty()) {
                const std::size_t i = rng() % onBoard.size();
                const SerialValue v = onBoard[i];
                onBoard.erase(onBoard.begin() + static_cast<long>(i));
                if (rng() % 3 == 0) {
                    ASSERT_TRUE(book.Failed(v, &why));
                } else {
                    ASSERT_TRUE(book.Passed(v, &why));
                    ASSERT_TRUE(passed.insert(v.number).second);
                    ++passes;
                }
            }
        }
        for (const SerialValue& v : onBoard) ASSERT_TRUE(book.Failed(v, &why));
        ASSERT_FALSE(passed.empty());
        // The numbers below the highest passed one that did not pass are the
        // ones given back, and they come next, lowest first: together they
        // fill the steps without a gap or an overlap.
        const std::uint64_t highest = *passed.rbegin();
        std::set<std::uint64_t> all = passed;
        SerialValue next;
        for (;;) {
            ASSERT_EQ(book.Take(&next, &why), SerialBook::Taken::Ok);
            if (next.number > highest) break;
            ASSERT_TRUE(all.insert(next.number).second) << next.number << " handed out again";
        }
        EXPECT_EQ(next.number, highest + 5) << "seed " << seed;
        std::uint64_t want = 1000;
        for (std::uint64_t n : all) {
            EXPECT_EQ(n, want) << "seed " << seed;
            want += 5;
        }
        EXPECT_EQ(passed.size(), passes);
    }
}

// The tool dies at random moments; every restart resumes from the journal.
// No number ever reaches a second board that may have kept it: not after it
// passed, and not after it was in flight when the tool died.
TEST(SerialBook, RestartsNeverRepeatANumberThatMayBeOnABoard) {
    for (unsigned seed = 1; seed <= 20; ++seed) {
        std::mt19937 rng(seed);
        MemoryJournal journal;
        std::set<std::uint64_t> mayBeOnABoard;  // passed, or in flight at a crash
        std::set<std::uint64_t> passed;
        std::string why, note;
        for (int run = 0; run < 6; ++run) {
            // The start given on later runs differs: the journal wins.
            SerialBook book(run == 0 ? 1 : 777, 1, 2);
            if (run == 0) {
                book.Attach(&journal);
                ASSERT_TRUE(book.Begin(&why));
            } else {
                ASSERT_TRUE(book.Resume(journal.text, &note, &why)) << why;
                book.Attach(&journal);
            }
            std::vector<SerialValue> onBoard;
            const int steps = static_cast<int>(rng() % 60);
            for (int step = 0; step < steps; ++step) {
                if (onBoard.size() < 3 && rng() % 2) {
                    SerialValue v;
                    ASSERT_EQ(book.Take(&v, &why), SerialBook::Taken::Ok);
                    ASSERT_EQ(mayBeOnABoard.count(v.number), 0u) << "run " << run << " gave " << v.number << " again";
                    ASSERT_GE(v.number, 1u);
                    onBoard.push_back(v);
                } else if (!onBoard.empty()) {
                    const SerialValue v = onBoard.back();
                    onBoard.pop_back();
                    if (rng() % 4 == 0) {
                        ASSERT_TRUE(book.Failed(v, &why));
                    } else {
                        ASSERT_TRUE(book.Passed(v, &why));
                        mayBeOnABoard.insert(v.number);
                        passed.insert(v.number);
                    }
                }
            }
            // The crash: whatever was running may have kept its number.
            for (const SerialValue& v : onBoard) mayBeOnABoard.insert(v.number);
        }
        SerialBook last(1, 1, 2);
        ASSERT_TRUE(last.Resume(journal.text, &note, &why));
        EXPECT_EQ(last.LostCount() + passed.size(), mayBeOnABoard.size());
    }
}

TEST(SerialBook, JournalStatesAndRefusals) {
    std::string why, note;
    // A restart continues after the last number taken and gives back the
    // freed one first; the one in flight is lost for good.
    {
        SerialBook book(5, 1, 4);
        ASSERT_TRUE(
            book.Resume("tarvel-serial-state 1 sequence start=100 step=10\n"
                        "take 100\npass 100\ntake 110\ntake 120\nfree 110\ntake 130\npass 130\n",
                        &note, &why))
            << why;
        EXPECT_NE(note.find("next 140"), std::string::npos) << note;
        EXPECT_NE(note.find("1 in flight"), std::string::npos) << note;  // 120
        SerialValue v;
        ASSERT_EQ(book.Take(&v, &why), SerialBook::Taken::Ok);
        EXPECT_EQ(v.number, 110u);
        ASSERT_EQ(book.Take(&v, &why), SerialBook::Taken::Ok);
        EXPECT_EQ(v.number, 140u);
    }
    // A line torn by a crash at the very end is no line; garbage elsewhere
    // refuses the whole file.
    struct Case {
        const char* journal;
        bool ok;
        const char* reason;
    };
    const Case cases[] = {
        {"tarvel-serial-state 1 sequence start=1 step=1\ntake 1\npass 1\ntak", true, ""},
        {"tarvel-serial-state 1 sequence start=1 step=1\ntake 1\nbogus 3\npass 1\n", false, "line 3"},
        {"tarvel-serial-state 1 sequence start=1 step=1\ntake 1\npass 1\ntak\n", false, "line 4"},
        {"hello\n", false, "not a serial state file"},
        {"", false, "not a serial state file"},
        {"tarvel-serial-state 1 sequence start=1 step=0\n", false, "start= and step="},
        {"tarvel-serial-state 1 list\n", false, "--serial-list"},
        {"tarvel-serial-state 1 sequence start=1 step=1\ntake 00:11\n", false, "byte string"},
        {"tarvel-serial-state 1 sequence start=1 step=1\ntake 1\nfree 4294967296\n", false, "does not fit"},
    };
    for (const Case& c : cases) {
        SerialBook book(1, 1, 4);
        EXPECT_EQ(book.Resume(c.journal, &note, &why), c.ok) << c.journal;
        if (!c.ok) {
            EXPECT_NE(why.find(c.reason), std::string::npos) << c.journal << " -> " << why;
        }
    }
    // A journal that cannot be written: the value is not handed out, and
    // never given later either.
    MemoryJournal journal;
    SerialBook book(1, 1, 4);
    book.Attach(&journal);
    ASSERT_TRUE(book.Begin(&why));
    journal.failing = true;
    SerialValue v;
    EXPECT_EQ(book.Take(&v, &why), SerialBook::Taken::JournalFailed);
    journal.failing = false;
    ASSERT_EQ(book.Take(&v, &why), SerialBook::Taken::Ok);
    EXPECT_EQ(v.number, 2u);
}

TEST(SerialBook, RunsOutAtTheEndOfTheFieldOrTheList) {
    std::string why;
    SerialBook book(250, 2, 1);
    std::vector<std::uint64_t> got;
    SerialValue v;
    while (book.Take(&v, &why) == SerialBook::Taken::Ok) got.push_back(v.number);
    EXPECT_EQ(got, (std::vector<std::uint64_t>{250, 252, 254}));
    // A failed board's number comes back even when the sequence is used up.
    ASSERT_TRUE(book.Failed(Number(252), &why));
    ASSERT_EQ(book.Take(&v, &why), SerialBook::Taken::Ok);
    EXPECT_EQ(v.number, 252u);
    EXPECT_EQ(book.Take(&v, &why), SerialBook::Taken::RanOut);

    SerialBook full(UINT64_MAX, 1, 8);
    ASSERT_EQ(full.Take(&v, &why), SerialBook::Taken::Ok);
    EXPECT_EQ(v.number, UINT64_MAX);
    EXPECT_EQ(full.Take(&v, &why), SerialBook::Taken::RanOut);
}

TEST(SerialBook, ListValuesInOrderMarkedUsedAcrossRuns) {
    cli::SerialField field;
    field.width = 6;
    std::vector<SerialValue> list;
    std::string why, note;
    ASSERT_TRUE(cli::ParseSerialList("# line 1\n00:1A:2B:3C:4D:5E\r\n\n00-1a-2b-3c-4d-5f\n0x1A2B3C4D5E60\n", field,
                                     &list, &why))
        << why;
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1].Text(), "00:1A:2B:3C:4D:5F");
    MemoryJournal journal;
    {
        SerialBook book(list);
        book.Attach(&journal);
        ASSERT_TRUE(book.Begin(&why));
        SerialValue a, b;
        ASSERT_EQ(book.Take(&a, &why), SerialBook::Taken::Ok);
        ASSERT_EQ(book.Take(&b, &why), SerialBook::Taken::Ok);
        EXPECT_EQ(a.Text(), "00:1A:2B:3C:4D:5E");
        ASSERT_TRUE(book.Failed(a, &why));
        ASSERT_TRUE(book.Passed(b, &why));
    }
    SerialBook again(list);
    ASSERT_TRUE(again.Resume(journal.text, &note, &why)) << why;
    SerialValue v;
    ASSERT_EQ(again.Take(&v, &why), SerialBook::Taken::Ok);
    EXPECT_EQ(v.Text(), "00:1A:2B:3C:4D:5E") << "the failed board's address comes back";
    ASSERT_EQ(again.Take(&v, &why), SerialBook::Taken::Ok);
    EXPECT_EQ(v.number, 0x1A2B3C4D5E60u);
    EXPECT_EQ(again.Take(&v, &why), SerialBook::Taken::RanOut);
    // A sequence's state is no list's.
    SerialBook sequence(1, 1, 6);
    EXPECT_FALSE(sequence.Resume(journal.text, &note, &why));

    // A byte string goes into Flash in the order written, whatever the
    // field's byte order; a number follows the byte order.
    std::vector<std::uint8_t> image(8, 0xFF);
    field.address = 1;
    field.bigEndian = false;
    cli::WriteSerialValue(image.data(), field, list[0]);
    EXPECT_EQ(image, (std::vector<std::uint8_t>{0xFF, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0xFF}));
}

TEST(SerialBook, ListFilesAreReadStrictly) {
    cli::SerialField field;
    field.width = 2;
    struct Case {
        const char* text;
        const char* reason;  // "" when the list is taken
    };
    const Case cases[] = {
        {"1\n2\n0xFFFF\n", ""},
        {"1\n0x10000\n", "line 2 '0x10000': does not fit 2 bytes"},
        {"AB:CD\nAB:CD:EF\n", "line 2 'AB:CD:EF': 3 bytes, but the serial field is 2"},
        {"5\n6\n0x5\n", "line 3 '0x5': the same value as line 1"},
        {"ab:cd\nAB-CD\n", "the same value as line 1"},
        {"12a\n", "line 1 '12a': not a number"},
        {"A:BC\n", "not a number"},
        {"-5\n", "not a number"},
        {"# nothing\n\n", "no values"},
    };
    for (const Case& c : cases) {
        std::vector<SerialValue> list;
        std::string why;
        const bool ok = cli::ParseSerialList(c.text, field, &list, &why);
        EXPECT_EQ(ok, *c.reason == '\0') << c.text << " -> " << why;
        if (!ok) {
            EXPECT_NE(why.find(c.reason), std::string::npos) << c.text << " -> " << why;
        }
    }
}

}  // namespace

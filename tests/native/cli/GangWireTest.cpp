// The one-line messages between a gang's parent and its workers: whatever a
// field holds comes back unchanged, and a line that is no message is refused
// instead of half read.
#include "cli/GangWire.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

TEST(GangWire, FieldsSurviveTheLineWhateverTheyHold) {
    cli::WireMessage m;
    m.verb = "result";
    m.fields["n"] = "3";
    m.fields["serial"] = "00:1A:2B:3C:4D:5E";
    m.fields["text"] = "COM4 was lost = gone\r\n% 100%\t\x01\xff";
    m.fields["empty"] = "";
    const std::string line = cli::EncodeWire(m);
    EXPECT_EQ(line.find_first_of("\r\n\t"), std::string::npos) << line;
    cli::WireMessage back;
    ASSERT_TRUE(cli::DecodeWire(line, &back)) << line;
    EXPECT_EQ(back.verb, "result");
    EXPECT_EQ(back.fields, m.fields);
    EXPECT_EQ(back.Field("absent"), "");

    std::mt19937 rng(5);
    for (int i = 0; i < 500; ++i) {
        cli::WireMessage r;
        r.verb = "status";
        std::string v;
        for (int k = static_cast<int>(rng() % 20); k > 0; --k) v += static_cast<char>(rng());
        r.fields["word"] = v;
        ASSERT_TRUE(cli::DecodeWire(cli::EncodeWire(r), &back));
        ASSERT_EQ(back.Field("word"), v);
    }
}

TEST(GangWire, LinesThatAreNoMessageAreRefused) {
    const char* bad[] = {
        "",                // no verb
        " board n=1",      // blank verb
        "Board n=1",       // verbs and names are lower case
        "board n",         // a field without '='
        "board =1",        // a field without a name
        "board n=1  x=2",  // an empty word
        "board n=1 n=2",   // a name twice
        "board t=a%2",     // a cut escape
        "board t=a%G0",    // a bad escape
        "board t=a b",     // a blank inside a value ("b" has no '=')
        "board t=\"x\"",   // a byte that is always escaped
    };
    for (const char* line : bad) {
        cli::WireMessage m;
        EXPECT_FALSE(cli::DecodeWire(line, &m)) << line;
    }
    cli::WireMessage m;
    ASSERT_TRUE(cli::DecodeWire("stop", &m));
    EXPECT_EQ(m.verb, "stop");
    EXPECT_TRUE(m.fields.empty());
}

// Whole lines become messages as they arrive; a line cut by the pipe waits
// for its end, and a bad line is dropped without taking the next with it.
TEST(GangWire, LinesArrivingInPiecesBecomeMessagesOnceWhole) {
    std::string pending = "ready\nstatus word=4";
    std::vector<cli::WireMessage> got = cli::TakeWireMessages(&pending);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].verb, "ready");
    EXPECT_EQ(pending, "status word=4");
    pending += "5\nbad line\nresult n=1 code=101\n";
    got = cli::TakeWireMessages(&pending);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].Field("word"), "45");
    EXPECT_EQ(got[1].Field("code"), "101");
    EXPECT_TRUE(pending.empty());
}

}  // namespace

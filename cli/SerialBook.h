// Which serial number each board gets, over a whole run and across runs.
// Window-free: the journal reaches the disk through a JournalSink that the
// program supplies (StateFile.h on Windows).
//
// A board takes the next free value when its programming starts. A board
// that passes uses its value up; a failed board gives it back, and the next
// board takes it, so the passed boards' values are consecutive steps with no
// repeats. A value whose board was lost (a crashed tool, a dead worker) is
// never given again: a gap is acceptable, a repeat never is.
//
// The values come from a sequence (start, step, within the field's width) or
// from a list (--serial-list: numbers, or byte strings such as MAC addresses,
// used in the order given).
//
// The journal, appended one line at a time and flushed before the value goes
// into a board:
//
//   tarvel-serial-state 1 sequence start=1000 step=1     (or: ... 1 list)
//   take 1000        a board started with 1000
//   pass 1000        it passed: 1000 is used up
//   free 1001        its board failed: 1001 may be taken again
//   lost 1002        its board's fate is unknown: never again
//
// Replayed, every value taken and neither passed nor freed counts as lost.
// Values are written in their canonical text: decimal numbers, byte strings
// as upper-case hex pairs joined by ':'.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cli/SerialNumber.h"

namespace cli {

struct SerialValue {
    bool isBytes = false;
    std::uint64_t number = 0;         // when !isBytes
    std::vector<std::uint8_t> bytes;  // when isBytes, in the order they go into Flash

    std::string Text() const;  // canonical: "1000", "00:1A:2B:3C:4D:5E"
    bool operator==(const SerialValue& o) const {
        return isBytes == o.isBytes && (isBytes ? bytes == o.bytes : number == o.number);
    }
};

// One value as a list line or a journal gives it: decimal, 0x hex, or hex
// byte pairs separated by ':' or '-' (at least two bytes).
bool ParseSerialValue(const std::string& text, SerialValue* value);

// A --serial-list file: one value a line; blank lines and lines starting
// with '#' are skipped. Every value must fit the field (a number its width,
// a byte string exactly its width) and appear once. False with the reason,
// naming the line.
bool ParseSerialList(const std::string& text, const SerialField& field, std::vector<SerialValue>* values,
                     std::string* why);

// Writes a value into an image at the field: a number in the field's byte
// order, a byte string as given.
void WriteSerialValue(std::uint8_t* image, const SerialField& field, const SerialValue& value);

// Where journal lines go; Append returns once the line is on disk.
class JournalSink {
public:
    virtual ~JournalSink() = default;
    virtual bool Append(const std::string& line, std::string* why) = 0;
};

// Where each board's serial number comes from: this computer's journal
// (SerialBook) or the shared database (cli/DbSerials.h). A board takes a
// value when it starts; a passed board uses it up, a failed board gives it
// back, and a board whose fate is unknown loses it for good.
class SerialSource {
public:
    virtual ~SerialSource() = default;
    // Unavailable: no value can be had right now (the database cannot be
    // reached); the board waits and asks again.
    enum class Taken { Ok, RanOut, JournalFailed, Unavailable };
    virtual Taken Take(SerialValue* value, std::string* why) = 0;
    // False when the journal could not say so (*why).
    virtual bool Passed(const SerialValue& value, std::string* why) = 0;
    virtual bool Failed(const SerialValue& value, std::string* why) = 0;
    virtual bool Lost(const SerialValue& value, std::string* why) = 0;
};

class SerialBook : public SerialSource {
public:
    // A sequence start, start + step, ... up to the largest value of width.
    SerialBook(std::uint64_t start, std::uint64_t step, unsigned width);
    // The values of a list, in order.
    explicit SerialBook(std::vector<SerialValue> list);

    // Continues from an existing journal's text (the state file wins over
    // the start and step given to the constructor). *note tells the user what
    // was taken over. False with the reason for a journal that is not one, or
    // of the other kind (a sequence's state for a list and back).
    bool Resume(const std::string& journal, std::string* note, std::string* why);

    // Lines go to sink from now on (nullptr: none). For a new journal, call
    // Begin() once to write its first line.
    void Attach(JournalSink* sink) { sink_ = sink; }
    bool Begin(std::string* why);

    // The next free value for a board that starts now; it is journaled
    // before it is returned.
    Taken Take(SerialValue* value, std::string* why) override;
    bool Passed(const SerialValue& value, std::string* why) override;
    bool Failed(const SerialValue& value, std::string* why) override;
    bool Lost(const SerialValue& value, std::string* why) override;

    std::size_t InFlight() const { return inFlight_.size(); }
    std::size_t LostCount() const { return lost_.size(); }
    bool IsList() const { return isList_; }

private:
    bool Journal(const std::string& line, std::string* why);
    bool Apply(const std::string& verb, const SerialValue& value, std::string* why);
    bool Advance(std::uint64_t from, std::uint64_t* to) const;  // from + step within the field

    bool isList_ = false;
    // Sequence.
    std::uint64_t next_ = 0, step_ = 1, max_ = 0;
    bool exhausted_ = false;
    std::set<std::uint64_t> returned_;  // given back, taken again lowest first
    // List.
    std::vector<SerialValue> list_;
    std::size_t listNext_ = 0;
    std::set<std::size_t> listReturned_;  // indices given back
    std::map<std::string, std::size_t> listIndex_;
    // Both.
    std::set<std::string> inFlight_, used_, lost_;
    JournalSink* sink_ = nullptr;
};

}  // namespace cli

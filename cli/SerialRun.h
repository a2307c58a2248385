// The serial numbers of one program run: a sequence or a --serial-list, kept
// in memory or in a --serial-state file, or taken from a series in the
// shared database (--serial-db, with the state file as the station's own
// journal), set up before the first board.
#pragma once

#include <memory>
#include <string>

#include "cli/Arguments.h"
#include "cli/DbSerials.h"
#include "cli/SerialBook.h"
#include "cli/StateFile.h"
#include "cli/UnitOutbox.h"

namespace cli {

class SerialRun {
public:
    // Reads the list, opens and replays the state file. On failure returns
    // an exit code with *why; *note tells what a state file carried over.
    int Setup(const Options& o, std::wstring* note, std::wstring* why);
    SerialSource& Source() { return db_ ? static_cast<SerialSource&>(*db_) : *book_; }
    // The database's source, when the numbers come from one.
    DbSerials* Database() { return db_.get(); }
    // The unit records' way into the database (with --serial-db), nullptr
    // without one.
    UnitOutbox* Outbox() { return outbox_.get(); }

private:
    int SetupDatabase(const Options& o, std::vector<SerialValue> list, std::wstring* note, std::wstring* why);

    std::unique_ptr<SerialBook> book_;
    std::unique_ptr<DbSerials> db_;
    std::unique_ptr<UnitOutbox> outbox_;
    StateFile outboxFile_;
    StateFile state_;
};

}  // namespace cli

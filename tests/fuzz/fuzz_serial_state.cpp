// A serial list file and a serial state file as a crash, a disk or a person
// might leave them: either is refused with a reason or taken, and a book that
// took them never hands out one value twice, nor a value the journal lists
// as passed or in flight.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "cli/SerialBook.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

std::set<std::string> Marked(const std::string& journal, const char* a, const char* b) {
    std::set<std::string> out;
    std::size_t at = journal.find('\n');
    while (at != std::string::npos && at + 1 < journal.size()) {
        const std::size_t end = journal.find('\n', at + 1);
        if (end == std::string::npos) break;  // a torn last line counts for nothing
        const std::string line = journal.substr(at + 1, end - at - 1);
        for (const char* verb : {a, b}) {
            const std::string prefix = std::string(verb) + " ";
            cli::SerialValue v;
            if (line.compare(0, prefix.size(), prefix) == 0 && cli::ParseSerialValue(line.substr(prefix.size()), &v))
                out.insert(v.Text());
        }
        at = end;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    cli::SerialField field;
    field.width = 1 + data[0] % 8;
    // The rest: a list, a NUL, a journal.
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t split = rest.find('\0');
    const std::string listText = rest.substr(0, split);
    const std::string journal = split == std::string::npos ? std::string() : rest.substr(split + 1);

    std::vector<cli::SerialValue> list;
    std::string why, note;
    const bool listOk = cli::ParseSerialList(listText, field, &list, &why);
    FUZZ_CHECK(listOk || !why.empty());
    cli::SerialBook book = listOk ? cli::SerialBook(list) : cli::SerialBook(7, 1 + data[0] % 3, field.width);
    if (!book.Resume(journal, &note, &why)) {
        FUZZ_CHECK(!why.empty());
        return 0;
    }
    // Passed and taken values are never handed out again (a taken one was
    // either passed, freed or lost, and freed ones may come back).
    const std::set<std::string> passed = Marked(journal, "pass", "lost");
    std::set<std::string> given;
    for (int i = 0; i < 64; ++i) {
        cli::SerialValue v;
        if (book.Take(&v, &why) != cli::SerialBook::Taken::Ok) break;
        FUZZ_CHECK(given.insert(v.Text()).second);
        FUZZ_CHECK(v.isBytes ? v.bytes.size() == field.width : v.number <= cli::MaxSerial(field.width) || listOk);
        if (i % 3 == 0) book.Failed(v, &why);
        else book.Passed(v, &why);
        if (i % 3 == 0) given.erase(v.Text());
    }
    for (const std::string& g : given) FUZZ_CHECK(passed.count(g) == 0);
    return 0;
}

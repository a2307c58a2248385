#include "cli/RunRecords.h"

#include "cli/Console.h"
#include "cli/ExitCodes.h"
#include "cli/Records.h"
#include "cli/Text.h"

#include <string>

namespace cli {

int StartRunRecords(const Options& o, bool gang, SerialRun& serials, CsvLog& log) {
    if (o.serial) {
        std::wstring note, why;
        if (const int rc = serials.Setup(o, &note, &why)) return Fail(rc, why);
        if (!note.empty()) Err().Line("Tarvel_CLI: " + Utf8(note));
    }
    if (!o.log.empty()) {
        std::wstring why;
        if (!log.Open(o.log, CsvHeader(gang), &why))
            return Fail(kExitFile, L"cannot write the log " + o.log + L": " + why);
    }
    return kExitOk;
}

}  // namespace cli

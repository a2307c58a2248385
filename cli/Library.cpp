#include "cli/Library.h"

#include <windows.h>

#include "cli/Console.h"
#include "cli/ExitCodes.h"
#include "cli/Files.h"
#include "cli/Text.h"
#include "files/FirmwareFile.h"

namespace cli {

int LoadLibrary(Library& lib) {
    isp::LoadFailure failure;
    if (!lib.dll.Load(isp::ModuleFolder(), &failure)) {
        switch (failure.kind) {
        case isp::LoadFailure::kFileMissing:
            return Fail(kExitLibrary, L"Tarvel_DLL.dll not found beside Tarvel_CLI.exe (" + failure.path + L")");
        case isp::LoadFailure::kNotLoadable:
            return Fail(kExitLibrary, L"Tarvel_DLL.dll cannot be loaded (" + SystemMessage(failure.systemError) +
                                          L"): " + failure.path);
        default:
            return Fail(kExitLibrary, L"Tarvel_DLL.dll: " + failure.operations +
                                          L" missing: this library lacks operations the programmer needs");
        }
    }
    lib.count = lib.dll.GetBodyInfo(&lib.table);
    if (lib.count == 0 || lib.table == nullptr) return Fail(kExitLibrary, L"Tarvel_DLL.dll lists no parts");
    return kExitOk;
}

int LoadLibraryAndPart(const Options& o, Library& lib, std::int32_t* index, LinkSettings* link) {
    if (const int rc = LoadLibrary(lib)) return rc;
    *index = FindPart(lib.table, lib.count, o.part);
    if (*index < 0)
        return Fail(kExitUsage, L"unknown part '" + o.part + L"' (Tarvel_CLI parts lists the library's parts)");
    const std::wstring why = CheckChoices(o, lib.table[*index], link);
    if (!why.empty()) return Fail(kExitUsage, why);
    return kExitOk;
}

int BuildImages(const Options& o, const isp::BodyInfo& part, ImageBuffer& flash, ImageBuffer& eeprom) {
    const std::wstring partName = part.PartName ? part.PartName : L"";
    for (const FileLoad& load : o.loads) {
        ImageBuffer& buffer = load.area == Area::Flash ? flash : eeprom;
        const wchar_t* areaName = load.area == Area::Flash ? L"Flash" : L"EEPROM";
        const std::wstring fits = L"does not fit " + partName + L"'s " + areaName + L" (" +
                                  std::to_wstring(buffer.Capacity()) + L" bytes) from 0x" +
                                  Widen(HexText(load.insertOffset, 8));
        WinFileOpener opener;
        const image::FileLoadOutcome loaded = buffer.LoadFile(opener, load.path, load.insertOffset, load.clearFirst);
        switch (loaded.status) {
        case image::FileLoadStatus::Ok: break;
        case image::FileLoadStatus::OpenError:
        case image::FileLoadStatus::ReadError:
            return Fail(kExitFile, LoadErrorText(loaded.status) + L": " + load.path + L" (" +
                                       SystemMessage(loaded.systemError) + L")");
        case image::FileLoadStatus::TooLarge:
            return Fail(kExitFile, LoadErrorText(loaded.status) + L" " + load.path + L" " + fits);
        case image::FileLoadStatus::HexError:
        case image::FileLoadStatus::FormatError:
            return Fail(kExitFile, LoadErrorText(loaded.status) + L": " + load.path);
        }
    }
    return kExitOk;
}

bool HasArea(const Options& o, Area area) {
    for (const FileLoad& l : o.loads)
        if (l.area == area) return true;
    return false;
}

std::uint8_t SetupFlagsOf(const Options& o) {
    return static_cast<std::uint8_t>((o.eraseBySize ? isp::kSetupEraseByFileSize : 0) |
                                     (o.rstnColdReset ? isp::kSetupRstnColdReset : 0));
}

}  // namespace cli

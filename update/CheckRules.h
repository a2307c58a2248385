// The version check without windows: where the version file lives on the
// maker's server, which of its keys an edition reads, how its version text is
// judged against the library's, which addresses may be handed to the browser
// and the texts the about box and the start-up question show.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace update {

// The file's name beside the program and its path on the server.
constexpr wchar_t kVersionFileName[] = L"tools_version.ini";
constexpr wchar_t kVersionFileServerPath[] = L"/files/Download/Tools/tools_version.ini";
// Its only section, and what the profile functions give for a missing key.
constexpr wchar_t kVersionSection[] = L"Tarvel";
constexpr wchar_t kMissingValue[] = L"Fail";
// A value is read into 256 characters, so at most 255 of them arrive.
constexpr unsigned kValueBufferChars = 256;
// The real file is a few lines; anything larger is not one and is never read.
constexpr std::uint32_t kMaxVersionFileBytes = 64 * 1024;

// Bound of one check, and what the setting UpdateTimeoutMs may choose.
constexpr int kDefaultCheckBoundMs = 15000;
constexpr int kMinCheckBoundMs = 1000;
constexpr int kMaxCheckBoundMs = 60000;
// The setting's value (0 when missing or not a number) as the bound to use.
int CheckBoundMs(int setting);

// The version file's address on a server given as scheme and host (an
// optional trailing slash is dropped), or "" when the server's address is not
// an http:// or https:// address.
std::wstring VersionFileUrl(const std::wstring& server);

// The keys of one edition: Edition 1 is the China edition, any other value
// the universal one.
struct EditionKeys {
    const wchar_t* version;
    const wchar_t* url;
};
EditionKeys KeysForEdition(std::int32_t edition);

// What the version file says for one edition. Either text is "Fail" when its
// key is missing (or holds that very word).
struct ServerInfo {
    std::wstring version = kMissingValue;
    std::wstring url = kMissingValue;
};

// Reads the version key and then the URL key of the edition through
// read(section, key), which gives "Fail" for a missing key.
using ReadValue = std::function<std::wstring(const wchar_t* section, const wchar_t* key)>;
ServerInfo ReadServerInfo(std::int32_t edition, const ReadValue& read);

enum class Outcome {
    CantConnect,      // the file did not arrive
    ServerInfoError,  // it arrived without a usable version for this edition
    SameVersion,
    NewVersion,
};

// The texts are compared whole, character by character: any difference,
// a lower server version or extra leading zeros included, is a new version.
Outcome Judge(const std::wstring& serverVersion, std::uint32_t libraryVersion);

// The start-up check asks only when there is a new version and a page that
// may be opened.
bool OfferAtStartup(const ServerInfo& info, std::uint32_t libraryVersion);

// Only web pages go to ShellExecute: http:// or https:// (any case), a host,
// and no blank, control character, quote or backslash anywhere, so that the
// address can neither name a local file or share nor break out of the quotes
// of the browser's command line.
bool IsWebPageUrl(const std::wstring& url);

// The message area's text for an outcome: "%s(v%s)\n %s" for a new version,
// "%s !" for the others, in language 0 (English) or any other (Chinese).
std::wstring OutcomeText(Outcome outcome, const std::wstring& serverVersion, int language);

// The about box's caption "Update Tarvel" (the same in both languages), its
// version line "Tarvel vA.B.C.D" and its second line, the maker's notice.
std::wstring AboutCaption();
std::wstring AboutVersionLine(std::uint32_t libraryVersion);
std::wstring AboutNoticeLine(int language);

}  // namespace update

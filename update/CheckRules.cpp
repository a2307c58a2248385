#include "update/CheckRules.h"

#include "text/UiText.h"
#include "update/VersionText.h"

#include <algorithm>

namespace update {

namespace {

// Schemes are ASCII and compared without case; no locale is involved.
wchar_t AsciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool StartsWithNoCase(const std::wstring& text, const wchar_t* lowerPrefix) {
    for (std::size_t i = 0; lowerPrefix[i]; ++i)
        if (i >= text.size() || AsciiLower(text[i]) != lowerPrefix[i]) return false;
    return true;
}

// Length of the scheme and "//" when the text starts with http:// or
// https://, else 0.
std::size_t WebSchemeLength(const std::wstring& text) {
    if (StartsWithNoCase(text, L"https://")) return 8;
    if (StartsWithNoCase(text, L"http://")) return 7;
    return 0;
}

bool IsUnsafeUrlChar(wchar_t c) { return c <= 0x20 || c == 0x7F || c == L'"' || c == L'\\'; }

}  // namespace

int CheckBoundMs(int setting) {
    if (setting <= 0) return kDefaultCheckBoundMs;
    return std::clamp(setting, kMinCheckBoundMs, kMaxCheckBoundMs);
}

std::wstring VersionFileUrl(const std::wstring& server) {
    std::wstring base = server;
    while (!base.empty() && base.back() == L'/') base.pop_back();
    if (!IsWebPageUrl(base)) return L"";
    return base + kVersionFileServerPath;
}

EditionKeys KeysForEdition(std::int32_t edition) {
    if (edition == 1) return {L"China_Version", L"China_URL"};
    return {L"Universal_Version", L"Universal_URL"};
}

ServerInfo ReadServerInfo(std::int32_t edition, const ReadValue& read) {
    const EditionKeys keys = KeysForEdition(edition);
    ServerInfo info;
    info.version = read(kVersionSection, keys.version);
    info.url = read(kVersionSection, keys.url);
    return info;
}

Outcome Judge(const std::wstring& serverVersion, std::uint32_t libraryVersion) {
    if (serverVersion == kMissingValue) return Outcome::ServerInfoError;
    return serverVersion == version::Dotted(libraryVersion) ? Outcome::SameVersion : Outcome::NewVersion;
}

bool OfferAtStartup(const ServerInfo& info, std::uint32_t libraryVersion) {
    return Judge(info.version, libraryVersion) == Outcome::NewVersion && IsWebPageUrl(info.url);
}

bool IsWebPageUrl(const std::wstring& url) {
    const std::size_t scheme = WebSchemeLength(url);
    if (scheme == 0 || url.size() == scheme || url[scheme] == L'/') return false;
    return std::none_of(url.begin(), url.end(), IsUnsafeUrlChar);
}

std::wstring OutcomeText(Outcome outcome, const std::wstring& serverVersion, int language) {
    using namespace texts;
    switch (outcome) {
    case Outcome::NewVersion:
        return std::wstring(LangText(kHaveNewVersion, language)) + L"(v" + serverVersion + L")\n " +
               LangText(kClickDownloadToUpdate, language);
    case Outcome::SameVersion: return std::wstring(LangText(kAlreadyLatestVersion, language)) + L" !";
    case Outcome::ServerInfoError: return std::wstring(LangText(kServerInfoError, language)) + L" !";
    case Outcome::CantConnect: break;
    }
    return std::wstring(LangText(kCantConnectServer, language)) + L" !";
}

std::wstring AboutCaption() { return std::wstring(L"Update ") + LangText(texts::kProductName, 0); }

std::wstring AboutVersionLine(std::uint32_t libraryVersion) {
    return std::wstring(LangText(texts::kProductName, 0)) + L" v" + version::Dotted(libraryVersion);
}

std::wstring AboutNoticeLine(int language) {
    return std::wstring(L"Copyright (C) ") + LangText(texts::kMakerName, language);
}

}  // namespace update

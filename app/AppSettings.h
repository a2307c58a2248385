// The main window's keys of Setting.ini ([Setting] beside the executable):
// read once at the start, written back as the window changes them (the
// language at once when it is switched, the part and the folder at Exit).
// The keys and their defaults are here and nowhere else.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

struct AppSettings {
    std::int32_t language = 0;    // Language: 0 English, 1 Chinese
    std::int32_t lastPartNo = 0;  // LastPartNo: the record shown last
    std::wstring loadFilePath;    // LoadFilePath: the folder of the last file loaded; empty for none
};

// A key that is missing reads as its default.
AppSettings LoadAppSettings(const std::wstring& exeFolder);

// What a save writes.
enum class SavedKeys {
    Language,       // the switch of language, written at once
    PartAndFolder,  // LastPartNo and LoadFilePath, written at Exit
};
// Writes the keys from settings, every one of them even when one fails. A
// failure is told to owner in settings.language (once a run: the same
// fault fails every key).
void SaveAppSettings(HWND owner, const std::wstring& exeFolder, const AppSettings& settings, SavedKeys keys);

// The check once at start-up: with UpdateTips=1 in Setting.ini the version
// file is fetched off the UI thread, and only a new version with a page to
// open is offered (Yes/No, owned by the main window; Yes opens the page).
// Everything else ends silently. The main window owns one of these as a
// member: its destruction stops and joins a check still running.
#pragma once

#include "update/CheckTask.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace isp {
class TarvelDll;
}

namespace update {

class StartupCheck {
public:
    // Starts the check when UpdateTips is 1. `language` is read when the
    // question is asked, so a language chosen meanwhile is the one shown; it
    // and `library` must outlive this object.
    void Start(HWND owner, const isp::TarvelDll& library, const std::wstring& exeFolder, const std::int32_t& language);

private:
    void OnDone(HWND owner, const FetchResult& result);

    const isp::TarvelDll* m_library = nullptr;
    const std::int32_t* m_language = nullptr;
    CheckTask m_task;
};

}  // namespace update

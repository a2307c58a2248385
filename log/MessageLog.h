// The message log under "Message": a read-only edit that the loader, the
// port link and the programming jobs write numbered, timed lines into,
//   "007 - Open Port =>" "Pass" "   [0.047\"]\r\n"
// It owns the edit, the line counter, the re-power prompt that a waiting job
// blinks at the end of the log, and the clearing of long repeat jobs. Every
// call is made on the window's thread (a job carries its calls there).
#pragma once

#include "framework/Controls.h"

#include <cstdint>
#include <string>

class MessageLog {
public:
    // language: the window's language flag, read at every use so that a
    // switch in the middle of a job shows in its next line.
    explicit MessageLog(const std::int32_t& language) : m_language(language) {}
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;

    // The edit control, bound by the window's data exchange.
    CEdit& Edit() { return m_edit; }

    // Appends text at the end and scrolls to it.
    void Append(const wchar_t* text);
    void Append(const std::wstring& text) { Append(text.c_str()); }
    // Takes away the last count characters.
    void EraseTail(int count);

    // A numbered heading "NNN - <operation> =>", counted.
    void LogHeading(int operationTextId);
    // The elapsed-time tail for an operation that started at startTick.
    void LogElapsed(std::uint32_t startTick);
    // The result text (none for -1) and the elapsed-time tail, as one append.
    void LogResult(int textId, std::uint32_t startTick);

    // "Clear Message", and the start of a repeat job: an empty log whose
    // next heading is 000.
    void Clear();
    // The heading of the next run of a repeat job. The log is emptied first
    // when that heading's number is a multiple of 100 (the numbering goes
    // on), so a long job never grows it past a hundred runs.
    void LogRepeatHeading(int operationTextId);

    // The re-power prompt at the end of the log, shown or taken away again.
    // Taking it away erases exactly what was shown, whatever the language is
    // by then.
    void ShowRepowerPrompt(bool shown);

private:
    const wchar_t* Text(int textId) const;
    void Empty();

    const std::int32_t& m_language;
    CEdit m_edit;
    std::int32_t m_lineNo = 0;
    int m_promptStart = -1;  // log length before the shown prompt
};

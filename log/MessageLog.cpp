#include "log/MessageLog.h"

#include "text/LogFormat.h"
#include "text/UiText.h"

const wchar_t* MessageLog::Text(int textId) const { return ::LangText(static_cast<texts::TextId>(textId), m_language); }

void MessageLog::Append(const wchar_t* text) {
    const int n = m_edit.GetTextLength();
    m_edit.SetSel(n, n);
    m_edit.ScrollCaret();
    m_edit.ReplaceSel(text);
    m_edit.ScrollToEnd();
}

void MessageLog::EraseTail(int count) {
    const int n = m_edit.GetTextLength();
    m_edit.SetSel(n > count ? n - count : 0, n);
    m_edit.ScrollCaret();
    m_edit.ReplaceSel(L"");
    m_edit.ScrollToEnd();
}

void MessageLog::LogHeading(int operationTextId) {
    Append(logfmt::Heading(m_lineNo, Text(operationTextId)));
    ++m_lineNo;
}

void MessageLog::LogElapsed(std::uint32_t startTick) {
    Append(logfmt::ElapsedTail(logfmt::ElapsedSeconds(startTick, ::GetTickCount())));
}

void MessageLog::LogResult(int textId, std::uint32_t startTick) {
    // One append for the result and its time: each append redraws the log.
    const std::wstring tail = logfmt::ElapsedTail(logfmt::ElapsedSeconds(startTick, ::GetTickCount()));
    Append(textId >= 0 ? Text(textId) + tail : tail);
}

void MessageLog::Empty() {
    m_edit.SetWindowText(L"");
    m_promptStart = -1;
}

void MessageLog::Clear() {
    Empty();
    m_lineNo = 0;
}

void MessageLog::LogRepeatHeading(int operationTextId) {
    if (logfmt::ClearsLogBefore(m_lineNo)) Empty();
    LogHeading(operationTextId);
}

void MessageLog::ShowRepowerPrompt(bool shown) {
    if (shown) {
        if (m_promptStart < 0) m_promptStart = m_edit.GetTextLength();
        Append(Text(texts::kRepowerPrompt));
        return;
    }
    if (m_promptStart < 0) return;
    EraseTail(m_edit.GetTextLength() - m_promptStart);
    m_promptStart = -1;
}

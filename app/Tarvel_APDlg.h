// The main window: one modal dialog that owns every piece of run-time state
// of the tool (the parameter record handed to the ISP library, the texts'
// language, the log counter, the buffers' bookkeeping and the two buffer
// pages).
#pragma once

#include "framework/Dialog.h"
#include "image/LoadState.h"
#include "image/TabPage.h"
#include "isp/IspRecords.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class CTarvel_APDlg : public CDialogEx {
public:
    explicit CTarvel_APDlg(HWND parent = nullptr);
    ~CTarvel_APDlg() override;

    // Texts: the half of a pair for the current Language.
    const wchar_t* LangText(const wchar_t* pair) const;
    const wchar_t* LangText(int textId) const;
    // Relabels the window; language only moves the menu check marks.
    void ApplyLanguage(int language);

    // The message log. A null text clears it.
    void AppendLog(const wchar_t* text);
    void AppendLog(const std::wstring& text) { AppendLog(text.c_str()); }
    void EraseLogTail(int count);
    // Writes the heading of a numbered line and counts it.
    void LogHeading(int operationTextId);
    // Writes the elapsed-time tail for an operation that started at startTick.
    void LogElapsed(std::uint32_t startTick);

    void OnFamilyChanged();
    void OnPartChanged();
    void OnPortChanged();
    void LoadFileToBuffer();

    // The record at IspParam.PartIndex, or nullptr when it names none.
    const isp::BodyInfo* SelectedBody() const;

    // Run-time state, read and written by the operations of the tool.
    isp::BodyInfo* BodyTable = nullptr;
    std::unique_ptr<isp::IspParam> IspParam;
    std::int32_t AutoReload = 0;
    std::int32_t Reloading = 0;
    std::int32_t Language = 0;
    std::uint32_t InsertOffset = 0;
    std::int32_t ClearFirst = 0;
    std::int32_t LogLineNo = 0;
    std::atomic<std::int32_t> WorkerBusy{0};
    std::atomic<std::uint16_t> WorkerResult{0};
    std::int32_t UpdateTips = 0;
    std::int32_t PortOpen = 0;
    std::int32_t FileLoaded = 0;
    std::int32_t RepeatMode = 0;
    std::wstring UpdateUrl;
    std::wstring ExeFolder;
    std::wstring LastFolder;
    image::BufferSlot BufferSlot[2];  // 0 Flash, 1 EEPROM
    std::int32_t CurrentTab = 0;
    CTabDlg_Flash FlashPage;
    CTabDlg_EEPROM EepromPage;
    CDialogEx* TabPages[2] = {&FlashPage, &EepromPage};
    HICON MainIcon = nullptr;
    std::uint32_t BodyCount = 0;
    std::uint32_t FamilyUnion = 0;
    CWnd LogEdit;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnCommand(WPARAM wp, LPARAM lp) override;
    BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* result) override;
    void OnOK() override;      // Enter: the main window has no default button
    void OnCancel() override;  // Exit button, Escape and the close box
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    // True when the tab's buffer was filled from a file that a silent reload
    // can read again.
    bool CanReload(int tab) const;

    void OnSysCommand(UINT id, LPARAM lp);        // WM_SYSCOMMAND
    void OnPaint();                               // WM_PAINT
    void OnActivate(UINT state);                  // WM_ACTIVATE
    void OnCheckBoxClicked(int id);               // BN_CLICKED of 1018..1028, 1039
    void OnTabChanged();                          // TCN_SELCHANGE of the tab control
    void OnClearMessage();                        // "Clear Message"
    void OnExit();                                // command 2
    void OnOpenPort();                            // "Open Port"
    void OnClosePort();                           // "Close Port"
    void OnUpdate(int buttonId);                  // "Update Target", "Repeat Update"
    void OnDumpInfo();                            // "Dump Info"

    void BuildSystemMenu();
    void CreateTabPages();
    void FillFamilyList();
    void FillPortList();
    void SelectLastPart();
    bool ShowPart(std::int32_t index);  // selects the part's family and the part
    void SetModifyEnabled(bool editable);
    void ShowTabPage(int tab);

    std::unique_ptr<isp::StatusWord> m_statusCell;
    std::unique_ptr<isp::StopRequest> m_stopCell;
};

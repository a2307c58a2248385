// The main window: one modal dialog that owns the run-time state of the tool
// (the parameter record handed to the ISP library, the texts' language, the
// log counter, the buffers' bookkeeping and the two buffer pages) and puts
// the features of the lower folders behind its controls.
#pragma once

#include "app/AppSettings.h"
#include "app/Banner.h"
#include "app/ControlStates.h"
#include "app/PartPicker.h"
#include "app/PortPicker.h"
#include "app/ProductionView.h"
#include "app/ProjectSetup.h"
#include "buffers/Loader.h"
#include "buffers/Saver.h"
#include "buffers/TabPage.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "image/LoadState.h"
#include "isp/IspRecords.h"
#include "isp/JobHost.h"
#include "isp/Jobs.h"
#include "isp/PortLink.h"
#include "log/MessageLog.h"
#include "project/ProjectStore.h"
#include "run/CsvFile.h"
#include "update/StartupCheck.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The two code buffers, in the order of their tabs.
enum class CodeBuffer { Flash, Eeprom };

class CTarvel_APDlg : public CDialogEx, private isp::JobHost {
public:
    explicit CTarvel_APDlg(HWND parent = nullptr);
    ~CTarvel_APDlg() override;

    // Texts: the half of a pair for the current Language.
    const wchar_t* LangText(const wchar_t* pair) const;
    const wchar_t* LangText(int textId) const;
    // Relabels the window; language only moves the menu check marks.
    void ApplyLanguage(int language);

    // Files to load into the Flash buffer once the window is up (the
    // command line's), as if dropped on it. Set before the window is created.
    void OpenAtStart(std::vector<std::wstring> files) { m_startFiles = std::move(files); }

    // The parts table of the library (valid for the whole run).
    isp::BodyInfo* BodyTable = nullptr;
    std::uint32_t BodyCount = 0;
    // The one record handed to the library.
    std::unique_ptr<isp::IspParam> IspParam;
    std::int32_t Language = 0;
    // The message log, written by the loader, the port link and the jobs.
    MessageLog Log{Language};
    // The buffer whose page is shown.
    CodeBuffer CurrentBuffer = CodeBuffer::Flash;
    // "Auto Reload Code" is checked.
    bool AutoReload() const { return m_facts.autoReloadChecked; }
    std::wstring LastFolder;
    CTabDlg_Flash FlashPage;
    CTabDlg_EEPROM EepromPage;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    void OnOK() override;      // Enter: the main window has no default button
    void OnCancel() override;  // Exit button, Escape and the close box
    bool OnCommand(int id, int code) override;
    bool OnClicked(int id) override;
    bool OnNotify(const NMHDR& header, LRESULT* result) override;
    bool OnSysCommand(UINT command) override;
    void OnActivate(UINT state, HWND other) override;
    void OnDestroy() override;
    bool OnKickIdle(long count) override;
    void OnTimer(UINT_PTR id) override;
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    // The record at IspParam.PartIndex, or nullptr when it names none.
    const isp::BodyInfo* SelectedBody() const;
    // Adds the COM ports to the port list, once.
    void ListComPorts();
    // True when the buffer was filled from a file that a silent reload can
    // read again.
    bool CanReload(CodeBuffer buffer) const;
    CBufferTabPage& Page(CodeBuffer buffer) {
        return buffer == CodeBuffer::Eeprom ? static_cast<CBufferTabPage&>(EepromPage) : FlashPage;
    }
    image::BufferSlot& Slot(CodeBuffer buffer) { return m_slots[static_cast<int>(buffer)]; }
    const image::BufferSlot& Slot(CodeBuffer buffer) const { return m_slots[static_cast<int>(buffer)]; }
    // The buffer of the tab selected in the tab control.
    CodeBuffer SelectedBuffer() const;

    void OnPaint();                            // WM_PAINT while minimized
    void OnCheckBoxClicked(int id);            // BN_CLICKED of the check boxes
    void OnFamilyChanged();                    // CBN_SELCHANGE of the family list
    void OnPartChanged();                      // CBN_SELCHANGE of the part list
    void OnPortChanged();                      // CBN_SELCHANGE of the port list
    void OnTabChanged();                       // TCN_SELCHANGE of the tab control
    void OnExit();                             // "Exit" (command 2)
    void OnLoadFile();                         // "Load File"
    void OnOpenPort();                         // "Open Port"
    void OnClosePort();                        // "Close Port"
    void OnJobButton(isp::JobType type);       // "Update Target", "Repeat Update", "Dump Info"
    void OnSaveBuffer(CodeBuffer buffer);      // Save As: system menu, Ctrl+S in an editor
    void OnDropFiles(HDROP drop);              // WM_DROPFILES
    void OnDpiChanged(const RECT& suggested);  // WM_DPICHANGED
    // The pixel parts of the layout at the window's dpi: the pages inside
    // the tab control, the banner.
    void LayoutForDpi();
    // Loads files one after another into a buffer as "Load File" does after
    // its file dialog; nothing while a job or a load runs or no part is
    // selected. A project file among them (told by its content) opens as a
    // project.
    void LoadGivenFiles(CodeBuffer buffer, const std::vector<std::wstring>& files);

    // ---- Project files (Tarvel_APDlgProject.cpp)
    // The project open in the window: opened, or saved from it.
    struct OpenProject {
        project::Project project;
        std::wstring path;
        std::wstring folder;  // with its trailing backslash
        std::string sha256;   // of the project file, for the unit records
    };
    // What opening a project needs, all checked before the window changes.
    struct PreparedProject {
        std::int32_t part = -1;
        setup::BufferHistory flashHistory, eepromHistory;
        ComposedBuffer flash, eeprom;
    };
    void OnOpenProjectCommand();  // "Open project..."
    void OnSaveProjectAs();       // "Save project as..."
    void OnUnlockProject();       // "Unlock project..."
    void OnProductionView();      // "Production view..."
    // Opens a project file with one log line; nothing of the window changes
    // when it is refused.
    void OpenProjectAt(const std::wstring& path);
    // Why the project cannot be opened as the window stands, or empty; the
    // buffers are composed into prepared.
    std::wstring PrepareProject(const project::OpenedProject& opened, PreparedProject& prepared);
    void ApplyProject(project::OpenedProject opened, const PreparedProject& prepared);
    // A change by hand (a part, a rate, an option, a file, an edit, a read
    // back) ends an open project: the title goes back, Unlock greys.
    void EndProject();
    // Auto reload of an open project: its files are checked again.
    void ReloadProject();
    // Why the buffers cannot be described by their files, or empty.
    std::wstring SetupProblem() const;
    // The window's set-up as a project saved at path, or why it cannot be.
    std::wstring DescribeSetup(const std::wstring& path, project::Project& saved);
    // The folder the project dialogs start in.
    std::wstring ProjectFolder() const { return m_projectFolder.empty() ? LastFolder : m_projectFolder; }
    // A user load into the buffer passed; before: the slot's state before it.
    void RecordLoad(CodeBuffer buffer, image::LoadState before);
    setup::BufferHistory& History(CodeBuffer buffer) { return m_history[static_cast<int>(buffer)]; }
    // A log line's result that is no text of the table, and its time.
    void LogReason(const std::wstring& reason, std::uint32_t startTick);
    // The title: maker, product and version, and the open project.
    void UpdateTitle();

    // The record of every unit: units.csv in the project's folder (the
    // tool's without a project), open while Update Target or Repeat Update
    // runs, one row per board. A file that cannot be written is said in the
    // log at once and the job is asked to stop.
    void OpenUnits();
    void WriteUnit(int textId, std::uint32_t startTick);
    void UnitsFailed(const std::wstring& why, bool inHeading);
    run::CsvFile m_units;
    bool m_unitsFailed = false;
    std::string m_unitImageCrc;  // of the Flash image the running job programs

    // The settings as they are now, for a save.
    AppSettings CurrentSettings() const;

    void BuildSystemMenu();
    void CreateTabPages();
    void SelectLastPart();
    bool ShowPart(std::int32_t index);  // selects the part's family and the part
    void SetEepromTab(bool present);
    void ShowTabPage(CodeBuffer buffer);
    void Reload();
    LoadTarget TargetOf(CodeBuffer buffer);
    // A load or reload passed.
    void OnLoaded();
    // Enables the controls as the facts have it (controls::StatesFor); called
    // after every event that changes a fact.
    void ApplyControlStates();
    void SetJobCaptions();

    // isp::JobHost, called on this window's thread for the running job.
    void ShowProgress(int pos) override;
    void EnterJob(isp::JobType type) override;
    void LeaveJob(isp::JobType type) override;
    void CopyBuffers(std::vector<std::uint8_t>& flash, std::vector<std::uint8_t>& eeprom) override;
    void ShowReadBack(const std::uint8_t* bytes, std::size_t length) override;
    void LogHeading(int operationTextId) override { Log.LogHeading(operationTextId); }
    void LogRepeatHeading(int operationTextId) override { Log.LogRepeatHeading(operationTextId); }
    void LogResult(int textId, std::uint32_t startTick) override;
    void ClearLog() override { Log.Clear(); }
    void ShowRepowerPrompt(bool shown) override { Log.ShowRepowerPrompt(shown); }

    std::unique_ptr<isp::StatusWord> m_statusCell;
    std::unique_ptr<isp::StopRequest> m_stopCell;
    HICON m_icon = nullptr;
    HICON m_smallIcon = nullptr;  // shared resources, released with the module
    std::wstring m_exeFolder;
    image::BufferSlot m_slots[2];  // by CodeBuffer
    image::InsertSettings m_insert;
    // What decides which controls are enabled.
    controls::WindowFacts m_facts;
    // What each buffer was loaded from since it was last emptied (by
    // CodeBuffer), and the project open, if any.
    setup::BufferHistory m_history[2];
    std::optional<OpenProject> m_project;
    // The checksums of the image the running Update Target or Repeat Update
    // programs (an open project's steps), for its log lines; empty: none.
    std::wstring m_runChecksums;
    // Whether an open project's checksum steps can run on the selected part;
    // says why in the log when not (Tarvel_APDlgProject.cpp).
    bool ChecksumsCanRun(isp::JobType type);
    // The Flash buffer's copy as the job programs it: with the steps run.
    void ApplyChecksums(std::vector<std::uint8_t>& flash);
    std::wstring m_projectFolder;
    bool m_reloadPending = false;  // asked for while a job ran
    std::vector<std::wstring> m_startFiles;
    Banner m_banner;
    // The production view, a window of its own; made when first opened.
    std::unique_ptr<CProductionView> m_production;
    // Where activation went when this window last lost it: to another
    // program (the user may have rebuilt the firmware there) or to one of
    // the tool's own dialogs, whose closing is no reason to reload.
    bool m_leftForOtherProgram = true;
    // The COM ports are not listed yet (see OnInitDialog).
    bool m_comPortsPending = false;

    CTabCtrl m_tab;
    CComboBox m_familyList;
    CComboBox m_partList;
    CComboBox m_portList;
    CComboBox m_baudRateList;
    CComboBox m_checkRateList;
    CProgressCtrl m_progress;
    PartPicker m_partPicker{m_familyList, m_partList};
    PortPicker m_portPicker{m_portList, m_baudRateList, m_checkRateList};
    Loader m_loader{Log};
    Saver m_saver{Log};
    isp::PortLink m_port;
    // Destroyed first: a running start-up check is stopped, and a job still
    // running when the window goes is stopped before anything it uses is
    // destroyed.
    update::StartupCheck m_updateCheck;
    isp::JobRunner m_jobs;
};

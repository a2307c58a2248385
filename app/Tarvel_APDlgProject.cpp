// The main window's project files: "Open project...", "Save project as...",
// "Unlock project...", a project file dropped or named on the command line,
// and what a change by hand or an auto reload does to an open project.
#include "app/PasswordDlg.h"
#include "app/Tarvel_APDlg.h"

#include "buffers/FileDialog.h"
#include "framework/FileRead.h"
#include "framework/SystemText.h"
#include "image/Crc32.h"
#include "isp/PartRules.h"
#include "isp/RateTable.h"
#include "project/ProjectPaths.h"
#include "res/resource.h"
#include "run/ProductionText.h"
#include "text/UiText.h"

#include <algorithm>
#include <cwchar>
#include <new>

namespace {

const wchar_t* BufferName(CodeBuffer buffer) { return buffer == CodeBuffer::Flash ? L"Flash" : L"EEPROM"; }

std::wstring Hex8(std::uint32_t value) {
    wchar_t text[16] = L"";
    std::swprintf(text, 16, L"%08X", static_cast<unsigned>(value));
    return text;
}

std::wstring ProjectFilter(int language) {
    return FilterText({{texts::kFilterProject, L"*.tarvel"}, {texts::kFilterAllFiles, L"*.*"}}, language);
}

// The files of a project as the buffer's history.
setup::BufferHistory HistoryOf(const std::wstring& folder, const std::vector<project::ProjectFile>& files) {
    setup::BufferHistory history;
    for (const project::ProjectFile& f : files)
        history.files.push_back(setup::LoadedFile{project::ResolvedPath(folder, f.path), f.address, f.clearFirst});
    return history;
}

// A buffer's history as the loader takes it.
std::vector<PlannedLoad> PlannedLoads(const setup::BufferHistory& history) {
    std::vector<PlannedLoad> planned;
    for (const setup::LoadedFile& f : history.files) {
        image::InsertSettings insert;
        insert.InsertOffset = f.address;
        insert.ClearFirst = f.clearFirst ? 1 : 0;
        planned.push_back(PlannedLoad{f.path, insert});
    }
    return planned;
}

// A composed buffer that failed: the file's name and the load's words.
std::wstring LoadFailure(const ComposedBuffer& composed, int language) {
    return project::FileNameOf(composed.failedPath) + L": " +
           LangText(static_cast<texts::TextId>(composed.result), language);
}

std::uint32_t Crc32Of(const std::vector<std::uint8_t>& bytes) { return image::Crc32(bytes.data(), bytes.size()); }

// The SHA-256 of a project file just saved, as opening it gives it.
std::string FileSha256(const std::wstring& path) {
    std::vector<std::uint8_t> bytes;
    if (ReadWholeFile(path, 64u << 20, &bytes) != ERROR_SUCCESS) return {};
    return project::Sha256Hex(bytes.data(), bytes.size());
}

}  // namespace

void CTarvel_APDlg::LogReason(const std::wstring& reason, std::uint32_t startTick) {
    Log.Append(reason);
    Log.LogResult(-1, startTick);
}

void CTarvel_APDlg::RecordLoad(CodeBuffer buffer, image::LoadState before) {
    // The insert-area answer the load went by: the Flash question's, which
    // an EEPROM load takes over as it stands.
    const bool clearFirst = m_insert.ClearFirst != 0;
    const bool merged = image::PlanLoad(before, false, clearFirst).merge;
    History(buffer).Loaded(setup::LoadedFile{Slot(buffer).FilePath, m_insert.InsertOffset, clearFirst}, merged);
}

void CTarvel_APDlg::EndProject() {
    if (!m_project) return;
    m_project.reset();
    m_facts.projectLocked = false;
    UpdateTitle();
    ApplyControlStates();
}

// ---- Opening -----------------------------------------------------------------------

void CTarvel_APDlg::OnOpenProjectCommand() {
    if (m_jobs.Busy() || m_loader.Busy()) return;
    const std::optional<ChosenFile> chosen =
        AskForFile(m_hWnd, FileDialogKind::Open, ProjectFilter(Language).c_str(), ProjectFolder());
    if (!chosen) return;
    m_projectFolder = FolderOf(chosen->path);
    OpenProjectAt(chosen->path);
}

void CTarvel_APDlg::OpenProjectAt(const std::wstring& path) {
    if (m_jobs.Busy() || m_loader.Busy()) return;
    const std::uint32_t start = ::GetTickCount();
    Log.LogHeading(texts::kOpenProject);
    project::OpenedProject opened = project::OpenProjectFile(path);
    PreparedProject prepared;
    const std::wstring why = opened.ok ? PrepareProject(opened, prepared) : opened.error;
    if (!why.empty()) {
        LogReason(why, start);
        return;
    }
    ApplyProject(std::move(opened), prepared);
    // The control could not take the bytes (out of memory): the project did
    // not open after all.
    Log.LogResult(m_project ? texts::kPass : texts::kFileTooLarge, start);
}

std::wstring CTarvel_APDlg::PrepareProject(const project::OpenedProject& opened, PreparedProject& prepared) {
    const project::Project& p = opened.project;
    const std::int32_t k = parts::FindPart(BodyTable, BodyCount, p.part);
    if (k < 0) return FillText(LangText(texts::kPartNotInLibrary), {p.part});
    if (!m_partPicker.Lists(k)) return FillText(LangText(texts::kPartNotListed), {p.part});
    // An open port keeps its part until a job's end gives the part lists
    // back; a project for another part waits for the port as a user would.
    controls::WindowFacts unlocked = m_facts;
    unlocked.projectLocked = false;
    if (k != IspParam->PartIndex && !controls::StatesFor(unlocked).Enabled(controls::Control::PartList))
        return FillText(LangText(texts::kPortOpenOtherPart), {p.part});
    const isp::BodyInfo& body = BodyTable[k];

    // The rates as the lists offer them for the selected port and the part.
    const std::wstring port = m_portPicker.PortName();
    const struct {
        const wchar_t* field;
        const std::wstring& rate;
        bool download;
    } rates[] = {{L"baud", p.baud, true}, {L"checkrate", p.checkRate, false}};
    for (const auto& r : rates) {
        const std::vector<std::wstring> items = RateListItems(r.download, IsComPortName(port), body.PartClass);
        if (std::find(items.begin(), items.end(), r.rate) == items.end())
            return FillText(LangText(texts::kRateNotOffered), {r.field, r.rate, port});
    }
    for (unsigned bit = parts::VisibleOptions(body); bit < controls::kOptionBoxes; ++bit)
        if (p.optionBits & (1u << bit))
            return FillText(LangText(texts::kOptionNotShown), {std::to_wstring(bit), p.part});
    if (!p.eeprom.empty() && body.DataCapacity == 0) return FillText(LangText(texts::kNoEepromInPart), {p.part});

    const project::FileProblem problem = project::CheckProjectFiles(opened.folder, p);
    if (problem.kind != project::FileProblem::kNone) return project::DescribeFileProblem(problem);

    // Both buffers composed as Load File would have loaded the files, and
    // compared with the images the project was saved with.
    prepared.part = k;
    prepared.flashHistory = HistoryOf(opened.folder, p.flash);
    prepared.eepromHistory = HistoryOf(opened.folder, p.eeprom);
    const struct {
        CodeBuffer buffer;
        const setup::BufferHistory& history;
        std::uint32_t capacity;
        const project::ImageCheck& image;
        ComposedBuffer& composed;
    } buffers[] = {
        {CodeBuffer::Flash, prepared.flashHistory, body.CodeCapacity, p.flashImage, prepared.flash},
        {CodeBuffer::Eeprom, prepared.eepromHistory, body.DataCapacity, p.eepromImage, prepared.eeprom},
    };
    for (const auto& b : buffers) {
        if (b.history.files.empty()) continue;
        b.composed = Loader::Compose(PlannedLoads(b.history), b.capacity);
        if (b.composed.result != texts::kPass) return LoadFailure(b.composed, Language);
        const std::uint32_t crc = Crc32Of(b.composed.content);
        if (b.composed.content.size() != b.image.size || crc != b.image.crc32)
            return FillText(LangText(texts::kImageMismatch), {BufferName(b.buffer), Hex8(crc), Hex8(b.image.crc32)});
    }
    return L"";
}

void CTarvel_APDlg::ApplyProject(project::OpenedProject opened, const PreparedProject& prepared) {
    m_project = OpenProject{std::move(opened.project), std::move(opened.path), std::move(opened.folder),
                            std::move(opened.sha256)};
    const project::Project& p = m_project->project;

    // The part empties both buffers, the option boxes and the histories;
    // the rate lists follow with the project's rates (OnPortChanged).
    ShowPart(prepared.part);
    m_portPicker.SelectRates(p.baud, p.checkRate);
    IspParam->OptionBits = p.optionBits;
    for (unsigned n = 0; n < controls::kOptionBoxes; ++n)
        SendDlgItemMessage(IDC_OPTION0 + static_cast<int>(n), BM_SETCHECK,
                           (p.optionBits >> n) & 1u ? BST_CHECKED : BST_UNCHECKED);
    const auto setFlag = [this](int box, std::uint8_t bit, bool on) {
        IspParam->SetupFlags = static_cast<std::uint8_t>((IspParam->SetupFlags & ~bit) | (on ? bit : 0u));
        SendDlgItemMessage(box, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED);
    };
    setFlag(IDC_ERASE_BY_SIZE, isp::kSetupEraseByFileSize, p.eraseBySize);
    setFlag(IDC_RSTN_COLD_RESET, isp::kSetupRstnColdReset, p.rstnColdReset);
    // The buffers are the files' again: no longer open to editing.
    if (m_facts.modifyBufferChecked) {
        SendDlgItemMessage(IDC_ENABLE_MODIFY, BM_SETCHECK, BST_UNCHECKED);
        FlashPage.SetEditable(false);
        EepromPage.SetEditable(false);
        m_facts.modifyBufferChecked = false;
    }

    bool shown = Loader::Show(TargetOf(CodeBuffer::Flash), prepared.flash);
    History(CodeBuffer::Flash) = prepared.flashHistory;
    if (!prepared.eepromHistory.files.empty()) {
        shown = Loader::Show(TargetOf(CodeBuffer::Eeprom), prepared.eeprom) && shown;
        History(CodeBuffer::Eeprom) = prepared.eepromHistory;
    }
    // What the insert-area question would have been left at by the last
    // Flash file.
    m_insert.InsertOffset = prepared.flashHistory.files.back().address;
    m_insert.ClearFirst = prepared.flashHistory.files.back().clearFirst ? 1 : 0;
    m_facts.Loaded();
    m_facts.projectLocked = p.lock.locked;
    if (!shown) {
        m_project.reset();
        m_facts.projectLocked = false;
    }
    UpdateTitle();
    ApplyControlStates();
    // A locked project for a gang is a production line's: its view opens
    // at once.
    if (m_project && p.lock.locked && !p.ports.empty()) OnProductionView();
}

void CTarvel_APDlg::OnProductionView() {
    if (!m_project || m_project->project.ports.empty()) {
        ::MessageBoxW(m_hWnd, run::ViewTextOf(run::ViewText::NoProject, Language),
                      run::ViewTextOf(run::ViewText::Menu, Language), MB_OK | MB_ICONINFORMATION);
        return;
    }
    CProductionView::Setup setup;
    setup.projectPath = m_project->path;
    setup.projectName = m_project->project.name;
    setup.folder = m_project->folder;
    setup.exeFolder = m_exeFolder;
    setup.ports = m_project->project.ports;
    setup.language = Language;
    if (!m_production) m_production = std::make_unique<CProductionView>();
    m_production->Open(m_hWnd, setup);
}

// ---- Auto reload ----------------------------------------------------------------------

void CTarvel_APDlg::ReloadProject() {
    // Files that still hold what the project was saved with give the
    // buffers they already show; a changed one is refused and the buffers
    // stay as they are.
    const std::uint32_t start = ::GetTickCount();
    Log.LogHeading(texts::kAutoReloadCode);
    const project::FileProblem problem = project::CheckProjectFiles(m_project->folder, m_project->project);
    if (problem.kind != project::FileProblem::kNone) {
        LogReason(project::DescribeFileProblem(problem), start);
        return;
    }
    Log.LogResult(texts::kPass, start);
}

// ---- Saving ----------------------------------------------------------------------------

std::wstring CTarvel_APDlg::SetupProblem() const {
    if (m_history[static_cast<int>(CodeBuffer::Flash)].files.empty()) return LangText(texts::kNoFlashFile);
    for (CodeBuffer buffer : {CodeBuffer::Flash, CodeBuffer::Eeprom}) {
        const setup::BufferHistory& history = m_history[static_cast<int>(buffer)];
        if (history.editedByHand) return FillText(LangText(texts::kEditedByHand), {BufferName(buffer)});
        if (history.readBack) return FillText(LangText(texts::kReadBackInBuffer), {BufferName(buffer)});
    }
    return L"";
}

std::wstring CTarvel_APDlg::DescribeSetup(const std::wstring& path, project::Project& saved) {
    const isp::BodyInfo* body = SelectedBody();
    const std::wstring folder = FolderOf(path);
    project::Project p;
    // Saved over the open project, it keeps its name; otherwise the name is
    // the file's.
    if (m_project && ::CompareStringOrdinal(m_project->path.c_str(), -1, path.c_str(), -1, TRUE) == CSTR_EQUAL) {
        p.name = m_project->project.name;
    } else {
        p.name = project::FileNameOf(path);
        const std::size_t dot = p.name.find_last_of(L'.');
        if (dot != std::wstring::npos && dot > 0) p.name.resize(dot);
    }
    p.part = body->PartName ? body->PartName : L"";
    p.baud = m_portPicker.BaudText();
    p.checkRate = m_portPicker.CheckText();
    p.optionBits = IspParam->OptionBits;
    p.eraseBySize = (IspParam->SetupFlags & isp::kSetupEraseByFileSize) != 0;
    p.rstnColdReset = (IspParam->SetupFlags & isp::kSetupRstnColdReset) != 0;

    const struct {
        CodeBuffer buffer;
        std::vector<project::ProjectFile>& files;
        project::ImageCheck& image;
        std::uint32_t capacity;
    } buffers[] = {
        {CodeBuffer::Flash, p.flash, p.flashImage, body->CodeCapacity},
        {CodeBuffer::Eeprom, p.eeprom, p.eepromImage, body->DataCapacity},
    };
    for (const auto& b : buffers) {
        const setup::BufferHistory& history = History(b.buffer);
        if (history.files.empty()) continue;
        for (const setup::LoadedFile& f : history.files) {
            project::ProjectFile file;
            file.path = project::StoredPath(folder, f.path);
            file.address = f.address;
            file.clearFirst = f.clearFirst;
            if (const DWORD error = project::MeasureFile(f.path, &file.size, &file.crc32); error != ERROR_SUCCESS)
                return FillText(LangText(texts::kFileNotMeasured),
                                {project::FileNameOf(f.path), SystemErrorText(error, f.path)});
            b.files.push_back(file);
        }
        // The files must give the buffer as it stands: one changed after it
        // was loaded, or an auto reload that left bytes of its older
        // version, cannot be described by them.
        const ComposedBuffer composed = Loader::Compose(PlannedLoads(history), b.capacity);
        if (composed.result != texts::kPass) return LoadFailure(composed, Language);
        std::vector<std::uint8_t> shown;
        try {
            CHexEditBase& editor = Page(b.buffer).HexEdit;
            shown.resize(editor.GetBufferLength());
            editor.CopyBuffer(shown.data(), static_cast<DWORD>(shown.size()));
        } catch (const std::bad_alloc&) {
            return LangText(texts::kFileTooLarge);
        }
        if (shown != composed.content) return FillText(LangText(texts::kBufferNotFromFiles), {BufferName(b.buffer)});
        b.image.size = shown.size();
        b.image.crc32 = Crc32Of(shown);
    }
    if (m_project) setup::KeepRunSettings(m_project->project, m_project->folder, folder, p);
    saved = std::move(p);
    return L"";
}

void CTarvel_APDlg::OnSaveProjectAs() {
    if (m_jobs.Busy() || m_loader.Busy() || m_facts.projectLocked || !SelectedBody()) return;
    // What no choice of a file can change is said before the dialog.
    if (const std::wstring why = SetupProblem(); !why.empty()) {
        const std::uint32_t start = ::GetTickCount();
        Log.LogHeading(texts::kSaveProject);
        LogReason(why, start);
        return;
    }
    const std::optional<ChosenFile> chosen =
        AskForFile(m_hWnd, FileDialogKind::Save, ProjectFilter(Language).c_str(), ProjectFolder(), L"tarvel");
    if (!chosen) return;
    const std::wstring path = chosen->path;
    m_projectFolder = FolderOf(path);

    const int lock = ::MessageBoxW(m_hWnd, LangText(texts::kLockQuestion), LangText(texts::kSaveProject),
                                   MB_YESNOCANCEL | MB_ICONQUESTION);
    if (lock == IDCANCEL) return;
    std::string password;
    if (lock == IDYES) {
        CPasswordDlg ask(m_hWnd, Language, true, texts::kSaveProject);
        if (ask.DoModal() != IDOK) return;
        password = ask.Password();
    }

    const std::uint32_t start = ::GetTickCount();
    Log.LogHeading(texts::kSaveProject);
    project::Project saved;
    std::wstring why = DescribeSetup(path, saved);
    if (why.empty() && lock == IDYES && !project::MakeLock(password, &saved.lock))
        why = LangText(texts::kSaveFileError);
    std::fill(password.begin(), password.end(), '\0');
    if (why.empty()) {
        if (const DWORD error = project::SaveProjectFile(path, saved); error != ERROR_SUCCESS)
            why = std::wstring(LangText(texts::kSaveFileError)) + L" (" + SystemErrorText(error, path) + L")";
    }
    if (!why.empty()) {
        LogReason(why, start);
        return;
    }
    // The saved project is the one open now; whoever saved it with a lock
    // knows the password, so it stays open here.
    m_project = OpenProject{std::move(saved), path, FolderOf(path), FileSha256(path)};
    m_facts.projectLocked = false;
    UpdateTitle();
    ApplyControlStates();
    Log.LogResult(texts::kPass, start);
}

// ---- Unlocking ---------------------------------------------------------------------------

void CTarvel_APDlg::OnUnlockProject() {
    if (!m_project || !m_facts.projectLocked) return;
    CPasswordDlg ask(m_hWnd, Language, false, texts::kUnlockProject);
    if (ask.DoModal() != IDOK) return;
    const std::uint32_t start = ::GetTickCount();
    Log.LogHeading(texts::kUnlockProject);
    if (!project::PasswordOpensLock(ask.Password(), m_project->project.lock)) {
        Log.LogResult(texts::kWrongPassword, start);
        return;
    }
    m_facts.projectLocked = false;
    ApplyControlStates();
    Log.LogResult(texts::kPass, start);
}

// ---- Checksum steps ----------------------------------------------------------------

bool CTarvel_APDlg::ChecksumsCanRun(isp::JobType type) {
    const isp::BodyInfo* body = SelectedBody();
    if (!m_project || m_project->project.checksums.empty() || !body) return true;
    std::vector<std::uint8_t> flash(FlashPage.HexEdit.GetBufferLength()), programmed;
    FlashPage.HexEdit.CopyBuffer(flash.data(), static_cast<DWORD>(flash.size()));
    std::wstring why;
    if (setup::ImageToProgram(flash, body->CodeCapacity, m_project->project.checksums, &programmed, &why)) return true;
    const std::uint32_t start = ::GetTickCount();
    Log.LogHeading(type == isp::JobType::Repeat ? texts::kRepeatUpdate : texts::kUpdateTarget);
    LogReason(FillText(LangText(texts::kChecksumRefused), {why}), start);
    return false;
}

void CTarvel_APDlg::ApplyChecksums(std::vector<std::uint8_t>& flash) {
    const isp::BodyInfo* body = SelectedBody();
    m_runChecksums.clear();
    if (!m_project || m_project->project.checksums.empty() || !body) return;
    std::vector<std::uint8_t> programmed;
    std::wstring text;
    if (setup::ImageToProgram(flash, body->CodeCapacity, m_project->project.checksums, &programmed, &text)) {
        flash.swap(programmed);
        m_runChecksums = text;
        return;
    }
    // The part changed since the button was pressed: nothing is programmed
    // rather than an image without its checksums.
    flash.clear();
    m_runChecksums = FillText(LangText(texts::kChecksumRefused), {text});
}

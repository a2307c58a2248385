#include "cli/Gang.h"

#include <windows.h>
#include <psapi.h>

#include <cstdlib>

#include "cli/Console.h"
#include "cli/ExitCodes.h"
#include "cli/Files.h"
#include "cli/GangRun.h"
#include "cli/GangWire.h"
#include "cli/Job.h"
#include "cli/JsonLine.h"
#include "cli/PartChoice.h"
#include "cli/Records.h"
#include "cli/RunRecords.h"
#include "cli/SerialRun.h"
#include "cli/Text.h"
#include "framework/Handles.h"
#include "isp/IspRecords.h"
#include "isp/Outcome.h"
#include "text/UiText.h"

namespace cli {
namespace {

void SendWire(HANDLE pipe, const WireMessage& message) {
    const std::string line = EncodeWire(message) + "\n";
    DWORD written = 0;
    ::WriteFile(pipe, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

bool ReadWholeFile(const std::wstring& path, std::vector<std::uint8_t>* bytes) {
    UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > (64ll << 20)) return false;
    bytes->resize(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    return bytes->empty() ||
           (::ReadFile(file.get(), bytes->data(), static_cast<DWORD>(bytes->size()), &read, nullptr) &&
            read == bytes->size());
}

// A file that lives as long as the run.
class TempFile {
public:
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (!path_.empty()) ::DeleteFileW(path_.c_str());
    }
    std::wstring Write(const std::vector<std::uint8_t>& bytes) {
        wchar_t folder[MAX_PATH + 1] = {}, name[MAX_PATH + 1] = {};
        if (::GetTempPathW(MAX_PATH, folder) == 0 || ::GetTempFileNameW(folder, L"tvg", 0, name) == 0)
            return SystemMessage(::GetLastError());
        path_ = name;
        // A binary image whatever the temporary name's extension says.
        UniqueHandle file(::CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY,
                                        nullptr));
        DWORD written = 0;
        if (!file || (!bytes.empty() && (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                                      &written, nullptr) ||
                                         written != bytes.size())))
            return SystemMessage(::GetLastError());
        return L"";
    }
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
};

// As the C runtime splits a command line back into arguments.
std::wstring QuoteArgument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring quoted = L"\"";
    std::size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        quoted.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        quoted += c;
    }
    quoted.append(slashes * 2, L'\\');
    return quoted + L"\"";
}

// One worker process and the pipes to it.
struct Worker {
    UniqueHandle process, toWorker, fromWorker;
    std::string pending;  // what came from it up to the next line break
    bool alive = false;
    double cpuSeconds = 0;
    std::uint64_t peakBytes = 0;
};

bool StartWorker(HANDLE job, const std::wstring& port, const std::wstring& codeFile, const std::wstring& dataFile,
                 const std::vector<std::wstring>& args, Worker* worker) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr;
    if (!::CreatePipe(&inRead, &inWrite, &inherit, 0)) return false;
    UniqueHandle childIn(inRead);
    worker->toWorker.reset(inWrite);
    if (!::CreatePipe(&outRead, &outWrite, &inherit, 0)) return false;
    UniqueHandle childOut(outWrite);
    worker->fromWorker.reset(outRead);
    // The parent's ends stay with the parent: a worker must see its input
    // end when the parent closes it.
    ::SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    HANDLE err = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), ::GetStdHandle(STD_ERROR_HANDLE), ::GetCurrentProcess(), &err, 0, TRUE,
                      DUPLICATE_SAME_ACCESS);
    UniqueHandle childErr(err);

    wchar_t exe[MAX_PATH + 1] = {};
    if (::GetModuleFileNameW(nullptr, exe, MAX_PATH) == 0) return false;
    std::wstring line = QuoteArgument(exe) + L" --worker " + QuoteArgument(port) + L" " + QuoteArgument(codeFile) +
                        L" " + QuoteArgument(dataFile.empty() ? L"-" : dataFile);
    for (const std::wstring& a : args) line += L" " + QuoteArgument(a);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = inRead;
    si.hStdOutput = outWrite;
    si.hStdError = err;
    PROCESS_INFORMATION pi{};
    // Suspended until it is in the job, so that not even its first
    // instruction runs outside it.
    if (!::CreateProcessW(exe, &line[0], nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr, &si, &pi))
        return false;
    worker->process.reset(pi.hProcess);
    UniqueHandle thread(pi.hThread);
    if (!::AssignProcessToJobObject(job, pi.hProcess)) {
        const DWORD error = ::GetLastError();
        ::TerminateProcess(pi.hProcess, kExitBoardFailed);
        ::SetLastError(error);
        return false;
    }
    ::ResumeThread(pi.hThread);
    worker->alive = true;
    return true;
}

// The table of the ports on the error output: redrawn in place on a
// console; otherwise a plain line whenever a port's row changes (progress in
// steps of 10 %), or nothing with --no-progress.
class GangDisplay {
public:
    explicit GangDisplay(ProgressMode mode) : handle_(::GetStdHandle(STD_ERROR_HANDLE)) {
        CONSOLE_SCREEN_BUFFER_INFO info{};
        const bool console = Err().IsConsole() && ::GetConsoleScreenBufferInfo(handle_, &info);
        kind_ = mode == ProgressMode::None ? Kind::None : console ? Kind::Table : Kind::Lines;
    }
    ~GangDisplay() { Clear(); }
    GangDisplay(const GangDisplay&) = delete;
    GangDisplay& operator=(const GangDisplay&) = delete;

    void Show(const GangRun& run, double seconds) {
        if (kind_ == Kind::Lines) {
            ShowLines(run);
            return;
        }
        if (kind_ != Kind::Table) return;
        const DWORD now = ::GetTickCount();
        std::vector<std::string> lines = GangTable(run, seconds);
        if (lines == drawn_ || (!drawn_.empty() && now - lastTick_ < 200)) return;
        lastTick_ = now;
        Draw(lines);
    }

    // Takes the table off the screen before a record line is printed.
    void Clear() {
        if (kind_ != Kind::Table || drawn_.empty()) return;
        Home();
        std::string blank;
        for (const std::string& line : drawn_) blank += std::string(line.size(), ' ') + "\n";
        Err().Write(blank);
        Home();
        drawn_.clear();
    }

private:
    enum class Kind { Table, Lines, None };

    void Home() {
        CONSOLE_SCREEN_BUFFER_INFO info{};
        if (!::GetConsoleScreenBufferInfo(handle_, &info)) return;
        COORD at{0, top_};
        ::SetConsoleCursorPosition(handle_, at);
    }

    void Draw(const std::vector<std::string>& lines) {
        if (!drawn_.empty()) Home();
        std::string text;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            std::string line = lines[i];
            // Over a longer old row, blanks rub out its tail.
            if (i < drawn_.size() && drawn_[i].size() > line.size()) line.append(drawn_[i].size() - line.size(), ' ');
            text += line + "\n";
        }
        Err().Write(text);
        // The console may have scrolled: the table now ends at the cursor.
        CONSOLE_SCREEN_BUFFER_INFO info{};
        if (::GetConsoleScreenBufferInfo(handle_, &info))
            top_ = static_cast<SHORT>(info.dwCursorPosition.Y - static_cast<SHORT>(lines.size()));
        drawn_ = lines;
    }

    void ShowLines(const GangRun& run) {
        const std::vector<GangPort>& ports = run.Ports();
        shownRows_.resize(ports.size());
        for (std::size_t i = 0; i < ports.size(); ++i) {
            GangPort p = ports[i];
            p.percent = p.percent / 10 * 10;
            const std::string row = p.name + "  " + StateText(p);
            if (row == shownRows_[i]) continue;
            shownRows_[i] = row;
            Err().Line(row);
        }
    }

    HANDLE handle_;
    Kind kind_;
    std::vector<std::string> drawn_, shownRows_;
    SHORT top_ = 0;
    DWORD lastTick_ = 0;
};

std::string OutcomeText(std::uint16_t code) {
    const int id = isp::OutcomeTextId(isp::JobKind::Update, code);
    return id < 0 ? std::string() : Utf8(LangText(static_cast<texts::TextId>(id), 0));
}

double Number(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

// The parent's side: workers, messages, records.
class GangParent {
public:
    GangParent(const Options& o, const GangImage& image, GangRun& run, CsvLog& log)
        : o_(o), image_(image), run_(run), log_(log), display_(o.progress) {}

    int Run(HANDLE job, const std::wstring& codeFile, const std::wstring& dataFile,
            const std::vector<std::wstring>& args) {
        workers_.resize(o_.ports.size());
        started_ = Now();
        ended_ = started_;
        for (std::size_t i = 0; i < workers_.size(); ++i) {
            if (!StartWorker(job, o_.ports[i], codeFile, dataFile, args, &workers_[i])) {
                const DWORD error = ::GetLastError();
                Fail(kExitBoardFailed, L"no worker process for " + o_.ports[i] + L": " + SystemMessage(error));
                std::string why;
                run_.WorkerEnded(i, kExitBoardFailed, &why);
            }
        }
        bool stopSent = false;
        while (!run_.Done()) {
            if (StopRequested() && !stopSent) {
                // Every running board ends "Stop" and reports it.
                Say(kExitStopped, L"Ctrl+C: asking every port to stop (Ctrl+C again quits at once)");
                run_.Halt();
                StopPorts(false);
                stopSent = true;
            }
            for (std::size_t i = 0; i < workers_.size(); ++i) Serve(i);
            display_.Show(run_, ended_ - started_);
            ::Sleep(20);
        }
        // No more boards: closing their input ends the workers.
        for (Worker& w : workers_) w.toWorker.reset();
        for (std::size_t i = 0; i < workers_.size(); ++i) {
            if (!workers_[i].alive) continue;
            ::WaitForSingleObject(workers_[i].process.get(), 5000);
            Drain(i);
        }
        display_.Clear();
        return Finish();
    }

private:
    // Starts a board on port i when it may, and reads what its worker said.
    void Serve(std::size_t i) {
        Worker& w = workers_[i];
        if (!w.alive) return;
        std::string why;
        switch (run_.Start(i, &why)) {
        case GangRun::Next::None: break;
        case GangRun::Next::Board: {
            const GangPort& p = run_.Ports()[i];
            WireMessage board{"board", {{"n", std::to_string(p.board)}}};
            if (p.hasSerial) board.fields["serial"] = p.serial.Text();
            SendWire(w.toWorker.get(), board);
            break;
        }
        case GangRun::Next::SerialsUsedUp:
            Say(kExitSerialsUsedUp, o_.serialList.empty()
                                        ? L"serial numbers used up: the next one does not fit " +
                                              std::to_wstring(o_.serialField.width) + L" bytes"
                                        : L"serial numbers used up: no value left in " + o_.serialList);
            break;
        case GangRun::Next::JournalFailed: JournalFailed(why); break;
        }
        // Sampled before the pipe is read: whatever it wrote before it ended
        // is then in the pipe.
        const bool ended = ::WaitForSingleObject(w.process.get(), 0) == WAIT_OBJECT_0;
        Drain(i);
        if (!ended) return;
        w.alive = false;
        DWORD exitCode = kExitBoardFailed;
        ::GetExitCodeProcess(w.process.get(), &exitCode);
        const GangPort before = run_.Ports()[i];
        if (run_.WorkerEnded(i, static_cast<int>(exitCode), &why)) {
            BoardRecord record = Record(i, before);
            record.outcome = "worker ended";
            Write(record);
            Say(kExitBoardFailed, L"the worker of " + o_.ports[i] + L" ended during board " +
                                      std::to_wstring(before.board) + L"; its serial number is not given again");
            if (!why.empty()) JournalFailed(why);
        } else if (run_.Ports()[i].state == PortState::Lost && before.ready && before.state != PortState::Lost) {
            Say(kExitBoardFailed, L"the worker of " + o_.ports[i] + L" ended (exit code " +
                                      std::to_wstring(exitCode) + L"); no further board is started on it");
        }
    }

    void Drain(std::size_t i) {
        Worker& w = workers_[i];
        DWORD avail = 0;
        while (::PeekNamedPipe(w.fromWorker.get(), nullptr, 0, nullptr, &avail, nullptr) && avail > 0) {
            std::string chunk(avail, '\0');
            DWORD got = 0;
            if (!::ReadFile(w.fromWorker.get(), &chunk[0], avail, &got, nullptr) || got == 0) break;
            w.pending.append(chunk, 0, got);
        }
        std::size_t end;
        while ((end = w.pending.find('\n')) != std::string::npos) {
            WireMessage m;
            const bool ok = DecodeWire(w.pending.substr(0, end), &m);
            w.pending.erase(0, end + 1);
            if (ok) Take(i, m);
        }
    }

    void Take(std::size_t i, const WireMessage& m) {
        Worker& w = workers_[i];
        if (m.verb == "ready") {
            run_.Ready(i);
        } else if (m.verb == "status") {
            run_.Status(i, static_cast<std::uint16_t>(std::strtoul(m.Field("word").c_str(), nullptr, 10)));
        } else if (m.verb == "result" && run_.Ports()[i].busy) {
            w.cpuSeconds = Number(m.Field("cpu"));
            w.peakBytes = std::strtoull(m.Field("peak").c_str(), nullptr, 10);
            const GangPort before = run_.Ports()[i];
            const std::uint16_t code = static_cast<std::uint16_t>(std::strtoul(m.Field("code").c_str(), nullptr, 10));
            const bool lost = m.Field("lost") == "1";
            std::string why;
            const GangRun::Ended ended = run_.Result(i, code, lost, &why);
            BoardRecord record = Record(i, before);
            record.code = code;
            record.outcome = OutcomeText(code);
            record.seconds = Number(m.Field("seconds"));
            record.librarySeconds = Number(m.Field("library"));
            record.waitSeconds = Number(m.Field("wait"));
            Write(record);
            if (lost)
                Say(kExitBoardFailed, o_.ports[i] + L" was lost during board " + std::to_wstring(before.board) +
                                          L" (adapter unplugged or port closed); no further board is started on it");
            if (ended.journalFailed) JournalFailed(why);
            if (ended.halted) {
                Say(kExitBoardFailed, L"board " + std::to_wstring(before.board) + L" on " + o_.ports[i] +
                                          L" failed: --stop-on-fail ends the run on every port");
                StopPorts(true);
            }
        }
    }

    // Asks the ports to stop their boards: all of them (Ctrl+C), or only
    // those still waiting for a target (a board being programmed finishes).
    void StopPorts(bool waitingOnly) {
        for (std::size_t i = 0; i < workers_.size(); ++i) {
            const GangPort& p = run_.Ports()[i];
            if (!workers_[i].alive || !p.busy) continue;
            if (waitingOnly && p.state == PortState::Programming) continue;
            SendWire(workers_[i].toWorker.get(), WireMessage{"stop", {}});
        }
    }

    BoardRecord Record(std::size_t i, const GangPort& p) const {
        BoardRecord record;
        record.board = p.board;
        record.port = Utf8(o_.ports[i]);
        record.time = NowStamp();
        if (p.hasSerial) {
            record.hasSerial = true;
            record.serial = p.serial.number;
            if (p.serial.isBytes) record.serialText = p.serial.Text();
        }
        return record;
    }

    void Write(const BoardRecord& record) {
        ended_ = Now();
        display_.Clear();
        Out().Line(o_.json ? BoardJson(record) : BoardLine(record));
        if (log_.IsOpen() && !logFailed_) {
            std::wstring why;
            if (!log_.Append(BoardCsv(record, true), &why)) {
                logFailed_ = true;
                run_.FileFailed();
                Say(kExitFile, L"cannot write the log " + o_.log + L": " + why + L"; no further board is started");
            }
        }
    }

    void Say(int code, const std::wstring& message) {
        display_.Clear();
        Fail(code, message);
    }

    void JournalFailed(const std::string& why) {
        Say(kExitFile, L"cannot write the serial state file " + o_.serialState + L": " + Widen(why) +
                           L"; no further board is started");
    }

    int Finish() {
        const double seconds = ended_ - started_;
        if (!o_.json) {
            for (const std::string& line : GangTable(run_, seconds)) Out().Line(line);
        } else {
            for (std::size_t i = 0; i < workers_.size(); ++i) {
                const GangPort& p = run_.Ports()[i];
                JsonObject j;
                j["record"] = "port";
                j["port"] = p.name;
                j["state"] = StateText(p);
                j["passed"] = p.passed;
                j["failed"] = p.failed;
                j["last_serial"] = p.lastSerial.empty() ? JsonObject(nullptr) : JsonObject(p.lastSerial);
                j["worker_cpu_seconds"] = Rounded(workers_[i].cpuSeconds, 3);
                j["worker_peak_bytes"] = workers_[i].peakBytes;
                Out().Line(JsonLine(j));
            }
        }
        SummaryRecord summary;
        summary.flashSize = static_cast<std::uint32_t>(image_.code.size());
        summary.flashChecksum = image_.codeChecksum;
        summary.flashCrc = image_.codeCrc;
        summary.time = NowStamp();
        summary.boards = run_.Boards();
        summary.passed = run_.PassedBoards();
        summary.failed = run_.FailedBoards();
        summary.stopped = run_.Stopped() || StopRequested() ? 1 : 0;
        summary.seconds = seconds;
        summary.boardsPerHour = BoardsPerHour(summary.passed, seconds);
        summary.exitCode = run_.ExitCode();
        if (summary.exitCode == kExitOk && StopRequested()) summary.exitCode = kExitStopped;
        Out().Line(o_.json ? SummaryJson(summary) : SummaryLine(summary));
        if (log_.IsOpen() && !logFailed_) {
            std::wstring why;
            if (!log_.Append(SummaryCsv(summary, true), &why))
                return Fail(kExitFile, L"cannot write the log " + o_.log + L": " + why);
        }
        return summary.exitCode;
    }

    const Options& o_;
    const GangImage& image_;
    GangRun& run_;
    CsvLog& log_;
    GangDisplay display_;
    std::vector<Worker> workers_;
    double started_ = 0, ended_ = 0;
    bool logFailed_ = false;
};

// The worker's standard input: "board" messages queue up for the main
// thread, "stop" stops the running board; the parent closing the pipe (or
// going away) ends the worker once its board is over.
struct Inbox {
    CRITICAL_SECTION lock;
    UniqueHandle ready{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    std::vector<WireMessage> boards;
    bool closed = false;
    Inbox() { ::InitializeCriticalSection(&lock); }
    ~Inbox() { ::DeleteCriticalSection(&lock); }
    Inbox(const Inbox&) = delete;
    Inbox& operator=(const Inbox&) = delete;
};

DWORD WINAPI ReadInbox(void* context) {
    auto* inbox = static_cast<Inbox*>(context);
    const HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    std::string pending;
    char chunk[512];
    DWORD got = 0;
    while (::ReadFile(in, chunk, sizeof chunk, &got, nullptr) && got > 0) {
        pending.append(chunk, got);
        std::size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            WireMessage m;
            const bool ok = DecodeWire(pending.substr(0, end), &m);
            pending.erase(0, end + 1);
            if (!ok) continue;
            if (m.verb == "stop") {
                RequestStop();
            } else if (m.verb == "board") {
                ::EnterCriticalSection(&inbox->lock);
                inbox->boards.push_back(m);
                ::LeaveCriticalSection(&inbox->lock);
                ::SetEvent(inbox->ready.get());
            }
        }
    }
    ::EnterCriticalSection(&inbox->lock);
    inbox->closed = true;
    ::LeaveCriticalSection(&inbox->lock);
    ::SetEvent(inbox->ready.get());
    return 0;
}

// This worker's CPU time and peak memory so far, for the parent's records.
void AddUsage(WireMessage* m) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) {
        auto ticks = [](const FILETIME& f) {
            return (static_cast<std::uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
        };
        m->fields["cpu"] = Fixed(static_cast<double>(ticks(kernel) + ticks(user)) / 1e7, 3);
    }
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory))
        m->fields["peak"] = std::to_string(static_cast<std::uint64_t>(memory.PeakWorkingSetSize));
}

}  // namespace

int RunGang(const Options& o, const std::vector<std::wstring>& args, const GangImage& image) {
    for (const std::wstring& name : o.ports) {
        PortChoice choice;
        if (!NormalizePort(name, &choice) || !choice.com)
            return Fail(kExitUsage, L"--port: '" + name + L"' is no COM port (a gang takes COM ports only)");
    }
    SerialRun serials;
    CsvLog log;
    if (const int rc = StartRunRecords(o, true, serials, log)) return rc;
    TempFile codeFile, dataFile;
    std::wstring why = codeFile.Write(image.code);
    if (why.empty() && !image.data.empty()) why = dataFile.Write(image.data);
    if (!why.empty()) return Fail(kExitFile, L"cannot write the gang's image file: " + why);

    // Closing the job (also when this process dies) ends every worker, so
    // none keeps a port open behind a killed command.
    UniqueHandle job(::CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job || !::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits))
        return Fail(kExitBoardFailed, L"no job object for the gang's workers: " + SystemMessage(::GetLastError()));

    if (!o.json)
        for (const std::string& line : image.header) Out().Line(line);

    std::vector<std::string> names;
    for (const std::wstring& n : o.ports) names.push_back(Utf8(n));
    GangSettings settings;
    settings.repeat = o.repeat;
    settings.forever = o.forever;
    settings.keepGoing = o.keepGoing;
    settings.stopOnFail = o.stopOnFail;
    GangRun run(names, settings, o.serial ? &serials.Book() : nullptr);
    const CloseGuard holdClose;
    GangParent parent(o, image, run, log);
    return parent.Run(job.get(), codeFile.Path(), image.data.empty() ? L"" : dataFile.Path(), args);
}

bool SplitWorkerArguments(const std::vector<std::wstring>& args, WorkerArguments* out) {
    if (args.size() < 4 || args[0] != L"--worker") return false;
    out->port = args[1];
    out->codeFile = args[2];
    out->dataFile = args[3] == L"-" ? L"" : args[3];
    out->rest.assign(args.begin() + 4, args.end());
    return true;
}

bool ReadGangImages(const WorkerArguments& w, std::vector<std::uint8_t>* code, std::vector<std::uint8_t>* data) {
    data->clear();
    return ReadWholeFile(w.codeFile, code) && (w.dataFile.empty() || ReadWholeFile(w.dataFile, data));
}

int ServeGang(const SerialField& field, const std::vector<std::uint8_t>& code, const std::vector<std::uint8_t>& data,
              const ProgramBoard& program) {
    QuietStopNotice();
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    Inbox inbox;
    UniqueHandle reader(::CreateThread(nullptr, 0, ReadInbox, &inbox, 0, nullptr));
    if (!reader) return Fail(kExitBoardFailed, L"no worker thread could be started");
    SendWire(out, WireMessage{"ready", {}});
    while (true) {
        ::WaitForSingleObject(inbox.ready.get(), INFINITE);
        std::vector<WireMessage> boards;
        ::EnterCriticalSection(&inbox.lock);
        boards.swap(inbox.boards);
        const bool closed = inbox.closed;
        ::LeaveCriticalSection(&inbox.lock);
        for (const WireMessage& board : boards) {
            std::vector<std::uint8_t> codeCopy = code, dataCopy = data;
            SerialValue serial;
            if (!board.Field("serial").empty() && ParseSerialValue(board.Field("serial"), &serial))
                WriteSerialValue(codeCopy.data(), field, serial);
            std::uint16_t shown = isp::kStatusWaitingForTarget;
            const double started = Now();
            const WorkerBoard done = program(codeCopy, dataCopy, [&](std::uint16_t status) {
                if (status == shown) return;
                shown = status;
                SendWire(out, WireMessage{"status", {{"word", std::to_string(status)}}});
            });
            WireMessage result{"result", {}};
            result.fields["n"] = board.Field("n");
            result.fields["code"] = std::to_string(done.code);
            result.fields["seconds"] = Fixed(Now() - started, 3);
            result.fields["library"] = Fixed(done.librarySeconds, 3);
            result.fields["wait"] = Fixed(done.waitSeconds, 3);
            if (done.portLost) result.fields["lost"] = "1";
            AddUsage(&result);
            SendWire(out, result);
            if (done.portLost) return kExitBoardFailed;
        }
        if (closed) break;
    }
    return kExitOk;
}

}  // namespace cli

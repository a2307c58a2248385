#include "cli/WorkerProcess.h"

#include <cstdlib>

#include "cli/ExitCodes.h"
#include "cli/Files.h"
#include "cli/GangWire.h"

namespace cli {
namespace {

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

double Number(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

}  // namespace

TempFile::~TempFile() {
    if (!path_.empty()) ::DeleteFileW(path_.c_str());
}

std::wstring TempFile::Write(const std::vector<std::uint8_t>& bytes) {
    wchar_t folder[MAX_PATH + 1] = {}, name[MAX_PATH + 1] = {};
    if (::GetTempPathW(MAX_PATH, folder) == 0 || ::GetTempFileNameW(folder, L"tvg", 0, name) == 0)
        return SystemMessage(::GetLastError());
    path_ = name;
    // A binary image whatever the temporary name's extension says.
    UniqueHandle file(::CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr));
    DWORD written = 0;
    if (!file || (!bytes.empty() &&
                  (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
                   written != bytes.size())))
        return SystemMessage(::GetLastError());
    return L"";
}

UniqueHandle MakeWorkerJob() {
    // Closing the job (also when this process dies) ends every worker, so
    // none keeps a port open behind a killed command.
    UniqueHandle job(::CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job && !::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits))
        job.reset();
    return job;
}

bool WorkerProcess::Start(HANDLE job, const std::wstring& port, const std::wstring& codeFile,
                          const std::wstring& dataFile, const std::vector<std::wstring>& args) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr;
    if (!::CreatePipe(&inRead, &inWrite, &inherit, 0)) return false;
    UniqueHandle childIn(inRead);
    toWorker_.reset(inWrite);
    if (!::CreatePipe(&outRead, &outWrite, &inherit, 0)) return false;
    UniqueHandle childOut(outWrite);
    fromWorker_.reset(outRead);
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
    process_.reset(pi.hProcess);
    UniqueHandle thread(pi.hThread);
    if (!::AssignProcessToJobObject(job, pi.hProcess)) {
        const DWORD error = ::GetLastError();
        ::TerminateProcess(pi.hProcess, kExitBoardFailed);
        process_.reset();
        ::SetLastError(error);
        return false;
    }
    ::ResumeThread(pi.hThread);
    alive_ = true;
    return true;
}

void WorkerProcess::Send(const std::string& verb, const std::vector<std::pair<std::string, std::string>>& fields) {
    if (!toWorker_) return;
    WireMessage message{verb, {}};
    for (const auto& [name, value] : fields) message.fields[name] = value;
    const std::string line = EncodeWire(message) + "\n";
    DWORD written = 0;
    ::WriteFile(toWorker_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void WorkerProcess::StartBoard(std::uint64_t board, const SerialValue* serial) {
    std::vector<std::pair<std::string, std::string>> fields{{"n", std::to_string(board)}};
    if (serial != nullptr) fields.emplace_back("serial", serial->Text());
    Send("board", fields);
}

void WorkerProcess::StopBoard() { Send("stop", {}); }

void WorkerProcess::Drain(std::vector<DriverEvent>* events) {
    DWORD avail = 0;
    while (fromWorker_ && ::PeekNamedPipe(fromWorker_.get(), nullptr, 0, nullptr, &avail, nullptr) && avail > 0) {
        std::string chunk(avail, '\0');
        DWORD got = 0;
        if (!::ReadFile(fromWorker_.get(), &chunk[0], avail, &got, nullptr) || got == 0) break;
        pending_.append(chunk, 0, got);
    }
    for (const WireMessage& m : TakeWireMessages(&pending_)) {
        DriverEvent e;
        if (m.verb == "ready") {
            e.kind = DriverEvent::Kind::Ready;
        } else if (m.verb == "status") {
            e.kind = DriverEvent::Kind::Status;
            e.word = static_cast<std::uint16_t>(std::strtoul(m.Field("word").c_str(), nullptr, 10));
        } else if (m.verb == "result") {
            e.kind = DriverEvent::Kind::Outcome;
            e.outcome.code = static_cast<std::uint16_t>(std::strtoul(m.Field("code").c_str(), nullptr, 10));
            e.outcome.seconds = Number(m.Field("seconds"));
            e.outcome.librarySeconds = Number(m.Field("library"));
            e.outcome.waitSeconds = Number(m.Field("wait"));
            e.outcome.portLost = m.Field("lost") == "1";
            e.outcome.cpuSeconds = Number(m.Field("cpu"));
            e.outcome.peakBytes = std::strtoull(m.Field("peak").c_str(), nullptr, 10);
        } else {
            continue;
        }
        events->push_back(e);
    }
}

void WorkerProcess::Poll(std::vector<DriverEvent>* events) {
    if (endTold_) return;
    if (!alive_) {
        // It never started: it ended at once, as a worker whose port could
        // not be opened does.
        endTold_ = true;
        DriverEvent e;
        e.kind = DriverEvent::Kind::Ended;
        e.exitCode = kExitBoardFailed;
        events->push_back(e);
        return;
    }
    // Sampled before the pipe is read: whatever it wrote before it ended is
    // then in the pipe.
    const bool ended = ::WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0;
    Drain(events);
    if (!ended || finished_) return;
    endTold_ = true;
    DWORD exitCode = kExitBoardFailed;
    ::GetExitCodeProcess(process_.get(), &exitCode);
    DriverEvent e;
    e.kind = DriverEvent::Kind::Ended;
    e.exitCode = static_cast<int>(exitCode);
    events->push_back(e);
}

void WorkerProcess::Finish(unsigned waitMs) {
    // No more boards: closing its input ends the worker.
    toWorker_.reset();
    finished_ = true;
    if (alive_) ::WaitForSingleObject(process_.get(), waitMs);
}

bool SplitWorkerArguments(const std::vector<std::wstring>& args, WorkerArguments* out) {
    if (args.size() < 4 || args[0] != L"--worker") return false;
    out->port = args[1];
    out->codeFile = args[2];
    out->dataFile = args[3] == L"-" ? L"" : args[3];
    out->rest.assign(args.begin() + 4, args.end());
    return true;
}

}  // namespace cli

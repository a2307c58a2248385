// Tarvel_DLL.dll under Wine, called the way the tool calls it: bound by name
// with GetProcAddress, one IspParam record, a worker thread inside UpdateMCU
// or DumpInfo while another thread watches the status word and sets the stop
// request. The built-in adapter is set up through the library's own
// Tarvel_DLL.ini; the COM port tests talk to the native simulator, whose
// output folder and control file they reach through Wine's Z: drive.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "isp/IspRecords.h"
#include "tarvel_dll/protocol/Crc.h"
#include "tarvel_dll/protocol/Frame.h"
#include "tarvel_dll/protocol/Protocol.h"

namespace {

using Clock = std::chrono::steady_clock;
using Options = std::vector<std::pair<std::string, std::string>>;

std::map<int, std::wstring> g_simDirs;  // COM number -> simulator output folder

std::wstring ExeDir() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path);
    return s.substr(0, s.find_last_of(L"\\/") + 1);
}

std::string ReadAll(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteAll(const std::wstring& path, const std::string& text) {
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

std::vector<std::uint8_t> Pattern(std::size_t n, unsigned seed) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>((i * 37u + seed * 101u) ^ (i >> 7));
    return v;
}

// A private copy of the DLL in its own folder, so that its settings file
// affects no other test.
class Library {
public:
    Library() {
        wchar_t tmp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, tmp);
        dir_ = std::wstring(tmp) + L"tarvel_dll_test_" + std::to_wstring(GetCurrentProcessId()) + L"\\";
        CreateDirectoryW(dir_.c_str(), nullptr);
        const std::wstring dll = dir_ + L"Tarvel_DLL.dll";
        if (!CopyFileW((ExeDir() + L"Tarvel_DLL.dll").c_str(), dll.c_str(), FALSE)) return;
        module_ = LoadLibraryW(dll.c_str());
        if (module_ == nullptr) return;
        Bind(GetBodyInfo, "GetBodyInfo");
        Bind(GetDLLInfo, "GetDLLInfo");
        Bind(OpenPort, "OpenPort");
        Bind(ClosePort, "ClosePort");
        Bind(UpdateMCU, "UpdateMCU");
        Bind(DumpInfo, "DumpInfo");
    }
    ~Library() {
        if (module_ != nullptr) FreeLibrary(module_);
        DeleteFileW((dir_ + L"Tarvel_DLL.ini").c_str());
        DeleteFileW((dir_ + L"Tarvel_DLL.dll").c_str());
        RemoveDirectoryW(dir_.c_str());
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    bool Loaded() const { return GetBodyInfo && GetDLLInfo && OpenPort && ClosePort && UpdateMCU && DumpInfo; }
    void WriteIni(const std::string& text) { ASSERT_TRUE(WriteAll(dir_ + L"Tarvel_DLL.ini", text)); }

    GetBodyInfoFn GetBodyInfo = nullptr;
    GetDLLInfoFn GetDLLInfo = nullptr;
    IspOperationFn OpenPort = nullptr, ClosePort = nullptr, UpdateMCU = nullptr, DumpInfo = nullptr;

private:
    // GetProcAddress hands out a generic function pointer; the export's real
    // type is that of the ISP interface.
    template <typename Fn>
    void Bind(Fn& fn, const char* name) {
        const FARPROC proc = GetProcAddress(module_, name);
        static_assert(sizeof(fn) == sizeof(proc), "function pointer size");
        std::memcpy(&fn, &proc, sizeof fn);
    }

    std::wstring dir_;
    HMODULE module_ = nullptr;
};

Library& Lib() {
    static Library lib;
    return lib;
}

// Catches this process's debugger output the way a debug monitor does: the
// shared DBWIN buffer and its two events. OutputDebugString, finding no
// debugger attached, hands every line to it.
class DebugMonitor {
public:
    DebugMonitor() {
        mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kSize, L"DBWIN_BUFFER");
        bufferReady_ = CreateEventW(nullptr, FALSE, TRUE, L"DBWIN_BUFFER_READY");
        dataReady_ = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY");
        if (mapping_ != nullptr) view_ = static_cast<const char*>(MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, kSize));
        if (view_ != nullptr && bufferReady_ != nullptr && dataReady_ != nullptr)
            thread_ = std::thread([this] { Run(); });
    }
    ~DebugMonitor() {
        quit_ = true;
        if (dataReady_ != nullptr) SetEvent(dataReady_);
        if (thread_.joinable()) thread_.join();
        if (view_ != nullptr) UnmapViewOfFile(view_);
        for (HANDLE h : {mapping_, bufferReady_, dataReady_})
            if (h != nullptr) CloseHandle(h);
    }
    DebugMonitor(const DebugMonitor&) = delete;
    DebugMonitor& operator=(const DebugMonitor&) = delete;

    bool Ready() const { return thread_.joinable(); }
    void Clear() {
        std::lock_guard<std::mutex> lock(lock_);
        text_.clear();
    }
    // Waits up to 5 s for this exact line (text and its line end).
    bool WaitForLine(const std::string& line) {
        std::unique_lock<std::mutex> lock(lock_);
        return changed_.wait_for(lock, std::chrono::seconds(5), [&] {
            return text_.find(line + "\n") == 0 || text_.find("\n" + line + "\n") != std::string::npos;
        });
    }
    std::string Text() {
        std::lock_guard<std::mutex> lock(lock_);
        return text_;
    }

private:
    static constexpr DWORD kSize = 4096;

    void Run() {
        while (!quit_) {
            if (WaitForSingleObject(dataReady_, 1000) != WAIT_OBJECT_0 || quit_) continue;
            DWORD pid = 0;
            std::memcpy(&pid, view_, sizeof pid);
            const std::string line(view_ + sizeof pid, strnlen(view_ + sizeof pid, kSize - sizeof pid));
            if (pid == GetCurrentProcessId()) {
                std::lock_guard<std::mutex> lock(lock_);
                text_ += line;
                changed_.notify_all();
            }
            SetEvent(bufferReady_);
        }
    }

    HANDLE mapping_ = nullptr, bufferReady_ = nullptr, dataReady_ = nullptr;
    const char* view_ = nullptr;
    std::atomic<bool> quit_{false};
    std::thread thread_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::string text_;
};

int PartIndex(const wchar_t* name) {
    isp::BodyInfo* table = nullptr;
    const std::uint32_t n = Lib().GetBodyInfo(&table);
    for (std::uint32_t i = 0; i < n; ++i)
        if (std::wcscmp(table[i].PartName, name) == 0) return static_cast<int>(i);
    ADD_FAILURE() << "no part";
    return -1;
}

const isp::BodyInfo& Part(int index) {
    isp::BodyInfo* table = nullptr;
    Lib().GetBodyInfo(&table);
    return table[index];
}

// The tool's side of one run: the record, its two cells, a worker thread,
// and a watcher that records every status word it sees.
struct JobRun {
    isp::IspParam p{};
    isp::StatusWord status{isp::kStatusWaitingForTarget};
    isp::StopRequest stop{0};
    std::vector<std::uint8_t> code, data;

    JobRun() {
        p.PartIndex = -1;
        p.StatusCell = &status;
        p.StopCell = &stop;
    }
    void Images(std::vector<std::uint8_t> c, std::vector<std::uint8_t> d) {
        code = std::move(c);
        data = std::move(d);
        p.CodeImage = code.data();
        p.CodeSize = static_cast<std::int32_t>(code.size());
        p.DataImage = data.empty() ? nullptr : data.data();
        p.DataSize = static_cast<std::int32_t>(data.size());
    }

    struct Outcome {
        std::uint16_t Code = 0;
        std::vector<std::uint16_t> Statuses;  // distinct successive values
        double StopToReturnMs = -1;
        double WaitedMs = 0;  // until the status word first left 0xFFFF
        double TotalMs = 0;   // the whole call
    };

    // Runs op on a worker thread. stopWhen, if given, is checked against the
    // status word; once it holds, the stop request is set.
    Outcome Go(IspOperationFn op, std::function<bool(std::uint16_t)> stopWhen = nullptr) {
        status = isp::kStatusWaitingForTarget;
        stop = 0;
        std::atomic<int> busy{1};
        Outcome out;
        out.Statuses.push_back(status.load());
        const Clock::time_point started = Clock::now();
        std::thread worker([&] {
            out.Code = op(&p);
            busy = 0;
        });
        Clock::time_point stoppedAt{};
        const Clock::time_point limit = Clock::now() + std::chrono::seconds(60);
        while (busy.load()) {
            const std::uint16_t v = status.load();
            if (out.Statuses.back() != v) {
                if (out.Statuses.back() == isp::kStatusWaitingForTarget && out.WaitedMs == 0)
                    out.WaitedMs = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
                out.Statuses.push_back(v);
            }
            if (stopWhen && stop.load() == 0 && stopWhen(v)) {
                stoppedAt = Clock::now();
                stop = 1;
            }
            if (Clock::now() > limit && stop.load() == 0) {
                ADD_FAILURE() << "library call did not end: stopping it";
                stop = 1;
            }
            Sleep(1);
        }
        const Clock::time_point ended = Clock::now();
        out.TotalMs = std::chrono::duration<double, std::milli>(ended - started).count();
        worker.join();
        const std::uint16_t v = status.load();
        if (out.Statuses.empty() || out.Statuses.back() != v) out.Statuses.push_back(v);
        if (stoppedAt != Clock::time_point{})
            out.StopToReturnMs = std::chrono::duration<double, std::milli>(ended - stoppedAt).count();
        return out;
    }
};

// The status words seen: the waiting value (0xFFFF unless the library says
// otherwise), then progress that only rises, up to 100.
void ExpectWaitThenProgress(const std::vector<std::uint16_t>& s, std::uint16_t waiting = isp::kStatusWaitingForTarget) {
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(s.front(), waiting);
    std::size_t i = 0;
    while (i < s.size() && s[i] == waiting) ++i;
    for (std::size_t k = i; k < s.size(); ++k) {
        ASSERT_LE(s[k], 100) << "at " << k;
        if (k > i) {
            ASSERT_GT(s[k], s[k - 1]) << "progress went down at " << k;
        }
    }
    EXPECT_EQ(s.back(), 100);
}

// How a test puts a scenario on the target: the adapter through the
// library's settings file, the simulator through its control file.
class Target {
public:
    virtual ~Target() = default;
    virtual void Set(const Options& options) = 0;
    virtual void Open(JobRun& run) = 0;
    virtual void Close(JobRun& run) = 0;
    // Flash and EEPROM of the target that took the last successful run.
    virtual bool Memories(std::string&, std::string&) { return false; }
};

// The adapter paces the line and takes seconds to seat the next chip unless
// told otherwise; these tests are about results, so they switch both off
// where the scenario does not set them.
class Adapter : public Target {
public:
    explicit Adapter(std::string link = "[Link]\nReplyTimeoutMs=300\nSyncIntervalMs=20\n") : link_(std::move(link)) {}
    void Set(const Options& options) override {
        std::string ini = link_ + "[Adapter]\n";
        bool pace = false, delay = false;
        for (const auto& o : options) {
            ini += o.first + "=" + o.second + "\n";
            pace |= o.first == "pace";
            delay |= o.first == "repeat-delay-ms";
        }
        if (!pace) ini += "pace=0\n";
        if (!delay) ini += "repeat-delay-ms=50\n";
        Lib().WriteIni(ini);
    }
    void Open(JobRun& run) override {
        run.p.PortType = isp::kPortKV707;
        run.p.PortHandle = nullptr;
        ASSERT_EQ(Lib().OpenPort(&run.p), isp::kPass);
    }
    void Close(JobRun& run) override { EXPECT_EQ(Lib().ClosePort(&run.p), isp::kPass); }

private:
    std::string link_;
};

class SimulatorOnCom : public Target {
public:
    SimulatorOnCom(int com, std::wstring dir) : com_(com), dir_(std::move(dir)) {
        Lib().WriteIni("[Link]\nReplyTimeoutMs=300\nSyncIntervalMs=20\n");
    }
    void Set(const Options& options) override {
        static int tag = 0;
        std::string text = "--serial " + std::to_string(1000 + ++tag);  // makes each content new
        for (const auto& o : options) text += " --" + o.first + (o.first == "never" ? "" : " " + o.second);
        const std::wstring control = dir_ + L"\\control.txt";
        ASSERT_TRUE(WriteAll(control + L".new", text));
        ASSERT_TRUE(MoveFileExW((control + L".new").c_str(), control.c_str(), MOVEFILE_REPLACE_EXISTING));
        const Clock::time_point limit = Clock::now() + std::chrono::seconds(5);
        for (std::string ack; (ack = ReadAll(control + L".ack")) != text; Sleep(5)) {
            // A refusal: "error: cause", then the content it answers.
            const std::string refused = "\n" + text;
            ASSERT_FALSE(ack.compare(0, 7, "error: ") == 0 && ack.size() > refused.size() &&
                         ack.compare(ack.size() - refused.size(), refused.size(), refused) == 0)
                << "the simulator refused the scenario: " << ack;
            ASSERT_LT(Clock::now(), limit) << "the simulator did not take the scenario";
        }
    }
    void Open(JobRun& run) override {
        // COM10 and up only open under the device name.
        const std::wstring name = com_ >= 10 ? L"\\\\.\\COM" + std::to_wstring(com_) : L"COM" + std::to_wstring(com_);
        handle_ = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(handle_, INVALID_HANDLE_VALUE) << "COM" << com_;
        run.p.PortType = isp::kPortCom;
        run.p.PortHandle = handle_;
        ASSERT_EQ(Lib().OpenPort(&run.p), isp::kPass);
    }
    void Close(JobRun& run) override {
        EXPECT_EQ(Lib().ClosePort(&run.p), isp::kPass);
        // The handle is the caller's to close, and it is still valid.
        EXPECT_TRUE(CloseHandle(handle_));
        handle_ = INVALID_HANDLE_VALUE;
    }
    bool Memories(std::string& flash, std::string& eeprom) override {
        flash = ReadAll(dir_ + L"\\flash.bin");
        eeprom = ReadAll(dir_ + L"\\eeprom.bin");
        return true;
    }

private:
    int com_;
    std::wstring dir_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// ---- exports and the parts table ----

TEST(Exports, PartsTableHasTheVarietyTheToolMustHandle) {
    ASSERT_TRUE(Lib().Loaded()) << "the six exports by their plain names";
    Lib().WriteIni("");
    isp::BodyInfo* table = nullptr;
    const std::uint32_t n = Lib().GetBodyInfo(&table);
    ASSERT_GE(n, 12u);
    ASSERT_NE(table, nullptr);
    std::uint32_t all = 0;
    std::map<int, int> perFamily;
    bool classes[3] = {}, twoBits = false, withData = false, withoutData = false;
    std::map<std::uint32_t, bool> counts;
    std::uint32_t minCode = 0xFFFFFFFF, maxCode = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        const isp::BodyInfo& b = table[i];
        ASSERT_NE(b.PartName, nullptr);
        all |= b.FamilyMask;
        if (b.PartClass >= 0 && b.PartClass <= 2) classes[b.PartClass] = true;
        int bits = 0;
        for (std::uint32_t m = b.FamilyMask; m != 0; m &= m - 1) ++bits;
        twoBits |= bits == 2;
        for (int bit = 0; bit < 32; ++bit)
            if (b.FamilyMask == (1u << bit)) ++perFamily[bit];
        (b.DataCapacity == 0 ? withoutData : withData) = true;
        counts[b.OptionCount] = true;
        minCode = std::min(minCode, b.CodeCapacity);
        maxCode = std::max(maxCode, b.CodeCapacity);
        for (std::uint32_t k = 0; k < 8; ++k) {
            ASSERT_NE(b.OptionCaption[k].English, nullptr);
            ASSERT_NE(b.OptionCaption[k].Chinese, nullptr);
            if (k < b.OptionCount) {
                EXPECT_GT(std::wcslen(b.OptionCaption[k].English), 0u) << i << "/" << k;
                EXPECT_GT(std::wcslen(b.OptionCaption[k].Chinese), 0u) << i << "/" << k;
                // The Chinese captions arrive as UTF-16, not as bytes.
                bool cjk = false;
                for (const wchar_t* c = b.OptionCaption[k].Chinese; *c; ++c) cjk |= *c >= 0x4E00 && *c <= 0x9FFF;
                EXPECT_TRUE(cjk) << i << "/" << k;
            }
        }
    }
    EXPECT_GE(perFamily.size(), 6u);
    int multi = 0;
    for (const auto& f : perFamily) multi += f.second > 1;
    EXPECT_GE(multi, 2);
    const std::uint32_t lowest = all & (~all + 1);
    EXPECT_NE(table[0].FamilyMask, lowest) << "the first part is not in the lowest family";
    EXPECT_TRUE(classes[0] && classes[1] && classes[2]);
    EXPECT_TRUE(twoBits && withData && withoutData);
    for (std::uint32_t c : {0u, 3u, 4u, 8u}) EXPECT_TRUE(counts[c]) << c;
    EXPECT_TRUE(counts.rbegin()->first > 8);
    EXPECT_EQ(minCode, 4096u);
    EXPECT_GE(maxCode, 1048576u);

    std::uint32_t version = 0;
    std::int32_t edition = -1;
    Lib().GetDLLInfo(&version, &edition);
    EXPECT_EQ(version, 0x01000007u);
    EXPECT_EQ(edition, 0);
}

TEST(Exports, SettingsFileSelectsTestVariants) {
    isp::BodyInfo* table = nullptr;
    Lib().WriteIni("[Parts]\nTable=empty\n");
    EXPECT_EQ(Lib().GetBodyInfo(&table), 0u);
    Lib().WriteIni("[Parts]\nTable=highbits\n[Info]\nVersion=0x02030405\nEdition=1\n");
    const std::uint32_t n = Lib().GetBodyInfo(&table);
    std::uint32_t all = 0;
    for (std::uint32_t i = 0; i < n; ++i) all |= table[i].FamilyMask;
    EXPECT_TRUE(all & (1u << 15));
    EXPECT_TRUE(all & (1u << 20));
    std::uint32_t version = 0;
    std::int32_t edition = 0;
    Lib().GetDLLInfo(&version, &edition);
    EXPECT_EQ(version, 0x02030405u);
    EXPECT_EQ(edition, 1);
    EXPECT_EQ(Lib().GetBodyInfo(nullptr), 0u);
    Lib().GetDLLInfo(nullptr, nullptr);
    Lib().WriteIni("");
}

// ---- bad input ----

TEST(BadInput, GetsAFailureCodeNeverACrash) {
    Lib().WriteIni("[Link]\nReplyTimeoutMs=300\n");
    EXPECT_NE(Lib().OpenPort(nullptr), isp::kPass);
    EXPECT_NE(Lib().ClosePort(nullptr), isp::kPass);
    EXPECT_NE(Lib().UpdateMCU(nullptr), isp::kPass);
    EXPECT_NE(Lib().DumpInfo(nullptr), isp::kPass);

    JobRun run;
    run.p.PartIndex = PartIndex(L"T20G8");
    run.p.CheckRate = 9600;
    run.Images(Pattern(100, 1), {});
    // Before a successful OpenPort.
    EXPECT_NE(Lib().UpdateMCU(&run.p), isp::kPass);
    EXPECT_NE(Lib().DumpInfo(&run.p), isp::kPass);

    // A handle that is not a serial port, and an unknown port type.
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    const std::wstring file = std::wstring(tmp) + L"tarvel_not_a_port.bin";
    HANDLE h = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    run.p.PortType = isp::kPortCom;
    run.p.PortHandle = h;
    EXPECT_NE(Lib().OpenPort(&run.p), isp::kPass);
    CloseHandle(h);
    DeleteFileW(file.c_str());
    run.p.PortHandle = INVALID_HANDLE_VALUE;
    EXPECT_NE(Lib().OpenPort(&run.p), isp::kPass);
    run.p.PortType = 7;
    run.p.PortHandle = nullptr;
    EXPECT_NE(Lib().OpenPort(&run.p), isp::kPass);
    EXPECT_NE(Lib().UpdateMCU(&run.p), isp::kPass);

    run.p.PortType = isp::kPortKV707;
    ASSERT_EQ(Lib().OpenPort(&run.p), isp::kPass);
    const isp::BodyInfo& part = Part(run.p.PartIndex);
    std::vector<std::uint8_t> big(part.CodeCapacity + 1), bigData(part.DataCapacity + 1);
    struct Case {
        const char* Name;
        std::function<void(isp::IspParam&)> Spoil;
    };
    const Case cases[] = {
        {"part -1", [](isp::IspParam& p) { p.PartIndex = -1; }},
        {"part past the table", [](isp::IspParam& p) { p.PartIndex = 1000; }},
        {"code above capacity",
         [&](isp::IspParam& p) {
             p.CodeImage = big.data();
             p.CodeSize = static_cast<std::int32_t>(big.size());
         }},
        {"data above capacity",
         [&](isp::IspParam& p) {
             p.DataImage = bigData.data();
             p.DataSize = static_cast<std::int32_t>(bigData.size());
         }},
        {"empty code", [](isp::IspParam& p) { p.CodeSize = 0; }},
        {"negative code size", [](isp::IspParam& p) { p.CodeSize = -5; }},
        {"null code", [](isp::IspParam& p) { p.CodeImage = nullptr; }},
        {"data size without data",
         [](isp::IspParam& p) {
             p.DataImage = nullptr;
             p.DataSize = 10;
         }},
        {"null status cell", [](isp::IspParam& p) { p.StatusCell = nullptr; }},
        {"null stop cell", [](isp::IspParam& p) { p.StopCell = nullptr; }},
        {"check rate 0", [](isp::IspParam& p) { p.CheckRate = 0; }},
        {"negative baud rate", [](isp::IspParam& p) { p.BaudRate = -115200; }},
    };
    for (const Case& c : cases) {
        isp::IspParam p = run.p;
        c.Spoil(p);
        EXPECT_NE(Lib().UpdateMCU(&p), isp::kPass) << c.Name;
    }
    // DumpInfo needs its 256 bytes.
    isp::IspParam p = run.p;
    p.CodeSize = 255;
    EXPECT_EQ(Lib().DumpInfo(&p), isp::kDumpFail);
    EXPECT_EQ(Lib().ClosePort(&run.p), isp::kPass);
    EXPECT_NE(Lib().UpdateMCU(&run.p), isp::kPass) << "after ClosePort";
}

// One UpdateMCU or DumpInfo at a time; the port cannot be closed under it.
TEST(BadInput, SecondJobAndCloseDuringAJobAreRefused) {
    Adapter target;
    target.Set({{"never", ""}});
    JobRun run;
    run.p.PartIndex = PartIndex(L"T20G8");
    run.p.CheckRate = 9600;
    run.Images(Pattern(100, 1), {});
    target.Open(run);
    std::uint16_t first = 0;
    std::thread worker([&] { first = Lib().UpdateMCU(&run.p); });
    while (run.status.load() != isp::kStatusWaitingForTarget) Sleep(1);
    Sleep(100);
    isp::StatusWord status2{0};
    isp::StopRequest stop2{0};
    isp::IspParam second = run.p;
    second.StatusCell = &status2;
    second.StopCell = &stop2;
    EXPECT_NE(Lib().UpdateMCU(&second), isp::kPass);
    EXPECT_NE(Lib().DumpInfo(&second), isp::kPass);
    EXPECT_NE(Lib().ClosePort(&run.p), isp::kPass);
    run.stop = 1;
    worker.join();
    EXPECT_EQ(first, isp::kStop);
    target.Close(run);
}

// ---- the settings file ----

// Every entry a test writes must take effect or stop the run: OpenPort
// refuses a file with an entry it cannot take (102) and names the entry on
// the debugger output. The sections each other call reads answer the same way.
TEST(SettingsFile, AnEntryThatCannotBeTakenFailsOpenPortAndIsNamed) {
    DebugMonitor monitor;
    ASSERT_TRUE(monitor.Ready());
    Lib().WriteIni("");
    const int part = PartIndex(L"T20G8");
    isp::BodyInfo* table = nullptr;
    const std::uint32_t regular = Lib().GetBodyInfo(&table);
    enum Also { kNone, kBodyInfo, kDllInfo };
    const struct {
        const char* Ini;
        const char* Line;
        Also Reader;  // the other call that reads the entry
    } cases[] = {
        {"[Adapter]\nfail=bogus\n",
         "Tarvel_DLL.ini [Adapter] fail=bogus: unknown value, expected none, sync, erase, option, register, "
         "program, verify, readinfo or silent",
         kNone},
        {"[Adapter]\npart=NOPE\n", "Tarvel_DLL.ini [Adapter] part=NOPE: no such part in the table", kNone},
        {"[Parts]\nTable=normal\n[Adapter]\npart=TX15Z32\n",
         "Tarvel_DLL.ini [Adapter] part=TX15Z32: no such part in the table", kNone},
        {"[Adapter]\nserial=abc\n", "Tarvel_DLL.ini [Adapter] serial=abc: not a number", kNone},
        {"[Adapter]\npage-ms=-5\n", "Tarvel_DLL.ini [Adapter] page-ms=-5: out of range, expected 0 to 4294967295",
         kNone},
        {"[Adapter]\nappear-ms=-1\n", "Tarvel_DLL.ini [Adapter] appear-ms=-1: out of range, expected 0 to 4294967295",
         kNone},
        {"[Adapter]\nrepeat-delay-ms=2s\n", "Tarvel_DLL.ini [Adapter] repeat-delay-ms=2s: not a number", kNone},
        {"[Adapter]\npace=yes\n", "Tarvel_DLL.ini [Adapter] pace=yes: unknown value, expected 0 or 1", kNone},
        {"[Adapter]\nwait-status=70000\n",
         "Tarvel_DLL.ini [Adapter] wait-status=70000: out of range, expected 0 to 65535", kNone},
        {"[Adapter]\nnever=1\n", "Tarvel_DLL.ini [Adapter] never=1: takes no value", kNone},
        {"[Adapter]\nserial\n", "Tarvel_DLL.ini [Adapter] serial: value missing", kNone},
        {"[Adapter]\ncolour=blue\n", "Tarvel_DLL.ini [Adapter] colour=blue: unknown option", kNone},
        {"[Adapter]\nfail=erase\nFail=none\n", "Tarvel_DLL.ini [Adapter] Fail=none: given more than once", kNone},
        {"[Adaptor]\nnever\n", "Tarvel_DLL.ini [Adaptor]: unknown section", kNone},
        {"[Link]\nReplyTimeoutMs=fast\n", "Tarvel_DLL.ini [Link] ReplyTimeoutMs=fast: not a number", kNone},
        {"[Link]\nAttempts=0\n", "Tarvel_DLL.ini [Link] Attempts=0: out of range, expected 1 to 10", kNone},
        {"[Link]\nSyncIntervalMs=700000\n",
         "Tarvel_DLL.ini [Link] SyncIntervalMs=700000: out of range, expected 0 to 600000", kNone},
        {"[Link]\nReplyTimeout=300\n", "Tarvel_DLL.ini [Link] ReplyTimeout=300: unknown option", kNone},
        {"[Parts]\nTable=emtpy\n",
         "Tarvel_DLL.ini [Parts] Table=emtpy: unknown value, expected normal, empty or highbits", kBodyInfo},
        {"[Info]\nVersion=1.2.3.4\n", "Tarvel_DLL.ini [Info] Version=1.2.3.4: not a number", kDllInfo},
        {"[Info]\nEdition=-1\n", "Tarvel_DLL.ini [Info] Edition=-1: out of range, expected 0 to 2147483647", kDllInfo},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Ini);
        Lib().WriteIni(c.Ini);
        monitor.Clear();
        JobRun run;
        run.p.PortType = isp::kPortKV707;
        run.p.PartIndex = part;
        run.p.CheckRate = 9600;
        const std::uint16_t rc = Lib().OpenPort(&run.p);
        EXPECT_EQ(rc, isp::kComOpenError);
        if (rc == isp::kPass) Lib().ClosePort(&run.p);
        EXPECT_TRUE(monitor.WaitForLine(c.Line)) << "debugger output: " << monitor.Text();
        if (c.Reader == kBodyInfo) {
            // No parts at all is a variant of its own: a mistyped table
            // must not look like it. The library hands out its regular table.
            monitor.Clear();
            EXPECT_EQ(Lib().GetBodyInfo(&table), regular);
            EXPECT_TRUE(monitor.WaitForLine(c.Line)) << "debugger output: " << monitor.Text();
        }
        if (c.Reader == kDllInfo) {
            monitor.Clear();
            std::uint32_t version = 0;
            std::int32_t edition = -1;
            EXPECT_EQ(Lib().GetDLLInfo(&version, &edition), isp::kComOpenError);
            EXPECT_EQ(version, 0x01000007u) << "the library's own version";
            EXPECT_EQ(edition, 0);
            EXPECT_TRUE(monitor.WaitForLine(c.Line)) << "debugger output: " << monitor.Text();
        }
    }
    Lib().WriteIni("");
}

// Names, values and section names are taken in any case, and a bare key
// stands for an option that takes no value.
TEST(SettingsFile, AnyCaseAndBareKeysAreTaken) {
    const std::string link = "[LINK]\nreplytimeoutms=300\nSYNCINTERVALMS=20\n";
    const struct {
        const char* Adapter;  // the whole section
        const wchar_t* Part;
        std::int32_t BaudRate;
        std::uint16_t Expected;
    } cases[] = {
        {"[Adapter]\npace=0\nFail=Erase\n", L"T20G8", 0, isp::kEraseError},
        {"[adapter]\nPACE=0\nFAIL=ERASE\n", L"T20G8", 0, isp::kEraseError},
        {"[Adapter]\npace=0\npart=t30c64\n", L"T20G8", 0, isp::kDeviceIdError},
        {"[Adapter]\npace=0\nFail=Verify\nFail-Offset=0x10\n", L"T20G8", 0, isp::kProgramError},
        // No target ever comes: the run waits until it is stopped.
        {"[Adapter]\npace=0\nnever\n", L"T20G8", 0, isp::kStop},
        {"[Adapter]\npace=0\n  Never  \n", L"T20G8", 0, isp::kStop},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Adapter);
        Lib().WriteIni("");
        JobRun run;
        run.p.PartIndex = PartIndex(c.Part);
        run.p.CheckRate = 9600;
        run.p.BaudRate = c.BaudRate;
        run.p.PortType = isp::kPortKV707;
        run.Images(Pattern(3000, 9), {});
        Lib().WriteIni(link + c.Adapter);
        ASSERT_EQ(Lib().OpenPort(&run.p), isp::kPass);
        const Clock::time_point start = Clock::now();
        const JobRun::Outcome o = run.Go(Lib().UpdateMCU, [&](std::uint16_t) {
            return c.Expected == isp::kStop && Clock::now() - start > std::chrono::milliseconds(500);
        });
        EXPECT_EQ(o.Code, c.Expected);
        if (c.Expected == isp::kStop) {
            EXPECT_EQ(o.Statuses, std::vector<std::uint16_t>{isp::kStatusWaitingForTarget}) << "no target answered";
        }
        EXPECT_EQ(Lib().ClosePort(&run.p), isp::kPass);
    }
    Lib().WriteIni("");
}

// ---- the same scenarios on both links ----

void ProgramsAndReadsBack(Target& target, const wchar_t* partName, std::int32_t rate) {
    JobRun run;
    run.p.PartIndex = PartIndex(partName);
    run.p.CheckRate = rate;
    run.p.BaudRate = rate == 115200 ? 115200 : 0;
    run.p.OptionBits = 0x06;
    run.p.SetupFlags = 0x02;
    const isp::BodyInfo& part = Part(run.p.PartIndex);
    run.Images(Pattern(part.CodeCapacity - 300, 3), Pattern(part.DataCapacity, 4));
    // A millisecond a page makes the progress visible to the watcher.
    target.Set({{"appear-ms", "150"}, {"serial", "777"}, {"repeat-delay-ms", "200"}, {"page-ms", "1"}});
    target.Open(run);

    const JobRun::Outcome up = run.Go(Lib().UpdateMCU);
    ASSERT_EQ(up.Code, isp::kPass);
    ExpectWaitThenProgress(up.Statuses);
    EXPECT_GT(up.Statuses.size(), 3u);
    EXPECT_GE(up.WaitedMs, 100.0) << "waits for the target to appear";

    std::string flash, eeprom;
    if (target.Memories(flash, eeprom)) {
        ASSERT_EQ(flash.size(), part.CodeCapacity);
        EXPECT_TRUE(flash.compare(0, run.code.size(), std::string(run.code.begin(), run.code.end())) == 0)
            << "the simulator's Flash differs from the image";
        EXPECT_EQ(flash.substr(run.code.size()), std::string(300, '\xFF'));
        EXPECT_EQ(eeprom, std::string(run.data.begin(), run.data.end()));
    }

    // Repeat Update: the programmed chip is gone, and the library waits for
    // the next one, which comes after the repeat delay.
    const JobRun::Outcome again = run.Go(Lib().UpdateMCU);
    EXPECT_EQ(again.Code, isp::kPass);
    ExpectWaitThenProgress(again.Statuses);
    EXPECT_GE(again.WaitedMs, 150.0) << "waits for the next target";

    // The third chip is blank and has the next serial number.
    JobRun dump;
    dump.p = run.p;
    dump.p.StatusCell = &dump.status;
    dump.p.StopCell = &dump.stop;
    std::vector<std::uint8_t> block(256, 0);
    dump.p.CodeImage = block.data();
    dump.p.CodeSize = 256;
    const JobRun::Outcome d = dump.Go(Lib().DumpInfo);
    ASSERT_EQ(d.Code, isp::kPass);
    EXPECT_EQ(std::memcmp(block.data(), "TVIB", 4), 0);
    EXPECT_EQ(tarvel::GetU32(&block[tarvel::info::kSerial]), 779u);
    EXPECT_EQ(tarvel::GetU32(&block[tarvel::info::kFlashSize]), part.CodeCapacity);
    const std::vector<std::uint8_t> blank(part.CodeCapacity, 0xFF);
    EXPECT_EQ(tarvel::GetU32(&block[tarvel::info::kFlashCrc]), tarvel::Crc32(blank.data(), blank.size()));
    EXPECT_EQ(tarvel::Crc32(block.data(), tarvel::info::kCrc), tarvel::GetU32(&block[tarvel::info::kCrc]));
    target.Close(run);
}

struct CodeCase {
    const char* Name;
    Options Scenario;
    bool Dump;
    std::int32_t BaudRate;
    std::uint16_t Expected;
};

const CodeCase kCodeCases[] = {
    {"other customer", {{"customer-id", "0x11223344"}}, false, 0, isp::kCustomerIdError},
    {"other device", {{"device-id", "0x99"}}, false, 0, isp::kDeviceIdError},
    {"rate too large", {{"max-baud", "38400"}}, false, 57600, isp::kBaudRateTooLarge},
    {"sync refused", {{"fail", "sync"}}, false, 0, isp::kSetSyncError},
    {"option write", {{"fail", "option"}}, false, 0, isp::kWriteOrError},
    {"erase", {{"fail", "erase"}}, false, 0, isp::kEraseError},
    {"register", {{"fail", "register"}}, false, 0, isp::kRegisterError},
    {"program", {{"fail", "program"}, {"fail-offset", "3000"}}, false, 0, isp::kProgramError},
    {"verify", {{"fail", "verify"}, {"fail-offset", "1234"}}, false, 0, isp::kProgramError},
    {"stops answering", {{"fail", "silent"}, {"fail-offset", "2048"}}, false, 0, isp::kNotFindDevice},
    {"dump other customer", {{"customer-id", "0x5"}}, true, 0, isp::kCustomerIdError},
    {"dump other device", {{"device-id", "0x6"}}, true, 0, isp::kDeviceIdError},
    {"dump read fails", {{"fail", "readinfo"}}, true, 0, isp::kDumpFail},
};

void ReachesEveryResultCode(Target& target) {
    for (const CodeCase& c : kCodeCases) {
        SCOPED_TRACE(c.Name);
        Options o = c.Scenario;
        o.emplace_back("part", "T30C64");
        target.Set(o);
        JobRun run;
        run.p.PartIndex = PartIndex(L"T30C64");
        run.p.CheckRate = 9600;
        run.p.BaudRate = c.BaudRate;
        run.Images(Pattern(8000, 5), Pattern(100, 6));
        std::vector<std::uint8_t> block(256, 0);
        if (c.Dump) {
            run.p.CodeImage = block.data();
            run.p.CodeSize = 256;
        }
        target.Open(run);
        EXPECT_EQ(run.Go(c.Dump ? Lib().DumpInfo : Lib().UpdateMCU).Code, c.Expected);
        if (c.Dump) {
            EXPECT_EQ(block, std::vector<std::uint8_t>(256, 0)) << "a failed dump leaves the buffer";
        }
        target.Close(run);
    }
}

void StopsWithin100Ms(Target& target) {
    for (bool waiting : {true, false}) {
        SCOPED_TRACE(waiting ? "waiting" : "programming");
        if (waiting) target.Set({{"never", ""}, {"part", "T40F1M"}});
        else target.Set({{"page-ms", "3"}, {"part", "T40F1M"}});
        JobRun run;
        run.p.PartIndex = PartIndex(L"T40F1M");
        run.p.CheckRate = 9600;
        run.Images(Pattern(1 << 20, 7), {});
        target.Open(run);
        const Clock::time_point start = Clock::now();
        const JobRun::Outcome o = run.Go(Lib().UpdateMCU, [&](std::uint16_t v) {
            if (waiting)
                return v == isp::kStatusWaitingForTarget && Clock::now() - start > std::chrono::milliseconds(300);
            return v >= 20 && v <= 90;
        });
        EXPECT_EQ(o.Code, isp::kStop);
        EXPECT_GE(o.StopToReturnMs, 0.0);
        EXPECT_LE(o.StopToReturnMs, 100.0);
        if (waiting) {
            EXPECT_EQ(o.Statuses, std::vector<std::uint16_t>{isp::kStatusWaitingForTarget});
        }
        // The dump job answers Stop while it waits, too.
        if (waiting) {
            std::vector<std::uint8_t> block(256, 0);
            run.p.CodeImage = block.data();
            run.p.CodeSize = 256;
            const Clock::time_point t = Clock::now();
            const JobRun::Outcome d = run.Go(
                Lib().DumpInfo, [&](std::uint16_t) { return Clock::now() - t > std::chrono::milliseconds(200); });
            EXPECT_EQ(d.Code, isp::kStop);
            EXPECT_LE(d.StopToReturnMs, 100.0);
        }
        target.Close(run);
    }
}

TEST(AdapterPort, ProgramsDumpsAndRepeats) {
    Adapter target;
    ProgramsAndReadsBack(target, L"T30C64", 9600);
    ProgramsAndReadsBack(target, L"HX2560", 115200);  // a class 1 part at its fixed rate
}

TEST(AdapterPort, ReachesEveryResultCode) {
    Adapter target;
    ReachesEveryResultCode(target);
}

TEST(AdapterPort, StopsWithin100Ms) {
    Adapter target;
    StopsWithin100Ms(target);
}

// The adapter's chip follows the selected part: any part of the table can be
// programmed without hardware.
TEST(AdapterPort, PortTypeOneAndAnyPart) {
    Adapter target;
    target.Set({});
    for (const wchar_t* name : {L"T10N4", L"TV8051A16"}) {
        JobRun run;
        run.p.PortType = isp::kPortKV705;
        run.p.PartIndex = PartIndex(name);
        run.p.CheckRate = 4800;
        run.Images(Pattern(Part(run.p.PartIndex).CodeCapacity, 8), {});
        ASSERT_EQ(Lib().OpenPort(&run.p), isp::kPass);
        EXPECT_EQ(run.Go(Lib().UpdateMCU).Code, isp::kPass);
        EXPECT_EQ(Lib().ClosePort(&run.p), isp::kPass);
    }
}

// Left to itself the adapter behaves like the hardware: every byte takes its
// line time at the rate in use (with "Auto", the one the library picks), and
// once a programmed chip leaves, the next one is seated two seconds later.
TEST(AdapterPort, PacesTheLineAndReseatsLikeTheHardwareByDefault) {
    Lib().WriteIni("[Link]\nReplyTimeoutMs=300\nSyncIntervalMs=20\n[Adapter]\nmax-baud=38400\n");
    JobRun run;
    run.p.PortType = isp::kPortKV707;
    run.p.PartIndex = PartIndex(L"T10N4");
    run.p.CheckRate = 9600;
    run.p.BaudRate = 0;  // Auto: 38400, the fastest this target takes
    run.Images(Pattern(3000, 10), {});
    ASSERT_EQ(Lib().OpenPort(&run.p), isp::kPass);
    const JobRun::Outcome first = run.Go(Lib().UpdateMCU);
    ASSERT_EQ(first.Code, isp::kPass);
    const double imageLineMs = 3000 * 10 * 1000.0 / 38400;
    EXPECT_GE(first.TotalMs, imageLineMs) << "the image alone needs this long on the line";
    const JobRun::Outcome next = run.Go(Lib().UpdateMCU);
    EXPECT_EQ(next.Code, isp::kPass);
    EXPECT_GE(next.WaitedMs, 1900.0) << "the next chip comes after the re-seat delay";
    EXPECT_EQ(Lib().ClosePort(&run.p), isp::kPass);
}

// A library may write another value than 0xFFFF to the status word while no
// target answers (102 here): the run still goes on to 100 once a target
// comes, and Stop still ends the wait.
TEST(AdapterPort, ReportsTheScenariosStatusWordWhileWaiting) {
    Adapter target;
    JobRun run;
    run.p.PartIndex = PartIndex(L"T20G8");
    run.p.CheckRate = 9600;
    run.Images(Pattern(4000, 11), {});

    target.Set({{"wait-status", "102"}, {"appear-ms", "300"}, {"page-ms", "1"}});
    target.Open(run);
    const JobRun::Outcome up = run.Go(Lib().UpdateMCU);
    EXPECT_EQ(up.Code, isp::kPass);
    ASSERT_GE(up.Statuses.size(), 3u);
    EXPECT_EQ(up.Statuses.front(), isp::kStatusWaitingForTarget) << "the value the cell was given";
    ExpectWaitThenProgress(std::vector<std::uint16_t>(up.Statuses.begin() + 1, up.Statuses.end()), 102);
    target.Close(run);

    target.Set({{"wait-status", "102"}, {"never", ""}});
    target.Open(run);
    const Clock::time_point start = Clock::now();
    const JobRun::Outcome stopped = run.Go(Lib().UpdateMCU, [&](std::uint16_t v) {
        return v == 102 && Clock::now() - start > std::chrono::milliseconds(300);
    });
    EXPECT_EQ(stopped.Code, isp::kStop);
    EXPECT_EQ(stopped.Statuses, (std::vector<std::uint16_t>{isp::kStatusWaitingForTarget, 102}));
    target.Close(run);
}

SimulatorOnCom* ComTarget(int com) {
    const auto it = g_simDirs.find(com);
    if (it == g_simDirs.end()) return nullptr;
    static std::map<int, std::unique_ptr<SimulatorOnCom>> targets;
    auto& t = targets[com];
    if (!t) t = std::make_unique<SimulatorOnCom>(com, it->second);
    return t.get();
}

#define REQUIRE_SIM(com)                     \
    SimulatorOnCom* target = ComTarget(com); \
    if (target == nullptr) GTEST_SKIP() << "run through run-com-test.sh (no simulator on COM" #com ")"

TEST(ComPort, Com7ProgramsDumpsAndRepeats) {
    REQUIRE_SIM(7);
    ProgramsAndReadsBack(*target, L"T30C64", 9600);
}

TEST(ComPort, Com12ByLongNameProgramsDumpsAndRepeats) {
    REQUIRE_SIM(12);
    ProgramsAndReadsBack(*target, L"T30C64", 9600);
}

TEST(ComPort, ReachesEveryResultCode) {
    REQUIRE_SIM(7);
    ReachesEveryResultCode(*target);
}

TEST(ComPort, StopsWithin100Ms) {
    REQUIRE_SIM(12);
    StopsWithin100Ms(*target);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        // --simN=FOLDER: the simulator behind COMN writes to FOLDER.
        int com = 0;
        wchar_t folder[MAX_PATH] = {};
        if (swscanf(argv[i], L"--sim%d=%259ls", &com, folder) == 2) g_simDirs[com] = folder;
    }
    return RUN_ALL_TESTS();
}

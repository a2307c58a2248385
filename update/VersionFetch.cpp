#include "update/VersionFetch.h"

#include "framework/Handles.h"
#include "framework/SystemLibrary.h"

#include <urlmon.h>
#include <wininet.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace {
// COM and the download, bound when a check first runs rather than when the
// program starts (most starts never check).
struct DownloadApi {
    decltype(&::CoInitializeEx) coInitializeEx =
        syslib::Bind<decltype(&::CoInitializeEx)>(L"ole32.dll", "CoInitializeEx");
    decltype(&::CoUninitialize) coUninitialize =
        syslib::Bind<decltype(&::CoUninitialize)>(L"ole32.dll", "CoUninitialize");
    decltype(&::CoTaskMemAlloc) coTaskMemAlloc =
        syslib::Bind<decltype(&::CoTaskMemAlloc)>(L"ole32.dll", "CoTaskMemAlloc");
    decltype(&::DeleteUrlCacheEntryW) deleteUrlCacheEntry =
        syslib::Bind<decltype(&::DeleteUrlCacheEntryW)>(L"wininet.dll", "DeleteUrlCacheEntryW");
    decltype(&::URLDownloadToFileW) urlDownloadToFile =
        syslib::Bind<decltype(&::URLDownloadToFileW)>(L"urlmon.dll", "URLDownloadToFileW");

    bool Complete() const {
        return coInitializeEx && coUninitialize && coTaskMemAlloc && deleteUrlCacheEntry && urlDownloadToFile;
    }
};

const DownloadApi& Api() {
    static const DownloadApi api;
    return api;
}
}  // namespace

namespace update {

namespace {

// What the waiting caller, the download thread and the binding's callback
// share. Every one of them holds a reference, so whoever finishes last frees
// it: the caller may give up on a download long before the download thread
// ends.
struct Download {
    std::wstring url;
    std::wstring folder;
    std::wstring path;  // "tools_version.ini" beside the program
    std::int32_t edition = 0;
    std::shared_ptr<std::mutex> fileLock;
    UniqueHandle done{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<bool> abandoned{false};  // the caller gave up: stop as soon as possible
    std::atomic<bool> tooLarge{false};
    std::atomic<DWORD> httpStatus{0};
    FetchResult result;  // written by the download thread before `done` is set
};

// Every check reads the same file beside the program, so one at a time. The
// lock is reached through a shared pointer that every download
// holds: a download thread still running while the process ends keeps it
// alive past the destruction of statics.
std::shared_ptr<std::mutex> VersionFileLock() {
    static const std::shared_ptr<std::mutex> lock = std::make_shared<std::mutex>();
    return lock;
}

// The binding's callback. URLDownloadToFile has no timeout of its own; its
// progress reports are where a download can be stopped (E_ABORT), both when
// the caller gave up and when more arrives than a version file can hold.
// IHttpNegotiate lets it ask past every cache and see the HTTP status, since
// an error page also arrives as a file.
class BindCallback final : public IBindStatusCallback, public IHttpNegotiate {
public:
    explicit BindCallback(std::shared_ptr<Download> download) : m_download(std::move(download)) {}
    BindCallback(const BindCallback&) = delete;
    BindCallback& operator=(const BindCallback&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IBindStatusCallback) {
            *object = static_cast<IBindStatusCallback*>(this);
        } else if (riid == IID_IHttpNegotiate) {
            *object = static_cast<IHttpNegotiate*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_refs)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG refs = ::InterlockedDecrement(&m_refs);
        if (refs == 0) delete this;
        return static_cast<ULONG>(refs);
    }

    HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG progressMax, ULONG status, LPCWSTR) override {
        if (m_download->abandoned) return E_ABORT;
        const bool data = status == BINDSTATUS_BEGINDOWNLOADDATA || status == BINDSTATUS_DOWNLOADINGDATA ||
                          status == BINDSTATUS_ENDDOWNLOADDATA;
        if (data && (progress > kMaxVersionFileBytes || progressMax > kMaxVersionFileBytes)) {
            m_download->tooLarge = true;
            return E_ABORT;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD* flags, BINDINFO*) override {
        if (flags) *flags |= BINDF_GETNEWESTVERSION | BINDF_PRAGMA_NO_CACHE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

    HRESULT STDMETHODCALLTYPE BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* additionalHeaders) override {
        if (!additionalHeaders) return E_POINTER;
        // A proxy or cache on the way must ask the server, not answer from
        // an earlier check.
        static const wchar_t kHeaders[] = L"Cache-Control: no-cache\r\nPragma: no-cache\r\n";
        *additionalHeaders = static_cast<LPWSTR>(Api().coTaskMemAlloc(sizeof kHeaders));
        if (*additionalHeaders) std::memcpy(*additionalHeaders, kHeaders, sizeof kHeaders);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnResponse(DWORD status, LPCWSTR, LPCWSTR, LPWSTR* additionalHeaders) override {
        if (additionalHeaders) *additionalHeaders = nullptr;
        m_download->httpStatus = status;
        return S_OK;
    }

private:
    ~BindCallback() = default;

    LONG m_refs = 1;
    std::shared_ptr<Download> m_download;
};

// COM for the download thread, released on every way out.
class ComApartment {
public:
    ComApartment() : m_hr(Api().coInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(m_hr)) Api().coUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT m_hr;
};

// Size of an existing file, or false when there is no such file.
bool FileSize(const std::wstring& path, std::uint64_t* size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    *size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

std::wstring ReadProfileValue(const std::wstring& path, const wchar_t* section, const wchar_t* key) {
    std::vector<wchar_t> buffer(kValueBufferChars);
    const DWORD n = ::GetPrivateProfileStringW(section, key, kMissingValue, buffer.data(),
                                               static_cast<DWORD>(buffer.size()), path.c_str());
    return std::wstring(buffer.data(), n);
}

// Deletes the file if it is there; the system's error code when it stays.
DWORD RemoveFile(const std::wstring& path) {
    std::uint64_t size = 0;
    if (!FileSize(path, &size) || ::DeleteFileW(path.c_str())) return 0;
    const DWORD error = ::GetLastError();
    return error ? error : ERROR_ACCESS_DENIED;
}

// A new empty file of this download's own beside the program ("" when the
// folder cannot be written).
std::wstring NewDownloadFile(const std::wstring& folder) {
    wchar_t name[MAX_PATH + 1] = L"";
    if (folder.size() > MAX_PATH - 14 || !::GetTempFileNameW(folder.c_str(), L"tvi", 0, name)) return L"";
    return name;
}

// Takes the downloaded file in as "tools_version.ini", reads the edition's
// keys and deletes it again, all under the lock.
void ReadAsVersionFile(Download& download, const std::wstring& part, FetchResult* result) {
    std::lock_guard<std::mutex> lock(*download.fileLock);
    if (download.abandoned) return;
    if (!::MoveFileExW(part.c_str(), download.path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        // Another program holds a file of that name: it is not this
        // check's answer, and it stays where it is.
        const DWORD error = ::GetLastError();
        result->deleteError = error ? error : ERROR_ACCESS_DENIED;
        return;
    }
    result->info = ReadServerInfo(download.edition, [&](const wchar_t* section, const wchar_t* key) {
        return ReadProfileValue(download.path, section, key);
    });
    result->status = FetchStatus::Read;
    result->deleteError = RemoveFile(download.path);
}

// A download goes to a file of its own and becomes "tools_version.ini" only
// once it is complete and wanted, so a download that ends after its caller
// gave up never touches the file of a later check.
void RunDownload(const std::shared_ptr<Download>& download) {
    FetchResult result;
    result.filePath = download->path;
    const std::wstring part = NewDownloadFile(download->folder);
    // Without the system's download functions there is nothing to fetch
    // with: the check ends as for a server that cannot be reached.
    if (!part.empty() && Api().Complete()) {
        ComApartment com;
        // The file of an earlier check could otherwise be served from the
        // local cache instead of the server.
        Api().deleteUrlCacheEntry(download->url.c_str());
        BindCallback* callback = new BindCallback(download);
        const HRESULT hr = Api().urlDownloadToFile(nullptr, download->url.c_str(), part.c_str(), 0, callback);
        callback->Release();

        const DWORD status = download->httpStatus;
        const bool statusOk = status == 0 || (status >= 200 && status < 300);
        std::uint64_t size = 0;
        const bool present = FileSize(part, &size);
        if (download->tooLarge || (present && size > kMaxVersionFileBytes)) {
            result.status = FetchStatus::Unusable;
        } else if (SUCCEEDED(hr) && statusOk && present) {
            ReadAsVersionFile(*download, part, &result);
        }
        if (const DWORD error = RemoveFile(part)) {
            if (!result.deleteError) {
                result.deleteError = error;
                result.filePath = part;
            }
        }
    }
    download->result = std::move(result);
    ::SetEvent(download->done.get());
}

}  // namespace

Outcome OutcomeOf(const FetchResult& result, std::uint32_t libraryVersion) {
    switch (result.status) {
    case FetchStatus::NotFetched: return Outcome::CantConnect;
    case FetchStatus::Unusable: return Outcome::ServerInfoError;
    case FetchStatus::Read: break;
    }
    return Judge(result.info.version, libraryVersion);
}

FetchResult FetchServerInfo(const FetchRequest& request, HANDLE cancel) {
    FetchResult none;
    none.filePath = request.exeFolder + kVersionFileName;
    if (request.url.empty()) return none;

    auto download = std::make_shared<Download>();
    download->url = request.url;
    download->folder = request.exeFolder;
    download->path = none.filePath;
    download->edition = request.edition;
    download->fileLock = VersionFileLock();
    if (!download->done.valid()) return none;

    // When a server accepts the connection and never answers, no progress is
    // reported and URLDownloadToFile returns only when the system's own
    // receive timeout (a minute and more) gives up; nothing can interrupt it
    // sooner. So the download runs on a thread that is not waited for: it
    // holds nothing but `download` (no caller's object), and when it ends
    // after the caller has given up it only deletes its own file.
    try {
        std::thread([download] { RunDownload(download); }).detach();
    } catch (const std::system_error&) {
        return none;
    }

    HANDLE waits[2] = {download->done.get(), cancel};
    const DWORD count = cancel ? 2 : 1;
    if (::WaitForMultipleObjects(count, waits, FALSE, request.boundMs) == WAIT_OBJECT_0) return download->result;
    download->abandoned = true;
    return none;
}

}  // namespace update

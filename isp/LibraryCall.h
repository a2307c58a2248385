// One call into the library (UpdateMCU or DumpInfo) on a worker thread of its
// own, watched by the thread that asked for it: the window's job thread and
// the console's board both run their calls through this.
//
// The library talks back through the record's two atomic cells: the status
// word (0xFFFF waiting for a target, 0..100 progress) and the stop request.
// The watching thread reads the status word and looks at a COM port every
// quarter second: one that is gone (an adapter pulled out) ends the call at
// once through the stop request instead of the library's own deadlines.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "framework/Handles.h"
#include "isp/IspRecords.h"
#include "isp/LibraryBinding.h"

namespace isp {

enum class Operation { Update, Dump };

struct CallResult {
    std::uint16_t code = 0;
    double librarySeconds = 0;  // the call itself, on the worker thread
    double waitSeconds = 0;     // until the status word first left "waiting for a target"
    bool threadFailed = false;  // no worker thread could be started (code stays 0)
    bool portLost = false;      // the COM port went away: the call was asked to stop, or failed because of it
};

// What a thread that waits for a call does with the status word meanwhile.
class CallObserver {
public:
    // The status word as it is now. Returns how many milliseconds to wait
    // before the next look; the wait ends at once when the call returns.
    virtual DWORD OnStatus(std::uint16_t status) = 0;

protected:
    ~CallObserver() = default;
};

class LibraryCall {
public:
    LibraryCall(const TarvelDll& library, IspParam& param);
    ~LibraryCall();  // waits for a call still inside the library
    LibraryCall(const LibraryCall&) = delete;
    LibraryCall& operator=(const LibraryCall&) = delete;

    // Starts the operation on a new worker thread with the record as it is
    // (images, rates, flags; the status word starts at "waiting"). The stop
    // request is left as it is: a caller that wants a fresh one clears it
    // first. False when no thread could be started (Finish then says so).
    bool Start(Operation operation);
    // Never waits: looks at the status word and (every quarter second) the
    // port. True once the call has returned; then Finish.
    bool Check();
    // The call's result, once Check said it returned (or Start failed). A
    // call that did not pass looks at its COM port at once, since the
    // library may notice a broken line before the quarter-second look does.
    CallResult Finish();

    // Start, then wait, handing the status word to the observer, and Finish.
    CallResult Run(Operation operation, CallObserver& observer);

private:
    void WatchPort(bool atOnce);

    const TarvelDll& m_library;
    IspParam& m_param;
    UniqueHandle m_ended;  // manual-reset event, set by the worker as it returns
    std::thread m_worker;
    std::atomic<std::uint16_t> m_code{0};
    std::atomic<bool> m_done{false};
    double m_asked = 0, m_started = 0, m_returned = 0;  // the last two written by the worker before m_done
    bool m_threadFailed = false;
    bool m_waited = false;
    double m_waitSeconds = 0;
    bool m_portLost = false;
    DWORD m_portCheckedAt = 0;
};

// Seconds of the high-resolution counter.
double SecondsNow();

}  // namespace isp

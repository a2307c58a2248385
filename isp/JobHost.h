// What a programming job needs from the window it runs for: its controls,
// its buffers and its message log. The job thread never calls these itself:
// every call is carried to the window's thread (RunOnWindowThread), so an
// implementation runs on its own UI thread and needs no locking.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace isp {

enum class JobType { Update, Repeat, Dump };

class JobHost {
public:
    // The progress bar: shown at pos, or hidden (pos < 0).
    virtual void ShowProgress(int pos) = 0;
    // Captions and enable states while the job runs and after it ended.
    virtual void EnterJob(JobType type) = 0;
    virtual void LeaveJob(JobType type) = 0;
    // Both buffers, each copied whole in one go so its length and bytes agree.
    virtual void CopyBuffers(std::vector<std::uint8_t>& flash, std::vector<std::uint8_t>& eeprom) = 0;
    // A passing dump: the block read back becomes the Flash buffer.
    virtual void ShowReadBack(const std::uint8_t* bytes, std::size_t length) = 0;

    // The message log: a numbered heading for an operation (a text id), the
    // heading of the next run of a repeat job, a result text (none for -1)
    // with the time since startTick, an empty log, and the re-power prompt
    // at its end.
    virtual void LogHeading(int operationTextId) = 0;
    virtual void LogRepeatHeading(int operationTextId) = 0;
    virtual void LogResult(int textId, std::uint32_t startTick) = 0;
    virtual void ClearLog() = 0;
    virtual void ShowRepowerPrompt(bool shown) = 0;

protected:
    ~JobHost() = default;
};

}  // namespace isp

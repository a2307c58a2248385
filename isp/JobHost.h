// What a programming job needs from the window it runs for, besides the log
// it writes to. The job thread never calls these itself: every call is
// carried to the window's thread (RunOnWindowThread), so an implementation
// runs on its own UI thread and needs no locking.
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

protected:
    ~JobHost() = default;
};

}  // namespace isp

// Helpers shared by the link's suites: a notify target that queues what it
// is given, and frames built from parameter sets.
#pragma once

#include "Frames.h"
#include "ModuleParams.h"
#include "Notify.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// Queues notifications under a lock; the test thread waits for them with a
// deadline instead of sleeping.
class QueueTarget : public NotifyTarget
{
public:
    void Post(const Notification& notification) noexcept override
    {
        {
            const std::lock_guard<std::mutex> hold(Lock);
            Queue.push_back(notification);
        }
        Changed.notify_all();
    }

    // True once at least `count` notifications have arrived, false when the
    // deadline passes first.
    bool WaitFor(std::size_t count, std::chrono::milliseconds deadline = std::chrono::seconds(5))
    {
        std::unique_lock<std::mutex> hold(Lock);
        return Changed.wait_for(hold, deadline, [&] { return Queue.size() >= count; });
    }

    std::vector<Notification> Taken()
    {
        const std::lock_guard<std::mutex> hold(Lock);
        return Queue;
    }

    void Clear()
    {
        const std::lock_guard<std::mutex> hold(Lock);
        Queue.clear();
    }

private:
    std::mutex Lock;
    std::condition_variable Changed;
    std::vector<Notification> Queue;
};

// The reply a module gives for `params`, with the command byte of the
// request it answers.
inline Frame ReplyFor(const ModuleParams& params, std::uint8_t command = CommandWrite)
{
    Frame f;
    BuildWriteRequest(params, f);
    f[6] = command;
    f[FrameChecksumOffset] = FrameChecksum(f.data());
    return f;
}

inline std::vector<std::uint8_t> Hex(const std::string& hex)
{
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < hex.size();) {
        if (hex[i] == ' ') {
            ++i;
            continue;
        }
        out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return out;
}


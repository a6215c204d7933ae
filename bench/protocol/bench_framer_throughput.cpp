// Framer throughput on random input: the bare ReplyFramer, and the whole
// per-byte hook of KestrinSerial (framer, decode, notification copy).

#include "KestrinSerial.h"
#include "ReplyFramer.h"

#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

namespace {

class Sink : public NotifyTarget
{
public:
    void Post(const Notification& n) noexcept override { Count += 1 + n.wparam; }
    std::size_t Count = 0;
};

template <typename Feed>
double BytesPerSecond(const std::vector<std::uint8_t>& input, int rounds, Feed feed)
{
    const auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < rounds; ++r)
        for (std::uint8_t b : input)
            feed(b);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return static_cast<double>(input.size()) * rounds / s;
}

} // namespace

int main()
{
    std::mt19937 random(1);
    std::vector<std::uint8_t> uniform(16u << 20);
    for (auto& b : uniform)
        b = static_cast<std::uint8_t>(random());
    // Traffic that keeps the framer busy: a third of the bytes are markers.
    std::vector<std::uint8_t> markers(uniform.size());
    for (auto& b : markers)
        b = (random() % 3 == 0) ? 0xAF : static_cast<std::uint8_t>(random());

    std::size_t sink = 0;
    ReplyFramer framer;
    const double bare = BytesPerSecond(uniform, 4, [&](std::uint8_t b) { sink += static_cast<std::size_t>(framer.Feed(b)); });
    const double busy = BytesPerSecond(markers, 4, [&](std::uint8_t b) { sink += static_cast<std::size_t>(framer.Feed(b)); });

    Sink target;
    KestrinSerial link;
    link.SetNotifyTarget(&target, RegisterMessage(ReplyMessageName));
    const double hook = BytesPerSecond(uniform, 4, [&](std::uint8_t b) { link.OnReceiveByte(b); });

    std::printf("ReplyFramer, uniform random bytes:      %8.1f MB/s\n", bare / 1e6);
    std::printf("ReplyFramer, one byte in three is 0xAF: %8.1f MB/s\n", busy / 1e6);
    std::printf("KestrinSerial::OnReceiveByte, uniform:  %8.1f MB/s\n", hook / 1e6);
    std::printf("(115200 baud carries 0.0115 MB/s; checksum %zu)\n", (sink + target.Count) % 10);
    return 0;
}

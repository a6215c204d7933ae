// Runs the framer's fuzz target without libFuzzer: a fixed number of seeded
// random inputs shaped like the module's traffic, then every file given on
// the command line (files or folders, e.g. the committed corpus). Exits
// non-zero through abort() when the property breaks.

#include "Frames.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::uint8_t> ShapedInput(std::mt19937& random)
{
    // Mixes noise, steering bytes and whole or damaged replies, so that the
    // framer's resynchronisation is exercised far more often than by
    // uniform bytes.
    std::vector<std::uint8_t> out;
    const std::size_t pieces = 1 + random() % 40;
    for (std::size_t p = 0; p < pieces; ++p) {
        switch (random() % 4) {
        case 0: {
            const std::size_t n = random() % 30;
            for (std::size_t i = 0; i < n; ++i)
                out.push_back(static_cast<std::uint8_t>(random()));
            break;
        }
        case 1: {
            static const std::uint8_t steer[] = {0xAF, 0x0C, 0x0D, 0x0A};
            const std::size_t n = random() % 6;
            for (std::size_t i = 0; i < n; ++i)
                out.push_back(steer[random() % 4]);
            break;
        }
        default: {
            Frame f;
            BuildReadRequest(f);
            f[6] = static_cast<std::uint8_t>(1 + random() % 2);
            for (std::size_t i = 8; i < 20; ++i)
                f[i] = (random() % 4 == 0) ? 0xAF : static_cast<std::uint8_t>(random());
            f[FrameChecksumOffset] = FrameChecksum(f.data());
            if (random() % 4 == 0)
                f[random() % FrameSize] ^= static_cast<std::uint8_t>(1u << (random() % 8));
            const std::size_t keep = (random() % 5 == 0) ? random() % FrameSize : FrameSize;
            out.insert(out.end(), f.begin(), f.begin() + static_cast<std::ptrdiff_t>(keep));
            break;
        }
        }
    }
    return out;
}

std::size_t RunFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    constexpr int Inputs = 100000;
    std::mt19937 random(0x4B455354);  // fixed: a failure repeats
    for (int i = 0; i < Inputs; ++i) {
        const std::vector<std::uint8_t> input = ShapedInput(random);
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }

    std::size_t files = 0;
    for (int a = 1; a < argc; ++a) {
        const std::filesystem::path path(argv[a]);
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::directory_iterator(path))
                if (entry.is_regular_file())
                    files += RunFile(entry.path());
        } else {
            files += RunFile(path);
        }
    }
    std::printf("framer property held for %d seeded inputs and %zu files\n", Inputs, files);
    return 0;
}

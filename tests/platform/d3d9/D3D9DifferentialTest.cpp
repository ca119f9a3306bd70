// Random streams of device calls, each drawn with small draws gathered into one OpenGL draw and
// again draw by draw: every result, every read-back and the final picture must be the same to
// the last bit. A stream that differs is cut down to the fewest calls that still differ, which
// are printed with its seed.
//
// QV_STREAM_SEEDS=first,count runs other seeds than the fixed ones (for a stream printed by a
// failure elsewhere, or a longer search).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/D3D9CallStream.h"
#include "support/TestSupport.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr uint32_t kSeeds = 100; // the sanitizers make each stream several times slower
#else
constexpr uint32_t kSeeds = 400;
#endif
constexpr size_t kCallsPerStream = 160;

// The final pictures of the calls `keep` both ways, as PNG files under the build tree; where.
std::string SavePictures(qvtest::StreamRunner& runner, const qvtest::CallStream& stream,
                         const std::vector<size_t>& keep, const std::string& name)
{
    const std::string base = std::string(QV_TEST_OUTPUT_DIR) + "/pictures/" + name;
    for (bool gathered : {true, false}) {
        const qvtest::StreamResult result = runner.Run(stream, &keep, gathered);
        qvtest::Image image;
        image.width = static_cast<int>(qvtest::StreamRunner::kWidth);
        image.height = static_cast<int>(qvtest::StreamRunner::kHeight);
        image.rgba = result.picture;
        for (size_t i = 0; i + 3 < image.rgba.size(); i += 4)
            std::swap(image.rgba[i], image.rgba[i + 2]); // B, G, R, A to R, G, B, A
        qvtest::SavePng(base + (gathered ? ".gathered.png" : ".alone.png"), image);
    }
    return base + ".{gathered,alone}.png";
}

TEST(D3D9Differential, RandomCallStreamsDrawTheSameGatheredOrNot)
{
    uint32_t first = 1, count = kSeeds;
    if (const char* seeds = std::getenv("QV_STREAM_SEEDS"))
        std::sscanf(seeds, "%u,%u", &first, &count);
    qvtest::StreamRunner runner;
    ASSERT_TRUE(runner.Ready());
    size_t streams = 0, calls = 0, failures = 0;
    uint64_t draws[2] = {}, total[2] = {};
    for (uint32_t seed = first; seed < first + count && failures < 3; ++seed) {
        const qvtest::CallStream stream = qvtest::GenerateStream(seed, kCallsPerStream);
        ++streams;
        calls += stream.calls.size();
        const std::string difference = runner.Compare(stream, nullptr, draws);
        total[0] += draws[0];
        total[1] += draws[1];
        if (difference.empty())
            continue;
        ++failures;
        const std::vector<size_t> shortest = runner.Shrink(stream);
        ADD_FAILURE() << "seed " << seed << ": " << difference << "\nthe shortest stream that still differs ("
                      << runner.Compare(stream, &shortest) << "):\n"
                      << qvtest::DescribeStream(stream, shortest) << "its pictures: "
                      << SavePictures(runner, stream, shortest, "stream-" + std::to_string(seed));
    }
    std::printf("%zu streams of %zu calls in all, each drawn gathered (%llu OpenGL draws) and draw by draw (%llu)\n",
                streams, calls, static_cast<unsigned long long>(total[0]), static_cast<unsigned long long>(total[1]));
}

// The cutting down keeps exactly the calls that the failure needs.
TEST(D3D9Differential, DeltaDebuggingFindsTheCallsAFailureNeeds)
{
    std::vector<size_t> all(100);
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = i;
    auto needs = [](std::initializer_list<size_t> wanted) {
        return [wanted](const std::vector<size_t>& kept) {
            for (size_t w : wanted)
                if (std::find(kept.begin(), kept.end(), w) == kept.end())
                    return false;
            return true;
        };
    };
    EXPECT_EQ(qvtest::MinimiseFailing(all, needs({17, 42})), (std::vector<size_t>{17, 42}));
    EXPECT_EQ(qvtest::MinimiseFailing(all, needs({0, 1, 99})), (std::vector<size_t>{0, 1, 99}));
    EXPECT_EQ(qvtest::MinimiseFailing(all, needs({63})), (std::vector<size_t>{63}));
}

} // namespace

// Writes the game's ".\data\" tree into the folder given on the command line. The tree is built
// in a temporary sibling folder and moved into place only when every generator succeeded, so a
// failed run never leaves a half tree that the game would load.
#include "tools/datagen/DataTree.h"
#include "tools/datagen/Fonts.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Runs every generator on a few threads; answers the failure texts, empty on success.
std::vector<std::string> RunAll(const datagen::CDataTree& tree)
{
    std::vector<datagen::Generator> list = datagen::Generators();
    std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.Name < b.Name; });
    std::atomic<size_t> next{0};
    std::mutex lock;
    std::vector<std::string> failures;
    auto worker = [&] {
        for (size_t i; (i = next.fetch_add(1)) < list.size();) {
            try {
                list[i].Run(tree);
            } catch (const std::exception& e) {
                std::lock_guard<std::mutex> guard(lock);
                failures.push_back(list[i].Name + ": " + e.what());
            }
        }
    };
    const unsigned threads = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < threads; ++t)
        pool.emplace_back(worker);
    for (auto& t : pool)
        t.join();
    std::sort(failures.begin(), failures.end());
    return failures;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: qv_datagen <data folder>\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const fs::path target = fs::absolute(argv[1]).lexically_normal();
    const fs::path parent = target.parent_path();
    const std::string base = target.filename().string();
    const fs::path temp = parent / (base + ".tmp" + std::to_string(getpid()));
    const fs::path old = parent / (base + ".old" + std::to_string(getpid()));
    std::error_code ec;
    fs::create_directories(parent, ec);
    fs::remove_all(temp, ec);
    fs::create_directories(temp, ec);
    if (ec) {
        std::fprintf(stderr, "qv_datagen: cannot create %s: %s\n", temp.string().c_str(), ec.message().c_str());
        return 1;
    }

    const std::vector<std::string> failures = RunAll(datagen::CDataTree(temp.string()));
    datagen::ReleaseFontconfig();
    if (!failures.empty()) {
        for (const std::string& f : failures)
            std::fprintf(stderr, "qv_datagen: %s\n", f.c_str());
        std::fprintf(stderr, "qv_datagen: the data tree was not written\n");
        fs::remove_all(temp, ec);
        return 1;
    }

    // Swap the new tree in: the old one (if any) is moved aside first and removed after.
    if (fs::exists(target)) {
        fs::rename(target, old, ec);
        if (ec) {
            std::fprintf(stderr, "qv_datagen: cannot move the old %s aside: %s\n", target.string().c_str(), ec.message().c_str());
            fs::remove_all(temp, ec);
            return 1;
        }
    }
    fs::rename(temp, target, ec);
    if (ec) {
        std::fprintf(stderr, "qv_datagen: cannot move the new tree to %s: %s\n", target.string().c_str(), ec.message().c_str());
        return 1;
    }
    fs::remove_all(old, ec);

    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("qv_datagen: wrote %zu generators' data to %s in %.2f s\n", datagen::Generators().size(), target.string().c_str(), seconds);
    return 0;
}

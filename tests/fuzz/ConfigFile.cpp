// Any bytes as "Config.dat": reading never crashes, every setting stays one the game can use,
// and what is written back reads back to the same settings.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/CGameConfig.h"

namespace {

std::string TempPath(const char* name)
{
    return std::string("/tmp/qv_fuzz_config_") + std::to_string(getpid()) + "_" + name;
}

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void CheckUsable(const CGameConfig& config)
{
    Check(config.RenderDivisor == 1 || config.RenderDivisor == 2 || config.RenderDivisor == 4);
    Check((config.Width == 640 && config.Height == 480) || (config.Width == 320 && config.Height == 240));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input = TempPath("in");
    const std::string output = TempPath("out");
    FILE* fp = fopen(input.c_str(), "wb");
    if (!fp)
        return 0;
    if (size)
        fwrite(data, 1, size, fp);
    fclose(fp);

    CGameConfig config;
    config.Load(input.c_str());
    CheckUsable(config);
    config.Save(output.c_str());

    CGameConfig reread;
    reread.Load(output.c_str());
    CheckUsable(reread);
    Check(reread.RenderDivisor == config.RenderDivisor && reread.Width == config.Width &&
          reread.IsWindowed == config.IsWindowed && reread.IsVsyncWait == config.IsVsyncWait &&
          reread.IsSoundOn == config.IsSoundOn);

    std::remove(input.c_str());
    std::remove(output.c_str());
    return 0;
}

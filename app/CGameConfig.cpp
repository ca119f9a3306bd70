#include "app/CGameConfig.h"

#include <cctype>
#include <cstdio>

CGameConfig& CGameConfig::GetInstance()
{
    static CGameConfig s_Instance;
    return s_Instance;
}

CGameConfig::CGameConfig()
    : Instance(nullptr),
      Window(nullptr),
      Width(640),
      Height(480),
      IsWindowed(true),
      IsPaused(false),
      IsSoundOn(true),
      RenderDivisor(1),
      IsVsyncWait(false)
{
}

CGameConfig::~CGameConfig() {}

namespace {

// Screen modes of the file: 640x480 and 320x240, full screen then window.
struct ScreenMode {
    int width;
    int height;
    bool windowed;
};
const ScreenMode kScreenModes[4] = {{640, 480, false}, {320, 240, false}, {640, 480, true}, {320, 240, true}};

const int kRenderDivisors[3] = {1, 2, 4};

// One "%d" field: blanks, an optional sign, then digits. Unlike scanf it neither overflows
// nor gathers an endless run of digits: a number too long for an int reads as out of range.
bool ReadDecimal(FILE* fp, long long& value)
{
    int c = fgetc(fp);
    while (c != EOF && isspace(c))
        c = fgetc(fp);
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        c = fgetc(fp);
    }
    if (c == EOF || !isdigit(c))
        return false;
    const long long kSaturated = 1000000000000LL;
    long long magnitude = 0;
    for (; c != EOF && isdigit(c); c = fgetc(fp))
        if (magnitude < kSaturated)
            magnitude = magnitude * 10 + (c - '0');
    if (c != EOF)
        ungetc(c, fp);
    value = negative ? -magnitude : magnitude;
    return true;
}

} // namespace

void CGameConfig::Load(const char* szFileName)
{
    FILE* fp = fopen(szFileName, "rt");
    if (!fp)
        return;

    // The fields of "%d %d %d %d", in order; the first that cannot be read ends the reading,
    // keeping its own and the later fields' values.
    long long value = 0;
    if (ReadDecimal(fp, value)) {
        if (value >= 0 && value <= 2)
            RenderDivisor = kRenderDivisors[value];
        if (ReadDecimal(fp, value)) {
            if (value >= 0 && value <= 3) {
                Width = kScreenModes[value].width;
                Height = kScreenModes[value].height;
                IsWindowed = kScreenModes[value].windowed;
            }
            if (ReadDecimal(fp, value)) {
                IsVsyncWait = value == 0;
                if (ReadDecimal(fp, value))
                    IsSoundOn = value == 0;
            }
        }
    }
    fclose(fp);
}

void CGameConfig::Save(const char* szFileName) const
{
    FILE* fp = fopen(szFileName, "wt");
    if (!fp)
        return;

    int frameRate = 0;
    if (RenderDivisor == 2)
        frameRate = 1;
    else if (RenderDivisor == 4)
        frameRate = 2;
    int screenMode = Width == 320 ? 1 : 0;
    if (IsWindowed)
        screenMode += 2;
    fprintf(fp, "%d %d %d %d\n", frameRate, screenMode, IsVsyncWait ? 0 : 1, IsSoundOn ? 0 : 1);
    fclose(fp);
}

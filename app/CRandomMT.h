// The process-wide random-number generator: Mersenne Twister MT19937, always seeded with 5489
// so that every run sees the same sequence.
#pragma once

#include "platform/platform.h"

class CRandomMT {
public:
    // Built on first use, destroyed at process exit.
    static CRandomMT& GetInstance();

    explicit CRandomMT(DWORD seed);
    virtual ~CRandomMT();

    DWORD GetUInt32();
    // The next value scaled to the closed range 0..1.
    double GetReal();
    // The scaling GetReal applies: 0 gives 0.0 and 4294967295 exactly 1.0.
    static double ToReal(DWORD value);

private:
    void Generate();

    CRandomMT(const CRandomMT&) = delete;
    CRandomMT& operator=(const CRandomMT&) = delete;

    static const int N = 624;
    static const int M = 397;

    DWORD* m_pState;
    LONG m_nLeft;
    DWORD* m_pNext;
};

#include "app/CRandomMT.h"

namespace {

const DWORD kMatrixA = 0x9908B0DFu;
const DWORD kUpperMask = 0x80000000u;
const DWORD kLowerMask = 0x7FFFFFFFu;

DWORD Twist(DWORD upper, DWORD lower, DWORD ahead)
{
    const DWORD y = (upper & kUpperMask) | (lower & kLowerMask);
    return ahead ^ (y >> 1) ^ ((lower & 1u) ? kMatrixA : 0u);
}

} // namespace

CRandomMT& CRandomMT::GetInstance()
{
    // A constructor that throws leaves the static unbuilt, so the next call tries again.
    static CRandomMT s_Instance(5489);
    return s_Instance;
}

CRandomMT::CRandomMT(DWORD seed)
    : m_pState(new DWORD[N]), m_nLeft(1), m_pNext(m_pState)
{
    m_pState[0] = seed;
    for (int i = 1; i < N; ++i)
        m_pState[i] = 1812433253u * (m_pState[i - 1] ^ (m_pState[i - 1] >> 30)) + static_cast<DWORD>(i);
}

CRandomMT::~CRandomMT()
{
    delete[] m_pState;
}

void CRandomMT::Generate()
{
    DWORD* p = m_pState;
    for (int i = 0; i < N - M; ++i, ++p)
        *p = Twist(p[0], p[1], p[M]);
    for (int i = N - M; i < N - 1; ++i, ++p)
        *p = Twist(p[0], p[1], p[M - N]);
    *p = Twist(p[0], m_pState[0], p[M - N]);
    m_nLeft = N;
    m_pNext = m_pState;
}

DWORD CRandomMT::GetUInt32()
{
    if (--m_nLeft == 0)
        Generate();
    DWORD y = *m_pNext++;
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    return y;
}

double CRandomMT::ToReal(DWORD value)
{
    return static_cast<double>(value) * (1.0 / 4294967295.0);
}

double CRandomMT::GetReal()
{
    return ToReal(GetUInt32());
}

#include "app/CDebugStream.h"

CDebugStreamBuf::int_type CDebugStreamBuf::overflow(int_type c)
{
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    const CHAR text[2] = {traits_type::to_char_type(c), 0};
    OutputDebugStringA(text);
    return c;
}

int CDebugStreamBuf::sync()
{
    // Nothing is held back: overflow has already passed every character on.
    return 0;
}

// The buffer member is built after the ostream base, so it is attached in the body.
CDebugStream::CDebugStream()
    : std::ostream(nullptr)
{
    rdbuf(&m_Buf);
}

CDebugStream::~CDebugStream()
{
    flush();
}

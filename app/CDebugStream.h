// An output stream whose text goes to an attached debugger through OutputDebugStringA.
// Made for one statement: CDebugStream() << "text" << n << "\n";
#pragma once

#include <ostream>
#include <streambuf>

#include "platform/platform.h"

// No buffer of its own: every character goes out as soon as it is written.
class CDebugStreamBuf : public std::streambuf {
protected:
    int_type overflow(int_type c) override;
    int sync() override;
};

class CDebugStream : public std::ostream {
public:
    CDebugStream();
    ~CDebugStream() override;

private:
    CDebugStreamBuf m_Buf;
};

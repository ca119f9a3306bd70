// Inside the platform layer: objects behind kernel HANDLEs (mutexes, snapshots), closed by
// CloseHandle.
#pragma once

#include <memory>

#include "platform/win32/WinTypes.h"

namespace qv::win {

struct KernelObject {
    virtual ~KernelObject() = default;
};

HANDLE AddKernelObject(std::unique_ptr<KernelObject> object);
// The object of a handle when it is of type T; null otherwise.
KernelObject* FindKernelObject(HANDLE handle);
template <class T>
T* FindKernelObjectAs(HANDLE handle)
{
    return dynamic_cast<T*>(FindKernelObject(handle));
}

} // namespace qv::win

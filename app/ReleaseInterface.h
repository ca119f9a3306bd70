// Releasing an interface that one holds: the Release call and forgetting the pointer go
// together, so that a second release finds nothing.
#pragma once

template <class T>
void ReleaseInterface(T*& p)
{
    if (p) {
        p->Release();
        p = nullptr;
    }
}

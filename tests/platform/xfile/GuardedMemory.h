// Memory whose end touches a page that cannot be read, so that a read even one byte past the
// end stops the test program in every build, not only under AddressSanitizer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace xfixture {

// A copy of some bytes ending exactly where an unreadable page begins.
class GuardedCopy {
public:
    explicit GuardedCopy(const void* bytes, size_t size);
    explicit GuardedCopy(const std::vector<uint8_t>& bytes) : GuardedCopy(bytes.data(), bytes.size()) {}
    ~GuardedCopy();
    GuardedCopy(const GuardedCopy&) = delete;
    GuardedCopy& operator=(const GuardedCopy&) = delete;

    const uint8_t* data() const { return m_data; }
    size_t size() const { return m_size; }

private:
    uint8_t* m_base = nullptr;
    size_t m_mapped = 0;
    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
};

// While one is alive, every `operator new` of `size` bytes (or of `smallest` to `largest`)
// made on this thread ends where an unreadable page begins (a reader's copy of its input is
// such an allocation); the blocks stay guarded until they are deleted. Does nothing in a build
// with AddressSanitizer, whose own allocator already checks every access.
class GuardedAllocations {
public:
    explicit GuardedAllocations(size_t size) : GuardedAllocations(size, size) {}
    GuardedAllocations(size_t smallest, size_t largest);
    ~GuardedAllocations();
    GuardedAllocations(const GuardedAllocations&) = delete;
    GuardedAllocations& operator=(const GuardedAllocations&) = delete;

    // How many allocations were guarded so far.
    int Count() const;
    static bool Available();
};

} // namespace xfixture

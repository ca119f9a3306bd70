#include "tests/platform/xfile/GuardedMemory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// The bytes end at a page boundary; the page after them is mapped without access. Answers
// the first byte, or null when the system gives no mapping.
uint8_t* MapGuarded(size_t size, uint8_t*& base, size_t& mapped)
{
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t pages = (size + page - 1) / page + 1;
    mapped = pages * page;
    void* p = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        return nullptr;
    base = static_cast<uint8_t*>(p);
    if (mprotect(base + mapped - page, page, PROT_NONE) != 0) {
        munmap(base, mapped);
        return nullptr;
    }
    return base + mapped - page - size;
}

#if !defined(__SANITIZE_ADDRESS__)

thread_local size_t t_guardSmallest = 1, t_guardLargest = 0;
thread_local int t_guarded = 0;

// The guarded blocks alive, so that operator delete can tell them from the heap's.
struct Block {
    void* user;
    uint8_t* base;
    size_t mapped;
};
const int kMaxBlocks = 8192;
Block g_blocks[kMaxBlocks];
int g_used = 0; // blocks beyond this one were never used
std::atomic<int> g_live{0};
std::atomic_flag g_lock = ATOMIC_FLAG_INIT;

struct Lock {
    Lock() { while (g_lock.test_and_set(std::memory_order_acquire)) {} }
    ~Lock() { g_lock.clear(std::memory_order_release); }
};

void* NewGuarded(size_t size)
{
    Lock lock;
    for (int i = 0; i < kMaxBlocks; ++i) {
        Block& b = g_blocks[i];
        if (b.user)
            continue;
        uint8_t* user = MapGuarded(size, b.base, b.mapped);
        if (!user)
            return nullptr;
        b.user = user;
        g_used = std::max(g_used, i + 1);
        ++g_live;
        ++t_guarded;
        return user;
    }
    return nullptr;
}

bool DeleteGuarded(void* p)
{
    if (g_live.load() == 0)
        return false;
    Lock lock;
    for (int i = 0; i < g_used; ++i)
        if (Block& b = g_blocks[i]; b.user == p) {
            munmap(b.base, b.mapped);
            b.user = nullptr;
            --g_live;
            return true;
        }
    return false;
}

#endif

} // namespace

#if !defined(__SANITIZE_ADDRESS__)

// The test program's allocator: the heap's, except for the size being guarded.
void* operator new(size_t size)
{
    if (size != 0 && size >= t_guardSmallest && size <= t_guardLargest)
        if (void* p = NewGuarded(size))
            return p;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    if (p && !DeleteGuarded(p))
        std::free(p);
}

void operator delete(void* p, size_t) noexcept { operator delete(p); }

#endif

namespace xfixture {

GuardedCopy::GuardedCopy(const void* bytes, size_t size) : m_size(size)
{
    uint8_t* p = MapGuarded(size, m_base, m_mapped);
    if (!p)
        throw std::bad_alloc();
    if (size)
        std::memcpy(p, bytes, size);
    m_data = p;
}

GuardedCopy::~GuardedCopy() { munmap(m_base, m_mapped); }

#if !defined(__SANITIZE_ADDRESS__)
GuardedAllocations::GuardedAllocations(size_t smallest, size_t largest)
{
    t_guardSmallest = smallest;
    t_guardLargest = largest;
    t_guarded = 0;
}
GuardedAllocations::~GuardedAllocations()
{
    t_guardSmallest = 1;
    t_guardLargest = 0;
}
int GuardedAllocations::Count() const { return t_guarded; }
bool GuardedAllocations::Available() { return true; }
#else
GuardedAllocations::GuardedAllocations(size_t, size_t) {}
GuardedAllocations::~GuardedAllocations() {}
int GuardedAllocations::Count() const { return 0; }
bool GuardedAllocations::Available() { return false; }
#endif

} // namespace xfixture

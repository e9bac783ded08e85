// A counting allocator. The executable defines malloc and operator new, so the
// program and every library it loads (Qt, glib, the C++ library) allocate
// through here; each call counts and passes on to glibc's own allocator.
#include "alloc_count.h"

#include <cxxabi.h>
#include <errno.h>
#include <execinfo.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);
void* __libc_memalign(std::size_t, std::size_t);
}

namespace {

std::atomic<std::uint64_t> processCalls{0};
std::atomic<std::uint64_t> processBytes{0};

// Per thread, with constant initialisers: safe to touch from inside malloc.
thread_local bool counting = false;
thread_local bool inRecorder = false;
thread_local std::uint64_t threadCalls = 0;
thread_local std::uint64_t threadBytes = 0;

constexpr int kMaxStacks = 256;
constexpr int kMaxFrames = 24;
struct Stack {
    void* frames[kMaxFrames];
    int depth;
};
Stack stacks[kMaxStacks];
int stackCount = 0;
int stacksWanted = 0;

void recordStack()
{
    if (stackCount >= kMaxStacks || stacksWanted <= 0) return;
    --stacksWanted;
    inRecorder = true;
    Stack& stack = stacks[stackCount++];
    stack.depth = backtrace(stack.frames, kMaxFrames);
    inRecorder = false;
}

void note(std::size_t bytes)
{
    processCalls.fetch_add(1, std::memory_order_relaxed);
    processBytes.fetch_add(bytes, std::memory_order_relaxed);
    if (!counting || inRecorder) return;
    ++threadCalls;
    threadBytes += bytes;
    recordStack();
}

void* alignedAlloc(std::size_t alignment, std::size_t size)
{
    note(size);
    return __libc_memalign(alignment, size);
}

void* newOrThrow(std::size_t size)
{
    note(size);
    void* p = __libc_malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    return p;
}

void* newAlignedOrThrow(std::size_t size, std::align_val_t alignment)
{
    void* p = alignedAlloc(std::size_t(alignment), size ? size : 1);
    if (!p) throw std::bad_alloc();
    return p;
}

std::string frameName(const char* symbol)
{
    // "/lib/libQt6Core.so.6(_ZN7QString8fromUtf8E...+0x2a) [0x7f...]"
    std::string text = symbol;
    auto open = text.find('('), plus = text.find('+', open == std::string::npos ? 0 : open);
    if (open == std::string::npos || plus == std::string::npos || plus == open + 1) return text;
    std::string mangled = text.substr(open + 1, plus - open - 1);
    int status = 0;
    char* plain = abi::__cxa_demangle(mangled.c_str(), nullptr, nullptr, &status);
    std::string name = status == 0 && plain ? plain : mangled;
    std::free(plain);
    auto slash = text.rfind('/', open);
    return name + "  [" + text.substr(slash == std::string::npos ? 0 : slash + 1, open - slash - 1) + "]";
}

// The allocator's entry point: malloc, operator new and the like, defined in this file
// (glibc's own are never called: this file passes on to its __libc_ functions).
bool isAllocatorEntry(const char* symbol)
{
    std::string text = symbol;
    for (const char* name : {"(malloc+", "(calloc+", "(realloc+", "(memalign+", "(aligned_alloc+",
                             "(valloc+", "(posix_memalign+", "(_Znw", "(_Zna"})
        if (text.find(name) != std::string::npos) return true;
    return false;
}

}  // namespace

extern "C" {
void* malloc(std::size_t size)
{
    note(size);
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size)
{
    note(count * size);
    return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size)
{
    note(size);
    return __libc_realloc(p, size);
}
void free(void* p) { __libc_free(p); }
void* memalign(std::size_t alignment, std::size_t size) { return alignedAlloc(alignment, size); }
void* aligned_alloc(std::size_t alignment, std::size_t size) { return alignedAlloc(alignment, size); }
void* valloc(std::size_t size) { return alignedAlloc(4096, size); }
int posix_memalign(void** result, std::size_t alignment, std::size_t size)
{
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return EINVAL;
    void* p = alignedAlloc(alignment, size);
    if (!p) return ENOMEM;
    *result = p;
    return 0;
}
}

void* operator new(std::size_t size) { return newOrThrow(size); }
void* operator new[](std::size_t size) { return newOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    note(size);
    return __libc_malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void* operator new(std::size_t size, std::align_val_t alignment) { return newAlignedOrThrow(size, alignment); }
void* operator new[](std::size_t size, std::align_val_t alignment) { return newAlignedOrThrow(size, alignment); }
void operator delete(void* p) noexcept { __libc_free(p); }
void operator delete[](void* p) noexcept { __libc_free(p); }
void operator delete(void* p, std::size_t) noexcept { __libc_free(p); }
void operator delete[](void* p, std::size_t) noexcept { __libc_free(p); }
void operator delete(void* p, std::align_val_t) noexcept { __libc_free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { __libc_free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { __libc_free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { __libc_free(p); }

AllocTotals ProcessAllocs()
{
    return {processCalls.load(std::memory_order_relaxed), processBytes.load(std::memory_order_relaxed)};
}

void BeginCounting()
{
    threadCalls = 0;
    threadBytes = 0;
    counting = true;
}

AllocTotals EndCounting()
{
    counting = false;
    return {threadCalls, threadBytes};
}

void RecordStacks(int count)
{
    // The first backtrace loads the unwinder, which allocates: do it now.
    void* warm[2];
    inRecorder = true;
    backtrace(warm, 2);
    inRecorder = false;
    stacksWanted = count;
}

std::vector<AllocSite> RecordedSites()
{
    std::vector<AllocSite> sites;
    std::vector<const Stack*> owners;
    for (int i = 0; i < stackCount; ++i) {
        const Stack& stack = stacks[i];
        auto same = std::find_if(owners.begin(), owners.end(), [&](const Stack* other) {
            return other->depth == stack.depth &&
                   std::memcmp(other->frames, stack.frames, sizeof(void*) * std::size_t(stack.depth)) == 0;
        });
        if (same != owners.end()) {
            ++sites[std::size_t(same - owners.begin())].times;
            continue;
        }
        owners.push_back(&stack);
        AllocSite site{1, {}};
        char** symbols = backtrace_symbols(stack.frames, stack.depth);
        // The innermost frames are this file's own: the recorder and the allocator entry.
        int first = 0;
        for (int f = 0; symbols && f < std::min(stack.depth, 6); ++f)
            if (isAllocatorEntry(symbols[f])) first = f + 1;
        for (int f = first; symbols && f < stack.depth; ++f) site.frames.push_back(frameName(symbols[f]));
        std::free(symbols);
        sites.push_back(std::move(site));
    }
    std::stable_sort(sites.begin(), sites.end(),
                     [](const AllocSite& a, const AllocSite& b) { return a.times > b.times; });
    return sites;
}

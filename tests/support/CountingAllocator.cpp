#include "CountingAllocator.h"

#include <dlfcn.h>
#include <errno.h>
#include <execinfo.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string_view>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* p);
}

namespace {

constexpr int maxDepth = 24;
constexpr size_t maxRecords = 200000;

struct Record {
    std::atomic<bool> ready;  // filled in: a thread may still be at it when counting stops
    int depth;
    void* frames[maxDepth];
};

Record records[maxRecords];
std::atomic<size_t> used{0};
std::atomic<size_t> counted{0};
std::atomic<bool> counting{false};
thread_local bool inside = false;  // backtrace may allocate once per thread (its unwinder's set-up)

}  // namespace

// Exported under a name of its own, so a stack walk can tell it.
extern "C" __attribute__((noinline, visibility("default"))) void cxCountingAllocatorNote()
{
    if (!counting.load(std::memory_order_relaxed) || inside) return;
    inside = true;
    counted.fetch_add(1, std::memory_order_relaxed);
    const size_t at = used.fetch_add(1, std::memory_order_relaxed);
    if (at < maxRecords) {
        Record& r = records[at];
        r.depth = backtrace(r.frames, maxDepth);
        r.ready.store(true, std::memory_order_release);
    }
    inside = false;
}

namespace {
constexpr auto note = cxCountingAllocatorNote;
}  // namespace

// The replacements. Every path into the heap is counted; freeing is not.
extern "C" {
void* malloc(size_t size)
{
    note();
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size)
{
    note();
    return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size)
{
    if (size != 0) note();
    return __libc_realloc(p, size);
}
void free(void* p) { __libc_free(p); }
void* reallocarray(void* p, size_t count, size_t size)
{
    size_t bytes = 0;
    if (__builtin_mul_overflow(count, size, &bytes)) {
        errno = ENOMEM;
        return nullptr;
    }
    return realloc(p, bytes);
}
void* pvalloc(size_t size)
{
    note();
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return __libc_memalign(page, (size + page - 1) / page * page);
}
void* memalign(size_t alignment, size_t size)
{
    note();
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size)
{
    note();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size)
{
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return EINVAL;
    note();
    void* p = __libc_memalign(alignment, size);
    if (p == nullptr) return ENOMEM;
    *out = p;
    return 0;
}
void* valloc(size_t size)
{
    note();
    return __libc_memalign(static_cast<size_t>(sysconf(_SC_PAGESIZE)), size);
}
}

namespace cx::test {

namespace {

const char* hookNames[] = {"cxCountingAllocatorNote", "malloc", "calloc", "realloc", "memalign", "aligned_alloc", "posix_memalign", "valloc"};

// The language runtime and the C library allocate on behalf of their
// caller (operator new, std::string growth): look past them.
bool runtimeLibrary(std::string_view file)
{
    const size_t slash = file.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? file : file.substr(slash + 1);
    return name.starts_with("libc.so") || name.starts_with("libstdc++.so") || name.starts_with("libgcc_s.so") ||
           name.starts_with("ld-linux") || name.starts_with("libm.so");
}

std::string baseName(const char* file)
{
    const std::string_view f = file != nullptr ? file : "?";
    const size_t slash = f.rfind('/');
    return std::string(slash == std::string_view::npos ? f : f.substr(slash + 1));
}

// Function, file and line of addresses in this binary, through addr2line.
std::map<void*, std::string> describe(const std::set<void*>& addresses, void* base)
{
    std::map<void*, std::string> out;
    if (addresses.empty()) return out;
    // One line per address and one more per function inlined there, so a
    // std::vector growing inside our function names our function too.
    std::string command = "addr2line -C -f -i -p -e /proc/" + std::to_string(getpid()) + "/exe";
    for (void* a : addresses) {
        char hex[32];
        std::snprintf(hex, sizeof hex, " 0x%lx",
                      static_cast<unsigned long>(static_cast<char*>(a) - static_cast<char*>(base) - 1));
        command += hex;
    }
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    // "function at /path/file.cpp:line", then " (inlined by) function at ...".
    auto shorten = [](std::string line) {
        while (!line.empty() && line.back() == '\n') line.pop_back();
        const size_t at = line.rfind(" at ");
        const size_t slash = line.rfind('/');
        if (at != std::string::npos && slash != std::string::npos && slash > at)
            line = line.substr(0, at) + " (" + line.substr(slash + 1) + ")";
        const std::string inlined = " (inlined by) ";
        if (line.rfind(inlined, 0) == 0) line = line.substr(inlined.size());
        return line;
    };
    char line[8192];
    auto next = addresses.begin();
    std::string* current = nullptr;
    while (std::fgets(line, sizeof line, pipe)) {
        const bool inlinedBy = std::strncmp(line, " (inlined by) ", 14) == 0;
        if (!inlinedBy) {
            if (next == addresses.end()) break;
            current = &out[*next++];
            *current = shorten(line);
        } else if (current != nullptr) {
            *current += " <- " + shorten(line);
        }
    }
    pclose(pipe);
    return out;
}

}  // namespace

void AllocationCounter::start()
{
    // The unwinder loads itself at its first use: not inside a count.
    void* warm[2];
    backtrace(warm, 2);
    counting = false;
    const size_t before = std::min(used.load(), maxRecords);
    for (size_t k = 0; k < before; ++k) records[k].ready.store(false, std::memory_order_relaxed);
    used = 0;
    counted = 0;
    counting = true;
}

void AllocationCounter::stop() { counting = false; }

AllocationReport AllocationCounter::report()
{
    AllocationReport report;
    Dl_info self{};
    dladdr(reinterpret_cast<void*>(&cxCountingAllocatorNote), &self);
    const size_t recorded = std::min(used.load(), maxRecords);
    // A thread that was inside the hook when counting stopped finishes its
    // record within microseconds.
    size_t unfinished = 0;
    for (int wait = 0; wait < 200; ++wait) {
        unfinished = 0;
        for (size_t k = 0; k < recorded; ++k)
            if (!records[k].ready.load(std::memory_order_acquire)) ++unfinished;
        if (unfinished == 0) break;
        usleep(1000);
    }
    report.unrecorded = counted.load() - recorded + unfinished;

    struct Key {
        std::string where;
        void* caller;
        bool operator<(const Key& o) const { return where != o.where ? where < o.where : caller < o.caller; }
    };
    std::map<Key, size_t> counts;
    std::set<void*> callers;
    for (size_t k = 0; k < recorded; ++k) {
        const Record& r = records[k];
        if (!r.ready.load(std::memory_order_acquire)) continue;
        std::string where;
        void* caller = nullptr;
        int f = 0;
        // Past the counting hook and the replaced function.
        for (; f < r.depth; ++f) {
            Dl_info info{};
            if (dladdr(r.frames[f], &info) == 0) break;
            if (info.dli_fbase != self.dli_fbase) break;
            const bool hook = std::any_of(std::begin(hookNames), std::end(hookNames), [&](const char* n) {
                                  return info.dli_sname != nullptr && std::strcmp(info.dli_sname, n) == 0;
                              });
            if (!hook) break;
        }
        for (; f < r.depth; ++f) {
            Dl_info info{};
            if (dladdr(r.frames[f], &info) == 0) continue;
            const bool ours = info.dli_fbase == self.dli_fbase;
            if (!ours && runtimeLibrary(info.dli_fname != nullptr ? info.dli_fname : "")) continue;
            if (where.empty()) where = ours ? "ours" : baseName(info.dli_fname);
            if (ours) {
                caller = r.frames[f];
                break;
            }
        }
        if (where.empty()) where = "runtime";
        if (where == "ours")
            ++report.own;
        else
            ++report.library;
        ++counts[{where, caller}];
        if (caller != nullptr) callers.insert(caller);
    }
    const std::map<void*, std::string> names = describe(callers, self.dli_fbase);
    for (const auto& [key, n] : counts) {
        const auto name = names.find(key.caller);
        report.sites.push_back({key.where,
                                key.caller == nullptr ? std::string("(no frame of ours)")
                                : name != names.end() ? name->second
                                                      : std::string("?"),
                                n});
    }
    std::sort(report.sites.begin(), report.sites.end(),
              [](const AllocationSite& a, const AllocationSite& b) { return a.count > b.count; });
    return report;
}

}  // namespace cx::test

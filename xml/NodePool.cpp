#include "xml/NodePool.h"

#include <cstdint>

// The slab map assumes 64-bit Linux addresses. Under AddressSanitizer the library allocates
// through malloc, so every node stays checked. Elsewhere libxml2 keeps its plain allocation.
#if defined(__linux__) && UINTPTR_MAX == UINT64_MAX && !defined(__SANITIZE_ADDRESS__)
#if defined(__has_feature)
#if !__has_feature(address_sanitizer)
#define RAVLEN_NODE_POOLS 1
#endif
#else
#define RAVLEN_NODE_POOLS 1
#endif
#endif

#ifndef RAVLEN_NODE_POOLS

void InstallNodePools() {}

#else

#include <libxml/tree.h>
#include <libxml/xmlmemory.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <sys/mman.h>

namespace {

// Slabs are aligned to their size, so a block's slab is found by masking its address, and
// one bit per possible slab address tells the pools' blocks from malloc's.
constexpr size_t kSlabShift = 21; // the size of a huge page
constexpr size_t kSlabSize = size_t{1} << kSlabShift;
constexpr uintptr_t kSlabMask = ~(uintptr_t{kSlabSize} - 1);
// User-space addresses below 2^47, as malloc hands them out on 64-bit Linux; a slab that
// lands elsewhere is not used.
constexpr size_t kAddressBits = 47;
constexpr size_t kSlabSlots = size_t{1} << (kAddressBits - kSlabShift);

struct SizeClass;

constexpr size_t kSmallLimit = 64;

struct Slab {
    SizeClass* owner;
    Slab* prev;
    Slab* next;
    void* freeList;
    size_t bump;
    size_t live;
    bool partial;
};

constexpr size_t kHeader = (sizeof(Slab) + 15) & ~size_t{15};

struct SizeClass {
    size_t size;
    size_t index = 0;           // in a thread's cache
    std::mutex* lock = nullptr; // the shard's
    Slab* partial = nullptr;    // slabs with room, most recent first
    size_t slabs = 0;
};

// Size classes under one lock. Threads that load documents at the same time settle on
// shards of their own, so that none waits for another; a block goes back to the shard of
// its slab, whichever thread frees it.
struct Shard {
    Shard() {
        for (size_t i = 0; i < kSmallLimit / 8; ++i) {
            small[i].lock = &mutex;
            small[i].index = i;
        }
        node.lock = attribute.lock = &mutex;
        node.index = kSmallLimit / 8;
        attribute.index = kSmallLimit / 8 + 1;
    }
    std::mutex mutex;
    SizeClass node{sizeof(xmlNode)};
    SizeClass attribute{sizeof(xmlAttr)};
    // Texts: malloc rounds them up to 16 bytes and adds 8.
    SizeClass small[kSmallLimit / 8] = {{8}, {16}, {24}, {32}, {40}, {48}, {56}, {64}};
};

constexpr size_t kShards = 4;
constexpr size_t kClasses = kSmallLimit / 8 + 2;

// Blocks a thread has taken in a batch and not handed out yet, or given back and not returned
// to their slabs yet: a document's millions of blocks then cost a lock per batch rather than
// one each. Plain data, so that it stays usable while the thread's destructors run.
struct ThreadCache {
    void* head[kClasses];
    uint32_t count[kClasses];
    // Untouched blocks taken from the end of a slab, [next, end): taking them does not write
    // into memory the kernel has not yet provided.
    char* next[kClasses];
    char* end[kClasses];
    bool closed; // the thread is ending: blocks go straight to their slabs
};
thread_local ThreadCache t_cache;

constexpr uint32_t kBatch = 64;
// What a thread gives back stays with it up to about this many bytes a class: enough for a
// small document, so that a thread reading one file after another takes each file's nodes
// from the blocks of the one before, without going to the slabs at all.
constexpr size_t kKeptBytes = 512 * 1024;

// The block size of a cache index: the small sizes, then nodes and attributes.
constexpr size_t ClassSize(size_t index) {
    return index < kSmallLimit / 8    ? (index + 1) * 8
           : index == kSmallLimit / 8 ? sizeof(xmlNode)
                                      : sizeof(xmlAttr);
}

constexpr auto kKept = [] {
    std::array<uint32_t, kClasses> kept{};
    for (size_t i = 0; i < kClasses; ++i)
        kept[i] = static_cast<uint32_t>(kKeptBytes / ClassSize(i));
    return kept;
}();

class Pools {
public:
    Pools() {
        // Untouched pages of the map cost no memory.
        bits_ = static_cast<std::atomic<uint64_t>*>(std::calloc(kSlabSlots / 64, sizeof(uint64_t)));
    }

    void* Alloc(size_t size) {
        if (!bits_ || size == 0 || !Pooled(size))
            return std::malloc(size);
        ThreadCache& cache = t_cache;
        const size_t index = IndexFor(size);
        if (void* block = TakeCached(cache, index))
            return block;
        if (cache.closed)
            return AllocLocked(size, 1, nullptr);
        CloseAtThreadEnd();
        if (void* block = AllocLocked(size, kBatch, &cache))
            return block;
        return TakeCached(cache, index);
    }

    static void* TakeCached(ThreadCache& cache, size_t index) {
        if (void* block = cache.head[index]) {
            cache.head[index] = *static_cast<void**>(block);
            --cache.count[index];
            // Blocks given back a document ago have left the cache: fetch the next one while
            // the parser fills this one.
            if (cache.head[index])
                __builtin_prefetch(cache.head[index], 1);
            return block;
        }
        if (cache.next[index] != cache.end[index]) {
            void* block = cache.next[index];
            cache.next[index] += ClassSize(index);
            return block;
        }
        return nullptr;
    }

    void Free(void* block) {
        if (!block)
            return;
        if (!Owns(block)) {
            std::free(block);
            return;
        }
        ThreadCache& cache = t_cache;
        const size_t index = SlabOf(block)->owner->index;
        if (cache.closed) {
            ReturnToSlab(block);
            return;
        }
        if (cache.count[index] == 0)
            CloseAtThreadEnd();
        *static_cast<void**>(block) = cache.head[index];
        cache.head[index] = block;
        if (++cache.count[index] > kKept[index])
            Flush(cache, index, kKept[index] / 2);
    }

    // Gives back all but keep of the thread's blocks of one class, taking each shard's lock
    // once for a run of blocks of that shard.
    void Flush(ThreadCache& cache, size_t index, uint32_t keep) {
        std::mutex* held = nullptr;
        while (cache.count[index] > keep) {
            void* block = cache.head[index];
            cache.head[index] = *static_cast<void**>(block);
            --cache.count[index];
            std::mutex* lock = SlabOf(block)->owner->lock;
            if (lock != held) {
                if (held)
                    held->unlock();
                lock->lock();
                held = lock;
            }
            PutBack(block);
        }
        if (held)
            held->unlock();
    }

    // Gives back the untouched blocks of one class.
    void FlushUntouched(ThreadCache& cache, size_t index) {
        for (char* block = cache.next[index]; block != cache.end[index]; block += ClassSize(index))
            ReturnToSlab(block);
        cache.next[index] = cache.end[index] = nullptr;
    }

    // Registers the flush at the thread's end, before the cache holds anything.
    static void CloseAtThreadEnd() { thread_local const CacheCloser closer; }

    struct CacheCloser {
        ~CacheCloser() {
            ThreadCache& cache = t_cache;
            cache.closed = true;
            for (size_t i = 0; i < kClasses; ++i) {
                ThePoolsForCloser().Flush(cache, i, 0);
                ThePoolsForCloser().FlushUntouched(cache, i);
            }
        }
    };

    void* Realloc(void* block, size_t size) {
        if (!block)
            return Alloc(size);
        if (!Owns(block))
            return std::realloc(block, size);
        const size_t oldSize = SlabOf(block)->owner->size;
        void* moved = Alloc(size);
        if (!moved)
            return nullptr;
        std::memcpy(moved, block, std::min(oldSize, size));
        Free(block);
        return moved;
    }

private:
    static bool Pooled(size_t size) {
        return size <= kSmallLimit || size == sizeof(xmlNode) || size == sizeof(xmlAttr);
    }

    static size_t IndexFor(size_t size) {
        if (size <= kSmallLimit)
            return (size - 1) / 8;
        return size == sizeof(xmlNode) ? kSmallLimit / 8 : kSmallLimit / 8 + 1;
    }

    static SizeClass& ClassFor(Shard& shard, size_t size) {
        if (size <= kSmallLimit)
            return shard.small[(size - 1) / 8];
        return size == sizeof(xmlNode) ? shard.node : shard.attribute;
    }

    static Pools& ThePoolsForCloser();

    // One block, and with a cache up to count - 1 more into it, from the first shard whose
    // lock is free.
    void* AllocLocked(size_t size, uint32_t count, ThreadCache* cache) {
        thread_local size_t preferred = nextShard_.fetch_add(1) % kShards;
        for (size_t k = 0; k < kShards; ++k) {
            Shard& shard = shards_[(preferred + k) % kShards];
            std::unique_lock lock(shard.mutex, std::try_to_lock);
            if (lock.owns_lock()) {
                preferred = (preferred + k) % kShards;
                return AllocMany(ClassFor(shard, size), size, count, cache);
            }
        }
        Shard& shard = shards_[preferred];
        std::lock_guard lock(shard.mutex);
        return AllocMany(ClassFor(shard, size), size, count, cache);
    }

    // Called with the shard's lock held.
    void* AllocMany(SizeClass& sizeClass, size_t size, uint32_t count, ThreadCache* cache) {
        void* first = AllocIn(sizeClass, size);
        // Only blocks of the pool's slabs go into the cache, never malloc's.
        if (!first || !Owns(first) || !cache)
            return first;
        // Where the slab has nothing given back, a run from its end, reserved without a write.
        if (Slab* slab = SlabOf(first); sizeClass.partial == slab && !slab->freeList) {
            const size_t block = sizeClass.size;
            const size_t run = std::min<size_t>(count - 1, (kSlabSize - slab->bump) / block);
            char* next = reinterpret_cast<char*>(slab) + slab->bump;
            cache->next[sizeClass.index] = next;
            cache->end[sizeClass.index] = next + run * block;
            slab->bump += run * block;
            slab->live += run;
            if (slab->bump + block > kSlabSize)
                Unlink(slab);
            return first;
        }
        for (uint32_t i = 1; i < count && sizeClass.partial; ++i) {
            void* block = AllocIn(sizeClass, size);
            *static_cast<void**>(block) = cache->head[sizeClass.index];
            cache->head[sizeClass.index] = block;
            ++cache->count[sizeClass.index];
        }
        return first;
    }

    void ReturnToSlab(void* block) {
        std::lock_guard lock(*SlabOf(block)->owner->lock);
        PutBack(block);
    }

    // Called with the lock of the block's shard held.
    void PutBack(void* block) {
        Slab* slab = SlabOf(block);
        *static_cast<void**>(block) = slab->freeList;
        slab->freeList = block;
        --slab->live;
        if (!slab->partial)
            Link(slab);
        // One empty slab stays, so that a block taken and given back over and over does not
        // map and unmap a slab each time.
        if (slab->live == 0 && (slab->prev || slab->next))
            Release(slab);
    }

    // Called with the shard's lock held.
    void* AllocIn(SizeClass& sizeClass, size_t size) {
        Slab* slab = sizeClass.partial ? sizeClass.partial : NewSlab(sizeClass);
        if (!slab)
            return std::malloc(size);
        void* block;
        if (slab->freeList) {
            block = slab->freeList;
            slab->freeList = *static_cast<void**>(block);
        } else {
            block = reinterpret_cast<char*>(slab) + slab->bump;
            slab->bump += sizeClass.size;
        }
        ++slab->live;
        if (!slab->freeList && slab->bump + sizeClass.size > kSlabSize)
            Unlink(slab);
        return block;
    }

    // Straight from the kernel, aligned to its size: the heap's aligned blocks would leave
    // pieces of up to a slab's size around every one.
    static void* MapSlab() {
        void* area = mmap(nullptr, 2 * kSlabSize, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (area == MAP_FAILED)
            return nullptr;
        const uintptr_t start = reinterpret_cast<uintptr_t>(area);
        const uintptr_t aligned = (start + kSlabSize - 1) & kSlabMask;
        if (aligned > start)
            munmap(area, aligned - start);
        if (const uintptr_t tail = start + 2 * kSlabSize - (aligned + kSlabSize); tail > 0)
            munmap(reinterpret_cast<void*>(aligned + kSlabSize), tail);
        return reinterpret_cast<void*>(aligned);
    }

    static Slab* SlabOf(void* block) {
        return reinterpret_cast<Slab*>(reinterpret_cast<uintptr_t>(block) & kSlabMask);
    }

    bool Owns(void* block) const {
        if (!bits_)
            return false;
        const uintptr_t index = reinterpret_cast<uintptr_t>(block) >> kSlabShift;
        return index < kSlabSlots &&
               (bits_[index / 64].load(std::memory_order_acquire) >> (index % 64) & 1) != 0;
    }

    void Mark(Slab* slab, bool owned) {
        const uintptr_t index = reinterpret_cast<uintptr_t>(slab) >> kSlabShift;
        const uint64_t bit = uint64_t{1} << (index % 64);
        if (owned)
            bits_[index / 64].fetch_or(bit, std::memory_order_release);
        else
            bits_[index / 64].fetch_and(~bit, std::memory_order_release);
    }

    Slab* NewSlab(SizeClass& sizeClass) {
        void* memory = MapSlab();
        if (!memory)
            return nullptr;
        if ((reinterpret_cast<uintptr_t>(memory) >> kSlabShift) >= kSlabSlots) {
            munmap(memory, kSlabSize);
            return nullptr;
        }
        // A document that needs a second slab of a size is a large one: huge pages spare it
        // a page fault for every 4 kB, which costs more than the parsing itself in a virtual
        // machine. The first slab stays in small pages, so a small document stays small.
        if (sizeClass.slabs > 0 && sizeClass.size > kSmallLimit)
            madvise(memory, kSlabSize, MADV_HUGEPAGE);
        ++sizeClass.slabs;
        auto* slab = new (memory) Slab{&sizeClass, nullptr, nullptr, nullptr, kHeader, 0, false};
        Mark(slab, true);
        Link(slab);
        return slab;
    }

    void Release(Slab* slab) {
        Unlink(slab);
        Mark(slab, false);
        --slab->owner->slabs;
        munmap(slab, kSlabSize);
    }

    static void Link(Slab* slab) {
        SizeClass& sizeClass = *slab->owner;
        slab->prev = nullptr;
        slab->next = sizeClass.partial;
        if (sizeClass.partial)
            sizeClass.partial->prev = slab;
        sizeClass.partial = slab;
        slab->partial = true;
    }

    static void Unlink(Slab* slab) {
        if (slab->prev)
            slab->prev->next = slab->next;
        else
            slab->owner->partial = slab->next;
        if (slab->next)
            slab->next->prev = slab->prev;
        slab->prev = slab->next = nullptr;
        slab->partial = false;
    }

    std::atomic<uint64_t>* bits_ = nullptr;
    std::atomic<size_t> nextShard_{0};
    Shard shards_[kShards];
};

// Never destroyed: libxml2 may free blocks while other static objects go away.
Pools& ThePools() {
    static Pools* pools = new Pools;
    return *pools;
}

Pools& Pools::ThePoolsForCloser() {
    return ThePools();
}

void* PoolMalloc(size_t size) {
    return ThePools().Alloc(size);
}

void* PoolRealloc(void* block, size_t size) {
    return ThePools().Realloc(block, size);
}

void PoolFree(void* block) {
    ThePools().Free(block);
}

char* PoolStrdup(const char* text) {
    const size_t size = std::strlen(text) + 1;
    auto* copy = static_cast<char*>(ThePools().Alloc(size));
    if (copy)
        std::memcpy(copy, text, size);
    return copy;
}

} // namespace

void InstallNodePools() {
    static const bool installed = [] {
        ThePools();
        return xmlMemSetup(PoolFree, PoolMalloc, PoolRealloc, PoolStrdup) == 0;
    }();
    (void)installed;
}

#endif

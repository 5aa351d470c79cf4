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
    std::mutex* lock = nullptr; // the shard's
    Slab* partial = nullptr;    // slabs with room, most recent first
    size_t slabs = 0;
};

// Size classes under one lock. Threads that load documents at the same time settle on
// shards of their own, so that none waits for another; a block goes back to the shard of
// its slab, whichever thread frees it.
struct Shard {
    Shard() {
        for (SizeClass* sizeClass : {&node, &attribute})
            sizeClass->lock = &mutex;
        for (SizeClass& sizeClass : small)
            sizeClass.lock = &mutex;
    }
    std::mutex mutex;
    SizeClass node{sizeof(xmlNode)};
    SizeClass attribute{sizeof(xmlAttr)};
    // Texts: malloc rounds them up to 16 bytes and adds 8.
    SizeClass small[kSmallLimit / 8] = {{8}, {16}, {24}, {32}, {40}, {48}, {56}, {64}};
};

constexpr size_t kShards = 4;

class Pools {
public:
    Pools() {
        // Untouched pages of the map cost no memory.
        bits_ = static_cast<std::atomic<uint64_t>*>(std::calloc(kSlabSlots / 64, sizeof(uint64_t)));
    }

    void* Alloc(size_t size) {
        if (!bits_ || size == 0 || !Pooled(size))
            return std::malloc(size);
        thread_local size_t preferred = nextShard_.fetch_add(1) % kShards;
        for (size_t k = 0; k < kShards; ++k) {
            Shard& shard = shards_[(preferred + k) % kShards];
            std::unique_lock lock(shard.mutex, std::try_to_lock);
            if (lock.owns_lock()) {
                preferred = (preferred + k) % kShards;
                return AllocIn(ClassFor(shard, size), size);
            }
        }
        Shard& shard = shards_[preferred];
        std::lock_guard lock(shard.mutex);
        return AllocIn(ClassFor(shard, size), size);
    }

    void Free(void* block) {
        if (!block)
            return;
        if (!Owns(block)) {
            std::free(block);
            return;
        }
        Slab* slab = SlabOf(block);
        std::lock_guard lock(*slab->owner->lock);
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

    static SizeClass& ClassFor(Shard& shard, size_t size) {
        if (size <= kSmallLimit)
            return shard.small[(size - 1) / 8];
        return size == sizeof(xmlNode) ? shard.node : shard.attribute;
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

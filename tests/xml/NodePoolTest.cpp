#include "xml/NodePool.h"

#include <libxml/tree.h>
#include <libxml/xmlmemory.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>
#include <thread>
#include <vector>

namespace {

TEST(NodePoolTest, BlocksOfEverySizeKeepTheirContentThroughReallocAndFree) {
    // Allocated before the pools exist, so its free must still reach malloc.
    void* early = xmlMalloc(sizeof(xmlNode));
    InstallNodePools();
    xmlFree(early);
    std::vector<std::pair<char*, size_t>> blocks;
    // Sizes of the pools and around them, many times over, so that slabs fill up.
    for (int round = 0; round < 20000; ++round) {
        for (size_t size :
             {size_t{1}, size_t{17}, size_t{65}, sizeof(xmlAttr), sizeof(xmlNode), size_t{500}}) {
            auto* block = static_cast<char*>(xmlMalloc(size));
            ASSERT_NE(block, nullptr);
            std::memset(block, static_cast<int>(round + size) & 0x7f, size);
            blocks.emplace_back(block, size);
        }
    }
    // Every other block is freed; the rest grow or shrink across pool and malloc sizes.
    std::vector<char*> kept;
    for (size_t i = 0; i < blocks.size(); ++i) {
        auto [block, size] = blocks[i];
        if (i % 2 == 0) {
            xmlFree(block);
            continue;
        }
        const char fill = block[0];
        const size_t newSize = size == sizeof(xmlNode) ? 40 : size + 100;
        auto* moved = static_cast<char*>(xmlRealloc(block, newSize));
        ASSERT_NE(moved, nullptr);
        for (size_t j = 0; j < std::min(size, newSize); ++j)
            ASSERT_EQ(moved[j], fill) << "size " << size << " byte " << j;
        kept.push_back(moved);
    }
    for (char* block : kept)
        xmlFree(block);
}

// Documents are loaded on several threads at once and may be freed on another thread.
TEST(NodePoolTest, ThreadsTakeAndGiveBackBlocksOfEachOther) {
    InstallNodePools();
    constexpr int kThreads = 4, kBlocks = 40000;
    std::vector<std::vector<unsigned char*>> taken(kThreads);
    const auto fill = [](int owner, int i) { return static_cast<unsigned char>(owner * 61 + i); };
    const auto take = [&](int owner) {
        for (int i = 0; i < kBlocks; ++i) {
            auto* block = static_cast<unsigned char*>(xmlMalloc(i % 2 ? sizeof(xmlNode) : 24));
            std::memset(block, fill(owner, i), 24);
            taken[owner].push_back(block);
        }
    };
    // Each thread checks and frees another's blocks while taking new ones of its own.
    std::vector<std::vector<unsigned char*>> retaken(kThreads);
    const auto swap = [&](int owner) {
        const int other = (owner + 1) % kThreads;
        for (int i = 0; i < kBlocks; ++i) {
            unsigned char* block = taken[other][i];
            for (int j = 0; j < 24; ++j)
                ASSERT_EQ(block[j], fill(other, i));
            xmlFree(block);
            retaken[owner].push_back(static_cast<unsigned char*>(xmlMalloc(sizeof(xmlAttr))));
        }
    };
    for (const auto& step : {std::function<void(int)>(take), std::function<void(int)>(swap)}) {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back(step, t);
        for (std::thread& thread : threads)
            thread.join();
    }
    for (auto& blocks : retaken)
        for (unsigned char* block : blocks)
            xmlFree(block);
}

// What one thread gave back and kept for itself goes back to the slabs when it ends: handed
// out again, each block must go to one owner only.
TEST(NodePoolTest, BlocksKeptByAThreadThatEndedGoToOneOwnerEach) {
    InstallNodePools();
    constexpr int kBlocks = 30000;
    std::thread([&] {
        std::vector<void*> blocks;
        for (int i = 0; i < kBlocks; ++i)
            blocks.push_back(xmlMalloc(i % 3 ? sizeof(xmlNode) : 40));
        for (void* block : blocks)
            xmlFree(block);
    }).join();
    std::vector<std::vector<unsigned char*>> taken(2);
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kBlocks; ++i) {
                auto* block = static_cast<unsigned char*>(xmlMalloc(i % 3 ? sizeof(xmlNode) : 40));
                std::memset(block, t * 100 + i % 97, 40);
                taken[t].push_back(block);
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    std::set<unsigned char*> distinct;
    for (int t = 0; t < 2; ++t)
        for (int i = 0; i < kBlocks; ++i) {
            unsigned char* block = taken[t][static_cast<size_t>(i)];
            ASSERT_TRUE(distinct.insert(block).second) << "a block handed out twice";
            for (int j = 0; j < 40; ++j)
                ASSERT_EQ(block[j], t * 100 + i % 97);
        }
    for (unsigned char* block : distinct)
        xmlFree(block);
}

// Objects of a thread may free and take blocks while the thread ends, after the pools have
// given back what the thread kept.
TEST(NodePoolTest, BlocksFreedAndTakenWhileAThreadEnds) {
    InstallNodePools();
    struct Holder {
        std::vector<void*> blocks;
        ~Holder() {
            for (void* block : blocks)
                xmlFree(block);
            void* late = xmlMalloc(sizeof(xmlNode));
            EXPECT_NE(late, nullptr);
            std::memset(late, 1, sizeof(xmlNode));
            xmlFree(late);
        }
    };
    std::thread([] {
        // Made before the thread's first block, so it goes after the pools' own end.
        thread_local Holder holder;
        for (int i = 0; i < 5000; ++i)
            holder.blocks.push_back(xmlMalloc(i % 2 ? sizeof(xmlAttr) : 8));
    }).join();
    void* block = xmlMalloc(sizeof(xmlAttr));
    EXPECT_NE(block, nullptr);
    xmlFree(block);
}

} // namespace

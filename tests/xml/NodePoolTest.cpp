#include "xml/NodePool.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlmemory.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

class NodePoolTest : public testing::Test {
protected:
    // Allocated before the pools exist, so its free must still reach malloc.
    static inline void* early = nullptr;

    static void SetUpTestSuite() {
        early = xmlMalloc(sizeof(xmlNode));
        InstallNodePools();
    }
};

TEST_F(NodePoolTest, BlocksOfEverySizeKeepTheirContentThroughReallocAndFree) {
    xmlFree(early);
    std::vector<std::pair<char*, size_t>> blocks;
    // Sizes of the pools and around them, many times over, so that slabs fill up.
    for (int round = 0; round < 20000; ++round) {
        for (size_t size : {size_t{1}, size_t{8}, size_t{17}, size_t{64}, size_t{65},
                            sizeof(xmlAttr), sizeof(xmlNode), size_t{500}}) {
            auto* block = static_cast<char*>(xmlMalloc(size));
            ASSERT_NE(block, nullptr);
            std::memset(block, static_cast<int>(round + size) & 0x7f, size);
            blocks.emplace_back(block, size);
        }
    }
    // Every other block is freed; the rest grow or shrink across pool and malloc sizes.
    std::vector<std::pair<char*, size_t>> kept;
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
        kept.emplace_back(moved, newSize);
    }
    for (auto [block, size] : kept)
        xmlFree(block);
    char* copy = xmlMemStrdup("a text of some length");
    EXPECT_STREQ(copy, "a text of some length");
    xmlFree(copy);
}

TEST_F(NodePoolTest, DocumentsBuildEditAndFreeOnThePools) {
    std::string text = "<r>";
    for (int i = 0; i < 30000; ++i)
        text += "<f n='" + std::to_string(i) + "'>value " + std::to_string(i) + "</f>";
    text += "</r>";
    for (int pass = 0; pass < 2; ++pass) {
        xmlDocPtr doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                                      XML_PARSE_COMPACT);
        ASSERT_NE(doc, nullptr);
        int count = 0;
        for (xmlNodePtr f = xmlDocGetRootElement(doc)->children; f; f = f->next, ++count) {
            xmlChar* name = xmlGetProp(f, BAD_CAST "n");
            ASSERT_EQ(std::string(reinterpret_cast<char*>(name)), std::to_string(count));
            xmlFree(name);
            if (count % 3 == 0)
                xmlNodeSetContent(f, BAD_CAST "a longer text that replaces the short one");
        }
        EXPECT_EQ(count, 30000);
        xmlChar* content = xmlNodeGetContent(xmlDocGetRootElement(doc)->children);
        EXPECT_STREQ(reinterpret_cast<char*>(content), "a longer text that replaces the short one");
        xmlFree(content);
        xmlFreeDoc(doc);
    }
}

} // namespace

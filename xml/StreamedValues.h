#pragma once

#include "common/FileStamp.h"
#include "xml/FastXPath.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

// Reads what absolute paths of plain steps select in a file, such as
// /FD:RidoRudu/FD:Datas[@Table='T']/FD:Field[@Name='F'] or .../FD:Field/@Name, in one pass
// of the parser without building the file's tree: a table of a thousand files then costs
// little more than parsing them. A value is the one DOMWrapper::GetElementValue2 gives after a
// Load. What a single pass cannot answer exactly is left to that full load.
class StreamedValues {
public:
    // Nothing when a path is outside what one pass answers, or the bindings are malformed.
    static std::optional<StreamedValues> Compile(const std::vector<std::string>& paths,
                                                 const std::string& namespaces);

    struct Values {
        std::vector<std::optional<std::string>> values; // by path; nothing: selects nothing
        FileStamp stamp;                                // as DOMWrapper::LoadedStamp has it
    };

    // Nothing when the file needs the full load: it cannot be read or does not parse, it has
    // a document type, its namespaces are not well-formed, or a selected element holds more
    // than text.
    std::optional<Values> Read(const std::string& file,
                               const std::atomic<bool>* stop = nullptr) const;

private:
    // The steps below one node that test the same name. Those whose first predicate tests
    // the group's key attribute are found by its value, as configurations mostly address
    // fields: FD:Field[@Name='F'].
    struct Group {
        FastXPath::Name name;
        std::optional<FastXPath::Name> key;
        std::unordered_map<std::string, std::vector<uint32_t>> byKey;
        std::vector<uint32_t> others;
    };
    // Paths share their leading steps: one node per distinct step, below the document's.
    struct Node {
        FastXPath::Name name;
        std::vector<FastXPath::Predicate> predicates; // each an attribute's value
        std::vector<uint32_t> children;
        std::vector<Group> groups;  // the children by name
        std::vector<uint32_t> ends; // the paths that select this element
        std::vector<std::pair<FastXPath::Name, uint32_t>> attributes; // paths ending in @name
    };
    void GroupChildren(Node& node) const;
    struct Parse;

    std::vector<Node> nodes_{1};
    size_t paths_ = 0;
};

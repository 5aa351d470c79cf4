#pragma once

#include "common/FileStamp.h"
#include "xml/PlainPaths.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Reads what paths of plain steps from the document node select in a file, such as
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
    explicit StreamedValues(PlainPaths paths) : paths_(std::move(paths)) {}

    struct Parse;

    PlainPaths paths_;
};

#include "app/shared/Configuration.h"

#include "common/Failure.h"
#include "common/Strings.h"
#include "xml/DOMWrapper.h"

#include <charconv>
#include <cstdlib>
#include <limits>

std::string ConfigNumberText(int32_t nNumber) {
    const int64_t magnitude = std::llabs(static_cast<int64_t>(nNumber));
    std::string digits = std::to_string(magnitude);
    if (digits.size() < 3)
        digits.insert(0, 3 - digits.size(), '0');
    return nNumber < 0 ? "-" + digits : digits;
}

int32_t ConfigNumber(const std::string& text) {
    const std::string trimmed = Trim(text);
    int64_t value = 0;
    const char* first = trimmed.data();
    const char* last = trimmed.data() + trimmed.size();
    if (first != last && *first == '+')
        ++first;
    const auto [end, error] = std::from_chars(first, last, value);
    if (trimmed.empty() || error == std::errc::invalid_argument || end != last)
        throw Failure(kErrTypeMismatch, "Type mismatch: Number '" + text + "'");
    if (error == std::errc::result_out_of_range || value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max())
        throw Failure(kErrOverflow, "Overflow: Number '" + text + "'");
    return static_cast<int32_t>(value);
}

std::vector<ConfigurationEntry> ListConfigurations(DOMWrapper& ConfigDoc) {
    std::vector<ConfigurationEntry> entries;
    ConfigDoc.GetNodeList("XML/Config");
    while (!ConfigDoc.NodeEOF()) {
        const std::string number = ConfigDoc.SubNodeText("./Number");
        const std::string text = number + " " + ConfigDoc.SubNodeText("./Description");
        entries.push_back({ConfigNumber(number), text});
        ConfigDoc.NodeMoveNext();
    }
    return entries;
}

ConfigurationInfo ReadConfiguration(DOMWrapper& ConfigDoc, int32_t nNumber, Aliases aliases,
                                    const ReadingStep& onStep) {
    const auto step = [&](const std::string& what) {
        if (onStep)
            onStep(what);
    };
    ConfigurationInfo info;
    info.nNumber = nNumber;
    const std::string number = ConfigNumberText(nNumber);
    step("Configuration " + number + " without Check_OriginalFile");
    info.sCheckPath = ConfigDoc.GetElementValue(
        "XML/Config/Check_OriginalFile[../Number[.='" + number + "']]", false);
    info.sDescription =
        ConfigDoc.GetElementValue("XML/Config/Description[../Number[.='" + number + "']]", true);
    ConfigDoc.GetNodeList("XML/Config/Fields/Field[../../Number[.='" + number + "']]");
    while (!ConfigDoc.NodeEOF()) {
        FieldInfo field;
        step("A field without XPath in configuration " + number);
        field.sPath = ConfigDoc.SubNodeText("./XPath");
        step("A field without Alias: " + field.sPath);
        try {
            field.sAlias = ConfigDoc.SubNodeText("./Alias");
        } catch (const std::exception&) {
            if (aliases == Aliases::Required)
                throw;
            field.missingAlias = std::current_exception();
        }
        info.Fields.push_back(std::move(field));
        ConfigDoc.NodeMoveNext();
    }
    return info;
}

std::vector<std::string> ConfiguredPaths(const ConfigurationInfo& config) {
    std::vector<std::string> paths;
    if (!IsBlank(config.sCheckPath))
        paths.push_back(config.sCheckPath);
    for (const FieldInfo& field : config.Fields)
        paths.push_back(field.sPath);
    return paths;
}

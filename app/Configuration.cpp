#include "app/Configuration.h"

#include "xml/DOMWrapper.h"

#include <cstdlib>

std::string ConfigNumberText(int32_t nNumber) {
    const int64_t magnitude = std::llabs(static_cast<int64_t>(nNumber));
    std::string digits = std::to_string(magnitude);
    if (digits.size() < 3)
        digits.insert(0, 3 - digits.size(), '0');
    return nNumber < 0 ? "-" + digits : digits;
}

ConfigurationInfo ReadConfiguration(DOMWrapper& ConfigDoc, int32_t nNumber) {
    ConfigurationInfo info;
    info.nNumber = nNumber;
    const std::string number = ConfigNumberText(nNumber);
    info.sCheckPath = ConfigDoc.GetElementValue(
        "XML/Config/Check_OriginalFile[../Number[.='" + number + "']]", false);
    info.sDescription =
        ConfigDoc.GetElementValue("XML/Config/Description[../Number[.='" + number + "']]", true);
    ConfigDoc.GetNodeList("XML/Config/Fields/Field[../../Number[.='" + number + "']]");
    while (!ConfigDoc.NodeEOF()) {
        info.Fields.push_back({ConfigDoc.SubNodeText("./XPath"), ConfigDoc.SubNodeText("./Alias")});
        ConfigDoc.NodeMoveNext();
    }
    return info;
}

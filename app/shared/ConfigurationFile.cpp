#include "app/shared/ConfigurationFile.h"

#include "common/AppPaths.h"
#include "common/Failure.h"
#include "common/FileReplace.h"
#include "xml/DOMWrapper.h"
#include "xml/DocumentOutline.h"
#include "xml/MarkupScanner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace {

constexpr const char* kUtf8Mark = "\xEF\xBB\xBF";

[[noreturn]] void Refuse(const std::string& text) {
    throw Failure(kErrXmlLibrary, text);
}

std::string ReadBytes(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        Refuse(path + ": " + file.errorString().toStdString());
    const QByteArray bytes = file.readAll();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

void ReplaceFile(const std::string& path, const std::string& bytes) {
    if (!MayReplaceFile(path))
        Refuse(path + ": Access is denied.");
    // Written beside the file and renamed over it, so a failure leaves the old file whole.
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
            static_cast<qint64>(bytes.size()) ||
        !file.commit())
        Refuse(path + ": " + file.errorString().toStdString());
}

bool Blank(std::string_view text) {
    return text.find_first_not_of(" \t") == std::string_view::npos;
}

// An element of the file, in byte offsets: [open, end) is its whole markup.
struct Place {
    size_t open = 0;
    size_t close = 0; // '>' of the start tag, or '/' of "/>"
    size_t end = 0;
    bool emptyForm = false;
};

class ConfigFile {
public:
    explicit ConfigFile(const std::string& path) : path_(path), bytes_(ReadBytes(path)) {
        doc_.Load(path, "");
        eol_ = bytes_.find("\r\n") != std::string::npos ? "\r\n" : "\n";
        // Whether the parser counts a byte-order mark is its own affair; the tags decide.
        if (bytes_.compare(0, 3, kUtf8Mark) == 0)
            shift_ = 3;
    }

    DOMNode Select(const std::string& xpath) {
        doc_.GetElementValue(xpath, true);
        return doc_.CurrentNodeRef();
    }

    Place PlaceOf(const DOMNode& element, const std::string& name) {
        uint64_t open = 0, endOpen = 0;
        bool emptyForm = false;
        if (!ElementSourcePlaces(element, open, endOpen, emptyForm))
            Refuse(path_ + ": the places of its elements are not known.");
        for (const size_t shift : {size_t{0}, shift_}) {
            Place place;
            place.open = static_cast<size_t>(open) + shift;
            const size_t endTag = static_cast<size_t>(endOpen) + shift;
            place.emptyForm = emptyForm;
            if (bytes_.compare(place.open, name.size() + 1, "<" + name) != 0)
                continue;
            if (emptyForm && bytes_.compare(endTag, 2, "/>") == 0) {
                place.close = endTag;
                place.end = endTag + 2;
                return place;
            }
            if (!emptyForm && bytes_.compare(endTag, name.size() + 2, "</" + name) == 0) {
                place.close = bytes_.find('>', place.open);
                place.end = bytes_.find('>', endTag) + 1;
                return place;
            }
        }
        // Another encoding than UTF-8 moves the decoded offsets away from the bytes.
        Refuse(path_ + ": the file cannot be edited in place (is it UTF-8?).");
    }

    // The blanks before offset when they start its line, else nothing.
    std::optional<std::string> IndentBefore(size_t offset) const {
        const size_t lineStart = bytes_.rfind('\n', offset == 0 ? 0 : offset - 1);
        const size_t from = lineStart == std::string::npos ? 0 : lineStart + 1;
        const std::string_view before(bytes_.data() + from, offset - from);
        if (from == 0 || !Blank(before))
            return std::nullopt;
        return std::string(before);
    }

    const std::string& bytes() const { return bytes_; }
    std::string& bytes() { return bytes_; }
    const std::string& eol() const { return eol_; }
    void Save() { ReplaceFile(path_, bytes_); }

private:
    std::string path_;
    std::string bytes_;
    std::string eol_;
    size_t shift_ = 0;
    DOMWrapper doc_;
};

std::string NumberSelector(int32_t nNumber) {
    return "XML/Config[Number[.='" + ConfigNumberText(nNumber) + "']]";
}

std::string Element(const std::string& name, const std::string& value) {
    return "<" + name + ">" + EscapeContent(value, false) + "</" + name + ">";
}

} // namespace

int32_t NextConfigurationNumber(DOMWrapper& ConfigDoc) {
    int32_t highest = 0;
    for (const ConfigurationEntry& entry : ListConfigurations(ConfigDoc))
        highest = std::max(highest, entry.nNumber);
    return highest + 1;
}

std::string ConfigurationSaveTarget(const std::string& sInUse) {
    const QFileInfo inUse(QString::fromStdString(sInUse));
    if (inUse.isFile() && MayReplaceFile(sInUse) && QFileInfo(inUse.absolutePath()).isWritable())
        return sInUse;
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/ravlen";
    const std::string own = (folder + "/ravlen.lib").toStdString();
    if (!QFileInfo::exists(QString::fromStdString(own))) {
        if (!QDir().mkpath(folder))
            Refuse(folder.toStdString() + ": the folder cannot be made.");
        ReplaceFile(own, ReadBytes(sInUse));
    }
    // The file beside the executable is read first: a user's file would not be seen.
    if (ConfigurationFilePath() != own)
        Refuse(sInUse + ": the configuration file cannot be written.");
    return own;
}

std::string ConfigurationMarkup(const ConfigurationDraft& draft, const std::string& indent,
                                const std::string& step, const std::string& eol) {
    const std::string in1 = indent + step, in2 = in1 + step, in3 = in2 + step;
    std::string text = "<Config>" + eol;
    text += in1 + Element("Number", ConfigNumberText(draft.nNumber)) + eol;
    text += in1 + Element("Description", draft.sDescription) + eol;
    text += in1 + Element("Check_OriginalFile", draft.sCheckPath) + eol;
    if (draft.Fields.empty()) {
        text += in1 + "<Fields/>" + eol;
    } else {
        text += in1 + "<Fields>" + eol;
        for (const FieldInfo& field : draft.Fields) {
            text += in2 + "<Field>" + eol;
            text += in3 + Element("XPath", field.sPath) + eol;
            text += in3 + Element("Alias", field.sAlias) + eol;
            text += in2 + "</Field>" + eol;
        }
        text += in1 + "</Fields>" + eol;
    }
    return text + indent + "</Config>";
}

void WriteConfiguration(const std::string& sPath, const ConfigurationDraft& draft,
                        std::optional<int32_t> replacing) {
    ConfigFile file(sPath);
    std::string& bytes = file.bytes();
    const std::string& eol = file.eol();
    if (replacing) {
        const DOMNode config = file.Select(NumberSelector(*replacing));
        if (!config.IsSet())
            Refuse("No configuration has the number " + ConfigNumberText(*replacing) + ".");
        const Place place = file.PlaceOf(config, "Config");
        const std::string indent = file.IndentBefore(place.open).value_or("");
        const std::string step = indent.empty() ? "  " : indent;
        bytes.replace(place.open, place.end - place.open,
                      ConfigurationMarkup(draft, indent, step, eol));
        file.Save();
        return;
    }
    const DOMNode root = file.Select("/*");
    if (!root.IsSet())
        Refuse(sPath + ": no root element.");
    const std::string rootName = DescribeNode(root).sName;
    const Place rootPlace = file.PlaceOf(root, rootName);
    const std::string rootIndent = file.IndentBefore(rootPlace.open).value_or("");
    // Indented like the last child element, else a step deeper than the root.
    const DOMNode last = file.Select("/*/*[last()]");
    std::optional<std::string> indent;
    if (last.IsSet())
        indent = file.IndentBefore(file.PlaceOf(last, DescribeNode(last).sName).open);
    const std::string childIndent = indent.value_or(rootIndent + "  ");
    const std::string step =
        childIndent.size() > rootIndent.size() ? childIndent.substr(rootIndent.size()) : "  ";
    const std::string markup = ConfigurationMarkup(draft, childIndent, step, eol);
    if (rootPlace.emptyForm) {
        bytes.replace(rootPlace.close, 2,
                      ">" + eol + childIndent + markup + eol + rootIndent + "</" + rootName + ">");
    } else {
        const size_t endTag = bytes.rfind("</", rootPlace.end - 1);
        if (file.IndentBefore(endTag))
            bytes.insert(endTag - file.IndentBefore(endTag)->size(), childIndent + markup + eol);
        else
            bytes.insert(endTag, markup);
    }
    file.Save();
}

void DeleteConfiguration(const std::string& sPath, int32_t nNumber) {
    ConfigFile file(sPath);
    const DOMNode config = file.Select(NumberSelector(nNumber));
    if (!config.IsSet())
        Refuse("No configuration has the number " + ConfigNumberText(nNumber) + ".");
    const Place place = file.PlaceOf(config, "Config");
    std::string& bytes = file.bytes();
    size_t from = place.open, to = place.end;
    // Alone on its lines, the element takes its lines with it.
    if (const auto indent = file.IndentBefore(place.open)) {
        size_t after = bytes.find_first_not_of(" \t", to);
        if (after != std::string::npos &&
            bytes.compare(after, file.eol().size(), file.eol()) == 0) {
            from -= indent->size();
            to = after + file.eol().size();
        }
    }
    bytes.erase(from, to - from);
    file.Save();
}

#include "xml/DOMWrapper.h"

#include "common/Failure.h"
#include "common/FileReplace.h"
#include "common/FileStamp.h"
#include "common/Strings.h"
#include "xml/FileReader.h"
#include "xml/FullSave.h"
#include "xml/SourcePositions.h"
#include "xml/SpliceSave.h"
#include "xml/XmlDocHolder.h"
#include "xml/XmlPtr.h"
#include "xml/XmlText.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <libxml/encoding.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <libxml/xpathInternals.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

namespace {

// Short texts are kept inside their nodes rather than allocated apart: large files take
// noticeably less memory. libxml2's own edits and frees recognise such texts.
constexpr int kParseOptions = XML_PARSE_NOBLANKS | XML_PARSE_NONET | XML_PARSE_COMPACT;

std::string Chomp(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

// Passes what a save writes on to the file and tells how much has gone.
class ProgressWriter : public QIODevice {
public:
    ProgressWriter(QIODevice& device, const std::function<void(int64_t, int64_t)>& progress)
        : device_(device), progress_(progress) {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 length) override {
        const qint64 written = device_.write(data, length);
        if (written < 0) {
            setErrorString(device_.errorString());
            return written;
        }
        written_ += written;
        if (progress_)
            progress_(written_, 0);
        return written;
    }

private:
    QIODevice& device_;
    const std::function<void(int64_t, int64_t)>& progress_;
    int64_t written_ = 0;
};

// Entities stay references in the tree, so a small file can stand for gigabytes of text
// once a value is read. The text they expand to is counted and bounded at load.
constexpr size_t kMaxEntityText = 10 * 1024 * 1024;

// Text that the entity references among nodes and their descendants expand to, counted up
// to just past limit. Inside an entity (inEntity), plain text counts as well. Each reference
// counts one more, so that nested empty entities cannot make the count itself take forever.
size_t EntityTextSize(xmlNodePtr nodes, size_t limit, bool inEntity = false) {
    size_t total = 0;
    for (xmlNodePtr node = nodes; node && total <= limit; node = node->next) {
        if (node->type == XML_ENTITY_REF_NODE) {
            ++total;
            auto* entity = reinterpret_cast<xmlEntityPtr>(node->children);
            if (entity && entity->children)
                total += EntityTextSize(entity->children, limit - total, true);
            else if (entity && entity->content)
                total += static_cast<size_t>(xmlStrlen(entity->content));
        } else if (node->type == XML_ELEMENT_NODE) {
            total += EntityTextSize(node->children, limit - total, inEntity);
        } else if (inEntity && node->content) {
            total += static_cast<size_t>(xmlStrlen(node->content));
        }
    }
    return total;
}

bool StartsWithUtf16Mark(const QByteArray& bytes) {
    return bytes.size() >= 2 && ((static_cast<unsigned char>(bytes[0]) == 0xFF &&
                                  static_cast<unsigned char>(bytes[1]) == 0xFE) ||
                                 (static_cast<unsigned char>(bytes[0]) == 0xFE &&
                                  static_cast<unsigned char>(bytes[1]) == 0xFF));
}

// Whether markup written in this encoding can be read back: the parser finds the encoding
// only when "<?xml" comes out as ASCII or UTF-16 does. UTF-7 and EBCDIC do not.
bool WritesReadableMarkup(const xmlChar* encoding) {
    xmlCharEncodingHandlerPtr handler =
        xmlFindCharEncodingHandler(reinterpret_cast<const char*>(encoding));
    if (!handler)
        return false;
    const std::string probe = "<?xml version";
    OwnedBuffer in(xmlBufferCreate());
    OwnedBuffer out(xmlBufferCreate());
    bool readable = false;
    if (in && out &&
        xmlBufferAdd(in.get(), BAD_CAST probe.data(), static_cast<int>(probe.size())) == 0 &&
        xmlCharEncOutFunc(handler, out.get(), in.get()) >= 0) {
        std::string bytes(reinterpret_cast<const char*>(xmlBufferContent(out.get())),
                          static_cast<size_t>(xmlBufferLength(out.get())));
        if (bytes.rfind("\xFF\xFE", 0) == 0 || bytes.rfind("\xFE\xFF", 0) == 0)
            bytes.erase(0, 2);
        std::string utf16le, utf16be;
        for (char c : probe) {
            utf16le += {c, '\0'};
            utf16be += {'\0', c};
        }
        readable = bytes == probe || bytes == utf16le || bytes == utf16be;
    }
    xmlCharEncCloseFunc(handler);
    return readable;
}

} // namespace

std::optional<std::pair<std::string, std::string>> DOMWrapper::RootElement() const {
    const xmlNodePtr root = XmlDoc ? xmlDocGetRootElement(XmlDoc->doc) : nullptr;
    if (!root)
        return std::nullopt;
    std::string name = reinterpret_cast<const char*>(root->name);
    if (root->ns && root->ns->prefix)
        name = reinterpret_cast<const char*>(root->ns->prefix) + (":" + name);
    return std::pair(name, root->ns && root->ns->href
                               ? std::string(reinterpret_cast<const char*>(root->ns->href))
                               : std::string());
}

std::optional<FileStamp> DOMWrapper::LoadedStamp() const {
    if (!XmlDoc || !XmlDoc->source)
        return std::nullopt;
    return XmlDoc->source->stamp;
}

void DOMWrapper::SetProgress(std::function<void(int64_t, int64_t)> progress) {
    Progress = std::move(progress);
}

void DOMWrapper::Load(const std::string& sPath_File, const std::string& sNameSpace) {
    LoadFile(sPath_File, sNameSpace, nullptr);
}

void DOMWrapper::LoadFor(const std::string& sPath_File, const std::string& sNameSpace,
                         const std::vector<std::string>& paths) {
    // A document saved whole must hold all of the file.
    std::optional<PlainPaths> keep;
    if (!paths.empty() && SplicingEnabled())
        keep = PlainPaths::Compile(paths, sNameSpace);
    if (!keep) {
        LoadFile(sPath_File, sNameSpace, nullptr);
        return;
    }
    LoadFile(sPath_File, sNameSpace, &*keep);
    if (XmlDoc && XmlDoc->part)
        XmlDoc->part->paths.insert(paths.begin(), paths.end());
}

void DOMWrapper::LoadFile(const std::string& sPath_File, const std::string& sNameSpace,
                          const PlainPaths* keep) {
    std::string reason;
    std::string where;
    try {
        XmlDoc = XmlDocHolder::Create();
        QFile file(QString::fromStdString(sPath_File));
        if (QFileInfo(file).isDir()) {
            reason = "The path names a folder, not a file.";
            throw Failure(kErrXmlLibrary, reason);
        }
        // The reader takes large pieces itself: Qt's buffer would only copy them once more.
        if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            reason = file.errorString().toStdString();
            throw Failure(kErrXmlLibrary, reason);
        }
        // Refused before reading: the parser takes no more than this anyway.
        if (file.size() > std::numeric_limits<int>::max()) {
            reason = "The file is too large.";
            throw Failure(kErrXmlLibrary, reason);
        }
        const QFileInfo info(file);
        // Taken before reading: a file written meanwhile then differs from what was read.
        const std::optional<int64_t> modified = ModifiedTime(file.handle());
        OwnedParser parser(xmlNewParserCtxt());
        if (!parser)
            throw Failure(kErrXmlLibrary, "Out of memory");
        SourceRecorder recorder;
        recorder.keep = keep;
        RecordSourcePositions(parser.get(), recorder);
        FileReader reader{file, Progress, Stop, file.size(), {}};
        OwnedDoc parsed(xmlCtxtReadIO(parser.get(), FileReader::Read, nullptr, &reader,
                                      sPath_File.c_str(), nullptr, kParseOptions));
        if (reader.stopped) {
            reason = "Reading was stopped.";
            throw Failure(kErrXmlLibrary, reason);
        }
        if (reader.failed) {
            reason = file.errorString().toStdString();
            throw Failure(kErrXmlLibrary, reason);
        }
        if (!parsed || parser->wellFormed == 0) {
            const xmlError* error = xmlCtxtGetLastError(parser.get());
            reason = Chomp(error && error->message ? error->message
                                                   : "The document is not well-formed.");
            if (error && error->line > 0)
                where = "line " + std::to_string(error->line) + ", column " +
                        std::to_string(error->int2);
            throw Failure(kErrXmlLibrary, reason);
        }
        // Of the namespace faults, which the parser only reports, two attributes that are one
        // are refused: no selection could tell them apart.
        if (!parser->nsWellFormed && !(reason = RepeatedAttributeFault(parsed.get())).empty())
            throw Failure(kErrXmlLibrary, reason);
        parser.reset();
        // Entities are declared in a document type declaration; without one there are none.
        if (parsed->intSubset &&
            EntityTextSize(parsed->children, kMaxEntityText) > kMaxEntityText) {
            reason = "Entity references expand to more than " +
                     std::to_string(kMaxEntityText / (1024 * 1024)) + " MB of text.";
            throw Failure(kErrXmlLibrary, reason);
        }
        // A byte-order mark without a declaration: keep the file's encoding when saving.
        if (!parsed->encoding && StartsWithUtf16Mark(reader.head))
            parsed->encoding = xmlStrdup(BAD_CAST "UTF-16");
        XmlDoc->Replace(parsed.release());
        if (XmlDoc->doc->intSubset)
            XmlDoc->doctype = std::move(recorder.doctype);
        LoadedSource& source = XmlDoc->source.emplace();
        source.path = info.absoluteFilePath().toStdString();
        source.stamp = {reader.size, modified.value_or(0), static_cast<uint32_t>(reader.checksum)};
        source.encoding = recorder.encoding;
        if (recorder.dropped)
            XmlDoc->part = XmlDocHolder::Part{source.path, sNameSpace, {}, {}};

        if (!IsBlank(sNameSpace)) {
            std::vector<std::pair<std::string, std::string>> declarations;
            if (!ParseNamespaceDeclarations(sNameSpace, declarations))
                throw Failure(kErrXmlLibrary, "SelectionNamespaces property value is invalid.");
            XmlDoc->SetNamespaces(std::move(declarations));
        }
    } catch (const std::exception&) {
        RaiseInline("Load", sPath_File + "\r\nParse-Error : \r\n" + reason, where, reason);
    }
}

void DOMWrapper::Save(const std::string& sPath_File) {
    LastSaved.reset();
    try {
        if (Partial()) {
            if (!MayReplaceFile(sPath_File))
                throw Failure(kErrXmlLibrary, "Access is denied.");
            const QString target = QFileInfo(QString::fromStdString(sPath_File)).absoluteFilePath();
            if (XmlDoc->source && SaveSpliced(target)) {
                // The file holds the values now: a whole reading of it need not repeat them.
                if (XmlDoc->part->path == target.toStdString())
                    XmlDoc->part->writes.clear();
                return;
            }
            RequireWhole();
        }
        xmlDocPtr doc = RequireDoc();
        // Writing a document without content would replace a file with nothing.
        if (!xmlDocGetRootElement(doc))
            throw Failure(kErrObjectNotSet, kObjectNotSetText);
        const char* encoding = doc->encoding && WritesReadableMarkup(doc->encoding)
                                   ? reinterpret_cast<const char*>(doc->encoding)
                                   : "UTF-8";

        if (!MayReplaceFile(sPath_File))
            throw Failure(kErrXmlLibrary, "Access is denied.");
        const QString target = QFileInfo(QString::fromStdString(sPath_File)).absoluteFilePath();
        if (XmlDoc->source && SplicingEnabled() && SaveSpliced(target))
            return;
        // Written beside the target and renamed over it, so a failure leaves the old file.
        // The text goes straight into the file: no copy of the whole of it is held in memory.
        QSaveFile file(QString::fromStdString(sPath_File));
        if (!file.open(QIODevice::WriteOnly))
            throw Failure(kErrXmlLibrary, file.errorString().toStdString());
        try {
            ProgressWriter output(file, Progress);
            WriteWholeDocument(doc, encoding, XmlDoc->doctype, kParseOptions, output);
        } catch (const Failure&) {
            file.cancelWriting();
            throw;
        }
        if (!file.commit())
            throw Failure(kErrXmlLibrary, file.errorString().toStdString());
        if (XmlDoc->source && XmlDoc->source->path == target.toStdString())
            XmlDoc->source.reset();
    } catch (const std::exception& e) {
        RaiseInline("Save", sPath_File, e.what());
    }
}

bool DOMWrapper::SaveSpliced(const QString& target) {
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly))
        throw Failure(kErrXmlLibrary, file.errorString().toStdString());
    SpliceResult result;
    ProgressWriter output(file, Progress);
    if (!SpliceSave(XmlDoc->doc, *XmlDoc->source, output, result)) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit())
        throw Failure(kErrXmlLibrary, file.errorString().toStdString());
    const int64_t modified = ModifiedTime(target).value_or(0);
    LastSaved = FileStamp{result.size, modified, result.checksum};
    // Saved under another name, the loaded file stays as it was and serves the next save.
    if (XmlDoc->source->path == target.toStdString() &&
        !RebaseSource(XmlDoc->doc, *XmlDoc->source, result, target.toStdString(), modified))
        XmlDoc->source.reset();
    return true;
}

#pragma once

// The fast path against libxml2's full evaluation. From the input it builds a document
// (namespaces, a default namespace, mixed content, sometimes hundreds of children under one
// parent), loads it with a selection list, and then runs a sequence of edits through
// DOMWrapper (moves and removals among them) mixed with comparisons: for a path inside or
// just outside the fast subset, from the document, CurrentNode or WorkNode, the fast path's
// node-set must equal libxml2's, and both must be in true document order, found by walking
// the tree rather than trusting the order numbers that Load gives the elements. The
// wrapper's own readers must then give the same nodes.
#include "FuzzSupport.h"

#include "common/Failure.h"
#include "xml/DOMWrapper.h"
#include "xml/XmlDocHolder.h"

#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace fuzz::xpathdiff {

namespace {

const char* const kDeclarations[] = {
    "xmlns:FD='http://www.ridorudu.org/namespace/RidoRudu' xmlns:d='urn:d' xmlns:o='urn:o' "
    "xmlns:rr='http://www.ridorudu.org/namespace/RidoRudu'",
    "xmlns:FD='http://www.ridorudu.org/namespace/RidoRudu'",
    "xmlns:rr='http://www.ridorudu.org/namespace/RidoRudu' xmlns:o='urn:o' "
    "xmlns:FD='http://www.ridorudu.org/namespace/RidoRudu' xmlns:d='urn:d'",
    "xmlns:FD='http://www.ridorudu.org/namespace/RidoRudu' xmlns:o='urn:o' "
    "xmlns:xml='http://www.w3.org/XML/1998/namespace' xmlns:d='urn:d'",
    "xmlns:FD='http://www.ridorudu.org/namespace/RidoRudu' xmlns:FD='urn:o'",
    "xmlns:e='' xmlns:FD='http://www.ridorudu.org/namespace/RidoRudu'",
    "xmlns:xml='urn:o'",
    "",
};

const char* const kElementNames[] = {
    "FD:Datas", "FD:Field", "FD:Field", "Field", "rr:Field", "o:Field",
    "a",        "b",        "text",     "div",   "\xC3\xA9", "a\xE2\x82\xAC",
};

const char* const kAttributeNames[] = {"Name",  "FD:Name",  "rr:Name", "o:Name",
                                       "Table", "xml:lang", "x"};

const char* const kValues[] = {"A", "B", "T1", "", "Gr\xC3\xB6\xC3\x9F", "a b", "de", "&amp;"};

// Paths are made mostly from what the documents hold, and now and then from what lies just
// outside the fast subset or is no valid path at all.
const char* const kNameTests[] = {"FD:Field", "FD:Field", "FD:Field", "FD:Datas", "FD:Datas",
                                  "Field",    "*",        "*",        "a",        "b",
                                  "o:Field",  "d:Field",  "rr:Field"};
const char* const kEdgeNameTests[] = {
    "text", "div",   "q:Field", "\xC3\xA9",  "a\xE2\x82\xAC",   "a\xC3\x97",
    "FD:*", "xml:x", "node()",  "comment()", "child::FD:Field", "self::*"};
const char* const kOtherSteps[] = {".",      "..",      "@Name",  "@FD:Name",
                                   "@Table", "@o:Name", "text()", "@rr:Name"};
const char* const kEdgeOtherSteps[] = {"@xml:lang", "@*", "..[1]", "@Name[1]", "text()[1]", "@x"};
const char* const kPredicates[] = {"[@Name='A']",
                                   "[@Name='B']",
                                   "[@FD:Name='A']",
                                   "[@Table='T1']",
                                   "[@o:Name=\"B\"]",
                                   "[ @Table = 'T1' ]",
                                   "[1]",
                                   "[2]",
                                   "[3]",
                                   "[@Name='A'][2]",
                                   "[2][@Name='B']",
                                   "[@Name='']"};
const char* const kEdgePredicates[] = {"[257]",
                                       "[01]",
                                       "[last()]",
                                       "[@Name]",
                                       "[@Name='Gr\xC3\xB6\xC3\x9F']",
                                       "[@x='a\x01']",
                                       "[@Name='a b']",
                                       "[0]",
                                       "[1 ]",
                                       "[@xml:lang='de']",
                                       "[@Name='&']",
                                       "[\n1]",
                                       "[@Name='a\x80']",
                                       "[1000000000]",
                                       "[@Name=concat('A','')]"};

// Bytes that sit on the edges of the fast parser's grammar.
const char kMutations[] = {'\x80', '\xC3', '\x01', '\'', '"', '[', ']', ' ', ':',
                           '/',    '\t',   '\n',   '@',  '.', '*', '1', 'a', '\0'};

const char* const kRelativePaths[] = {"*[1]",   "FD:Field", ".//FD:Field[@Name='A']",
                                      "text()", "*",        "node()[2]"};

const char* const kNodeTexts[] = {
    "<FD:Field xmlns:FD='http://www.ridorudu.org/namespace/RidoRudu' Name='A'>n</FD:Field>",
    "<FD:Field Name='U'>u</FD:Field>",
    "<a Name='A'><b/>t<FD:Datas xmlns:FD='http://www.ridorudu.org/namespace/RidoRudu'/></a>",
    "<Field xmlns='urn:d' Name='B'/>",
    "<!-- c --><a/>",
    "<x xmlns:p='urn:o' xmlns:q='urn:o' p:Name='A' q:Name='B'/>",
};

class Decoder {
public:
    Decoder(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool More() const { return pos_ < size_; }
    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    int Pick(int count) { return static_cast<int>(Byte() % static_cast<unsigned>(count)); }
    bool Flag() { return (Byte() & 1) != 0; }
    template <size_t N> const char* From(const char* const (&pool)[N]) {
        return pool[Pick(static_cast<int>(N))];
    }
    std::string Bytes(size_t limit) {
        std::string text;
        const size_t length = static_cast<size_t>(Pick(static_cast<int>(limit) + 1));
        while (text.size() < length && More())
            text += static_cast<char>(Byte());
        return text;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// ---------------------------------------------------------------------------------------
// Documents

class DocumentBuilder {
public:
    explicit DocumentBuilder(Decoder& in) : in_(in) {}

    std::string Build() {
        std::string root =
            "<FD:Flow xmlns:FD='" + std::string(kRidoRuduNamespace) + "' xmlns:o='urn:o'";
        if (in_.Pick(4) == 0)
            root += " xmlns:rr='" + std::string(kRidoRuduNamespace) + "'";
        if (in_.Flag())
            root += " xmlns='urn:d'";
        out_ = "<?xml version='1.0'?>" + root + " Version='1'>";
        Children(0);
        out_ += "</FD:Flow>";
        return out_;
    }

private:
    void Children(int depth) {
        int count = depth == 0 ? 1 + in_.Pick(4) : in_.Pick(5);
        bool wide = false;
        if (!wideDone_ && in_.Pick(12) == 0) {
            // Past the size at which the fast path indexes a parent's children.
            count = 250 + in_.Pick(60);
            wide = wideDone_ = true;
        }
        for (int i = 0; i < count; ++i) {
            if (wide) {
                Element(depth, true);
                continue;
            }
            switch (in_.Pick(10)) {
            case 0:
                out_ += "t" + std::to_string(i);
                break;
            case 1:
                out_ += "<![CDATA[c]]>";
                break;
            case 2:
                out_ += "<!--c-->";
                break;
            case 3:
                out_ += "<?p x?>";
                break;
            default:
                Element(depth, false);
            }
        }
    }

    // Mostly the data sets and fields of a data file, so that paths find something.
    void Element(int depth, bool leaf) {
        static const char* const kUsual[] = {"FD:Datas", "FD:Field", "FD:Field"};
        const bool usual = in_.Pick(4) != 0;
        const std::string name = usual ? kUsual[std::min(depth, 2)] : in_.From(kElementNames);
        out_ += "<" + name;
        std::set<std::string> used;
        if (usual) {
            static const char* const kKeys[] = {"A", "B", "T1"};
            const std::string key = depth == 0 ? "Table" : "Name";
            used.insert(key);
            out_ += " " + key + "='" + kKeys[in_.Pick(3)] + "'";
        }
        for (int n = in_.Pick(4) == 0 ? 1 + in_.Pick(3) : 0; n > 0; --n) {
            const std::string attribute = in_.From(kAttributeNames);
            if (used.insert(attribute).second)
                out_ += " " + attribute + "='" + in_.From(kValues) + "'";
        }
        if (leaf || depth >= 4 || --budget_ <= 0) {
            out_ += in_.Pick(3) == 0 ? "/>" : ">v</" + name + ">";
            return;
        }
        out_ += ">";
        Children(depth + 1);
        out_ += "</" + name + ">";
    }

    Decoder& in_;
    std::string out_;
    int budget_ = 80;
    bool wideDone_ = false;
};

// ---------------------------------------------------------------------------------------
// Paths

template <size_t N, size_t M>
const char* Either(Decoder& in, const char* const (&common)[N], const char* const (&edge)[M]) {
    return in.Pick(24) == 0 ? in.From(edge) : in.From(common);
}

std::string Step(Decoder& in) {
    if (in.Pick(4) == 0)
        return Either(in, kOtherSteps, kEdgeOtherSteps);
    std::string step = Either(in, kNameTests, kEdgeNameTests);
    for (int n = in.Pick(8) == 0 ? 2 : in.Pick(3) == 0; n > 0; --n)
        step += Either(in, kPredicates, kEdgePredicates);
    return step;
}

std::string Path(Decoder& in) {
    if (in.Pick(32) == 0)
        return in.Bytes(40);
    static const char* const kStarts[] = {"",   "/FD:Flow/", "/*/", "//",         "//",
                                          "./", ".//",       "../", "/FD:Flow//", "/"};
    std::string path = in.From(kStarts);
    for (int n = 1 + in.Pick(3), i = 0; i < n; ++i) {
        if (i > 0)
            path += in.Pick(4) == 0 ? "//" : "/";
        // From the document, the first step meets the root element.
        const bool fromDocument = path.empty() || path == "/";
        path += fromDocument && in.Flag() ? (in.Flag() ? "FD:Flow" : "*") : Step(in);
    }
    if (in.Pick(16) == 0)
        path += " | //" + Step(in);
    if (in.Pick(16) == 0) {
        const size_t at = static_cast<size_t>(in.Pick(static_cast<int>(path.size()) + 1));
        path.insert(at, 1, kMutations[in.Pick(sizeof kMutations)]);
    }
    return path;
}

// An element or other node by position, for the edits that need one to exist.
std::string Address(Decoder& in) {
    if (in.Pick(4) == 0)
        return Path(in);
    std::string path = "/*";
    for (int n = 1 + in.Pick(3); n > 0; --n)
        path += (in.Pick(4) == 0 ? "/node()[" : "/*[") + std::to_string(1 + in.Pick(4)) + "]";
    return path;
}

// ---------------------------------------------------------------------------------------
// The comparison

std::string Describe(xmlNodePtr node) {
    if (!node)
        return "(none)";
    std::string text = "type " + std::to_string(node->type);
    if (node->name && node->type != XML_DOCUMENT_NODE)
        text += " " + std::string(reinterpret_cast<const char*>(node->name));
    if (node->type == XML_ELEMENT_NODE || node->type == XML_ATTRIBUTE_NODE) {
        xmlChar* content = xmlNodeGetContent(node);
        text += " '" +
                std::string(content ? reinterpret_cast<const char*>(content) : "").substr(0, 20) +
                "'";
        xmlFree(content);
    }
    return text;
}

std::string Describe(const std::vector<xmlNodePtr>& nodes) {
    std::string text = std::to_string(nodes.size()) + " nodes:";
    for (size_t i = 0; i < nodes.size() && i < 12; ++i)
        text += "\n  " + Describe(nodes[i]);
    return text;
}

xmlNodePtr TreeTop(xmlNodePtr node) {
    while (node->parent)
        node = node->parent;
    return node;
}

// The place of a node in its tree, from the tree's top down: positions among siblings,
// attributes after their element and before its children. Nothing cached is used.
std::vector<long> Place(xmlNodePtr node) {
    std::vector<long> place;
    for (; node->parent; node = node->parent) {
        long index = 0;
        for (xmlNodePtr n = node->prev; n; n = n->prev)
            ++index;
        place.push_back(node->type == XML_ATTRIBUTE_NODE ? LONG_MIN / 2 + index : index);
    }
    std::reverse(place.begin(), place.end());
    return place;
}

// Puts the nodes in true document order; false when they lie in more than one tree (a node
// taken out of the document and the document itself) and so have no order.
bool SortTruly(std::vector<xmlNodePtr>& nodes) {
    if (nodes.empty())
        return true;
    const xmlNodePtr top = TreeTop(nodes.front());
    if (!std::all_of(nodes.begin(), nodes.end(), [&](xmlNodePtr n) { return TreeTop(n) == top; }))
        return false;
    std::vector<std::pair<std::vector<long>, xmlNodePtr>> keyed;
    for (xmlNodePtr n : nodes)
        keyed.emplace_back(Place(n), n);
    std::sort(keyed.begin(), keyed.end());
    for (size_t i = 0; i < nodes.size(); ++i)
        nodes[i] = keyed[i].second;
    return true;
}

struct Reference {
    bool valid = false;             // a node-set, without an error
    std::vector<xmlNodePtr> sorted; // as libxml2 sorts it
};

// libxml2's full evaluation in a context of its own, with the holder's bindings.
Reference FullEvaluation(XmlDocHolder& holder, const std::string& path, xmlNodePtr context) {
    Reference reference;
    if (path.find('\0') != std::string::npos)
        return reference;
    xmlXPathContextPtr ctxt = xmlXPathNewContext(holder.doc);
    for (const auto& [prefix, uri] : holder.namespaces)
        xmlXPathRegisterNs(ctxt, BAD_CAST prefix.c_str(), BAD_CAST uri.c_str());
    ctxt->node = context;
    xmlXPathObjectPtr result = xmlXPathEvalExpression(BAD_CAST path.c_str(), ctxt);
    if (result && result->type == XPATH_NODESET) {
        reference.valid = true;
        if (xmlNodeSetPtr set = result->nodesetval) {
            xmlXPathNodeSetSort(set);
            for (int i = 0; i < set->nodeNr; ++i) {
                if (set->nodeTab[i]->type != XML_NAMESPACE_DECL)
                    reference.sorted.push_back(set->nodeTab[i]);
            }
        }
    }
    xmlXPathFreeObject(result);
    xmlXPathFreeContext(ctxt);
    return reference;
}

std::string Content(xmlNodePtr node) {
    xmlChar* content = xmlNodeGetContent(node);
    std::string text = content ? reinterpret_cast<const char*>(content) : "";
    xmlFree(content);
    return text;
}

[[noreturn]] void Mismatch(const char* what, const std::string& path, xmlNodePtr context,
                           const std::vector<xmlNodePtr>& got,
                           const std::vector<xmlNodePtr>& expected) {
    std::string detail = "path: " + path + "\ncontext: " + Describe(context) + "\ngot " +
                         Describe(got) + "\nexpected " + Describe(expected);
    xmlChar* dump = nullptr;
    int size = 0;
    xmlDocDumpMemory(context->doc, &dump, &size);
    if (dump)
        detail +=
            "\ndocument:\n" + std::string(reinterpret_cast<const char*>(dump)).substr(0, 4000);
    xmlFree(dump);
    fuzz::Fail(what, detail);
}

class Session {
public:
    Session(Decoder& in, DOMWrapper& dom) : in_(in), dom_(dom) {}

    void Compare() {
        const std::string path = Path(in_);
        xmlNodePtr context = reinterpret_cast<xmlNodePtr>(dom_.Document());
        const int which = in_.Pick(3);
        if (which == 1 && dom_.CurrentNodeRef().IsSet())
            context = dom_.CurrentNodeRef().get();
        else if (which == 2 && dom_.WorkNodeRef().IsSet())
            context = dom_.WorkNodeRef().get();
        if (!context)
            return;
        XmlDocHolder* holder = XmlDocHolder::Of(context);
        const Reference reference = FullEvaluation(*holder, path, context);
        std::vector<xmlNodePtr> truth = reference.sorted;
        const bool ordered = SortTruly(truth);

        if (const FastXPath::Path* fast = holder->FastPath(path)) {
            if (!reference.valid)
                Mismatch("the fast path takes a path libxml2 refuses", path, context, {}, {});
            const std::vector<xmlNodePtr> got = holder->Fast().Evaluate(*fast, context);
            std::vector<xmlNodePtr> gotSet = got, expectedSet = truth;
            std::sort(gotSet.begin(), gotSet.end());
            std::sort(expectedSet.begin(), expectedSet.end());
            if (gotSet != expectedSet)
                Mismatch("the fast path selects other nodes than libxml2", path, context, got,
                         truth);
            if (ordered && got != truth)
                Mismatch("the fast path gives its nodes out of document order", path, context, got,
                         truth);
        }
        if (reference.valid && ordered)
            CheckWrapper(path, context, truth);
    }

    // An edit or a move of the cursors (or nothing), through the wrapper.
    void Edit() {
        switch (in_.Pick(24)) {
        case 0:
            dom_.GetElementValue(Path(in_), true);
            break;
        case 18: {
            // Takes the node just read out of the tree, so that it stays as a context.
            const std::string address = Address(in_);
            dom_.GetElementValue(address, true);
            if (in_.Flag())
                dom_.GetNodeList(address);
            dom_.RemoveNode(address + "/..", address);
            break;
        }
        case 1:
            dom_.GetElementValue(Address(in_), true);
            break;
        case 2: {
            const std::string parent = Address(in_);
            dom_.RemoveNode(parent, parent + "/node()[" + std::to_string(1 + in_.Pick(4)) + "]");
            break;
        }
        case 3:
            dom_.RemoveNodes(Address(in_), in_.From(kRelativePaths));
            break;
        case 4:
        case 5:
            dom_.AppendChildNodefromNode(Address(in_),
                                         in_.Flag() ? dom_.CurrentNodeRef() : dom_.WorkNodeRef());
            break;
        case 6:
            if (++copies_ <= 4)
                dom_.CloneNodes(Address(in_), Address(in_));
            break;
        case 7:
            dom_.AppendNode(Address(in_), in_.From(kElementNames), in_.From(kValues),
                            in_.Flag() ? "Name;Table" : "x", in_.Flag() ? "A;T1" : "B", in_.Flag());
            break;
        case 8:
            dom_.AppendChildNodefromText(Address(in_), in_.From(kNodeTexts));
            break;
        case 9:
            dom_.SetAttributes(in_.Flag() ? Path(in_) : Address(in_), in_.Pick(3),
                               in_.From(kValues));
            break;
        case 10:
            dom_.SetElementValue(Address(in_), in_.From(kValues));
            break;
        case 11:
            dom_.PosNode(in_.Flag() ? "Field" : "Datas", in_.Flag());
            break;
        case 12:
            dom_.GetNextElemName();
            break;
        case 13:
            dom_.AddNode(in_.From(kElementNames));
            break;
        case 14:
            if (++copies_ <= 4)
                dom_.CloneNode();
            break;
        case 15:
            if (in_.Flag())
                dom_.AddField(in_.From(kValues), "A", in_.From(kValues));
            else
                dom_.AddDatas(in_.From(kValues));
            break;
        case 16:
            if (in_.Pick(8) == 0)
                dom_.ClearAllNodes();
            break;
        case 17: {
            const std::string path = fuzz::WorkDir() + "/diff-saved.xml";
            dom_.Save(path);
            dom_.Load(path, declarations_);
            break;
        }
        default:
            break;
        }
    }

    std::string declarations_;

private:
    // The wrapper's own readers select through the same code; they must find the same.
    void CheckWrapper(const std::string& path, xmlNodePtr context,
                      const std::vector<xmlNodePtr>& truth) {
        if (context == reinterpret_cast<xmlNodePtr>(dom_.Document())) {
            try {
                dom_.GetNodeList(path);
            } catch (const Failure&) {
                Mismatch("GetNodeList fails where libxml2 selects", path, context, {}, truth);
            }
            if (dom_.NodeCount() != static_cast<int32_t>(truth.size()))
                Mismatch("GetNodeList counts otherwise", path, context, {}, truth);
            for (size_t i = 0; i < truth.size() && i < 24; ++i, dom_.NodeMoveNext()) {
                if (dom_.NodeText() != Content(truth[i]))
                    Mismatch("GetNodeList reads another node", path, context, {truth[i]}, truth);
            }
        } else if (context == dom_.CurrentNodeRef().get()) {
            const bool found = dom_.CheckElementByName(path);
            if (found != !truth.empty())
                Mismatch("CheckElementByName answers otherwise", path, context, {}, truth);
            std::string text;
            try {
                text = found ? dom_.GetElementByName(path) : "";
            } catch (const Failure&) {
                Mismatch("GetElementByName fails where libxml2 selects", path, context, {}, truth);
            }
            if (found && text != Content(truth.front()))
                Mismatch("GetElementByName reads another node", path, context, {}, truth);
        }
    }

    Decoder& in_;
    DOMWrapper& dom_;
    int copies_ = 0;
};

} // namespace

inline void SetUp() {
    fuzz::SilenceMessageBoxes();
}

inline void RunOne(const uint8_t* data, size_t size) {
    Decoder in(data, size);
    // The lists that Load refuses come last; most inputs get one that loads.
    const std::string declarations =
        in.Pick(4) == 0 ? in.From(kDeclarations) : kDeclarations[in.Pick(4)];
    const std::string document = DocumentBuilder(in).Build();
    DOMWrapper dom;
    try {
        dom.Load(fuzz::WriteFile("diff-input.xml", document), declarations);
    } catch (const Failure&) {
        return;
    }
    Session session(in, dom);
    session.declarations_ = declarations;
    for (int step = 0; step < 48 && in.More(); ++step) {
        try {
            session.Edit();
        } catch (const Failure&) {
        }
        for (int n = 1 + in.Pick(3); n > 0; --n)
            session.Compare();
    }
}

} // namespace fuzz::xpathdiff

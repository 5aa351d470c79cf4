#pragma once

#include "common/AnyValue.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct XmlDocHolder;
class QString;
// libxml2's node and document pointers, declared as its tree.h declares them.
struct _xmlNode;
struct _xmlDoc;
typedef struct _xmlNode* xmlNodePtr;
typedef struct _xmlDoc* xmlDocPtr;

// A reference to a node that keeps the node's document alive, so it never dangles: a
// document replaced by Load or NewDoc lives on while any reference still points into it,
// and nodes taken out of the tree are kept until their document goes.
class DOMNode {
public:
    DOMNode() = default;
    DOMNode(std::shared_ptr<XmlDocHolder> doc, xmlNodePtr node);

    bool IsSet() const { return node_ != nullptr; }
    xmlNodePtr get() const { return node_; }
    const std::shared_ptr<XmlDocHolder>& holder() const { return doc_; }
    void Reset() { *this = DOMNode(); }

private:
    std::shared_ptr<XmlDocHolder> doc_;
    xmlNodePtr node_ = nullptr;
};

// Owns one XML document and offers path-addressed reads and edits, a node-list cursor,
// current-node navigation and RidoRudu record building. Failures follow the class's
// convention: most raise Failure 60000 with a description naming the operation and its
// arguments.
class DOMWrapper {
public:
    DOMWrapper();
    ~DOMWrapper();
    DOMWrapper(const DOMWrapper&) = delete;
    DOMWrapper& operator=(const DOMWrapper&) = delete;

    void Load(const std::string& sPath_File, const std::string& sNameSpace = "");
    void Save(const std::string& sPath_File);
    void CloneNodes(const std::string& sPathSourceNode, const std::string& sPathTargetNode);
    void RemoveNode(const std::string& sPathParentNode, const std::string& sPathChildNode);
    void RemoveNodes(const std::string& sPathParentNode, const std::string& sPathChildren);
    void SetAttributes(const std::string& sPath, int32_t nIndex, const std::string& sValue);
    void AppendNode(const std::string& sPath, const std::string& sNodename,
                    const std::string& sValue = "", const std::string& sAttributNamen = "",
                    const std::string& sAttributWerte = "", bool bSameLevel = false);
    void AppendChildNodefromText(const std::string& sPath, const std::string& sNodeText,
                                 const std::string& sNameSpace = "");
    void AppendChildNodefromNode(const std::string& sPath, const DOMNode& ChildNode);
    std::string GetElementValue(const std::string& sElement, bool bOptional);
    void SetElementValue(const std::string& sElement, const AnyValue& sValue);
    void GetNodeList(const std::string& sXPath);
    int32_t NodeCount() const;
    bool NodeEOF() const;
    void NodeMoveNext();
    std::string NodeText() const;
    std::string SubNodeText(const std::string& sSubNode) const;
    bool ClearAllNodes();
    std::string NewDoc(const std::string& elementname);
    int16_t CountElementsByTagName(const std::string& element);
    std::string GetElementByTagName(const std::string& element, int16_t itemnum);
    std::string GetChild(const std::string& sFieldName);
    std::string GetField();
    bool PosNode(const std::string& sNodename, const bool& bPreserve = false);
    bool SetChild(const std::string& sFieldName, const std::string& sValue);
    bool AddNode(const std::string& sNodename);
    bool CloneNode();
    std::string GetNextElemName();
    bool IsFirstNode() const;
    void Flow_Property();
    std::string GetElementByName(const std::string& qu_path_name);
    std::string SetElementByName(const std::string& qu_path_name, const std::string& newvalue);
    bool PosNodeByName(const std::string& sNodename, const std::string& sNameAttr,
                       const bool& bPreserve = false);
    bool AddField(const std::string& sName, const AnyValue& sFlowType, const AnyValue& sValue);
    bool AddDatas(const std::string& sName);
    bool HasChilds() const;
    bool CheckElementByName(const std::string& qu_path_name);
    std::string GetXML() const;
    bool GetAttribut(const std::string& sAttributName, std::string& sType);
    bool PosNodeByAttribut(const std::string& sNodename, const std::string& sNameAttr,
                           const std::string& sValAttr, const bool& bPreserve = false);
    int16_t GetAnzChilds();
    std::string GetElementValue2(std::string& sValue, bool& bFound, const std::string& sElement,
                                 bool bOptional);

    // Read-only views of the state, for callers that hand nodes back in and for tests.
    xmlDocPtr Document() const;
    const DOMNode& CurrentNodeRef() const { return CurrentNode; }
    const DOMNode& WorkNodeRef() const { return WorkNode; }
    int32_t NodePosition() const { return nNodePos; }

private:
    struct NodeListData {
        std::shared_ptr<XmlDocHolder> doc;
        std::vector<xmlNodePtr> nodes;
    };

    std::shared_ptr<XmlDocHolder> XmlDoc;
    DOMNode CurrentNode;
    DOMNode WorkNode;
    std::unique_ptr<NodeListData> NodeList;
    int32_t nNodePos = 0;

    // --- Shared internals (DOMWrapper.cpp) ---

    // The document, or Failure(kErrObjectNotSet) when there is none.
    xmlDocPtr RequireDoc() const;
    // The reference wrapped for the current document.
    DOMNode Ref(xmlNodePtr node) const;
    // First node in document order that the XPath selects from context (the document node
    // when context is null). Unset when nothing is selected. Throws Failure for an invalid
    // expression or a result that is not a node-set.
    DOMNode SelectFirst(const std::string& path, xmlNodePtr context = nullptr) const;
    // First node the path selects from CurrentNode; Failure when there is none.
    xmlNodePtr SelectFromCurrent(const std::string& path) const;
    // Every selected node, in document order.
    std::vector<xmlNodePtr> SelectAll(const std::string& path, xmlNodePtr context = nullptr) const;
    // Takes a node out of its tree and keeps it until its document goes. Unless it goes
    // as part of a value being written, the document's structure has changed.
    static void Discard(xmlNodePtr node, bool structural = true);
    // Replaces a node's content by one text node holding value exactly (no entity parsing).
    static void WriteText(xmlNodePtr node, const std::string& value);
    // Text content, as the node's text property gives it.
    static std::string TextOf(xmlNodePtr node);
    // Name without prefix; empty for non-element, non-attribute nodes.
    static std::string LocalName(xmlNodePtr node);
    // Appends child as the last child of parent, importing a copy when the child belongs to
    // another document. Refuses a second root element.
    void AppendChild(xmlNodePtr parent, xmlNodePtr child);
    // Save by copying the loaded file with the written values replaced; false when the
    // document cannot be saved so. Throws Failure when the target cannot be written.
    bool SaveSpliced(const QString& target);
    // The document-order step: moves CurrentNode to the next element and returns it.
    DOMNode StepDocumentOrder();

    // Raise the class error in the inline or the list form; detail goes to Failure::detail.
    [[noreturn]] static void RaiseInline(const char* operation, const std::string& argument,
                                         const std::string& detail = {});
    [[noreturn]] static void RaiseList(const char* operation,
                                       const std::vector<std::string>& arguments);
    // Message box "number: description" with the application's title.
    static void ShowFailureBox(const std::exception& e);

    // --- Helpers of the edit and navigation operations (DOMWrapperEdit.cpp,
    // DOMWrapperNavigation.cpp) ---

    // A new, unlinked element of doc bearing name whole (a prefix stays part of the name; no
    // namespace). Throws Failure for a name that is not a valid XML name.
    static xmlNodePtr NewElement(xmlDocPtr doc, const std::string& name);
    // Appends a node made by the caller; frees it when the append fails.
    void AppendNew(xmlNodePtr parent, xmlNodePtr fresh);
    // Appends a deep copy of source as the last child of parent.
    void AppendCopy(xmlNodePtr source, xmlNodePtr parent);
    // CurrentNode's node, or Failure(kErrObjectNotSet) when it is unset.
    xmlNodePtr RequireCurrent() const;
    // The search loop of PosNode, PosNodeByName and PosNodeByAttribut.
    template <class Test>
    bool SearchForward(const std::string& sNodename, bool bPreserve, Test accepts);
};

// The RidoRudu namespace and the selection declaration that binds FD to it.
inline constexpr const char* kRidoRuduNamespace = "http://www.ridorudu.org/namespace/RidoRudu";
inline const std::string kRidoRuduDeclaration =
    std::string("xmlns:FD='") + kRidoRuduNamespace + "'";

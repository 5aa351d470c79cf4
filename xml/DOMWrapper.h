#pragma once

#include "common/AnyValue.h"
#include "common/FileStamp.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
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
// current-node navigation and RidoRudu record building.
//
// Each operation fails in one of four styles, named in its comment:
//   error      the class error: Failure 60000 whose description names the operation and its
//              arguments (inline or list form);
//   box        a message box with the application's title and the failure's description
//              ("number: description" where noted), then a default result;
//   silent     a default result without any message;
//   passed on  the underlying Failure reaches the caller unchanged.
// Nothing is undone before a failure. Paths are XPath 1.0; "select" takes the first match in
// document order. An operation leaves CurrentNode, WorkNode and the node list (NodeList,
// nNodePos) alone unless its comment says otherwise, so after Load or NewDoc they may still
// lead into the previous document.
class PlainPaths;

class DOMWrapper {
public:
    DOMWrapper();
    ~DOMWrapper();
    DOMWrapper(const DOMWrapper&) = delete;
    DOMWrapper& operator=(const DOMWrapper&) = delete;

    // error; the last line is the parser's reason (Failure::detail has line and column).
    // Replaces the document first, so after a failure it is an empty one.
    void Load(const std::string& sPath_File, const std::string& sNameSpace = "");
    // Load for reading and writing through paths. When each of them is a path of plain steps
    // from the document (such as FD:RidoRudu/FD:Datas[@Table='T']/FD:Field[@Name='F'], as
    // configurations mostly hold), only the elements they select and those on their way are
    // kept, so that a large file takes a fraction of the memory. GetElementValue, GetElementValue2
    // and SetElementValue with those paths, ClearAllNodes, Save and the stamp work as after Load.
    // Anything else, and a save that cannot copy the file with the written values put in,
    // first reads the whole file again and repeats on it what was done.
    void LoadFor(const std::string& sPath_File, const std::string& sNameSpace,
                 const std::vector<std::string>& paths);
    // Whether elements of the loaded file were left out.
    bool Partial() const;
    // error, also without a document or root element; replaces the file atomically.
    void Save(const std::string& sPath_File);
    // The file the document was loaded from, as it was read, or as a save in place left it;
    // nothing for a document that is not, or no longer, a copy of a file's bytes.
    std::optional<FileStamp> LoadedStamp() const;
    // The stamp of the file the last Save wrote, when the save knows it without reading the
    // file again (it copied the loaded file with the values put in).
    std::optional<FileStamp> SavedStamp() const { return LastSaved; }
    // The root element's qualified name and namespace URI ("" for none); nothing without a
    // root element.
    std::optional<std::pair<std::string, std::string>> RootElement() const;
    // Told how far Load has read and Save has written, in bytes, as the work goes on; total
    // is 0 when not known beforehand. Called on the caller's thread from inside the XML
    // library, so it must not throw; empty to stop.
    void SetProgress(std::function<void(int64_t done, int64_t total)> progress);
    // While set, Load gives up soon after *stop turns true, with the class error. For a reader
    // on another thread; null to read to the end.
    void SetStop(const std::atomic<bool>* stop) { Stop = stop; }
    // From now on the box-style failures raise their failure instead of showing a box, so
    // that the document can be used where no message box may be shown (a worker thread).
    void RaiseInsteadOfBoxes() { bBoxesAsErrors = true; }
    // Sets up the XML library for every thread; call once on the main thread before any other
    // thread uses a document. Documents call it themselves when none did.
    static void SetUpLibrary();
    // From now on a document that goes is left to the system instead of being freed node by
    // node, for a process that is about to end. Not under the sanitizers, which look for
    // leaks at the end.
    static void LeaveDocumentsToTheSystem();
    // error (list form). Appends a deep copy of the source node to the target node.
    void CloneNodes(const std::string& sPathSourceNode, const std::string& sPathTargetNode);
    // error (list form). Removes the child (a path from the document) from the parent.
    void RemoveNode(const std::string& sPathParentNode, const std::string& sPathChildNode);
    // error (list form); keeps what it removed. Removes, one by one, every node that
    // sPathChildren selects from the parent.
    void RemoveNodes(const std::string& sPathParentNode, const std::string& sPathChildren);
    // error (list form); keeps what it set. Sets the attribute at position nIndex of every
    // selected node.
    void SetAttributes(const std::string& sPath, int32_t nIndex, const std::string& sValue);
    // error (list form). Appends a new element to the selected node, or to its parent when
    // bSameLevel.
    void AppendNode(const std::string& sPath, const std::string& sNodename,
                    const std::string& sValue = "", const std::string& sAttributNamen = "",
                    const std::string& sAttributWerte = "", bool bSameLevel = false);
    // error (list form). Appends the first node of the parsed text to the selected node.
    void AppendChildNodefromText(const std::string& sPath, const std::string& sNodeText,
                                 const std::string& sNameSpace = "");
    // error (list form). Moves ChildNode (a copy, from another document) to the end of the
    // selected node.
    void AppendChildNodefromNode(const std::string& sPath, const DOMNode& ChildNode);
    // error, except silent "" when bOptional and the node or document is missing. Returns the
    // selected node's text; CurrentNode is set to that node (unset when none).
    std::string GetElementValue(const std::string& sElement, bool bOptional);
    // error, also when nothing is selected. Writes the text; WorkNode is set to the node.
    void SetElementValue(const std::string& sElement, const AnyValue& sValue);
    // error. Drops the list, keeps every node selected as the new list, sets nNodePos to 0;
    // after a failure there is no list and nNodePos is as it was.
    void GetNodeList(const std::string& sXPath);
    // passed on. 0 without a list.
    int32_t NodeCount() const;
    // passed on. True without a list or past the last node.
    bool NodeEOF() const;
    // passed on. Adds 1 to nNodePos (nothing without a list); no end stop, an overflow fails.
    void NodeMoveNext();
    // passed on. The cursor node's text; "" without a list, a failure past the end.
    std::string NodeText() const;
    // passed on. The text of the first node sSubNode selects from the cursor node; "" without a
    // list, a failure past the end or when nothing is selected.
    std::string SubNodeText(const std::string& sSubNode) const;
    // Failure 60000 with the underlying description alone; returns false. Walks CurrentNode
    // from the root element to the end (unset), emptying every element whose content starts
    // with text or is empty; a step's own message box ends the walk early.
    bool ClearAllNodes();
    // passed on; returns "". A new document with one root element, which WorkNode then holds.
    std::string NewDoc(const std::string& elementname);
    // box, 0. The number of elements of that qualified name ("*": all).
    int16_t CountElementsByTagName(const std::string& element);
    // box, "". The text of the element at position itemnum among those of that name.
    std::string GetElementByTagName(const std::string& element, int16_t itemnum);
    // passed on. The text of the last child of CurrentNode with that local name, or "";
    // WorkNode holds each child in turn and stays on the last.
    std::string GetChild(const std::string& sFieldName);
    // passed on. CurrentNode's text.
    std::string GetField();
    // box "number: description", false. Searches forward from the root element (from
    // CurrentNode when bPreserve) for an element of that local name; CurrentNode ends on the
    // match, unset at the end, or where a failure occurred.
    bool PosNode(const std::string& sNodename, const bool& bPreserve = false);
    // passed on; returns false. Writes the text of every such child; WorkNode as GetChild.
    bool SetChild(const std::string& sFieldName, const std::string& sValue);
    // passed on; returns false. Appends a new element to CurrentNode; WorkNode holds it.
    bool AddNode(const std::string& sNodename);
    // passed on; returns false. Appends a deep copy of CurrentNode to its parent.
    bool CloneNode();
    // silent "EOF" (a non-element node reached shows the step's own box first). One
    // document-order step of CurrentNode; WorkNode gets the element reached, whose local name
    // is returned.
    std::string GetNextElemName();
    // passed on. Whether CurrentNode's parent is the document node.
    bool IsFirstNode() const;
    // passed on. Declares the prefix FD for selections.
    void Flow_Property();
    // Failure 60000 "Fehler beim Auslesen des XML-Tags '...'" with the underlying description.
    // The text of the node the path selects from CurrentNode.
    std::string GetElementByName(const std::string& qu_path_name);
    // box, "". Writes the text of the node selected from CurrentNode and returns it read back.
    std::string SetElementByName(const std::string& qu_path_name, const std::string& newvalue);
    // box, false. As PosNode; the first attribute's value must also match sNameAttr.
    bool PosNodeByName(const std::string& sNodename, const std::string& sNameAttr,
                       const bool& bPreserve = false);
    // passed on; returns false. Appends an FD:Field element with the attributes Name and
    // FlowType and the value as text.
    bool AddField(const std::string& sName, const AnyValue& sFlowType, const AnyValue& sValue);
    // passed on; returns false. Appends an FD:Datas element with the attribute Table.
    bool AddDatas(const std::string& sName);
    // passed on. Whether CurrentNode has any child node.
    bool HasChilds() const;
    // silent false. Whether the path selects a node from CurrentNode.
    bool CheckElementByName(const std::string& qu_path_name);
    // passed on. CurrentNode's markup with its subtree.
    std::string GetXML() const;
    // silent false, sType unchanged. The value of CurrentNode's attribute of that local name.
    bool GetAttribut(const std::string& sAttributName, std::string& sType);
    // box, false. As PosNode; the attribute sNameAttr (else the first) must have the value
    // sValAttr.
    bool PosNodeByAttribut(const std::string& sNodename, const std::string& sNameAttr,
                           const std::string& sValAttr, const bool& bPreserve = false);
    // box "number: description", 0. The number of CurrentNode's child nodes.
    int16_t GetAnzChilds();
    // error (a missing node only when !bOptional); returns "". sValue and bFound carry the
    // outcome; CurrentNode is set to the selected node (unset when none).
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
    std::function<void(int64_t, int64_t)> Progress;
    const std::atomic<bool>* Stop = nullptr;
    bool bBoxesAsErrors = false;
    std::optional<FileStamp> LastSaved;

    // --- Shared internals (DOMWrapper.cpp) ---

    // The document, or Failure(kErrObjectNotSet) when there is none.
    // The document; throws NotSet when there is none. A partial one: the whole file is read
    // first, and the const form refuses it.
    xmlDocPtr RequireDoc() const;
    xmlDocPtr RequireDoc();
    // RequireDoc, where only path will be read or written: a partial document serves when
    // it was loaded for path, else the whole file is read first.
    xmlDocPtr RequireDocFor(const std::string& path);
    // Reads the whole file of a partial document, repeating what was done to it.
    void RequireWhole();
    void LoadFile(const std::string& sPath_File, const std::string& sNameSpace,
                  const PlainPaths* keep);
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

    // Raise the class error in the inline or the list form; reason and detail go to the
    // Failure's fields of those names.
    [[noreturn]] static void RaiseInline(const char* operation, const std::string& argument,
                                         const std::string& detail = {},
                                         const std::string& reason = {});
    [[noreturn]] static void RaiseList(const char* operation,
                                       const std::vector<std::string>& arguments);
    // Message box "number: description" with the application's title, or the failure raised
    // again when boxes are errors.
    void ShowFailureBox(const std::exception& e) const;
    // A box-style failure's message box with the application's title, or a Failure with its
    // text when boxes are errors.
    void ShowBox(const std::string& text) const;

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

// The player's small XML reader: elements and text only. A document becomes a tree of
// named elements, each with one text value; there are no attributes, entities, comments
// or namespaces (a start tag's whole text is its element's name).
#pragma once

#include <string>
#include <vector>

#include "classlib/Classes.h"
#include "player/SimploXMLUtils.h"

namespace player {

struct TElementDocXML;
// An array of elements: the children of an element (owned by it) and the result of
// FindElements (not owning).
using TBlockDocXML = std::vector<TElementDocXML*>;

struct TElementDocXML {
    std::string Value;      // the element's text; empty when it has none
    std::string Name;       // the whole text of its start tag
    TBlockDocXML Children;  // owned, in document order

    TElementDocXML() = default;
    TElementDocXML(const TElementDocXML&) = delete;
    TElementDocXML& operator=(const TElementDocXML&) = delete;
    ~TElementDocXML();

    TElementDocXML* FirstChild() const { return Children.empty() ? nullptr : Children.front(); }
    void ClearChildren();
};

// Fills List with the children of Node whose Name equals Name exactly (letter case counts).
void FindElements(const TElementDocXML* Node, const std::string& Name, TBlockDocXML& List);
// Appends a new element named Name (empty value, no children) to Node and returns it.
TElementDocXML* AddChildElement(TElementDocXML* Node, const std::string& Name);

// Deepest element nesting the reader builds; a deeper document does not load.
constexpr int kMaxXMLDepth = 1000;

class TSimploXML : public cl::TComponent {
    CL_DECLARE_CLASS(TSimploXML, cl::TComponent)
public:
    explicit TSimploXML(cl::TComponent* AOwner);
    ~TSimploXML() override;

    // Replaces the tree by the tree of Text. True on success; on failure the tree is
    // empty and OnXMLError fires.
    bool LoadFromString(const std::string& Text);
    // The root's first child, or null when the tree is empty.
    TElementDocXML* DocumentElement() const { return root_->FirstChild(); }
    void Clear();
    TElementDocXML* Root() const { return root_; }

    cl::TNotifyEvent OnXMLError;

private:
    void BuildTree(const TTagList& Tokens, size_t start);
    TElementDocXML* root_;
};

}  // namespace player

#include "player/SimploXML.h"

namespace player {

TElementDocXML::~TElementDocXML() { ClearChildren(); }

void TElementDocXML::ClearChildren() {
    // Children are freed iteratively so that a deep tree cannot exhaust the stack.
    std::vector<TElementDocXML*> pending(Children.begin(), Children.end());
    Children.clear();
    while (!pending.empty()) {
        TElementDocXML* e = pending.back();
        pending.pop_back();
        pending.insert(pending.end(), e->Children.begin(), e->Children.end());
        e->Children.clear();
        delete e;
    }
}

void FindElements(const TElementDocXML* Node, const std::string& Name, TBlockDocXML& List) {
    List.clear();
    if (!Node) return;
    for (TElementDocXML* e : Node->Children)
        if (e->Name == Name) List.push_back(e);
}

TElementDocXML* AddChildElement(TElementDocXML* Node, const std::string& Name) {
    auto* e = new TElementDocXML();
    e->Name = Name;
    Node->Children.push_back(e);
    return e;
}

TSimploXML::TSimploXML(cl::TComponent* AOwner) : cl::TComponent(AOwner), root_(new TElementDocXML()) {}

TSimploXML::~TSimploXML() { delete root_; }

void TSimploXML::Clear() { root_->ClearChildren(); }

namespace {
struct TooDeep {};
}  // namespace

void TSimploXML::BuildTree(const TTagList& Tokens, size_t pos) {
    // The open elements, innermost last; one position in the token list is shared by all levels.
    std::vector<TElementDocXML*> open{root_};
    while (pos < Tokens.size()) {
        TElementDocXML* n = open.back();
        const TTagRecord& token = Tokens[pos];
        if (token.Text.size() == n->Name.size() + 1 && token.Text[0] == '/' &&
            token.Text.compare(1, std::string::npos, n->Name) == 0) {
            ++pos;
            open.pop_back();
            // The root ends with its first child (or with an end tag of its own empty name).
            if (open.empty() || open.size() == 1) return;
            continue;
        }
        if (token.IsTag) {
            if (static_cast<int>(open.size()) > kMaxXMLDepth) throw TooDeep();
            open.push_back(AddChildElement(n, token.Text));
            ++pos;
            continue;
        }
        n->Value = token.Text;
        ++pos;
    }
    // The tokens ran out before every open element was closed: the open elements end here.
}

bool TSimploXML::LoadFromString(const std::string& Text) {
    try {
        if (Text.empty()) throw TooDeep();
        Clear();
        TTagList tokens;
        SplitTags(tokens, Text);
        size_t first = 0;
        while (first < tokens.size() && !tokens[first].IsTag) ++first;
        if (first < tokens.size()) BuildTree(tokens, first);
        return true;
    } catch (...) {
        Clear();
        if (OnXMLError) {
            try {
                OnXMLError(this);
            } catch (...) {
            }
        }
        return false;
    }
}

}  // namespace player

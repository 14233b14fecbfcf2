#include "xml_pieces.h"

#include <unordered_set>

#include "xml_encoding.h"

namespace korvane::faithful {
namespace {

struct Collect : pugi::xml_writer {
    std::string bytes;
    void write(const void* data, std::size_t size) override {
        bytes.append(static_cast<const char*>(data), size);
    }
};

std::string printed(pugi::xml_node node) {
    Collect out;
    node.print(out, "", kSaveFlags, pugi::encoding_utf8);
    return std::move(out.bytes);
}

// The start tag of an element with children, as the writer writes it: the
// element without its children is written as an empty element, whose "/>"
// becomes ">". False when the writer wrote it otherwise.
bool startTagOf(pugi::xml_node element, std::string& tag) {
    pugi::xml_document shallow;
    pugi::xml_node copy = shallow.append_child(element.name());
    for (pugi::xml_attribute a : element.attributes()) copy.append_attribute(a.name()).set_value(a.value());
    tag = printed(copy);
    if (tag.size() < 2 || tag.compare(tag.size() - 2, 2, "/>") != 0) return false;
    tag.replace(tag.size() - 2, 2, ">");
    return true;
}

// An element with element children at the two levels below the document is
// split into its start tag, its children and its end tag.
bool splittable(pugi::xml_node n) {
    if (n.type() != pugi::node_element || !n.first_child()) return false;
    std::string tag;
    return startTagOf(n, tag);
}

}  // namespace

PieceCache::Piece PieceCache::make(pugi::xml_node n, bool split) {
    Piece p;
    if (split) {
        std::string tag;
        startTagOf(n, tag);
        p.open = std::make_shared<const std::string>(std::move(tag));
        p.text = std::make_shared<const std::string>(std::string("</") + n.name() + ">");
    } else {
        p.text = std::make_shared<const std::string>(printed(n));
    }
    return p;
}

bool PieceCache::prepare(const pugi::xml_document& doc, std::size_t limit) {
    std::size_t made = 0;
    // False once the limit stops the walk.
    auto visit = [&](pugi::xml_node n, int depth, auto& self) -> bool {
        const void* key = n.internal_object();
        auto held = pieces_.find(key);
        if (held == pieces_.end()) {
            if (made == limit) return false;
            held = pieces_.emplace(key, make(n, depth < 2 && splittable(n))).first;
            ++made;
        }
        if (!held->second.open) return true;
        for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling())
            if (!self(c, depth + 1, self)) return false;
        return true;
    };
    for (pugi::xml_node top = doc.first_child(); top; top = top.next_sibling())
        if (!visit(top, top == doc.document_element() ? 0 : 2, visit)) return false;
    return true;
}

FileText PieceCache::write(const pugi::xml_document& doc, const std::vector<pugi::xml_node>& changed,
                           bool everything) {
    if (everything) pieces_.clear();
    // A changed node makes every node above it changed too.
    std::unordered_set<const void*> dirty;
    for (pugi::xml_node n : changed)
        for (; n; n = n.parent()) dirty.insert(n.internal_object());

    std::unordered_map<const void*, Piece> next;
    next.reserve(pieces_.size() + 16);
    std::vector<const Piece*> order;  // the pieces in document order, each open tag then its children
    std::vector<bool> isOpen;
    auto take = [&](pugi::xml_node n, bool split) -> const Piece& {
        const void* key = n.internal_object();
        auto old = pieces_.find(key);
        Piece& p = next[key];
        if (old != pieces_.end() && !dirty.count(key) && (old->second.open != nullptr) == split)
            p = std::move(old->second);
        else
            p = make(n, split);
        return p;
    };
    auto emit = [&](pugi::xml_node n, int depth, auto& self) -> void {
        const bool split =
            depth < 2 && (pieces_.count(n.internal_object()) && !dirty.count(n.internal_object())
                              ? pieces_.at(n.internal_object()).open != nullptr
                              : splittable(n));
        const Piece& p = take(n, split);
        if (!split) {
            order.push_back(&p);
            isOpen.push_back(false);
            return;
        }
        order.push_back(&p);
        isOpen.push_back(true);
        for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling()) self(c, depth + 1, self);
        order.push_back(&p);
        isOpen.push_back(false);
    };
    for (pugi::xml_node top = doc.first_child(); top; top = top.next_sibling())
        emit(top, top == doc.document_element() ? 0 : 2, emit);

    std::vector<FileText::Part> parts;
    parts.reserve(order.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        parts.push_back(isOpen[i] ? order[i]->open : order[i]->text);
    pieces_ = std::move(next);
    return FileText(std::move(parts));
}

pugi::xml_node PieceCache::pieceOf(pugi::xml_node node, const pugi::xml_document& doc) {
    const pugi::xml_node root = doc.document_element();
    for (; node; node = node.parent()) {
        const pugi::xml_node parent = node.parent();
        if (parent && parent.parent() == root && root) return node;
    }
    return {};
}

const std::string* PieceCache::textOf(pugi::xml_node piece) const {
    auto it = pieces_.find(piece.internal_object());
    return it == pieces_.end() || it->second.open ? nullptr : it->second.text.get();
}

void PieceCache::replaced(pugi::xml_node piece, pugi::xml_node fresh) {
    auto it = pieces_.find(piece.internal_object());
    if (it == pieces_.end()) return;
    Piece p = std::move(it->second);
    pieces_.erase(it);
    pieces_[fresh.internal_object()] = std::move(p);
}

}  // namespace korvane::faithful

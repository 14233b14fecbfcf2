#pragma once
// Writing a large document again after a small edit without writing all of
// it: the document is held as pieces of text (the entries two levels below
// the root element, such as one configuration or one message group, and the
// tags and text around them). An edit names the nodes it changed; only the
// pieces holding them are written anew, the others are reused. The text put
// together is byte for byte what writing the whole document gives.

#include <memory>
#include <pugixml.hpp>
#include <string>
#include <unordered_map>
#include <vector>

#include "file_text.h"

namespace korvane::faithful {

class PieceCache {
public:
    // The document as UTF-8 text, written with kSaveFlags (no byte order
    // mark), in parts shared with earlier versions. changed lists the nodes changed since the last call; with
    // everything true, no piece is reused. Pieces of nodes the document no
    // longer holds are forgotten.
    FileText write(const pugi::xml_document& doc, const std::vector<pugi::xml_node>& changed,
                   bool everything);
    // Writes the text of up to limit pieces not held yet, in document order,
    // so that the next write finds them ready. True when every piece of doc
    // is held. Called while the program waits for the user, a large
    // document's first edit then costs no more than later ones.
    bool prepare(const pugi::xml_document& doc, std::size_t limit);
    // The entry two levels below the root element that holds node (the
    // node itself when it is one); empty when node is no such entry or lies
    // above them.
    static pugi::xml_node pieceOf(pugi::xml_node node, const pugi::xml_document& doc);
    // The text last written of a piece; nullptr when none is held.
    const std::string* textOf(pugi::xml_node piece) const;
    // The piece was replaced by fresh, whose text is the same.
    void replaced(pugi::xml_node piece, pugi::xml_node fresh);
    // Forgets every piece (after the document was read again, or changed in
    // ways nobody named).
    void clear() { pieces_.clear(); }
    bool empty() const { return pieces_.empty(); }

private:
    struct Piece {
        FileText::Part open;  // the start tag of an element whose children are pieces
        FileText::Part text;  // the whole text of a leaf piece, or the end tag
    };
    static Piece make(pugi::xml_node n, bool split);
    std::unordered_map<const void*, Piece> pieces_;
};

}  // namespace korvane::faithful

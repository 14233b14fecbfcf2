#pragma once
// The configuration document: the library of configurations (set), message
// groups (messagegroup) and messages (message) in one XML file.
//
// The file is the master copy. Every change is saved at once. A document
// that saved or read its file knows it is in step with it and is not read
// again until another program changes the file; nodes found before a reload
// that did read the file must not be used afterwards. The whole
// file survives a save as it was loaded: declaration, doctype, comments,
// processing instructions, unknown elements, attribute order and whitespace,
// in the encoding the file declared. Only the spelling of a few things is
// normalised by the writer: attribute values are always in double quotes,
// and character references such as &#9; come back as their shortest escape
// or as the character itself.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "document_writer.h"
#include "xml_layout.h"
#include "xml_pieces.h"

namespace korvane {

struct DocumentStatus {
    enum class Code {
        Ok,
        NotLoaded,            // save/reload without a file name or without a successful load
        OpenFailed,           // the file cannot be read (detail: system error)
        ParseError,           // not well-formed XML (detail: parser message, offset/line/column)
        UnsupportedEncoding,  // declared encoding the program cannot write back (detail: its name)
        NoRootElement,        // well-formed but without a document element
        CustomEntity,         // save refused: the file uses an entity of its own (detail: its name)
        WriteFailed,          // save failed, the file on disk is unchanged (detail: system error)
        Unrepresentable,      // save refused: an ISO-8859-1 file cannot hold a character (detail: it)
        ChangedOnDisk,        // save refused: another program changed the file since it was read
    };
    Code code = Code::Ok;
    std::filesystem::path fileName;
    std::string detail;
    std::ptrdiff_t offset = -1;  // byte offset of a parse error
    int line = 0;                // 1-based line of a parse error, 0 when unknown
    int column = 0;              // 1-based column of a parse error
    // Key of a text in the table that explains the parse or open error in the user's
    // language; detail then holds the parser's own (English) wording.
    std::string detailKey;

    bool ok() const { return code == Code::Ok; }
    // The user text for this status in the given language ("" for Ok).
    std::string message(std::string_view language) const;
};

// Result of resolving an element of a configuration to its message.
struct ElementResolution {
    enum class State {
        NoAssignment,     // no set of that name, or no element node in it
        DanglingGroup,    // the element names a group the document does not hold
        DanglingMessage,  // the group does not hold the named message
        Resolved,
    };
    State state = State::NoAssignment;
    pugi::xml_node set;
    pugi::xml_node element;
    pugi::xml_node group;
    pugi::xml_node message;
    std::string groupName;    // text of the element's group child
    std::string messageName;  // text of the element's name child

    // The user text for a dangling reference ("" otherwise).
    std::string danglingText(std::string_view language) const;
};

class ConfigDocument {
public:
    // What one save handed over: the file's bytes before it (as the file
    // holds them once every earlier save has landed) and after it.
    struct Commit {
        DocumentStatus status;
        SharedBytes before;
        SharedBytes after;
    };

    ConfigDocument() = default;
    ConfigDocument(const ConfigDocument&) = delete;
    ConfigDocument& operator=(const ConfigDocument&) = delete;

    // A file read and parsed, not yet bound to a document.
    struct ParsedFile {
        std::filesystem::path fileName;
        // Taken before reading: a change while the file is read then shows
        // as a different stamp.
        std::optional<detail::FileStamp> stamp;
        DocumentStatus status;
        pugi::xml_document doc;
        pugi::xml_encoding encoding = pugi::encoding_utf8;
        bool bom = false;
        std::string customEntity;
        SharedBytes bytes;
    };

    // Parses the file and binds the document to it. On failure the document
    // keeps its previous contents and file name.
    DocumentStatus load(const std::filesystem::path& fileName);
    // Reads and parses fileName on a thread of its own, while the program
    // goes on (a large library takes a noticeable part of the start).
    static std::future<ParsedFile> readAhead(const std::filesystem::path& fileName);
    // load() that takes what ahead read when it is of fileName and the file
    // has not changed since; otherwise the file is read now.
    DocumentStatus load(const std::filesystem::path& fileName, std::future<ParsedFile> ahead);
    // Parses the bound file again (after saves on their way have landed);
    // changes not saved are dropped.
    DocumentStatus reload();
    // Brings the document in step with the bound file: parses it again
    // unless the document knows the file holds what it holds (read or
    // written by it and unchanged since, or saves of it still on their way).
    // A failed or refused save, or a file changed by another program, makes
    // it read the file.
    DocumentStatus refresh();
    // Writes the whole document to the bound file atomically: a temporary file
    // in the same folder, flushed and synced, renamed over the target. On
    // failure the old file is byte-identical and the document in memory keeps
    // its changes. A file that another program has changed since this
    // document last read or wrote it is not overwritten (ChangedOnDisk).
    DocumentStatus save();
    // save() followed by reload().
    DocumentStatus saveAndReload();
    // Saves through the writer thread: the document is written out (only
    // the entries holding the nodes in changed anew, or all of it when
    // changed is empty) and handed to the writer. With waitForDisk the call
    // returns after the write, with its outcome; otherwise at once, and a
    // failed write is told through the write failure notice. The checks of
    // save() that need no disk are made here either way.
    Commit commit(const std::vector<pugi::xml_node>& changed, bool waitForDisk);
    // Waits until every save handed to the writer has landed or failed.
    void waitForWrites() { writer_->wait(); }
    // Prepares the text of up to limit entries for the next commit, which
    // then writes only what it changed. True when nothing is left to
    // prepare (or the document is not saved in pieces). For idle time.
    bool preparePieces(std::size_t limit);
    // Called on the writer thread when a background save failed; it should
    // only arrange for takeWriteFailures() on the thread that edits.
    void setWriteFailureNotice(std::function<void()> notice) { writer_->setFailureNotice(std::move(notice)); }
    // The background saves that failed since the last call (ChangedOnDisk or
    // WriteFailed, file named), oldest first. The document then reads its
    // file at the next reload().
    std::vector<DocumentStatus> takeWriteFailures();

    bool isLoaded() const { return loaded_; }
    const std::filesystem::path& fileName() const { return fileName_; }
    pugi::xml_document& xml() { return doc_; }
    const pugi::xml_document& xml() const { return doc_; }
    // The document element, whatever its name.
    pugi::xml_node root() const { return doc_.document_element(); }
    // The first child of the root named "sets" / "messagegroups" (or nothing).
    pugi::xml_node sets() const;
    pugi::xml_node messagegroups() const;

    // Lookups. All compare whole names exactly; nothing found -> empty node.
    // Each looks at nodes of its own kind only (set, element, messagegroup,
    // message): other elements a hand edit left among them are no entries.
    pugi::xml_node Finde_XML_SetByName(std::string_view Setname) const;
    // The LAST child of the set whose name equals the element name.
    static pugi::xml_node Finde_XML_Element(std::string_view EingabeElement, pugi::xml_node xml_Node_Set);
    pugi::xml_node Finde_XML_MessageGroupByName(std::string_view Group) const;
    pugi::xml_node Finde_XML_MessageGroup(pugi::xml_node xml_Node_Element) const;
    static pugi::xml_node Finde_XML_MessageByName(std::string_view MessageName,
                                                  pugi::xml_node xml_Node_MessageGroup);
    static pugi::xml_node Finde_XML_Message(pugi::xml_node xml_Node_Element,
                                            pugi::xml_node xml_Node_MessageGroup);
    // Text of the child element AName of ANode; ADefault when the node is
    // empty, has no such child, or the child holds no text.
    static std::string XML_GetChildNodeValue(pugi::xml_node ANode, std::string_view AName,
                                             std::string_view ADefault);

    // Names in document order (duplicates kept, as the lists show them), of
    // the set, messagegroup and message nodes only.
    std::vector<std::string> setNames() const;
    std::vector<std::string> groupNames() const;
    static std::vector<std::string> messageNames(pugi::xml_node messagegroup);

    // Resolves an element (German name, or number 0..63) of the configuration
    // named setName to its message.
    ElementResolution resolveElement(std::string_view setName, std::string_view elementName) const;
    ElementResolution resolveElement(std::string_view setName, int elementNumber) const;

private:
    static DocumentStatus parseFile(const std::filesystem::path& fileName, pugi::xml_document& into,
                                    pugi::xml_encoding& encoding, bool& bom, std::string& customEntity,
                                    SharedBytes& read);
    static ParsedFile readFile(const std::filesystem::path& fileName);
    // Binds the document to what was read, when it was read well.
    DocumentStatus adopt(ParsedFile parsed);
    // The checks of a save that need no disk, and the bytes to write.
    DocumentStatus serialise(const std::vector<pugi::xml_node>& changed, SharedBytes& bytes);
    // Replaces each entry of pieces by what reading its written text gives,
    // so that memory holds exactly what reading the file would.
    void readPiecesBack(const std::vector<pugi::xml_node>& pieces);

    pugi::xml_document doc_;
    std::filesystem::path fileName_;
    pugi::xml_encoding encoding_ = pugi::encoding_utf8;
    bool bom_ = false;
    bool loaded_ = false;
    std::string customEntity_;  // first entity of the file's own, "" when none
    // What the file holds once every save handed over has landed.
    SharedBytes fileBytes_;
    // False after a save that failed or was refused: memory then holds what
    // the file does not, and the next reload reads the file.
    bool inStep_ = false;
    faithful::PieceCache pieces_;
    std::unique_ptr<DocumentWriter> writer_ = std::make_unique<DocumentWriter>();
};

}  // namespace korvane

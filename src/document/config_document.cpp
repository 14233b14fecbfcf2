#include "config_document.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "element_catalogue.h"
#include "file_io.h"
#include "texts.h"
#include "xml_encoding.h"

namespace korvane {
namespace {

using faithful::kParseFlags;
using faithful::kSaveFlags;

bool equals(const char* s, std::string_view v) { return std::string_view(s) == v; }

std::string parseStatusKey(pugi::xml_parse_status status) {
    switch (status) {
        case pugi::status_unrecognized_tag:
            return "document.parse.unrecognized_tag";
        case pugi::status_bad_pi:
            return "document.parse.bad_pi";
        case pugi::status_bad_comment:
            return "document.parse.bad_comment";
        case pugi::status_bad_cdata:
            return "document.parse.bad_cdata";
        case pugi::status_bad_doctype:
            return "document.parse.bad_doctype";
        case pugi::status_bad_pcdata:
            return "document.parse.bad_pcdata";
        case pugi::status_bad_start_element:
            return "document.parse.bad_start_element";
        case pugi::status_bad_attribute:
            return "document.parse.bad_attribute";
        case pugi::status_bad_end_element:
            return "document.parse.bad_end_element";
        case pugi::status_end_element_mismatch:
            return "document.parse.end_element_mismatch";
        case pugi::status_no_document_element:
            return "document.parse.no_document_element";
        default:
            return {};
    }
}

}  // namespace

// ---- status texts ----------------------------------------------------------

std::string DocumentStatus::message(std::string_view language) const {
    const std::string file = fileName.string();
    switch (code) {
        case Code::Ok:
            return {};
        case Code::NotLoaded:
            return textWithAll("document.not_loaded", language, {file});
        case Code::OpenFailed:
            return textWithAll(
                "document.open_failed", language,
                {file, detailKey.empty() ? std::string_view(detail) : text(detailKey, language)});
        case Code::ParseError:
            return textWithAll(
                "document.parse_error", language,
                {file, detailKey.empty() ? std::string_view(detail) : text(detailKey, language),
                 std::to_string(line), std::to_string(column), std::to_string(offset)});
        case Code::UnsupportedEncoding:
            return textWithAll("document.unsupported_encoding", language, {file, detail});
        case Code::NoRootElement:
            return textWithAll("document.no_root", language, {file});
        case Code::CustomEntity:
            return textWithAll("document.custom_entity", language, {file, detail});
        case Code::WriteFailed:
            return textWithAll("document.write_failed", language, {file, detail});
        case Code::Unrepresentable:
            return textWithAll("document.unrepresentable", language, {file, detail});
        case Code::ChangedOnDisk:
            return textWithAll("document.changed_on_disk", language, {file});
    }
    return {};
}

std::string ElementResolution::danglingText(std::string_view language) const {
    switch (state) {
        case State::DanglingGroup:
            return textWith("document.group_not_found", language, groupName);
        case State::DanglingMessage:
            return textWith("document.message_not_found", language, messageName);
        default:
            return {};
    }
}

// ---- loading and saving ----------------------------------------------------

DocumentStatus ConfigDocument::parseFile(const std::filesystem::path& fileName, pugi::xml_document& into,
                                         pugi::xml_encoding& encoding, bool& bom, std::string& customEntity,
                                         SharedBytes& read) {
    DocumentStatus st;
    st.fileName = fileName;
    std::string error;
    bool notRegular = false;
    auto raw = detail::readWholeFile(fileName, error, &notRegular);
    if (!raw) {
        st.code = DocumentStatus::Code::OpenFailed;
        st.detail = error;
        if (notRegular) st.detailKey = "document.not_regular_file";
        return st;
    }
    faithful::DecodedText d = faithful::decodeFileBytes(std::move(*raw));
    if (!d.unsupported.empty()) {
        st.code = DocumentStatus::Code::UnsupportedEncoding;
        st.detail = d.unsupported;
        return st;
    }
    if (d.broken) {
        st.code = DocumentStatus::Code::ParseError;
        st.detailKey = "document.parse.bad_encoding";
        st.detail = "invalid UTF-16/UTF-32 sequence";
        return st;
    }
    auto pointAt = [&](std::ptrdiff_t offset) {
        st.offset = offset;
        const auto upTo = std::min<std::size_t>(static_cast<std::size_t>(std::max<std::ptrdiff_t>(offset, 0)),
                                                d.utf8.size());
        st.line = 1 + static_cast<int>(std::count(d.utf8.begin(), d.utf8.begin() + upTo, '\n'));
        const auto lastNl = std::string_view(d.utf8).substr(0, upTo).find_last_of('\n');
        st.column = static_cast<int>(lastNl == std::string_view::npos ? upTo + 1 : upTo - lastNl);
    };
    if (d.badUtf8 >= 0) {
        st.code = DocumentStatus::Code::ParseError;
        st.detailKey = "document.parse.bad_utf8";
        st.detail = "invalid UTF-8 sequence";
        pointAt(d.badUtf8);
        return st;
    }
    const pugi::xml_parse_result res =
        into.load_buffer(d.utf8.data(), d.utf8.size(), kParseFlags, pugi::encoding_utf8);
    if (!res) {
        st.code = res.status == pugi::status_no_document_element ? DocumentStatus::Code::NoRootElement
                                                                 : DocumentStatus::Code::ParseError;
        st.detailKey = parseStatusKey(res.status);
        st.detail = res.description();
        pointAt(res.offset);
        return st;
    }
    if (!into.document_element()) {
        st.code = DocumentStatus::Code::NoRootElement;
        return st;
    }
    if (const faithful::TopLevelFault top = faithful::findTopLevelFault(into, d.utf8); top.offset >= 0) {
        st.code = DocumentStatus::Code::ParseError;
        st.detailKey = top.key;
        st.detail = top.detail;
        pointAt(top.offset);
        return st;
    }
    if (const std::ptrdiff_t bad = faithful::badReferenceIn(d.utf8); bad >= 0) {
        st.code = DocumentStatus::Code::ParseError;
        st.detailKey = "document.parse.bad_reference";
        st.detail = "character reference to a code that is no character";
        pointAt(bad);
        return st;
    }
    faithful::keepExplicitEmptyElements(into, d.utf8);
    encoding = d.encoding;
    bom = d.bom;
    customEntity = faithful::customEntityIn(d.utf8);
    read = sharedText(d.tookRaw ? std::move(d.utf8) : std::move(*raw));
    return st;
}

ConfigDocument::ParsedFile ConfigDocument::readFile(const std::filesystem::path& fileName) {
    ParsedFile p;
    p.fileName = fileName;
    // Taken before reading: a change while the file is read then shows as a
    // different stamp, and the next reload reads the file again.
    p.stamp = detail::fileStamp(fileName);
    p.status = parseFile(fileName, p.doc, p.encoding, p.bom, p.customEntity, p.bytes);
    return p;
}

std::future<ConfigDocument::ParsedFile> ConfigDocument::readAhead(const std::filesystem::path& fileName) {
    return std::async(std::launch::async, [fileName] { return readFile(fileName); });
}

DocumentStatus ConfigDocument::load(const std::filesystem::path& fileName) {
    // Saves still on their way belong to the file now bound; they land
    // before anything is read.
    writer_->wait();
    return adopt(readFile(fileName));
}

DocumentStatus ConfigDocument::load(const std::filesystem::path& fileName, std::future<ParsedFile> ahead) {
    if (ahead.valid()) {
        ParsedFile parsed = ahead.get();
        writer_->wait();
        // What was read ahead counts only while the file still is what was
        // read; a failure is found again now, with the file as it is now.
        if (parsed.fileName == fileName && parsed.status.ok() && parsed.stamp &&
            parsed.stamp == detail::fileStamp(fileName))
            return adopt(std::move(parsed));
    }
    return load(fileName);
}

DocumentStatus ConfigDocument::adopt(ParsedFile parsed) {
    if (!parsed.status.ok()) return parsed.status;
    const std::filesystem::path& fileName = parsed.fileName;
    // A save of this file that was killed half-way (a crash, a power cut,
    // kill -9) may have left its temporary file beside it; nothing else ever
    // would remove it. Done when a file is taken up, not at every reload.
    if (!loaded_ || fileName != fileName_) detail::removeStaleTemporaries(fileName);
    writer_->bind(fileName, parsed.bytes, parsed.stamp);
    fileBytes_ = std::move(parsed.bytes);
    pieces_.clear();
    inStep_ = true;
    doc_ = std::move(parsed.doc);
    fileName_ = fileName;
    encoding_ = parsed.encoding;
    bom_ = parsed.bom;
    customEntity_ = std::move(parsed.customEntity);
    loaded_ = true;
    return parsed.status;
}

DocumentStatus ConfigDocument::reload() {
    if (fileName_.empty()) {
        DocumentStatus st;
        st.code = DocumentStatus::Code::NotLoaded;
        return st;
    }
    return load(fileName_);
}

DocumentStatus ConfigDocument::refresh() {
    if (fileName_.empty()) {
        DocumentStatus st;
        st.code = DocumentStatus::Code::NotLoaded;
        return st;
    }
    if (loaded_ && inStep_ && !writer_->conflicted() && !writer_->hasFailures()) {
        DocumentStatus st;
        st.fileName = fileName_;
        // Saves on their way: the document is ahead of its file, not behind.
        if (writer_->busy()) return st;
        const std::optional<detail::FileStamp> now = detail::fileStamp(fileName_);
        if (now && now == writer_->stamp()) return st;
    }
    return load(fileName_);
}

DocumentStatus ConfigDocument::serialise(const std::vector<pugi::xml_node>& changed, SharedBytes& bytes) {
    DocumentStatus st;
    st.fileName = fileName_;
    if (!loaded_ || fileName_.empty()) {
        st.code = DocumentStatus::Code::NotLoaded;
        return st;
    }
    if (!customEntity_.empty()) {
        st.code = DocumentStatus::Code::CustomEntity;
        st.detail = customEntity_;
        return st;
    }
    if (encoding_ == pugi::encoding_latin1) {
        // The writer would put "?" in place of a character ISO-8859-1 does
        // not have. Text and attribute values get a character reference
        // instead (below); where XML has none, refuse rather than lose it.
        if (std::string ch = faithful::firstNonLatin1OutsideText(doc_); !ch.empty()) {
            st.code = DocumentStatus::Code::Unrepresentable;
            st.detail = std::move(ch);
            return st;
        }
    }
    if (encoding_ == pugi::encoding_utf8 || encoding_ == pugi::encoding_latin1) {
        // Written as UTF-8 first; a Latin-1 file needs the characters above
        // U+00FF still there to be turned into references.
        FileText utf8 = pieces_.write(doc_, changed, changed.empty());
        // Reading the file again would give the changed entries just as
        // their text says (whitespace joined, empty text gone); memory
        // follows, so that later edits meet what they met after a reload.
        readPiecesBack(changed);
        if (encoding_ == pugi::encoding_latin1) {
            std::string latin1;
            if (!faithful::toLatin1WithReferences(utf8.joined(), latin1)) {
                st.code = DocumentStatus::Code::Unrepresentable;
                st.detail = "\xEF\xBF\xBD";  // text that is no UTF-8 came in by an edit
                return st;
            }
            bytes = sharedText(std::move(latin1));
        } else if (bom_) {
            std::vector<FileText::Part> parts{std::make_shared<const std::string>("\xEF\xBB\xBF")};
            parts.insert(parts.end(), utf8.parts().begin(), utf8.parts().end());
            bytes = std::make_shared<const FileText>(std::move(parts));
        } else {
            bytes = std::make_shared<const FileText>(std::move(utf8));
        }
        return st;
    }
    // UTF-16 and UTF-32 files are rare and written whole by the library;
    // the changed entries are still read back as for the others.
    if (!changed.empty()) {
        pieces_.write(doc_, changed, false);
        readPiecesBack(changed);
    }
    struct Collect : pugi::xml_writer {
        std::string bytes;
        void write(const void* data, std::size_t size) override {
            bytes.append(static_cast<const char*>(data), size);
        }
    } out;
    doc_.save(out, "", kSaveFlags | (bom_ ? pugi::format_write_bom : 0u), encoding_);
    bytes = sharedText(std::move(out.bytes));
    return st;
}

bool ConfigDocument::preparePieces(std::size_t limit) {
    // Only documents written through the pieces gain from them: a file that
    // cannot be saved, or one in UTF-16/32, is written whole.
    if (!loaded_ || !customEntity_.empty()) return true;
    if (encoding_ != pugi::encoding_utf8 && encoding_ != pugi::encoding_latin1) return true;
    return pieces_.prepare(doc_, limit);
}

void ConfigDocument::readPiecesBack(const std::vector<pugi::xml_node>& pieces) {
    for (pugi::xml_node piece : pieces) {
        const std::string* text = pieces_.textOf(piece);
        if (!text) continue;
        pugi::xml_document part;
        if (!part.load_buffer(text->data(), text->size(), kParseFlags, pugi::encoding_utf8)) continue;
        faithful::keepExplicitEmptyElements(part, *text);
        pugi::xml_node parent = piece.parent();
        pugi::xml_node fresh = part.first_child();
        if (!fresh || fresh.next_sibling()) continue;
        fresh = parent.insert_copy_before(fresh, piece);
        pieces_.replaced(piece, fresh);
        parent.remove_child(piece);
    }
}

ConfigDocument::Commit ConfigDocument::commit(const std::vector<pugi::xml_node>& changed, bool waitForDisk) {
    Commit c;
    SharedBytes bytes;
    // Each changed node stands for the entry that holds it. A change above
    // the entries (the root, the lists themselves) is written whole.
    std::vector<pugi::xml_node> pieces;
    bool whole = changed.empty();
    for (pugi::xml_node n : changed) {
        const pugi::xml_node piece = faithful::PieceCache::pieceOf(n, doc_);
        if (!piece) whole = true;
        if (std::find(pieces.begin(), pieces.end(), piece) == pieces.end()) pieces.push_back(piece);
    }
    if (whole) pieces.clear();
    c.status = serialise(pieces, bytes);
    if (!c.status.ok()) {
        // The change stays in memory, unwritten; pieces written before it
        // no longer tell what memory holds.
        pieces_.clear();
        inStep_ = false;
        return c;
    }
    c.before = fileBytes_;
    c.after = bytes;
    fileBytes_ = bytes;
    writer_->submit(std::move(bytes));
    if (waitForDisk) {
        writer_->wait();
        if (std::vector<DocumentStatus> failed = takeWriteFailures(); !failed.empty()) {
            c.status = failed.back();
            fileBytes_ = c.before;
        }
    }
    return c;
}

std::vector<DocumentStatus> ConfigDocument::takeWriteFailures() {
    std::vector<DocumentStatus> out;
    for (DocumentWriter::Failure& f : writer_->takeFailures()) {
        DocumentStatus st;
        st.fileName = f.file;
        if (f.changedOnDisk) {
            st.code = DocumentStatus::Code::ChangedOnDisk;
        } else {
            st.code = DocumentStatus::Code::WriteFailed;
            st.detail = std::move(f.reason);
        }
        out.push_back(std::move(st));
    }
    if (!out.empty()) inStep_ = false;
    return out;
}

DocumentStatus ConfigDocument::save() { return commit({}, true).status; }

DocumentStatus ConfigDocument::saveAndReload() {
    DocumentStatus st = save();
    if (!st.ok()) return st;
    return reload();
}

// ---- lookups -------------------------------------------------------------

pugi::xml_node ConfigDocument::sets() const { return root().child("sets"); }
pugi::xml_node ConfigDocument::messagegroups() const { return root().child("messagegroups"); }

namespace {
// Entries are nodes of their own kind only: a hand-edited file may hold
// notes of other names among them, which are kept but are no entries.
bool isEntry(pugi::xml_node n, const char* kind) {
    return n.type() == pugi::node_element && std::strcmp(n.name(), kind) == 0;
}

pugi::xml_node firstNamed(pugi::xml_node parent, const char* kind, std::string_view name) {
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
        if (isEntry(c, kind) && equals(c.attribute("name").value(), name)) return c;
    }
    return {};
}
}  // namespace

pugi::xml_node ConfigDocument::Finde_XML_SetByName(std::string_view Setname) const {
    return firstNamed(sets(), "set", Setname);
}

pugi::xml_node ConfigDocument::Finde_XML_Element(std::string_view EingabeElement,
                                                 pugi::xml_node xml_Node_Set) {
    // The last one counts: an assignment appended later overrides an older
    // duplicate that a hand edit may have left in the set.
    for (pugi::xml_node c = xml_Node_Set.last_child(); c; c = c.previous_sibling()) {
        if (isEntry(c, "element") && equals(c.attribute("name").value(), EingabeElement)) return c;
    }
    return {};
}

pugi::xml_node ConfigDocument::Finde_XML_MessageGroupByName(std::string_view Group) const {
    return firstNamed(messagegroups(), "messagegroup", Group);
}

pugi::xml_node ConfigDocument::Finde_XML_MessageGroup(pugi::xml_node xml_Node_Element) const {
    if (!xml_Node_Element) return {};
    return Finde_XML_MessageGroupByName(XML_GetChildNodeValue(xml_Node_Element, "group", ""));
}

pugi::xml_node ConfigDocument::Finde_XML_MessageByName(std::string_view MessageName,
                                                       pugi::xml_node xml_Node_MessageGroup) {
    return firstNamed(xml_Node_MessageGroup, "message", MessageName);
}

pugi::xml_node ConfigDocument::Finde_XML_Message(pugi::xml_node xml_Node_Element,
                                                 pugi::xml_node xml_Node_MessageGroup) {
    if (!xml_Node_MessageGroup) return {};
    return Finde_XML_MessageByName(XML_GetChildNodeValue(xml_Node_Element, "name", ""),
                                   xml_Node_MessageGroup);
}

std::string ConfigDocument::XML_GetChildNodeValue(pugi::xml_node ANode, std::string_view AName,
                                                  std::string_view ADefault) {
    if (!ANode) return std::string(ADefault);
    for (pugi::xml_node c = ANode.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_element && equals(c.name(), AName)) {
            const char* value = c.text().get();
            return *value ? std::string(value) : std::string(ADefault);
        }
    }
    return std::string(ADefault);
}

namespace {
std::vector<std::string> namesOf(pugi::xml_node parent, const char* kind) {
    std::vector<std::string> names;
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
        if (isEntry(c, kind)) names.emplace_back(c.attribute("name").value());
    }
    return names;
}
}  // namespace

std::vector<std::string> ConfigDocument::setNames() const { return namesOf(sets(), "set"); }
std::vector<std::string> ConfigDocument::groupNames() const {
    return namesOf(messagegroups(), "messagegroup");
}
std::vector<std::string> ConfigDocument::messageNames(pugi::xml_node messagegroup) {
    return namesOf(messagegroup, "message");
}

ElementResolution ConfigDocument::resolveElement(std::string_view setName,
                                                 std::string_view elementName) const {
    ElementResolution r;
    r.set = Finde_XML_SetByName(setName);
    r.element = Finde_XML_Element(elementName, r.set);
    if (!r.element) return r;
    r.groupName = XML_GetChildNodeValue(r.element, "group", "");
    r.messageName = XML_GetChildNodeValue(r.element, "name", "");
    r.group = Finde_XML_MessageGroup(r.element);
    if (!r.group) {
        r.state = ElementResolution::State::DanglingGroup;
        return r;
    }
    r.message = Finde_XML_Message(r.element, r.group);
    r.state = r.message ? ElementResolution::State::Resolved : ElementResolution::State::DanglingMessage;
    return r;
}

ElementResolution ConfigDocument::resolveElement(std::string_view setName, int elementNumber) const {
    if (!elementInfo(elementNumber)) return {};
    return resolveElement(setName, Wie_lautet_EingabeElementName(elementNumber));
}

}  // namespace korvane

#include "library_operations.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <set>
#include <system_error>

#include "file_io.h"
#include "texts.h"

namespace korvane {
namespace {

using Result = LibraryOutcome::Result;

bool nameIs(pugi::xml_node n, std::string_view name) {
    return n.type() == pugi::node_element && std::string_view(n.attribute("name").value()) == name;
}

// The lookups by name consider every element child, whatever its tag, so the
// checks for a clash do the same.
pugi::xml_node firstNamed(pugi::xml_node parent, std::string_view name) {
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling())
        if (nameIs(c, name)) return c;
    return {};
}

pugi::xml_node lastNamed(pugi::xml_node parent, std::string_view name) {
    for (pugi::xml_node c = parent.last_child(); c; c = c.previous_sibling())
        if (nameIs(c, name)) return c;
    return {};
}

bool holdsOtherNamed(pugi::xml_node parent, std::string_view name, pugi::xml_node except) {
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling())
        if (c != except && nameIs(c, name)) return true;
    return false;
}

void setName(pugi::xml_node node, std::string_view name) {
    pugi::xml_attribute a = node.attribute("name");
    if (!a) a = node.prepend_attribute("name");
    a.set_value(std::string(name).c_str());
}

pugi::xml_node appendNamed(pugi::xml_node parent, const char* tag, std::string_view name) {
    pugi::xml_node node = appendElementIndented(parent, tag);
    node.append_attribute("name").set_value(std::string(name).c_str());
    return node;
}

// The root's container of that tag; a library written by hand may lack one,
// and it is made when something has to go into it.
pugi::xml_node container(ConfigDocument& doc, const char* tag) {
    pugi::xml_node c = doc.root().child(tag);
    return c ? c : appendElementIndented(doc.root(), tag);
}

std::string childText(pugi::xml_node node, const char* name) { return node.child(name).text().get(); }

// A name the lists can show and the file can hold: something visible, and no
// control characters (XML cannot carry most of them, and a line break would
// make two lines of one list entry).
bool usableName(std::string_view name) {
    bool visible = false;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) return false;
        if (c != ' ') visible = true;
    }
    return visible;
}

LibraryOutcome refused(std::string key, std::vector<std::string> values = {}) {
    LibraryOutcome o;
    o.result = Result::Refused;
    o.reason = {std::move(key), std::move(values)};
    return o;
}

LibraryOutcome unchanged() { return {}; }

LibraryOutcome failed(DocumentStatus status) {
    LibraryOutcome o;
    o.result = Result::Failed;
    o.status = std::move(status);
    return o;
}

std::optional<std::string> fileBytes(const std::filesystem::path& file) {
    std::string error;
    return detail::readWholeFile(file, error);
}

// Saves the change made to doc and reads it back. When the save is refused
// or fails, the document is read again from its untouched file, so that
// memory and file agree and the operation has not happened.
LibraryOutcome commit(ConfigDocument& doc, TableText label) {
    LibraryOutcome o;
    // Saves still on their way land first, so that the bytes before are
    // those of this change alone.
    doc.waitForWrites();
    o.before = fileBytes(doc.fileName());
    if (DocumentStatus st = doc.save(); !st.ok()) {
        doc.reload();
        return failed(std::move(st));
    }
    o.after = fileBytes(doc.fileName());
    if (o.before && o.after && *o.before == *o.after) return unchanged();
    if (DocumentStatus st = doc.reload(); !st.ok()) return failed(std::move(st));
    o.result = Result::Changed;
    o.label = std::move(label);
    return o;
}

// Rewrites the references of every element of every configuration:
// elements whose group is fromGroup (and whose message is fromMessage, unless
// that is absent) get toGroup / toMessage.
void rewriteReferences(ConfigDocument& doc, std::string_view fromGroup, const std::string* fromMessage,
                       std::string_view toGroup, const std::string* toMessage) {
    const std::string newGroup(toGroup);
    for (pugi::xml_node set = doc.sets().first_child(); set; set = set.next_sibling()) {
        for (pugi::xml_node el = set.first_child(); el; el = el.next_sibling()) {
            if (el.type() != pugi::node_element) continue;
            pugi::xml_node group = el.child("group");
            if (!group || std::string_view(group.text().get()) != fromGroup) continue;
            pugi::xml_node name = el.child("name");
            if (fromMessage && std::string_view(name.text().get()) != *fromMessage) continue;
            if (newGroup != fromGroup) group.text().set(newGroup.c_str());
            if (toMessage) name.text().set(toMessage->c_str());
        }
    }
}

Usage countUses(const ConfigDocument& doc, std::string_view group, const std::string_view* message) {
    Usage u;
    for (pugi::xml_node set = doc.sets().first_child(); set; set = set.next_sibling()) {
        int here = 0;
        for (pugi::xml_node el = set.first_child(); el; el = el.next_sibling()) {
            if (el.type() != pugi::node_element || !el.child("group")) continue;
            if (childText(el, "group") != group) continue;
            if (message && childText(el, "name") != *message) continue;
            ++here;
        }
        u.elements += here;
        if (here > 0) ++u.configurations;
    }
    return u;
}

// ---- export ----------------------------------------------------------------

bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code ec;
    if (std::filesystem::equivalent(a, b, ec)) return true;
    const auto ca = std::filesystem::weakly_canonical(a, ec);
    if (ec) return false;
    const auto cb = std::filesystem::weakly_canonical(b, ec);
    return !ec && ca == cb;
}

// Builds an export file from a copy of the working file, shaped by build,
// and puts it at target in one step: the copy is made, edited and saved
// beside the target under a temporary name, then renamed over it. A reader
// never sees half an export, and a failure leaves an existing file alone.
template <typename Build>
LibraryOutcome writeExport(const ConfigDocument& doc, const std::filesystem::path& target, Build build) {
    DocumentStatus st;
    st.fileName = target;
    if (sameFile(target, doc.fileName())) {
        return refused("library.export.same_file", {target.string()});
    }
    std::error_code ec;
    if (std::filesystem::exists(target, ec) && ::access(target.c_str(), W_OK) != 0) {
        st.code = DocumentStatus::Code::WriteFailed;
        st.detail = std::error_code(errno, std::generic_category()).message();
        return failed(std::move(st));
    }
    std::string error;
    const auto bytes = detail::readWholeFile(doc.fileName(), error);
    if (!bytes) {
        DocumentStatus read;
        read.fileName = doc.fileName();
        read.code = DocumentStatus::Code::OpenFailed;
        read.detail = error;
        return failed(std::move(read));
    }
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path temp =
        target.parent_path() / ("." + target.filename().string() + ".export-" + std::to_string(::getpid()) +
                                "-" + std::to_string(counter++));
    bool exists = false;
    if (std::string err = detail::createFileExclusively(temp, *bytes, exists); !err.empty() || exists) {
        st.code = DocumentStatus::Code::WriteFailed;
        st.detail = exists ? "temporary file exists" : err;
        return failed(std::move(st));
    }
    auto cleanup = [&] { std::filesystem::remove(temp, ec); };
    ConfigDocument out;
    if (DocumentStatus loaded = out.load(temp); !loaded.ok()) {
        cleanup();
        loaded.fileName = doc.fileName();
        return failed(std::move(loaded));
    }
    LibraryOutcome o;
    o.result = Result::Exported;
    build(out, o);
    if (DocumentStatus saved = out.save(); !saved.ok()) {
        cleanup();
        saved.fileName = target;
        return failed(std::move(saved));
    }
    std::filesystem::rename(temp, target, ec);
    if (ec) {
        cleanup();
        st.code = DocumentStatus::Code::WriteFailed;
        st.detail = ec.message();
        return failed(std::move(st));
    }
    return o;
}

// Removes the root's first child of that tag.
void dropFirst(ConfigDocument& d, const char* tag) {
    if (pugi::xml_node n = d.root().child(tag)) removeElementIndented(n);
}

TableText label(std::string key, std::vector<std::string> values) {
    return {std::move(key), std::move(values)};
}

std::string str(std::string_view s) { return std::string(s); }

}  // namespace

std::string TableText::text(std::string_view language) const {
    const std::string_view pattern = korvane::text(key, language);
    std::string out;
    std::size_t next = 0;
    for (std::size_t i = 0; i < pattern.size();) {
        if (pattern.compare(i, 2, "%s") == 0 && next < values.size()) {
            out += values[next++];
            i += 2;
        } else {
            out += pattern[i++];
        }
    }
    return out;
}

std::string LibraryOutcome::problem(std::string_view language) const {
    switch (result) {
        case Result::Refused:
            return reason.text(language);
        case Result::Failed:
            return status.message(language);
        default:
            return {};
    }
}

bool isNoAssignmentText(std::string_view t) {
    return t == text("main.keine_zuordnung", "de") || t == text("main.keine_zuordnung", "en");
}

Usage groupUsage(const ConfigDocument& doc, std::string_view group) {
    const pugi::xml_node first = firstNamed(doc.messagegroups(), group);
    if (!first || holdsOtherNamed(doc.messagegroups(), group, first)) return {};
    return countUses(doc, group, nullptr);
}

Usage messageUsage(const ConfigDocument& doc, std::string_view group, std::string_view message) {
    const pugi::xml_node g = firstNamed(doc.messagegroups(), group);
    const pugi::xml_node m = firstNamed(g, message);
    if (!m || holdsOtherNamed(g, message, m)) return {};
    return countUses(doc, group, &message);
}

// ---- configurations ----------------------------------------------------------

LibraryOutcome newConfiguration(ConfigDocument& doc, std::string_view name) {
    if (!usableName(name)) return refused("library.name.unusable");
    if (firstNamed(doc.sets(), name)) return refused("library.config.exists", {str(name)});
    appendNamed(container(doc, "sets"), "set", name);
    return commit(doc, label("library.label.config_new", {str(name)}));
}

LibraryOutcome duplicateConfiguration(ConfigDocument& doc, std::string_view current,
                                      std::string_view copyName) {
    const pugi::xml_node source = firstNamed(doc.sets(), current);
    if (!source) return unchanged();
    if (!usableName(copyName)) return refused("library.name.unusable");
    if (firstNamed(doc.sets(), copyName)) return refused("library.config.exists", {str(copyName)});
    setName(appendCopyIndented(doc.sets(), source), copyName);
    return commit(doc, label("library.label.config_copy", {str(current), str(copyName)}));
}

LibraryOutcome renameConfiguration(ConfigDocument& doc, std::string_view current, std::string_view newName) {
    const pugi::xml_node set = lastNamed(doc.sets(), current);
    if (!set || newName == current) return unchanged();
    if (!usableName(newName)) return refused("library.name.unusable");
    if (firstNamed(doc.sets(), newName)) return refused("library.config.exists", {str(newName)});
    setName(set, newName);
    return commit(doc, label("library.label.config_rename", {str(current), str(newName)}));
}

LibraryOutcome deleteConfiguration(ConfigDocument& doc, std::string_view name) {
    if (name == kProtectedDefaultName) return refused("library.config.delete_default");
    const pugi::xml_node set = firstNamed(doc.sets(), name);
    if (!set) return unchanged();
    removeElementIndented(set);
    return commit(doc, label("library.label.config_delete", {str(name)}));
}

LibraryOutcome exportConfiguration(const ConfigDocument& doc, std::string_view name,
                                   const std::filesystem::path& target) {
    const pugi::xml_node set = lastNamed(doc.sets(), name);
    if (!set) return unchanged();
    return writeExport(doc, target, [&](ConfigDocument& out, LibraryOutcome& o) {
        dropFirst(out, "messagegroups");
        dropFirst(out, "sets");
        const pugi::xml_node sets = appendElementIndented(out.root(), "sets");
        const pugi::xml_node groups = appendElementIndented(out.root(), "messagegroups");
        const pugi::xml_node copy = appendCopyIndented(sets, set);
        std::vector<pugi::xml_node> dangling;
        for (pugi::xml_node el = copy.first_child(); el; el = el.next_sibling()) {
            if (el.type() != pugi::node_element || std::string_view(el.name()) != "element") continue;
            const std::string groupName = childText(el, "group");
            const std::string messageName = childText(el, "name");
            const pugi::xml_node group = doc.Finde_XML_MessageGroupByName(groupName);
            const pugi::xml_node message = ConfigDocument::Finde_XML_MessageByName(messageName, group);
            if (!message) {
                // Writing the element would hand the next reader a broken
                // reference; it is left out and named instead.
                dangling.push_back(el);
                o.leftOut.emplace_back(el.attribute("name").value());
                continue;
            }
            pugi::xml_node into = firstNamed(groups, groupName);
            if (!into) into = appendNamed(groups, "messagegroup", groupName);
            if (!firstNamed(into, messageName)) appendCopyIndented(into, message);
        }
        for (pugi::xml_node el : dangling) removeElementIndented(el);
    });
}

// ---- message groups ----------------------------------------------------------

namespace {
// A group name that the group list would take for its no-assignment entry.
std::optional<LibraryOutcome> unusableGroupName(std::string_view name) {
    if (!usableName(name)) return refused("library.name.unusable");
    if (isNoAssignmentText(name)) return refused("library.group.reserved", {str(name)});
    return std::nullopt;
}
}  // namespace

LibraryOutcome newGroup(ConfigDocument& doc, std::string_view name) {
    if (auto no = unusableGroupName(name)) return *no;
    if (firstNamed(doc.messagegroups(), name)) return refused("library.group.exists");
    appendNamed(container(doc, "messagegroups"), "messagegroup", name);
    return commit(doc, label("library.label.group_new", {str(name)}));
}

LibraryOutcome duplicateGroup(ConfigDocument& doc, std::string_view current, std::string_view copyName) {
    const pugi::xml_node source = firstNamed(doc.messagegroups(), current);
    if (!source) return unchanged();
    if (auto no = unusableGroupName(copyName)) return *no;
    if (firstNamed(doc.messagegroups(), copyName))
        return refused("library.group.copy_exists", {str(copyName)});
    setName(appendCopyIndented(doc.messagegroups(), source), copyName);
    return commit(doc, label("library.label.group_copy", {str(current), str(copyName)}));
}

LibraryOutcome renameGroup(ConfigDocument& doc, std::string_view current, std::string_view newName) {
    const pugi::xml_node group = firstNamed(doc.messagegroups(), current);
    if (!group || newName == current) return unchanged();
    if (auto no = unusableGroupName(newName)) return *no;
    // A second group of the new name would take over the references of the
    // configurations that use it, silently.
    if (firstNamed(doc.messagegroups(), newName))
        return refused("library.group.rename_exists", {str(newName)});
    setName(group, newName);
    rewriteReferences(doc, current, nullptr, newName, nullptr);
    return commit(doc, label("library.label.group_rename", {str(current), str(newName)}));
}

LibraryOutcome deleteGroup(ConfigDocument& doc, std::string_view name) {
    if (name == kProtectedDefaultName) return refused("library.group.delete_default");
    const pugi::xml_node group = firstNamed(doc.messagegroups(), name);
    if (!group) return unchanged();
    removeElementIndented(group);
    return commit(doc, label("library.label.group_delete", {str(name)}));
}

LibraryOutcome exportGroup(const ConfigDocument& doc, std::string_view name,
                           const std::filesystem::path& target) {
    const pugi::xml_node group = lastNamed(doc.messagegroups(), name);
    if (!group) return unchanged();
    return writeExport(doc, target, [&](ConfigDocument& out, LibraryOutcome&) {
        dropFirst(out, "messagegroups");
        dropFirst(out, "sets");
        appendCopyIndented(appendElementIndented(out.root(), "messagegroups"), group);
    });
}

// ---- messages ----------------------------------------------------------------

LibraryOutcome newMessage(ConfigDocument& doc, std::string_view group, std::string_view name) {
    const pugi::xml_node g = firstNamed(doc.messagegroups(), group);
    if (!g) return refused("library.message.no_group");
    if (!usableName(name)) return refused("library.name.unusable");
    if (firstNamed(g, name)) return refused("library.message.exists");
    appendNamed(g, "message", name);
    return commit(doc, label("library.label.message_new", {str(name), str(group)}));
}

LibraryOutcome duplicateMessage(ConfigDocument& doc, std::string_view group, std::string_view message,
                                std::string_view copyName) {
    const pugi::xml_node g = firstNamed(doc.messagegroups(), group);
    const pugi::xml_node m = firstNamed(g, message);
    if (!m) return unchanged();
    if (!usableName(copyName)) return refused("library.name.unusable");
    if (firstNamed(g, copyName)) return refused("library.message.copy_exists", {str(copyName), str(group)});
    setName(appendCopyIndented(g, m), copyName);
    return commit(doc, label("library.label.message_copy", {str(message), str(copyName)}));
}

LibraryOutcome renameMessage(ConfigDocument& doc, std::string_view group, std::string_view message,
                             std::string_view newName) {
    const pugi::xml_node g = firstNamed(doc.messagegroups(), group);
    const pugi::xml_node m = firstNamed(g, message);
    if (!m || newName == message) return unchanged();
    if (!usableName(newName)) return refused("library.name.unusable");
    if (firstNamed(g, newName)) return refused("library.message.rename_exists", {str(group), str(newName)});
    setName(m, newName);
    const std::string from(message), to(newName);
    rewriteReferences(doc, group, &from, group, &to);
    return commit(doc, label("library.label.message_rename", {from, to}));
}

LibraryOutcome deleteMessage(ConfigDocument& doc, std::string_view group, std::string_view message) {
    if (group == kProtectedDefaultName) return refused("library.message.delete_default");
    const pugi::xml_node m = firstNamed(firstNamed(doc.messagegroups(), group), message);
    if (!m) return unchanged();
    removeElementIndented(m);
    return commit(doc, label("library.label.message_delete", {str(message), str(group)}));
}

LibraryOutcome moveMessage(ConfigDocument& doc, std::string_view group, std::string_view message,
                           std::string_view target) {
    const pugi::xml_node g = firstNamed(doc.messagegroups(), group);
    const pugi::xml_node m = firstNamed(g, message);
    const pugi::xml_node t = firstNamed(doc.messagegroups(), target);
    if (!m || !t) return unchanged();
    // Two messages of one name in the target: the elements that follow the
    // moved one would find the other.
    if (holdsOtherNamed(t, message, m))
        return refused("library.message.move_exists", {str(target), str(message)});
    // The copy goes in first, so that a move into its own group puts the
    // message at the end.
    appendCopyIndented(t, m);
    removeElementIndented(m);
    if (t != g) {
        const std::string name(message);
        rewriteReferences(doc, group, &name, target, &name);
    }
    return commit(doc, label("library.label.message_move", {str(message), str(target)}));
}

LibraryOutcome copyMessage(ConfigDocument& doc, std::string_view group, std::string_view message,
                           std::string_view target) {
    const pugi::xml_node m = firstNamed(firstNamed(doc.messagegroups(), group), message);
    const pugi::xml_node t = firstNamed(doc.messagegroups(), target);
    if (!m || !t) return unchanged();
    if (firstNamed(t, message))
        return refused("library.message.copy_target_exists", {str(target), str(message)});
    appendCopyIndented(t, m);
    return commit(doc, label("library.label.message_copy_to", {str(message), str(target)}));
}

// ---- other changes -------------------------------------------------------------

LibraryOutcome saveChange(ConfigDocument& doc, TableText what) { return commit(doc, std::move(what)); }

LibraryOutcome openLibrary(ConfigDocument& doc, const std::filesystem::path& file) {
    ConfigDocument candidate;
    if (DocumentStatus st = candidate.load(file); !st.ok()) return failed(std::move(st));
    const pugi::xml_node root = candidate.root();
    if (!root.child("sets") && !root.child("messagegroups")) {
        // Where the root element's tag opens (the parser points at its
        // name), so the user can look at the file.
        std::string error;
        const auto bytes = detail::readWholeFile(file, error).value_or(std::string());
        const auto at = std::min<std::size_t>(
            static_cast<std::size_t>(std::max<std::ptrdiff_t>(root.offset_debug() - 1, 0)), bytes.size());
        const std::string_view before = std::string_view(bytes).substr(0, at);
        const auto line = 1 + std::count(before.begin(), before.end(), '\n');
        const auto lastBreak = before.find_last_of('\n');
        const auto column = lastBreak == std::string_view::npos ? at + 1 : at - lastBreak;
        return refused("library.open.not_library",
                       {file.string(), root.name(), std::to_string(line), std::to_string(column)});
    }
    LibraryOutcome o;
    o.previousFile = doc.fileName();
    if (DocumentStatus st = doc.load(file); !st.ok()) return failed(std::move(st));
    o.result = Result::Switched;
    o.label = label("library.label.open", {file.filename().string()});
    return o;
}

}  // namespace korvane

#pragma once
// Generated configuration libraries for benchmarks: a number of complete
// configurations (64 assignments each) over a fixed pool of messages, laid
// out like the files the editor writes. Header-only so that any benchmark
// can include it.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "element_catalogue.h"

namespace korvane::bench {

struct LibrarySpec {
    int configurations = 100;
    int messages = 10000;  // spread evenly over the groups
    int groups = 100;
};

inline std::string configurationName(int i) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "Konfiguration %05d", i);
    return buf;
}

inline std::string groupName(int g) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "Gruppe %03d", g);
    return buf;
}

inline std::string messageName(int m) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "Message %05d", m);
    return buf;
}

// Group of message m and the message an element of a configuration uses.
inline int groupOfMessage(const LibrarySpec& spec, int m) { return m % spec.groups; }
inline int messageFor(const LibrarySpec& spec, int configuration, int element) {
    return (configuration * 64 + element) % spec.messages;
}

inline std::string makeLibraryXml(const LibrarySpec& spec) {
    std::string out;
    out.reserve(static_cast<std::size_t>(spec.configurations) * 64 * 110 +
                static_cast<std::size_t>(spec.messages) * 260);
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- generated benchmark library -->\n<korvane>\n";
    out += "  <sets>\n";
    // Configurations are written in reverse so that sorting the names has work to do.
    for (int c = spec.configurations - 1; c >= 0; --c) {
        out += "    <set name=\"" + configurationName(c) + "\" description=\"Bench#&quot;line two&quot;\">\n";
        for (int e = 0; e < kElementCount; ++e) {
            const int m = messageFor(spec, c, e);
            out += "      <element name=\"";
            out += Wie_lautet_EingabeElementName(e);
            out += "\">\n        <group>" + groupName(groupOfMessage(spec, m)) + "</group>\n        <name>" +
                   messageName(m) + "</name>\n      </element>\n";
        }
        out += "    </set>\n";
    }
    out += "  </sets>\n  <messagegroups>\n";
    for (int g = 0; g < spec.groups; ++g) {
        out += "    <messagegroup name=\"" + groupName(g) + "\">\n";
        for (int m = g; m < spec.messages; m += spec.groups) {
            out += "      <message name=\"" + messageName(m) +
                   "\">\n        <left>B0,63,00,B0,62,05,B0,06,F1,B0,26,F2</left>\n        <right></right>\n"
                   "        <mode>14</mode>\n        <range>absolute</range>\n        <min>0</min>\n"
                   "        <max>16383</max>\n        <step>64</step>\n        <start>8192</start>\n"
                   "      </message>\n";
        }
        out += "    </messagegroup>\n";
    }
    out += "  </messagegroups>\n</korvane>\n";
    return out;
}

// Writes the library as file name into folder and returns its path.
inline std::filesystem::path writeLibrary(const std::filesystem::path& folder, const LibrarySpec& spec,
                                          const std::string& name = "korvane.xml") {
    const std::filesystem::path path = folder / name;
    std::ofstream(path, std::ios::binary | std::ios::trunc) << makeLibraryXml(spec);
    return path;
}

// A fresh folder under the system's temporary folder (the caller removes it).
inline std::filesystem::path makeTempFolder(const char* prefix = "korvane-bench") {
    std::string pattern =
        (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) std::abort();
    return pattern;
}

}  // namespace korvane::bench

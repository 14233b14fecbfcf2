// One change cycle of the editor on libraries of growing size: change one
// element's assignment, save the whole file, read it back, and collect the
// configuration names (sorted, as the list shows them) and the group names.

#include <benchmark/benchmark.h>

#include <algorithm>

#include "config_document.h"
#include "library_gen.h"

namespace {

using korvane::ConfigDocument;
namespace kb = korvane::bench;

void BM_ChangeCycle(benchmark::State& state) {
    kb::LibrarySpec spec;
    spec.configurations = static_cast<int>(state.range(0));
    const auto folder = kb::makeTempFolder();
    const auto file = kb::writeLibrary(folder, spec);
    ConfigDocument doc;
    if (!doc.load(file).ok()) {
        state.SkipWithError("library does not load");
        return;
    }
    int round = 0;
    for (auto _ : state) {
        const int c = round % spec.configurations;
        const std::string setName = kb::configurationName(c);
        pugi::xml_node element =
            ConfigDocument::Finde_XML_Element("Fader 1", doc.Finde_XML_SetByName(setName));
        const int m = (round * 7 + 1) % spec.messages;
        korvane::setChildText(element, "group", kb::groupName(kb::groupOfMessage(spec, m)));
        korvane::setChildText(element, "name", kb::messageName(m));
        if (!doc.saveAndReload().ok()) {
            state.SkipWithError("save or reload failed");
            break;
        }
        std::vector<std::string> sets = doc.setNames();
        std::sort(sets.begin(), sets.end());
        std::vector<std::string> groups = doc.groupNames();
        benchmark::DoNotOptimize(sets.data());
        benchmark::DoNotOptimize(groups.data());
        ++round;
    }
    state.counters["file_bytes"] = static_cast<double>(std::filesystem::file_size(file));
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_ChangeCycle)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// Reading a library from its file again, with every check of what the file
// holds (encoding, character references, entities), as every list refill
// does. The document stays, as in the editor: a fresh one per round would
// mostly measure the memory going back to the system and coming again.
void BM_Load(benchmark::State& state) {
    kb::LibrarySpec spec;
    spec.configurations = static_cast<int>(state.range(0));
    const auto folder = kb::makeTempFolder();
    const auto file = kb::writeLibrary(folder, spec);
    ConfigDocument doc;
    for (auto _ : state) {
        if (!doc.load(file).ok()) {
            state.SkipWithError("library does not load");
            break;
        }
        benchmark::DoNotOptimize(doc.root());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(std::filesystem::file_size(file)));
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_Load)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// Resolving all 64 elements of one configuration, as the map hints and the
// encoder do after every change.
void BM_ResolveAllElements(benchmark::State& state) {
    kb::LibrarySpec spec;
    spec.configurations = static_cast<int>(state.range(0));
    const auto folder = kb::makeTempFolder();
    ConfigDocument doc;
    if (!doc.load(kb::writeLibrary(folder, spec)).ok()) {
        state.SkipWithError("library does not load");
        return;
    }
    const std::string setName = kb::configurationName(spec.configurations / 2);
    for (auto _ : state) {
        for (int e = 0; e < korvane::kElementCount; ++e) {
            benchmark::DoNotOptimize(doc.resolveElement(setName, e).message);
        }
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_ResolveAllElements)->Arg(10)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

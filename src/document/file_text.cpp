#include "file_text.h"

#include <algorithm>
#include <cstring>

namespace korvane {

FileText::FileText(std::string whole) : size_(whole.size()) {
    if (!whole.empty()) parts_.push_back(std::make_shared<const std::string>(std::move(whole)));
}

FileText::FileText(std::vector<Part> parts) {
    // Empty parts carry nothing; dropping them keeps the comparison's walk
    // from stepping on a part it cannot advance through.
    parts_.reserve(parts.size());
    for (Part& p : parts) {
        if (!p || p->empty()) continue;
        size_ += p->size();
        parts_.push_back(std::move(p));
    }
}

std::vector<std::string_view> FileText::views() const {
    std::vector<std::string_view> out;
    out.reserve(parts_.size());
    for (const Part& p : parts_) out.emplace_back(*p);
    return out;
}

std::string FileText::joined() const {
    std::string out;
    out.reserve(size_);
    for (const Part& p : parts_) out += *p;
    return out;
}

bool operator==(const FileText& a, const FileText& b) {
    if (a.size_ != b.size_) return false;
    std::size_t i = 0, j = 0;    // the parts the walk stands in
    std::size_t at = 0, bt = 0;  // how far into them
    while (i < a.parts_.size() && j < b.parts_.size()) {
        const std::string& pa = *a.parts_[i];
        const std::string& pb = *b.parts_[j];
        if (at == 0 && bt == 0 && &pa == &pb) {
            ++i;
            ++j;
            continue;
        }
        const std::size_t n = std::min(pa.size() - at, pb.size() - bt);
        if (std::memcmp(pa.data() + at, pb.data() + bt, n) != 0) return false;
        at += n;
        bt += n;
        if (at == pa.size()) {
            ++i;
            at = 0;
        }
        if (bt == pb.size()) {
            ++j;
            bt = 0;
        }
    }
    return true;
}

bool operator==(const FileText& a, std::string_view b) {
    if (a.size_ != b.size()) return false;
    std::size_t at = 0;
    for (const FileText::Part& p : a.parts_) {
        if (b.compare(at, p->size(), *p) != 0) return false;
        at += p->size();
    }
    return true;
}

}  // namespace korvane

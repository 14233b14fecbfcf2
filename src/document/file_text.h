#pragma once
// The text of a file as a list of shared parts. A large document changed in
// one entry shares every other part with its previous version, so handing a
// new version to the writer, keeping the old one for undo and comparing the
// two costs time in proportion to the change, not to the file.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

class FileText {
public:
    using Part = std::shared_ptr<const std::string>;

    FileText() = default;
    explicit FileText(std::string whole);
    explicit FileText(std::vector<Part> parts);

    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    const std::vector<Part>& parts() const noexcept { return parts_; }
    // The parts as views, in order, for writing them out one after another.
    std::vector<std::string_view> views() const;
    // The whole text as one string (a copy).
    std::string joined() const;

    // Same bytes. Parts both texts share are not compared byte for byte.
    friend bool operator==(const FileText& a, const FileText& b);
    friend bool operator==(const FileText& a, std::string_view b);

private:
    std::vector<Part> parts_;
    std::size_t size_ = 0;
};

using SharedBytes = std::shared_ptr<const FileText>;

inline SharedBytes sharedText(std::string whole) {
    return std::make_shared<const FileText>(std::move(whole));
}

}  // namespace korvane

#include "platform/Image.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/Errors.h"
#include "platform/Files.h"

namespace {

using Bytes = std::vector<uint8_t>;

[[noreturn]] void RaiseImage(const std::string& path, const char* problem) {
    throw Exception(Format("Cannot copy the program image \"%s\": %s", path.c_str(), problem));
}

// Bytes read where they lie (the mapped image): no copy of them is made.
class ByteView {
public:
    ByteView(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    size_t size() const { return size_; }
    const uint8_t* data() const { return data_; }
    const uint8_t* begin() const { return data_; }
    const uint8_t* end() const { return data_ + size_; }
    uint8_t operator[](size_t at) const { return data_[at]; }
private:
    const uint8_t* data_;
    size_t size_;
};

struct Reader {
    ByteView b;
    const std::string& path;
    uint32_t U16(size_t at) const {
        if (at + 2 > b.size()) RaiseImage(path, "truncated");
        return b[at] | (b[at + 1] << 8);
    }
    uint32_t U32(size_t at) const {
        if (at + 4 > b.size()) RaiseImage(path, "truncated");
        return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
    }
};

void Put16(Bytes& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t AlignUp(uint32_t value, uint32_t alignment) {
    return alignment ? (value + alignment - 1) / alignment * alignment : value;
}

// A file mapped for reading: its pages come from the file (or the system's cache of it) as they
// are read, and take no private memory; the payload's 32 MB are never touched.
class MappedFile {
public:
    explicit MappedFile(const std::string& path) {
        FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.IsOpen()) RaiseCreateError(path, GetLastError());
        DWORD high = 0;
        size_ = GetFileSize(file.Get(), &high);
        if (size_ == INVALID_FILE_SIZE || high || size_ == 0) RaiseImage(path, "unreadable size");
        FileHandle mapping(CreateFileMappingA(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
        if (!mapping.IsOpen()) RaiseImage(path, "cannot be mapped");
        view_ = static_cast<const uint8_t*>(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0));
        if (!view_) RaiseImage(path, "cannot be mapped");
    }
    ~MappedFile() { UnmapViewOfFile(view_); }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ByteView View() const { return ByteView(view_, size_); }
private:
    const uint8_t* view_ = nullptr;
    DWORD size_ = 0;
};

// One section header of the image, as read.
struct Section {
    size_t header;  // file offset of its header
    uint32_t virtualSize, rva, rawSize, rawOffset;
};

// A resource directory entry's key: an integer identifier or a name (UTF-16, as stored).
struct Key {
    bool named = false;
    uint32_t id = 0;
    std::vector<uint16_t> name;
};

struct Leaf {
    Key key;  // the language
    uint32_t codePage = 0;
    size_t offset = 0, size = 0;  // of the data in the file
};

struct Node {
    Key key;
    std::vector<Node> children;  // empty for a language level
    std::vector<Leaf> leaves;
    uint32_t characteristics = 0, timeStamp = 0, version = 0;
};

class ResourceParser {
public:
    ResourceParser(const Reader& r, size_t base, uint32_t baseRva, const std::vector<Section>& s)
        : r_(r), base_(base), baseRva_(baseRva), sections_(s) {}

    Node Directory(uint32_t offset, int level) {
        if (level > 2) RaiseImage(r_.path, "resources nested too deep");
        Node node;
        const size_t at = base_ + offset;
        node.characteristics = r_.U32(at);
        node.timeStamp = r_.U32(at + 4);
        node.version = r_.U32(at + 8);
        const uint32_t count = r_.U16(at + 12) + r_.U16(at + 14);
        for (uint32_t i = 0; i < count; ++i) {
            const size_t entry = at + 16 + 8 * i;
            const uint32_t name = r_.U32(entry), data = r_.U32(entry + 4);
            Key key;
            if (name & 0x80000000u) {
                key.named = true;
                const size_t s = base_ + (name & 0x7FFFFFFFu);
                const uint32_t length = r_.U16(s);
                for (uint32_t c = 0; c < length; ++c) key.name.push_back(r_.U16(s + 2 + 2 * c));
            } else {
                key.id = name;
            }
            if (data & 0x80000000u) {
                Node child = Directory(data & 0x7FFFFFFFu, level + 1);
                child.key = key;
                node.children.push_back(child);
            } else {
                const size_t d = base_ + data;
                Leaf leaf;
                leaf.key = key;
                leaf.offset = FileOffsetOf(r_.U32(d));
                leaf.size = r_.U32(d + 4);
                leaf.codePage = r_.U32(d + 8);
                if (leaf.offset + leaf.size > r_.b.size()) RaiseImage(r_.path, "resource outside");
                node.leaves.push_back(leaf);
            }
        }
        return node;
    }

private:
    size_t FileOffsetOf(uint32_t rva) const {
        for (const Section& s : sections_)
            if (rva >= s.rva && rva < s.rva + std::max(s.virtualSize, s.rawSize))
                return s.rawOffset + (rva - s.rva);
        RaiseImage(r_.path, "resource data outside every section");
    }
    const Reader& r_;
    size_t base_;
    uint32_t baseRva_;
    const std::vector<Section>& sections_;
};

// Lays a resource tree out as a section at rva: the directories, the data entries, the names,
// then the data.
class ResourceWriter {
public:
    ResourceWriter(ByteView source, uint32_t rva) : source_(source), rva_(rva) {}

    Bytes Build(const Node& root) {
        // Pass 1: sizes and offsets.
        uint32_t directories = 0, entries = 0, names = 0, data = 0;
        Measure(root, 0, directories, entries, names, data);
        dirAt_ = 0;
        entryAt_ = directories;
        nameAt_ = entryAt_ + entries;
        dataAt_ = AlignUp(nameAt_ + names, 8);
        out_.assign(dataAt_ + data, 0);
        nextDir_ = 0;
        Emit(root, 0);
        return out_;
    }

private:
    void Measure(const Node& node, int level, uint32_t& directories, uint32_t& entries,
                 uint32_t& names, uint32_t& data) {
        const size_t count = level < 2 ? node.children.size() : node.leaves.size();
        directories += 16 + 8 * static_cast<uint32_t>(count);
        auto key = [&](const Key& k) {
            if (k.named) names += 2 + 2 * static_cast<uint32_t>(k.name.size());
        };
        if (level < 2) {
            for (const Node& child : node.children) {
                key(child.key);
                Measure(child, level + 1, directories, entries, names, data);
            }
        } else {
            for (const Leaf& leaf : node.leaves) {
                key(leaf.key);
                entries += 16;
                data += AlignUp(static_cast<uint32_t>(leaf.size), 8);
            }
        }
    }

    uint32_t NameOffset(const Key& key) {
        if (!key.named) return key.id;
        const uint32_t at = nameAt_;
        Put16(out_, at, static_cast<uint32_t>(key.name.size()));
        for (size_t c = 0; c < key.name.size(); ++c) Put16(out_, at + 2 + 2 * c, key.name[c]);
        nameAt_ += 2 + 2 * static_cast<uint32_t>(key.name.size());
        return 0x80000000u | at;
    }

    // Writes the directory of node at the next directory place; returns that place.
    uint32_t Emit(const Node& node, int level) {
        const uint32_t at = nextDir_;
        const size_t count = level < 2 ? node.children.size() : node.leaves.size();
        nextDir_ += 16 + 8 * static_cast<uint32_t>(count);
        Put32(out_, at, node.characteristics);
        Put32(out_, at + 4, node.timeStamp);
        Put32(out_, at + 8, node.version);
        uint32_t named = 0;
        if (level < 2) {
            for (const Node& c : node.children) named += c.key.named;
        } else {
            for (const Leaf& l : node.leaves) named += l.key.named;
        }
        Put16(out_, at + 12, named);
        Put16(out_, at + 14, static_cast<uint32_t>(count) - named);
        for (size_t i = 0; i < count; ++i) {
            const size_t entry = at + 16 + 8 * i;
            if (level < 2) {
                const Node& child = node.children[i];
                Put32(out_, entry, NameOffset(child.key));
                Put32(out_, entry + 4, 0x80000000u | Emit(child, level + 1));
            } else {
                const Leaf& leaf = node.leaves[i];
                Put32(out_, entry, NameOffset(leaf.key));
                const uint32_t dataEntry = entryAt_;
                entryAt_ += 16;
                Put32(out_, entry + 4, dataEntry);
                Put32(out_, dataEntry, rva_ + dataAt_);
                Put32(out_, dataEntry + 4, static_cast<uint32_t>(leaf.size));
                Put32(out_, dataEntry + 8, leaf.codePage);
                std::copy(source_.begin() + leaf.offset, source_.begin() + leaf.offset + leaf.size,
                          out_.begin() + dataAt_);
                dataAt_ += AlignUp(static_cast<uint32_t>(leaf.size), 8);
            }
        }
        return at;
    }

    ByteView source_;
    uint32_t rva_;
    Bytes out_;
    uint32_t dirAt_ = 0, entryAt_ = 0, nameAt_ = 0, dataAt_ = 0, nextDir_ = 0;
};

// The PE checksum: the 16-bit one's-complement sum of the file with the checksum field taken as
// 0, plus the file's length.
uint32_t ImageChecksum(const Bytes& b, size_t checksumAt) {
    uint64_t sum = 0;
    for (size_t i = 0; i + 1 < b.size() + 1; i += 2) {
        if (i == checksumAt || i == checksumAt + 2) continue;
        uint32_t word = b[i] | (i + 1 < b.size() ? b[i + 1] << 8 : 0);
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + b.size());
}

}  // namespace

void WriteImageWithoutResources(const std::string& from, const std::string& to, int firstId,
                                int lastId) {
    const MappedFile mapped(from);
    const ByteView image = mapped.View();
    const Reader r{image, from};
    if (r.U16(0) != 0x5A4D) RaiseImage(from, "no MZ header");
    const size_t pe = r.U32(0x3C);
    if (r.U32(pe) != 0x00004550) RaiseImage(from, "no PE header");
    const size_t fileHeader = pe + 4;
    const uint32_t sectionCount = r.U16(fileHeader + 2);
    const uint32_t optionalSize = r.U16(fileHeader + 16);
    const size_t optional = fileHeader + 20;
    const uint32_t magic = r.U16(optional);
    if (magic != 0x10B && magic != 0x20B) RaiseImage(from, "unknown optional header");
    const size_t directoryCountAt = optional + (magic == 0x10B ? 92 : 108);
    const size_t directories = directoryCountAt + 4;
    const uint32_t directoryCount = r.U32(directoryCountAt);
    const uint32_t sectionAlignment = r.U32(optional + 32);
    const uint32_t fileAlignment = r.U32(optional + 36);
    const size_t sizeOfImageAt = optional + 56;
    const size_t checksumAt = optional + 64;
    const size_t sizeOfInitializedDataAt = optional + 8;

    std::vector<Section> sections;
    for (uint32_t i = 0; i < sectionCount; ++i) {
        const size_t h = optional + optionalSize + 40 * i;
        sections.push_back({h, r.U32(h + 8), r.U32(h + 12), r.U32(h + 16), r.U32(h + 20)});
    }

    const uint32_t resourceRva = directoryCount > 2 ? r.U32(directories + 16) : 0;
    size_t resourceSection = sections.size();
    for (size_t i = 0; i < sections.size(); ++i)
        if (resourceRva && resourceRva >= sections[i].rva &&
            resourceRva < sections[i].rva + sections[i].virtualSize)
            resourceSection = i;
    if (resourceSection == sections.size()) {  // nothing to leave out
        WriteFileReplacing(to, image.data(), static_cast<DWORD>(image.size()));
        return;
    }
    const Section& rsrc = sections[resourceSection];
    if (resourceRva != rsrc.rva) RaiseImage(from, "resources not at the start of their section");

    // The sections after the resources move; only the base relocations may lie there (their
    // contents name other sections' addresses only).
    for (uint32_t d = 0; d < directoryCount && d < 16; ++d) {
        if (d == 2 || d == 4 || d == 5) continue;  // resources, signature (a file offset), relocations
        const uint32_t rva = r.U32(directories + 8 * d);
        if (rva >= rsrc.rva + rsrc.virtualSize && r.U32(directories + 8 * d + 4))
            RaiseImage(from, "data after the resources that cannot move");
    }
    for (size_t i = resourceSection + 1; i < sections.size(); ++i)
        if (sections[i].rva < rsrc.rva || sections[i].rawOffset < rsrc.rawOffset)
            RaiseImage(from, "sections out of order");

    ResourceParser parser(r, rsrc.rawOffset, rsrc.rva, sections);
    Node root = parser.Directory(0, 0);
    for (Node& type : root.children) {
        if (type.key.named || type.key.id != 10) continue;  // RT_RCDATA
        std::vector<Node> kept;
        for (Node& name : type.children)
            if (name.key.named || static_cast<int>(name.key.id) < firstId ||
                static_cast<int>(name.key.id) > lastId)
                kept.push_back(name);
        type.children = kept;
    }
    std::vector<Node> types;
    for (Node& type : root.children)
        if (!type.children.empty()) types.push_back(type);
    root.children = types;

    const Bytes resources = ResourceWriter(image, rsrc.rva).Build(root);

    // Headers, the sections before the resources as they are, then the new resources and the
    // moved sections.
    Bytes out(image.begin(), image.begin() + rsrc.rawOffset);
    out.insert(out.end(), resources.begin(), resources.end());
    out.resize(rsrc.rawOffset + AlignUp(static_cast<uint32_t>(resources.size()), fileAlignment), 0);
    Put32(out, rsrc.header + 8, static_cast<uint32_t>(resources.size()));
    Put32(out, rsrc.header + 16, static_cast<uint32_t>(out.size() - rsrc.rawOffset));
    Put32(out, directories + 16 + 4, static_cast<uint32_t>(resources.size()));
    uint32_t initialized = r.U32(sizeOfInitializedDataAt) - rsrc.rawSize +
                           static_cast<uint32_t>(out.size() - rsrc.rawOffset);
    uint32_t nextRva = AlignUp(rsrc.rva + static_cast<uint32_t>(resources.size()),
                               sectionAlignment);
    uint32_t end = nextRva;
    for (size_t i = resourceSection + 1; i < sections.size(); ++i) {
        const Section& s = sections[i];
        const uint32_t newRva = nextRva;
        const uint32_t newOffset = s.rawSize ? static_cast<uint32_t>(out.size()) : 0;
        if (s.rawSize) {
            if (s.rawOffset + s.rawSize > image.size()) RaiseImage(from, "section outside");
            out.insert(out.end(), image.begin() + s.rawOffset,
                       image.begin() + s.rawOffset + s.rawSize);
        }
        Put32(out, s.header + 12, newRva);
        Put32(out, s.header + 20, newOffset);
        for (uint32_t d = 0; d < directoryCount && d < 16; ++d) {
            const uint32_t rva = r.U32(directories + 8 * d);
            if (d != 4 && rva >= s.rva && rva < s.rva + std::max(s.virtualSize, s.rawSize))
                Put32(out, directories + 8 * d, rva - s.rva + newRva);
        }
        end = AlignUp(newRva + std::max(s.virtualSize, 1u), sectionAlignment);
        nextRva = end;
    }
    Put32(out, directories + 8 * 4, 0);  // no signature: it would not match any more
    Put32(out, directories + 8 * 4 + 4, 0);
    Put32(out, sizeOfImageAt, end);
    Put32(out, sizeOfInitializedDataAt, initialized);
    Put32(out, checksumAt, ImageChecksum(out, checksumAt));
    WriteFileReplacing(to, out.data(), static_cast<DWORD>(out.size()));
}

#include "recording_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "readers/byte_order.h"

namespace corvane::fuzz {
namespace {

constexpr uint32_t kMagic = 0x5AFACADA;

enum class Family { V700, V500, Raw };

struct Version {
    const char* name;
    uint32_t word;
    Family family;
    bool laterHeader;  // V500 family: N at 42 (else 44)
    bool eventArea;    // V500 family: a 43200-byte event table ahead of the data
};

constexpr Version kVersions[kVersionCount] = {
    {"V800", 0x800, Family::V700, false, false}, {"V700", 0x700, Family::V700, false, false},
    {"V600", 0x600, Family::V500, true, true},   {"V510", 0x510, Family::V500, true, false},
    {"V503", 0x503, Family::V500, true, true},   {"V502", 0x502, Family::V500, true, true},
    {"V501", 0x501, Family::V500, true, false},  {"V500", 0x500, Family::V500, false, false},
    {"V402", 0x402, Family::Raw, false, false},  {"V401", 0x401, Family::Raw, false, false},
    {"V400", 0x400, Family::Raw, false, false},  {"V300", 0x300, Family::Raw, false, false},
    {"V120", 0x101, Family::Raw, false, false},
};
constexpr int kV300 = 11;
constexpr int kV120 = 12;

constexpr size_t kV700Slots = 3605;
constexpr size_t kV500Slots = 3600;
constexpr size_t kMaxSlotsPerChannel = 16;
constexpr size_t kEventTableBytes = 43200;
constexpr size_t kEventBytes = 12;

// Consumes the input front to back; reads past its end give nothing.
class Cursor {
public:
    Cursor(const uint8_t* data, size_t size) : p_(data), left_(size) {}
    bool Empty() const { return left_ == 0; }
    std::string Take(size_t n) {
        n = n < left_ ? n : left_;
        std::string s(reinterpret_cast<const char*>(p_), n);
        p_ += n;
        left_ -= n;
        return s;
    }
    std::optional<uint8_t> Byte() {
        if (!left_) return std::nullopt;
        --left_;
        return *p_++;
    }

private:
    const uint8_t* p_;
    size_t left_;
};

uint32_t VersionWord(int version, uint8_t options) {
    if (version == kV120) return (options & kOptCompanion) ? 0x102 : 0x101;
    return kVersions[version].word;
}

void ForceMagicAndVersion(std::string& head, uint32_t word) {
    if (head.size() < 8) head.resize(8, '\0');
    auto* b = reinterpret_cast<uint8_t*>(head.data());
    PutU32(b, kMagic);
    PutU32(b + 4, word);
}

// A table of `slots` entries of `entryBytes`, the first `count` taken from the
// input, the rest filled with `fill`.
std::string ExpandTable(Cursor& in, size_t count, size_t slots, size_t entryBytes, char fill) {
    std::string table(slots * entryBytes, fill);
    std::string given = in.Take((count < slots ? count : slots) * entryBytes);
    table.replace(0, given.size(), given);
    return table;
}

size_t HeaderSize700(int version) { return version == 0 ? 49 : 48; }
size_t SlotCountOffset(const Version& v) { return v.laterHeader ? 42 : 44; }

std::string Decode700(Cursor& in, int version) {
    std::string file = in.Take(HeaderSize700(version) + 8);
    ForceMagicAndVersion(file, kVersions[version].word);
    if (file.size() < HeaderSize700(version) + 8) return file;
    file += in.Take(static_cast<uint8_t>(file[43]));
    if (auto count = in.Byte()) file += ExpandTable(in, *count, kV700Slots, 8, '\xFF');
    return file;
}

std::string Decode500(Cursor& in, int version) {
    const Version& v = kVersions[version];
    std::string file = in.Take(48);
    ForceMagicAndVersion(file, v.word);
    if (file.size() < 48) return file;
    auto slots = static_cast<uint8_t>(file[SlotCountOffset(v)]);
    if (slots > kMaxSlotsPerChannel) slots %= kMaxSlotsPerChannel + 1;
    file[SlotCountOffset(v)] = static_cast<char>(slots);
    file += in.Take(8u * slots);
    for (size_t k = 0; k < slots; ++k) {
        auto count = in.Byte();
        if (!count) return file;
        file += ExpandTable(in, *count, kV500Slots, 8, '\xFF');
    }
    if (v.eventArea) {
        auto count = in.Byte();
        if (!count) return file;
        file += ExpandTable(in, *count, kEventTableBytes / kEventBytes, kEventBytes, '\0');
    }
    return file;
}

// Packs a table whose used entries come first: a count byte and those
// entries. Nothing when an entry after the first unused one is in use, or
// more than 255 are.
std::optional<std::string> PackTable(const std::string& table, size_t entryBytes, char fill) {
    const std::string unused(entryBytes, fill);
    size_t count = 0;
    while (count * entryBytes < table.size() && table.compare(count * entryBytes, entryBytes, unused) != 0) ++count;
    if (count > 255) return std::nullopt;
    for (size_t i = count; i * entryBytes < table.size(); ++i) {
        if (table.compare(i * entryBytes, entryBytes, unused) != 0) return std::nullopt;
    }
    return std::string(1, static_cast<char>(count)) + table.substr(0, count * entryBytes);
}

std::optional<std::string> Encode700(int version, const std::string& file) {
    const size_t head = HeaderSize700(version) + 8;
    if (file.size() < head) return std::nullopt;
    const size_t extra = static_cast<uint8_t>(file[43]);
    const size_t tableBytes = kV700Slots * 8;
    if (file.size() < head + extra + tableBytes) return std::nullopt;
    auto table = PackTable(file.substr(head + extra, tableBytes), 8, '\xFF');
    if (!table) return std::nullopt;
    return file.substr(0, head + extra) + *table + file.substr(head + extra + tableBytes);
}

std::optional<std::string> Encode500(int version, const std::string& file) {
    const Version& v = kVersions[version];
    if (file.size() < 48) return std::nullopt;
    const size_t slots = static_cast<uint8_t>(file[SlotCountOffset(v)]);
    if (slots > kMaxSlotsPerChannel) return std::nullopt;
    size_t at = 48 + 8 * slots;
    const size_t tableBytes = kV500Slots * 8;
    if (file.size() < at + slots * tableBytes + (v.eventArea ? kEventTableBytes : 0)) return std::nullopt;
    std::string out = file.substr(0, at);
    for (size_t k = 0; k < slots; ++k, at += tableBytes) {
        auto table = PackTable(file.substr(at, tableBytes), 8, '\xFF');
        if (!table) return std::nullopt;
        out += *table;
    }
    if (v.eventArea) {
        auto events = PackTable(file.substr(at, kEventTableBytes), kEventBytes, '\0');
        if (!events) return std::nullopt;
        out += *events;
        at += kEventTableBytes;
    }
    return out + file.substr(at);
}

}  // namespace

const char* VersionName(int version) { return version >= 0 && version < kVersionCount ? kVersions[version].name : ""; }

int VersionByName(const std::string& name) {
    for (int i = 0; i < kVersionCount; ++i) {
        if (name == kVersions[i].name) return i;
    }
    return -1;
}

int RecordingInput::Selector() const {
    int s = options & kOptSelectorMask;
    return (options & kOptNegativeSelector) ? -s - 1 : s;
}

RecordingInput DecodeRecordingInput(const uint8_t* data, size_t size) {
    RecordingInput r;
    Cursor in(data, size);
    r.version = in.Byte().value_or(0) % kVersionCount;
    r.options = in.Byte().value_or(0);
    switch (kVersions[r.version].family) {
        case Family::V700: r.file = Decode700(in, r.version); break;
        case Family::V500: r.file = Decode500(in, r.version); break;
        case Family::Raw:
            if (r.version == kV300 && (r.options & kOptCompanion)) {
                r.companion = in.Take(8u * in.Byte().value_or(0));
            }
            r.file = in.Take(100);
            ForceMagicAndVersion(r.file, VersionWord(r.version, r.options));
            break;
    }
    r.file += in.Take(size);
    return r;
}

std::optional<std::string> EncodeRecordingInput(int version, uint8_t options, const std::string& file,
                                                const std::optional<std::string>& companion) {
    if (version < 0 || version >= kVersionCount || file.size() < 8) return std::nullopt;
    std::optional<std::string> body;
    switch (kVersions[version].family) {
        case Family::V700: body = Encode700(version, file); break;
        case Family::V500: body = Encode500(version, file); break;
        case Family::Raw:
            if (version == kV120) {
                uint32_t word = GetU32(reinterpret_cast<const uint8_t*>(file.data()) + 4);
                options = static_cast<uint8_t>(word == 0x102 ? options | kOptCompanion : options & ~kOptCompanion);
                body = file;
            } else if (version == kV300 && companion) {
                if (companion->size() % 8 || companion->size() / 8 > 255) return std::nullopt;
                options |= kOptCompanion;
                body = std::string(1, static_cast<char>(companion->size() / 8)) + *companion + file;
            } else {
                options &= static_cast<uint8_t>(~kOptCompanion);
                body = file;
            }
            break;
    }
    if (!body) return std::nullopt;
    return std::string(1, static_cast<char>(version)) + std::string(1, static_cast<char>(options)) + *body;
}

namespace {

class Scratch {
public:
    Scratch() {
        namespace fs = std::filesystem;
        std::error_code ec;
        fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path(ec);
        path_ = (base / ("corvane-fuzz-" + std::to_string(::getpid()))).string();
        fs::create_directories(path_, ec);
    }
    ~Scratch() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

bool WriteWhole(const std::string& path, const std::string& bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    return done == bytes.size();
}

}  // namespace

const std::string& ScratchFolder() {
    static Scratch scratch;
    return scratch.Path();
}

std::string WriteRecordingInput(const RecordingInput& input, const std::string& name) {
    std::string path = ScratchFolder() + "/" + name;
    if (!WriteWhole(path, input.file)) std::abort();
    std::string companion = path + ".idx";
    if (input.companion) {
        if (!WriteWhole(companion, *input.companion)) std::abort();
    } else {
        ::unlink(companion.c_str());
    }
    return path;
}

}  // namespace corvane::fuzz

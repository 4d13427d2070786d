#include "export/avi_writer.h"

#include <cstring>
#include <new>

#include "readers/byte_order.h"

namespace corvane {
namespace {

thread_local int t_lastError = kAviErrNone;

int Failed(int error) {
    t_lastError = error;
    return -1;
}

constexpr size_t kIndexGrowth = 4096;  // entries (64 KiB) per reallocation
constexpr uint32_t kVideoKeyFlag = 0x10;
constexpr uint32_t kHasIndex = 0x10;
constexpr uint32_t kIsInterleaved = 0x10000;

// Writes a chunk at the current end of the data; on a short write the stream
// goes back to that end, so the next chunk overwrites the partial one.
int AddChunk(AviWriter* avi, const char id[4], const void* data, size_t length) {
    uint8_t head[8];
    std::memcpy(head, id, 4);
    PutU32(head + 4, static_cast<uint32_t>(length));
    static const uint8_t kZero = 0;
    bool ok = std::fwrite(head, 1, 8, avi->file) == 8 && (length == 0 || std::fwrite(data, 1, length, avi->file) == length) &&
              (length % 2 == 0 || std::fwrite(&kZero, 1, 1, avi->file) == 1);
    if (!ok) {
        std::fseek(avi->file, avi->position, SEEK_SET);
        return Failed(kAviErrWrite);
    }
    avi->position += static_cast<int32_t>(8 + length + length % 2);
    return 0;
}

int AddIndexEntry(AviWriter* avi, const char id[4], uint32_t flags, uint32_t offset, uint32_t length) {
    try {
        if (avi->index.size() == avi->index.capacity()) avi->index.reserve(avi->index.capacity() + kIndexGrowth);
    } catch (const std::bad_alloc&) {
        return Failed(kAviErrNoMemory);
    }
    AviIndexEntry e;
    std::memcpy(e.id, id, 4);
    e.flags = flags;
    e.offset = offset;
    e.length = length;
    avi->index.push_back(e);
    return 0;
}

// Index entry first, then the chunk. The entry of a chunk that could not be
// written is taken back: "idx1" would otherwise point at bytes that the next
// chunk (or the index itself) overwrites.
int WriteChunk(AviWriter* avi, const char id[4], uint32_t flags, const void* data, size_t length) {
    if (!avi) return Failed(kAviErrNotPermitted);
    if (avi->mode == 1) return Failed(kAviErrNotPermitted);
    // The chunk, its index entry and the "idx1" head must all stay below the limit.
    uint64_t after = static_cast<uint64_t>(avi->position) + 16 * (static_cast<uint64_t>(avi->index.size()) + 2) + length;
    if (length > avi->sizeLimit || after > avi->sizeLimit) return Failed(kAviErrSizeLimit);
    if (AddIndexEntry(avi, id, flags, static_cast<uint32_t>(avi->position), static_cast<uint32_t>(length)) != 0) return -1;
    if (AddChunk(avi, id, data, length) != 0) {
        avi->index.pop_back();
        return -1;
    }
    return 0;
}

class HeaderArea {
public:
    uint8_t bytes[kAviHeaderArea] = {};
    void Tag(size_t at, const char* fourcc) { std::memcpy(bytes + at, fourcc, 4); }
    void U32(size_t at, uint32_t v) { PutU32(bytes + at, v); }
    void U16(size_t at, uint16_t v) { PutU16(bytes + at, v); }
};

void BuildHeader(const AviWriter& avi, HeaderArea& h, uint32_t dataEnd, bool indexWritten) {
    const uint32_t usPerFrame = avi.fps < 0.001 ? 0 : static_cast<uint32_t>(1000000.0 / avi.fps + 0.5);
    // A stream list with no data would describe a stream that is not there;
    // the stream count follows the lists actually written.
    const bool audio = avi.audioChannels != 0 && avi.audioBytes != 0;
    const uint32_t headerEnd = audio ? 328 : 220;
    uint32_t sampleSize = static_cast<uint32_t>((avi.audioBits + 7) / 8 * avi.audioChannels);
    if (sampleSize == 0) sampleSize = 1;
    uint32_t compressor;
    std::memcpy(&compressor, avi.compressor, 4);  // stored as the four characters

    h.Tag(0, "RIFF");
    h.U32(4, static_cast<uint32_t>(avi.position) - 8);
    h.Tag(8, "AVI ");
    h.Tag(12, "LIST");
    h.U32(16, headerEnd - 20);
    h.Tag(20, "hdrl");
    h.Tag(24, "avih");
    h.U32(28, 56);
    h.U32(32, usPerFrame);
    h.U32(36, 10000000);
    h.U32(40, 0);
    h.U32(44, indexWritten ? kHasIndex | kIsInterleaved : kIsInterleaved);
    h.U32(48, static_cast<uint32_t>(avi.videoFrames));
    h.U32(52, 0);
    h.U32(56, audio ? 2 : 1);
    h.U32(60, 0);
    h.U32(64, static_cast<uint32_t>(avi.width));
    h.U32(68, static_cast<uint32_t>(avi.height));

    h.Tag(88, "LIST");
    h.U32(92, 124);
    h.Tag(96, "strl");
    h.Tag(100, "strh");
    h.U32(104, 64);
    h.Tag(108, "vids");
    std::memcpy(h.bytes + 112, &compressor, 4);
    h.U32(128, usPerFrame);
    h.U32(132, 1000000);
    h.U32(140, static_cast<uint32_t>(avi.videoFrames));
    h.U32(148, 0xFFFFFFFFu);
    h.Tag(172, "strf");
    h.U32(176, 40);
    h.U32(180, 40);
    h.U32(184, static_cast<uint32_t>(avi.width));
    h.U32(188, static_cast<uint32_t>(avi.height));
    h.U16(192, 1);
    h.U16(194, 24);
    std::memcpy(h.bytes + 196, &compressor, 4);
    h.U32(200, static_cast<uint32_t>(avi.width) * static_cast<uint32_t>(avi.height));

    if (audio) {
        h.Tag(220, "LIST");
        h.U32(224, 100);
        h.Tag(228, "strl");
        h.Tag(232, "strh");
        h.U32(236, 64);
        h.Tag(240, "auds");
        h.U32(260, sampleSize);
        h.U32(264, sampleSize * static_cast<uint32_t>(avi.audioRate));
        h.U32(272, static_cast<uint32_t>(avi.audioBytes) / sampleSize);
        h.U32(280, 0xFFFFFFFFu);
        h.U32(284, sampleSize);
        h.Tag(304, "strf");
        h.U32(308, 16);
        h.U16(312, static_cast<uint16_t>(avi.audioFormat));
        h.U16(314, static_cast<uint16_t>(avi.audioChannels));
        h.U32(316, static_cast<uint32_t>(avi.audioRate));
        h.U32(320, 2 * static_cast<uint32_t>(avi.audioRate));
        h.U16(324, 2);
        h.U16(326, 16);
    }

    h.Tag(headerEnd, "JUNK");
    h.U32(headerEnd + 4, 2028 - headerEnd);
    h.Tag(2036, "LIST");
    h.U32(2040, dataEnd - 2044);
    h.Tag(2044, "movi");
}

}  // namespace

AviWriter::~AviWriter() {
    if (file) std::fclose(file);  // before the buffer goes
}

std::unique_ptr<AviWriter> AVI_open_output_file(const std::string& path) {
    auto avi = std::make_unique<AviWriter>();
    avi->file = std::fopen(path.c_str(), "wb");
    if (!avi->file) {
        Failed(kAviErrOpen);
        return nullptr;
    }
    // Chunks arrive as one 8-byte head and one data write each; a large
    // buffer turns them into few system calls. (Without a buffer of our own
    // the C library keeps its default size, whatever size is asked for.)
    constexpr size_t kBufferSize = 1 << 20;
    avi->buffer.reset(new (std::nothrow) char[kBufferSize]);
    if (avi->buffer) std::setvbuf(avi->file, avi->buffer.get(), _IOFBF, kBufferSize);
    static const uint8_t kZeros[kAviHeaderArea] = {};
    if (std::fwrite(kZeros, 1, sizeof kZeros, avi->file) != sizeof kZeros) {
        Failed(kAviErrWrite);
        return nullptr;
    }
    avi->position = kAviHeaderArea;
    avi->mode = 0;
    return avi;
}

void AVI_set_video(AviWriter* avi, int width, int height, double fps, const char* compressor) {
    if (!avi || avi->mode == 1) return;
    avi->width = width;
    avi->height = height;
    avi->fps = fps;
    std::memset(avi->compressor, 0, sizeof avi->compressor);
    if (compressor) std::memcpy(avi->compressor, compressor, strnlen(compressor, 4));
}

void AVI_set_audio(AviWriter* avi, int channels, int rate, int bits, int format) {
    if (!avi || avi->mode == 1) return;
    avi->audioChannels = channels;
    avi->audioRate = rate;
    avi->audioBits = bits;
    avi->audioFormat = format;
}

int AVI_write_frame(AviWriter* avi, const void* data, size_t length) {
    int32_t before = avi ? avi->position : 0;
    if (WriteChunk(avi, "00db", kVideoKeyFlag, data, length) != 0) return -1;
    avi->videoFrames++;
    avi->lastPosition = before;
    avi->lastLength = static_cast<int32_t>(length);
    return 0;
}

int AVI_write_audio(AviWriter* avi, const void* data, size_t length) {
    if (WriteChunk(avi, "01wb", 0, data, length) != 0) return -1;
    avi->audioBytes += static_cast<int32_t>(length);
    return 0;
}

int AVI_close_output_file(AviWriter* avi) {
    if (!avi || !avi->file) return Failed(kAviErrClose);
    if (avi->mode == 1) return Failed(kAviErrNotPermitted);
    const uint32_t dataEnd = static_cast<uint32_t>(avi->position);

    std::vector<uint8_t> entries(avi->index.size() * 16);
    for (size_t i = 0; i < avi->index.size(); ++i) {
        const AviIndexEntry& e = avi->index[i];
        uint8_t* p = entries.data() + i * 16;
        std::memcpy(p, e.id, 4);
        PutU32(p + 4, e.flags);
        PutU32(p + 8, e.offset);
        PutU32(p + 12, e.length);
    }
    bool indexWritten = AddChunk(avi, "idx1", entries.data(), entries.size()) == 0;
    if (!indexWritten) t_lastError = kAviErrWriteIndex;

    HeaderArea header;
    BuildHeader(*avi, header, dataEnd, indexWritten);
    if (std::fseek(avi->file, 0, SEEK_SET) != 0 || std::fwrite(header.bytes, 1, sizeof header.bytes, avi->file) != sizeof header.bytes ||
        std::fflush(avi->file) != 0) {
        return Failed(kAviErrClose);
    }
    return indexWritten ? 0 : -1;
}

int AVI_last_error() { return t_lastError; }

const char* AVI_error_text(int error) {
    static const char* const kTexts[] = {
        "avilib - No Error",
        "avilib - AVI file size limit reached",
        "avilib - Error opening AVI file",
        "avilib - Error reading from AVI file",
        "avilib - Error writing to AVI file",
        "avilib - Error writing index (file may still be useable)",
        "avilib - Error closing AVI file",
        "avilib - Operation (read/write) not permitted",
        "avilib - Out of memory (malloc failed)",
        "avilib - Not an AVI file",
        "avilib - AVI file has no header list (corrupted?)",
        "avilib - AVI file has no MOVI list (corrupted?)",
        "avilib - AVI file has no video data",
        "avilib - operation needs an index",
    };
    if (error >= 0 && error < static_cast<int>(sizeof kTexts / sizeof kTexts[0])) return kTexts[error];
    return "avilib - Unkown Error";
}

}  // namespace corvane

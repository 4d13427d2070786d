#pragma once
// A small writer of RIFF AVI files with one video stream (the recorder's
// access units, one chunk each) and at most one 16-bit PCM audio stream.
//
// File layout:
//      0  2048-byte header area, reserved at open and filled at close:
//         RIFF "AVI " / LIST "hdrl" (avih, the video strl, the audio strl when
//         audio was written) / JUNK up to 2036 / LIST "movi" header
//   2048  data chunks "00db" (video) and "01wb" (audio): id, u32 length,
//         data, one zero byte when the length is odd
//    end  "idx1": 16 bytes per chunk (id, flags 0x10 for video, 0 for
//         audio, file offset of the chunk id, unpadded length)
//
// The video rate is always 1000000 over a scale of microseconds per frame.
// Every number is stored little-endian byte by byte.
//
// Calling order: AVI_open_output_file; AVI_set_video and AVI_set_audio;
// any mix of AVI_write_frame and AVI_write_audio; AVI_close_output_file;
// then the state is destroyed, which closes the stream.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace corvane {

// Last-error numbers (one per thread, set by every failing call, never
// cleared by a successful one).
enum AviError : int {
    kAviErrNone = 0,
    kAviErrSizeLimit = 1,
    kAviErrOpen = 2,
    kAviErrRead = 3,
    kAviErrWrite = 4,
    kAviErrWriteIndex = 5,
    kAviErrClose = 6,
    kAviErrNotPermitted = 7,
    kAviErrNoMemory = 8,
    kAviErrNotAvi = 9,
    kAviErrNoHeaderList = 10,
    kAviErrNoMoviList = 11,
    kAviErrNoVideo = 12,
    kAviErrNeedsIndex = 13,
};

// Writes never take the file past this many bytes (index included).
constexpr uint32_t kAviSizeLimit = 2000000000u;
constexpr uint32_t kAviHeaderArea = 2048;

struct AviIndexEntry {
    char id[4];
    uint32_t flags;
    uint32_t offset;  // of the chunk id, from the start of the file
    uint32_t length;  // without padding
};

// Writer state, owned by the caller from open until it is destroyed.
struct AviWriter {
    AviWriter() = default;
    ~AviWriter();
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    std::FILE* file = nullptr;
    std::unique_ptr<char[]> buffer;  // the stream's buffer; outlives the stream
    int32_t mode = 0;  // 0 writing; 1 reading (never set by this writer)
    int32_t width = 0, height = 0;
    double fps = 0;
    char compressor[8] = {};
    int32_t videoFrames = 0;
    int32_t audioFormat = 0;
    int32_t audioChannels = 0;  // 0: no audio stream
    int32_t audioRate = 0;
    int32_t audioBits = 0;
    int32_t audioBytes = 0;
    int32_t position = 0;  // where the next chunk goes
    std::vector<AviIndexEntry> index;
    int32_t lastPosition = 0, lastLength = 0;  // the last video chunk
    // The limit checked before each write; tests lower it to reach it quickly.
    uint32_t sizeLimit = kAviSizeLimit;
};

// Creates (truncates) the file and reserves the header area. Null on failure
// (error 2, or 4 when the reservation cannot be written).
std::unique_ptr<AviWriter> AVI_open_output_file(const std::string& path);
void AVI_set_video(AviWriter* avi, int width, int height, double fps, const char* compressor);
void AVI_set_audio(AviWriter* avi, int channels, int rate, int bits, int format);
// Appends one chunk. 0, or -1 with the last error set (1 size limit, 4 write,
// 7 not permitted, 8 no memory for the index).
int AVI_write_frame(AviWriter* avi, const void* data, size_t length);
int AVI_write_audio(AviWriter* avi, const void* data, size_t length);
// Writes "idx1" and the header area and flushes the stream. 0, or -1 when the
// index could not be written (error 5: the file is still playable) or the
// header or the flush failed (error 6).
int AVI_close_output_file(AviWriter* avi);

int AVI_last_error();
// "avilib - No Error", ... for a last-error number.
const char* AVI_error_text(int error);

}  // namespace corvane

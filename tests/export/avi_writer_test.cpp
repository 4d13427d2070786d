#include "export/avi_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/temp_dir.h"
#include "export_test_data.h"
#include "readers/byte_order.h"

using namespace corvane;
using namespace corvane::test;

namespace {

std::string Tag(const std::vector<uint8_t>& b, size_t at) { return std::string(reinterpret_cast<const char*>(b.data() + at), 4); }
uint32_t U32(const std::vector<uint8_t>& b, size_t at) { return GetU32(b.data() + at); }
uint16_t U16(const std::vector<uint8_t>& b, size_t at) { return GetU16(b.data() + at); }

std::unique_ptr<AviWriter> OpenVideo(const std::string& path, double fps = 25) {
    auto avi = AVI_open_output_file(path);
    EXPECT_TRUE(avi);
    if (avi) {
        AVI_set_video(avi.get(), 64, 48, fps, "H264");
        AVI_set_audio(avi.get(), 1, 8000, 16, 1);
    }
    return avi;
}

}  // namespace

TEST(AviWriter, FileClosedWithoutChunksIs2056BytesWithVideoHeadersOnly) {
    TempDir dir;
    std::string path = dir.File("empty.avi");
    auto avi = OpenVideo(path);
    ASSERT_TRUE(avi);
    ASSERT_EQ(AVI_close_output_file(avi.get()), 0);
    avi.reset();

    auto b = ReadBytes(path);
    ASSERT_EQ(b.size(), 2056u);
    EXPECT_EQ(Tag(b, 0), "RIFF");
    EXPECT_EQ(U32(b, 4), 2048u);
    EXPECT_EQ(Tag(b, 8), "AVI ");
    EXPECT_EQ(U32(b, 16), 200u);       // header list without the audio stream
    EXPECT_EQ(U32(b, 32), 40000u);     // microseconds per frame
    EXPECT_EQ(U32(b, 44), 0x10010u);   // has index
    EXPECT_EQ(U32(b, 48), 0u);
    EXPECT_EQ(U32(b, 56), 1u);         // audio set but never written: one stream
    EXPECT_EQ(U32(b, 64), 64u);
    EXPECT_EQ(U32(b, 68), 48u);
    EXPECT_EQ(Tag(b, 108), "vids");
    EXPECT_EQ(Tag(b, 112), "H264");
    EXPECT_EQ(U32(b, 128), 40000u);
    EXPECT_EQ(U32(b, 132), 1000000u);
    EXPECT_EQ(Tag(b, 196), "H264");
    EXPECT_EQ(U32(b, 200), 64u * 48u);
    EXPECT_EQ(Tag(b, 220), "JUNK");
    EXPECT_EQ(U32(b, 224), 1808u);
    EXPECT_EQ(Tag(b, 2036), "LIST");
    EXPECT_EQ(U32(b, 2040), 4u);
    EXPECT_EQ(Tag(b, 2044), "movi");
    EXPECT_EQ(Tag(b, 2048), "idx1");
    EXPECT_EQ(U32(b, 2052), 0u);
}

TEST(AviWriter, OddChunksArePaddedIndexedAndAudioHeadersDescribe16BitMono) {
    TempDir dir;
    std::string path = dir.File("chunks.avi");
    auto avi = OpenVideo(path);
    ASSERT_TRUE(avi);
    const uint8_t v1[3] = {1, 2, 3}, pcm[6] = {9, 9, 8, 8, 7, 7}, v2[5] = {4, 5, 6, 7, 8};
    ASSERT_EQ(AVI_write_frame(avi.get(), v1, 3), 0);
    ASSERT_EQ(AVI_write_audio(avi.get(), pcm, 6), 0);
    ASSERT_EQ(AVI_write_frame(avi.get(), v2, 5), 0);
    EXPECT_EQ(avi->lastPosition, 2074);
    EXPECT_EQ(avi->lastLength, 5);
    ASSERT_EQ(AVI_close_output_file(avi.get()), 0);
    avi.reset();

    auto b = ReadBytes(path);
    // 2048: "00db", 3 bytes and a pad byte; 2060: "01wb", 6 bytes; 2074: "00db",
    // 5 bytes and a pad byte; 2088: "idx1".
    EXPECT_EQ(Tag(b, 2048), "00db");
    EXPECT_EQ(U32(b, 2052), 3u);
    EXPECT_EQ(b[2059], 0);  // the pad byte
    EXPECT_EQ(Tag(b, 2060), "01wb");
    EXPECT_EQ(U32(b, 2064), 6u);
    EXPECT_EQ(Tag(b, 2074), "00db");
    EXPECT_EQ(U32(b, 2078), 5u);
    EXPECT_EQ(b[2087], 0);
    const size_t idx = 2088;
    EXPECT_EQ(Tag(b, idx), "idx1");
    ASSERT_EQ(U32(b, idx + 4), 48u);
    ASSERT_EQ(b.size(), idx + 8 + 48);
    const struct { const char* id; uint32_t flags, offset, length; } expected[] = {
        {"00db", 0x10, 2048, 3}, {"01wb", 0, 2060, 6}, {"00db", 0x10, 2074, 5}};
    for (size_t i = 0; i < 3; ++i) {
        size_t e = idx + 8 + 16 * i;
        EXPECT_EQ(Tag(b, e), expected[i].id);
        EXPECT_EQ(U32(b, e + 4), expected[i].flags);
        EXPECT_EQ(U32(b, e + 8), expected[i].offset);
        EXPECT_EQ(U32(b, e + 12), expected[i].length);
    }
    EXPECT_EQ(U32(b, 4), b.size() - 8);
    EXPECT_EQ(U32(b, 2040), idx - 2044);
    EXPECT_EQ(U32(b, 48), 2u);
    EXPECT_EQ(U32(b, 56), 2u);
    EXPECT_EQ(U32(b, 16), 308u);
    EXPECT_EQ(Tag(b, 220), "LIST");
    EXPECT_EQ(U32(b, 224), 100u);
    EXPECT_EQ(Tag(b, 240), "auds");
    EXPECT_EQ(U32(b, 260), 2u);      // scale: bytes per sample
    EXPECT_EQ(U32(b, 264), 16000u);  // rate
    EXPECT_EQ(U32(b, 272), 3u);      // length: half the audio bytes
    EXPECT_EQ(U32(b, 284), 2u);
    EXPECT_EQ(U16(b, 312), 1u);
    EXPECT_EQ(U16(b, 314), 1u);
    EXPECT_EQ(U32(b, 316), 8000u);
    EXPECT_EQ(U32(b, 320), 16000u);
    EXPECT_EQ(U16(b, 324), 2u);
    EXPECT_EQ(U16(b, 326), 16u);
    EXPECT_EQ(Tag(b, 328), "JUNK");
    EXPECT_EQ(U32(b, 332), 1700u);
}

TEST(AviWriter, FrameRateBecomesMicrosecondsPerFrame) {
    TempDir dir;
    const struct { double fps; uint32_t scale; } cases[] = {{0.0005, 0}, {30, 33333}, {12.5, 80000}};
    for (const auto& c : cases) {
        std::string path = dir.File("rate.avi");
        auto avi = OpenVideo(path, c.fps);
        ASSERT_TRUE(avi);
        ASSERT_EQ(AVI_close_output_file(avi.get()), 0);
        avi.reset();
        auto b = ReadBytes(path);
        EXPECT_EQ(U32(b, 32), c.scale) << c.fps;
        EXPECT_EQ(U32(b, 128), c.scale) << c.fps;
    }
}

TEST(AviWriter, SizeLimitRefusesTheChunkAndLeavesTheFileAsItWas) {
    TempDir dir;
    std::string path = dir.File("limit.avi");
    auto avi = OpenVideo(path);
    ASSERT_TRUE(avi);
    std::vector<uint8_t> data(100, 0x42);
    // The real limit: 2048 + 16 x 2 + length may reach 2,000,000,000 and no more.
    EXPECT_EQ(AVI_write_frame(avi.get(), data.data(), 2000000000u - 2048 - 32 + 1), -1);
    EXPECT_EQ(AVI_last_error(), kAviErrSizeLimit);

    avi->sizeLimit = 2048 + 32 + 100;
    ASSERT_EQ(AVI_write_frame(avi.get(), data.data(), 100), 0);  // exactly at the limit
    EXPECT_EQ(AVI_write_audio(avi.get(), data.data(), 1), -1);
    EXPECT_EQ(AVI_last_error(), kAviErrSizeLimit);
    EXPECT_EQ(AVI_write_frame(avi.get(), data.data(), 0), -1);
    EXPECT_EQ(avi->position, 2048 + 108);
    EXPECT_EQ(avi->index.size(), 1u);
    EXPECT_EQ(avi->videoFrames, 1);
    EXPECT_EQ(avi->audioBytes, 0);
    std::fflush(avi->file);
    EXPECT_EQ(std::filesystem::file_size(path), 2048u + 108u);
    // The index still fits below the limit.
    EXPECT_EQ(AVI_close_output_file(avi.get()), 0);
    avi.reset();
    EXPECT_LE(std::filesystem::file_size(path), 2048u + 32u + 100u);
}

TEST(AviWriter, FailuresSetTheLastErrorAndAreNeverCleared) {
    TempDir dir;
    EXPECT_FALSE(AVI_open_output_file(dir.File("missing/x.avi")));
    EXPECT_EQ(AVI_last_error(), kAviErrOpen);

    auto avi = OpenVideo(dir.File("ok.avi"));
    ASSERT_TRUE(avi);
    const uint8_t byte = 1;
    ASSERT_EQ(AVI_write_frame(avi.get(), &byte, 1), 0);
    EXPECT_EQ(AVI_last_error(), kAviErrOpen);  // success leaves it

    avi->mode = 1;  // a reading state refuses writes
    EXPECT_EQ(AVI_write_frame(avi.get(), &byte, 1), -1);
    EXPECT_EQ(AVI_last_error(), kAviErrNotPermitted);
    AVI_set_video(avi.get(), 1, 1, 1, "HEVC");
    EXPECT_EQ(avi->width, 64);

    EXPECT_STREQ(AVI_error_text(0), "avilib - No Error");
    EXPECT_STREQ(AVI_error_text(5), "avilib - Error writing index (file may still be useable)");
    EXPECT_STREQ(AVI_error_text(13), "avilib - operation needs an index");
    EXPECT_STREQ(AVI_error_text(14), "avilib - Unkown Error");
    EXPECT_STREQ(AVI_error_text(-1), "avilib - Unkown Error");
}

TEST(AviWriter, WriteFailuresAreReportedAndTheFailedChunkLeavesNoIndexEntry) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    auto avi = OpenVideo("/dev/full");
    ASSERT_TRUE(avi);  // the reserved header area is still in the stream's buffer
    std::vector<uint8_t> frame(64 * 1024, 7);
    int written = 0;
    while (written < 100 && AVI_write_frame(avi.get(), frame.data(), frame.size()) == 0) ++written;
    ASSERT_LT(written, 100);
    EXPECT_EQ(AVI_last_error(), kAviErrWrite);
    EXPECT_EQ(avi->videoFrames, written);
    EXPECT_EQ(avi->index.size(), static_cast<size_t>(written));
    EXPECT_EQ(avi->position, 2048 + written * (8 + 64 * 1024));
    EXPECT_EQ(AVI_close_output_file(avi.get()), -1);
    EXPECT_TRUE(AVI_last_error() == kAviErrWriteIndex || AVI_last_error() == kAviErrClose) << AVI_last_error();
}

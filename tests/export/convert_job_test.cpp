#include "export/convert_job.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "common/temp_dir.h"
#include "export_test_data.h"

using namespace corvane;
using namespace corvane::test;

namespace {

std::vector<PostedMessage> Drain(QueueMessageSink& sink) {
    std::vector<PostedMessage> all;
    while (auto m = sink.Take()) all.push_back(*m);
    return all;
}

int Count(const std::vector<PostedMessage>& messages, uint32_t id, uintptr_t row) {
    int n = 0;
    for (const auto& m : messages) n += m.id == id && m.wParam == row ? 1 : 0;
    return n;
}

ConvertSettings Range(const std::string& folder, int h1, int m1, int s1, int h2, int m2, int s2) {
    ConvertSettings s;
    s.folder = folder;
    s.startSecond = h1 * 3600 + m1 * 60 + s1;
    s.endSecond = h2 * 3600 + m2 * 60 + s2;
    return s;
}

std::vector<ChannelOutcome> RunJob(const CDayVideo& day, const ConvertSettings& settings, QueueMessageSink* sink) {
    CConvertJob job(day, settings, sink);
    EXPECT_TRUE(job.Start());
    job.Wait();
    return job.Outcomes();
}

// The file's sound as samples, from its "01wb" chunks.
std::vector<int16_t> Pcm(const std::string& file) {
    std::vector<int16_t> pcm;
    for (const AviChunk& c : ReadAviChunks(file)) {
        if (c.id != "01wb") continue;
        for (size_t i = 0; i + 1 < c.data.size(); i += 2) pcm.push_back(static_cast<int16_t>(c.data[i] | (c.data[i + 1] << 8)));
    }
    return pcm;
}

// Signal-to-noise ratio (dB) of the file's sound against the tone from sample
// `first` of the recording, after 100 ms in which adaptive coders settle.
double ToneSnr(const std::vector<int16_t>& pcm, uint64_t first) {
    double signal = 0, noise = 0;
    for (size_t i = 800; i < pcm.size(); ++i) {
        double ref = ToneSample(first + i);
        signal += ref * ref;
        noise += (ref - pcm[i]) * (ref - pcm[i]);
    }
    return 10 * std::log10(signal / std::max(noise, 1.0));
}

// The checks of tools nobody here wrote: one video stream of the recording's
// size at 25 fps with `frames` frames that all decode, and sound when asked.
void ExpectPlayable(const std::string& file, const char* codec, long frames, double audioSeconds) {
    if (!HaveFfmpeg()) return;
    auto streams = Probe(file);
    ASSERT_EQ(streams.size(), audioSeconds > 0 ? 2u : 1u) << file;
    EXPECT_EQ(streams[0].type, "video");
    EXPECT_EQ(streams[0].codec, codec);
    EXPECT_EQ(streams[0].width, kClipWidth);
    EXPECT_EQ(streams[0].height, kClipHeight);
    EXPECT_EQ(streams[0].frameRate, "25/1");
    EXPECT_EQ(streams[0].frames, frames);
    EXPECT_EQ(streams[0].decodedFrames, frames);
    if (audioSeconds > 0) {
        EXPECT_EQ(streams[1].type, "audio");
        EXPECT_EQ(streams[1].codec, "pcm_s16le");
        EXPECT_EQ(streams[1].channels, 1);
        EXPECT_EQ(streams[1].sampleRate, 8000);
        EXPECT_NEAR(streams[1].duration, audioSeconds, 0.001);
    }
    EXPECT_EQ(DecodeErrors(file), "") << file;
}

}  // namespace

TEST(ConvertJob, FileNamesCarryTheDayTheStartAndTheChannel) {
    CDayVideo day;
    day.date = CDayVideo::PackDate(2016, 9, 20);
    EXPECT_EQ(ConvertFileName(day, 19 * 3600 + 9 * 60 + 9, 0), "20160920_190909_CH1.AVI");
    EXPECT_EQ(ConvertFileName(day, 0, 3), "20160920_000000_CH4.AVI");
    EXPECT_EQ(ConvertFilePath("/", "a.AVI"), "/a.AVI");
    EXPECT_EQ(ConvertFilePath("/out/", "a.AVI"), "/out/a.AVI");
    EXPECT_EQ(ConvertFilePath("/out", "a.AVI"), "/out/a.AVI");
}

TEST(ConvertJob, WritesEachChannelsVideoAsStoredAndItsSoundAsPcm) {
    TempDir dir;
    // Two part files of one recording; each channel's sound in another codec.
    ClipOptions ch1, ch2;
    ch1.audioType = 6;
    ch2.audioType = 5;
    ch2.channel = 1;
    WriteClip(dir.File("rec/H264_20160920_190909_A0_01.264"), ch1);
    WriteClip(dir.File("rec/H264_20160920_190909_A0_02.264"), ch2);
    auto day = MakeDay(2016, 9, 20, {{19, 9, 9, {dir.File("rec/H264_20160920_190909_A0_01.264"),
                                                  dir.File("rec/H264_20160920_190909_A0_02.264")}}});
    std::filesystem::create_directories(dir.File("out"));
    QueueMessageSink sink;
    auto outcomes = RunJob(*day, Range(dir.File("out"), 19, 9, 11, 19, 9, 14), &sink);

    ASSERT_EQ(outcomes.size(), 2u);
    for (int row = 0; row < 2; ++row) {
        const ChannelOutcome& c = outcomes[static_cast<size_t>(row)];
        EXPECT_EQ(c.path, dir.File("out/20160920_190911_CH" + std::to_string(row + 1) + ".AVI"));
        EXPECT_EQ(c.result, ChannelResult::kDone) << c.reason;
        // From the key frame of second 2 up to and including the first frame
        // of second 5; sound from the frame after that key frame to 5.000.
        EXPECT_EQ(c.videoFrames, 76u);
        EXPECT_EQ(c.audioBytes, 75u * 640u);
        ExpectPlayable(c.path, "h264", 76, 3.0);
        // Decoded with the codec of the channel's audio type, the tone is there.
        std::vector<int16_t> pcm = Pcm(c.path);
        ASSERT_EQ(pcm.size(), 75u * 320u);
        EXPECT_GT(ToneSnr(pcm, 2040 * 8), 20.0) << "channel " << row + 1;
    }

    auto messages = Drain(sink);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().id, kMsgConvertDone);
    int lastRow = 0, lastPercent = -1;
    for (size_t i = 0; i + 1 < messages.size(); ++i) {
        const PostedMessage& m = messages[i];
        ASSERT_TRUE(m.id == kMsgConvertProgress || m.id == kMsgEndOfRecording) << std::hex << m.id;
        ASSERT_GE(static_cast<int>(m.wParam), lastRow);
        if (static_cast<int>(m.wParam) > lastRow) lastPercent = -1;
        lastRow = static_cast<int>(m.wParam);
        if (m.id == kMsgEndOfRecording) {
            EXPECT_EQ(m.lParam, 100);
            continue;
        }
        EXPECT_GT(m.lParam, lastPercent);  // posted when it changes, never going back
        EXPECT_LE(m.lParam, 100);
        lastPercent = static_cast<int>(m.lParam);
    }
    EXPECT_EQ(Count(messages, kMsgEndOfRecording, 0), 1);
    EXPECT_EQ(Count(messages, kMsgEndOfRecording, 1), 1);
    EXPECT_GE(Count(messages, kMsgConvertProgress, 1), 2);
}

TEST(ConvertJob, StartOutsideEveryRecordingBeginsWithTheNextOne) {
    TempDir dir;
    ClipOptions o;
    WriteClip(dir.File("a.264"), o);
    WriteClip(dir.File("b.264"), o);
    auto day = MakeDay(2015, 8, 12, {{10, 0, 0, {dir.File("a.264")}}, {10, 0, 20, {dir.File("b.264")}}});

    // In the gap: the second recording from its start, 0.00 s to 2.00 s.
    auto gap = RunJob(*day, Range(dir.path().string(), 10, 0, 10, 10, 0, 22), nullptr);
    ASSERT_EQ(gap.size(), 1u);
    EXPECT_EQ(gap[0].videoFrames, 51u);
    ExpectPlayable(gap[0].path, "h264", 51, 0);

    // Across the gap: the first from second 3 to its end (its last record,
    // ending the file, is not returned), then the second up to 2.00 s.
    auto across = RunJob(*day, Range(dir.path().string(), 10, 0, 3, 10, 0, 22), nullptr);
    EXPECT_EQ(across[0].videoFrames, 74u + 51u);
    ExpectPlayable(across[0].path, "h264", 125, 0);

    // After the last recording, and a range of no length: complete empty files.
    for (int start : {30, 2}) {
        QueueMessageSink sink;
        auto empty = RunJob(*day, Range(dir.path().string(), 10, 0, start, 10, 0, start == 2 ? 2 : 40), &sink);
        EXPECT_EQ(empty[0].result, ChannelResult::kDone);
        EXPECT_EQ(empty[0].videoFrames, 0u);
        EXPECT_EQ(std::filesystem::file_size(empty[0].path), 2056u);
        auto messages = Drain(sink);
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_EQ(messages[0].id, kMsgEndOfRecording);
        EXPECT_EQ(messages[1].id, kMsgConvertDone);
    }
}

TEST(ConvertJob, ARecordingWithoutTheChannelIsSkippedNotTheEndOfIt) {
    TempDir dir;
    ClipOptions o;
    for (const char* name : {"a1", "a2", "b1", "c1", "c2"}) WriteClip(dir.File(std::string(name) + ".264"), o);
    auto day = MakeDay(2015, 8, 12, {{10, 0, 0, {dir.File("a1.264"), dir.File("a2.264")}},
                                     {10, 0, 10, {dir.File("b1.264")}},
                                     {10, 0, 20, {dir.File("c1.264"), dir.File("c2.264")}}});
    auto outcomes = RunJob(*day, Range(dir.path().string(), 10, 0, 0, 10, 0, 30), nullptr);
    ASSERT_EQ(outcomes.size(), 2u);
    const uint32_t perRecording = outcomes[0].videoFrames / 3;
    EXPECT_EQ(outcomes[0].videoFrames, 3 * perRecording);
    EXPECT_GT(perRecording, 100u);
    EXPECT_EQ(outcomes[1].videoFrames, 2 * perRecording);
    EXPECT_EQ(outcomes[1].result, ChannelResult::kDone);
    ExpectPlayable(outcomes[1].path, "h264", 2 * perRecording, 0);
}

TEST(ConvertJob, FilesThatCannotBeCreatedOrGrowAreReportedNotDone) {
    TempDir dir;
    ClipOptions o;
    o.audioType = 6;
    WriteClip(dir.File("a.264"), o);
    auto day = MakeDay(2015, 8, 12, {{10, 0, 0, {dir.File("a.264")}}});

    QueueMessageSink sink;
    auto missing = RunJob(*day, Range(dir.File("no/such/folder"), 10, 0, 0, 10, 0, 5), &sink);
    EXPECT_EQ(missing[0].result, ChannelResult::kCreateFailed);
    EXPECT_NE(missing[0].reason.find("No such file"), std::string::npos) << missing[0].reason;
    auto messages = Drain(sink);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].id, kMsgConvertDone);

    ConvertSettings small = Range(dir.path().string(), 10, 0, 0, 10, 0, 5);
    small.aviSizeLimit = 2048 + 12000;
    auto limited = RunJob(*day, small, &sink);
    EXPECT_EQ(limited[0].result, ChannelResult::kSizeLimit);
    EXPECT_EQ(limited[0].reason, "avilib - AVI file size limit reached");
    EXPECT_GT(limited[0].videoFrames, 0u);
    EXPECT_LT(limited[0].videoFrames, 100u);
    EXPECT_LE(std::filesystem::file_size(limited[0].path), small.aviSizeLimit);
    // What was written is a complete file.
    if (HaveFfmpeg()) {
        auto streams = Probe(limited[0].path);
        ASSERT_FALSE(streams.empty());
        EXPECT_EQ(streams[0].frames, limited[0].videoFrames);
        EXPECT_EQ(streams[0].decodedFrames, limited[0].videoFrames);
        EXPECT_EQ(DecodeErrors(limited[0].path), "");
    }
    messages = Drain(sink);
    EXPECT_EQ(Count(messages, kMsgEndOfRecording, 0), 0);
    EXPECT_EQ(messages.back().id, kMsgConvertDone);
}

namespace {

// Stops the job at the second progress message of row 1.
class StopInRow1 : public MessageSink {
public:
    void Post(uint32_t id, uintptr_t wParam, intptr_t lParam) override {
        log.Post(id, wParam, lParam);
        if (id == kMsgConvertProgress && wParam == 1 && ++seen == 2) job->stop = 1;
    }
    CConvertJob* job = nullptr;
    QueueMessageSink log;
    int seen = 0;
};

}  // namespace

TEST(ConvertJob, StopFinishesTheFileBeingWrittenAndEndsWithoutAllDone) {
    TempDir dir;
    ClipOptions o;
    o.audioType = 6;
    WriteClip(dir.File("p1.264"), o);
    WriteClip(dir.File("p2.264"), o);
    auto day = MakeDay(2015, 8, 12, {{10, 0, 0, {dir.File("p1.264"), dir.File("p2.264")}}});
    StopInRow1 sink;
    CConvertJob job(*day, Range(dir.path().string(), 10, 0, 0, 10, 0, 6), &sink);
    sink.job = &job;
    ASSERT_TRUE(job.Start());
    job.Wait();

    const auto& out = job.Outcomes();
    EXPECT_EQ(out[0].result, ChannelResult::kDone);
    EXPECT_EQ(out[1].result, ChannelResult::kStopped);
    EXPECT_GT(out[1].videoFrames, 1u);
    EXPECT_LT(out[1].videoFrames, out[0].videoFrames);
    ExpectPlayable(out[1].path, "h264", out[1].videoFrames, out[1].audioBytes / 16000.0);
    auto messages = Drain(sink.log);
    EXPECT_EQ(Count(messages, kMsgEndOfRecording, 0), 1);
    EXPECT_EQ(Count(messages, kMsgEndOfRecording, 1), 0);
    EXPECT_EQ(Count(messages, kMsgConvertDone, 0), 0);
}

namespace {

// Starts inside a second (twenty frames without their key frame come first)
// and carries a record too long for a frame record.
void CutAndOversize(std::vector<rec::Record>& records) {
    size_t video = 0, cut = 0;
    while (cut < records.size() && !(records[cut].type == kTypeVideo && video++ == 5)) ++cut;
    records.erase(records.begin(), records.begin() + static_cast<long>(cut));
    rec::Record huge = records[60];
    huge.type = kTypeVideo;
    huge.key = 0;
    huge.payload.assign(kLargestPayload + 1, 0x5A);
    records.insert(records.begin() + 60, huge);
}

}  // namespace

TEST(ConvertJob, HevcFromTheFirstKeyFrameWithoutOversizedRecords) {
    TempDir dir;
    ClipOptions o;
    o.version = "V800";
    o.codec = VideoCodec::kH265;
    o.audioType = 0;
    o.edit = CutAndOversize;
    WriteClip(dir.File("h.265"), o);
    auto day = MakeDay(2015, 8, 12, {{10, 0, 0, {dir.File("h.265")}}});
    auto out = RunJob(*day, Range(dir.path().string(), 9, 0, 0, 10, 0, 30), nullptr);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].result, ChannelResult::kDone);
    // Frames 25 to 149 of the clip, without the last one, which ends the file.
    EXPECT_EQ(out[0].videoFrames, 124u);
    // Sound only from the first key frame on, as well.
    EXPECT_EQ(out[0].audioBytes, 124u * 640u);
    ExpectPlayable(out[0].path, "hevc", 124, 124 * 0.04);
    std::vector<int16_t> pcm = Pcm(out[0].path);
    EXPECT_GT(ToneSnr(pcm, 26 * 320), 10.0);  // type 0 is G.726 at 16 kbit/s
}

TEST(ConvertJob, RecordingsInTheOtherCodecAreLeftOutAndCounted) {
    TempDir dir;
    ClipOptions h264, h265;
    h265.version = "V800";
    h265.codec = VideoCodec::kH265;
    WriteClip(dir.File("a.264"), h264);
    WriteClip(dir.File("b.265"), h265);
    WriteClip(dir.File("c.264"), h264);
    auto day = MakeDay(2015, 8, 12, {{10, 0, 0, {dir.File("a.264")}}, {10, 0, 10, {dir.File("b.265")}},
                                     {10, 0, 20, {dir.File("c.264")}}});
    auto out = RunJob(*day, Range(dir.path().string(), 10, 0, 0, 10, 0, 30), nullptr);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].result, ChannelResult::kDone);
    EXPECT_EQ(out[0].skippedRecordings, 1u);
    EXPECT_EQ(out[0].videoFrames, 2u * 149u);  // each without the record that ends its file
    ExpectPlayable(out[0].path, "h264", 2 * 149, 0);
}

TEST(ConvertJob, ARangeFromTheStartOfARecordingWithoutIndexReadsItFromItsStart) {
    TempDir dir;
    ClipOptions o;
    o.index = false;
    WriteClip(dir.File("cut.264"), o);
    auto day = MakeDay(2015, 8, 12, {{10, 0, 0, {dir.File("cut.264")}}});
    ASSERT_EQ(day->recordings[0]->length, 1u);  // all the reader can tell without an index
    auto out = RunJob(*day, Range(dir.path().string(), 10, 0, 0, 10, 0, 1), nullptr);
    EXPECT_EQ(out[0].videoFrames, 26u);
    ExpectPlayable(out[0].path, "h264", 26, 0);
}

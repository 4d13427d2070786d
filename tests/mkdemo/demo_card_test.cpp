// The demo card checked with the program's own catalogue, readers and
// decoders: a small card is written once and every test reads it.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "card_plan.h"
#include "card_writer.h"
#include "catalogue/maintenance.h"
#include "catalogue/recording_name.h"
#include "catalogue/scan.h"
#include "codecs/hi264dec.h"
#include "codecs/hi_voice.h"
#include "codecs/voice_format.h"
#include "common/temp_dir.h"
#include "hevc/ihw265d.h"
#include "melody.h"
#include "readers/gps_fix.h"
#include "readers/probe.h"

using namespace corvane;
using namespace corvane::demo;
namespace fs = std::filesystem;

namespace {

// The versions that take the length from the span between the first and the
// last key frame report one second less than was recorded.
int ExpectedLength(const RecordingPlan& p) {
    static const std::set<std::string> span = {"V500", "V501", "V502", "V503", "V510", "V300", "V120"};
    return span.count(p.version) ? p.seconds - 1 : p.seconds;
}

bool ExpectedAlarm(const RecordingPlan& p) {
    if (p.prefix == "HAY" || p.prefix == "VVS") return false;
    if (p.layout == Layout::kMultiPart) return p.tag.size() == 2 && p.tag[0] == '0' && p.tag != "00";
    return !p.events.empty();
}

std::string Describe(const RecordingPlan& p) { return p.version + " " + RecordingFiles(p)[0]; }

std::vector<std::unique_ptr<CxMemUnit>> ReadAll(CxFileReader& r) {
    std::vector<std::unique_ptr<CxMemUnit>> out;
    std::unique_ptr<CxMemUnit> unit;
    while (r.ReadFrame(0, unit, 0) == 1) out.push_back(std::move(unit));
    return out;
}

// Decodes access units one by one through the decoder the player uses for
// the codec; the picture comes out in packed planes.
class Decoder {
public:
    explicit Decoder(bool hevc) : hevc_(hevc) {
        if (hevc_) {
            IHW265D_InitParam p{0, 1920, 1088, 4, 2, 4, 16, 8, 0, 1, 0, &Malloc, &Free, &Log};
            EXPECT_EQ(IHW265D_Create(&h265_, &p), IHW265D_OK);
        } else {
            const Hi264DecAttr attr{0, 0, 120, 68, 25, 1, 0, 0};
            h264_ = Hi264DecCreate(&attr);
            EXPECT_NE(h264_, nullptr);
        }
    }
    ~Decoder() {
        if (h265_) IHW265D_Delete(h265_);
        if (h264_) Hi264DecDestroy(h264_);
    }

    std::optional<Yuv420Image> Decode(const uint8_t* data, uint32_t size) {
        const uint8_t* planes[3] = {};
        int w = 0, h = 0, strides[3] = {};
        if (hevc_) {
            IHW265D_InArgs in{data, size, 0, IHW265D_DECODE_NORMAL, 0};
            IHW265D_OutArgs out{};
            IHW265D_Decode(h265_, &in, &out);
            if (out.status != IHW265D_PICTURE_READY) return std::nullopt;
            std::copy(out.planes, out.planes + 3, planes);
            w = int(out.width), h = int(out.height);
            strides[0] = int(out.yStride), strides[1] = strides[2] = int(out.uvStride);
        } else {
            Hi264DecPicture pic{};
            if (Hi264DecFrame(h264_, data, size, 0, &pic, 0) != kHi264DecPictureOut) return std::nullopt;
            planes[0] = pic.y, planes[1] = pic.u, planes[2] = pic.v;
            w = int(pic.width), h = int(pic.height);
            strides[0] = int(pic.yStride), strides[1] = strides[2] = int(pic.uvStride);
        }
        Yuv420Image image(w, h);
        std::vector<uint8_t>* out[3] = {&image.y, &image.u, &image.v};
        for (int p = 0; p < 3; ++p) {
            const int rowBytes = p ? w / 2 : w, rows = p ? h / 2 : h;
            for (int r = 0; r < rows; ++r)
                std::copy_n(planes[p] + size_t(r) * strides[p], rowBytes, out[p]->begin() + size_t(r) * rowBytes);
        }
        return image;
    }

private:
    static void* Malloc(uint32_t, uint32_t size) { return std::malloc(size); }
    static void Free(uint32_t, void* p) { std::free(p); }
    static void Log(uint32_t, int32_t, const char*, ...) {}

    bool hevc_;
    IHW265D_Handle h265_ = nullptr;
    Hi264DecHandle h264_ = nullptr;
};

double MeanDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return 1e9;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += std::abs(int(a[i]) - int(b[i]));
    return sum / double(a.size());
}

class DemoCard : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new test::TempDir();
        plan_ = new std::vector<RecordingPlan>(PlanCard(CardOptions{true}));
        report_ = new CardReport(WriteCard(dir_->path().string(), *plan_, 2));
    }
    static void TearDownTestSuite() {
        delete report_;
        delete plan_;
        delete dir_;
    }
    void SetUp() override { ASSERT_EQ(report_->error, ""); }

    static std::string Path(const std::string& rel) { return (dir_->path() / rel).string(); }

    // The recordings as the catalogue finds and measures them, by their first file.
    static std::map<std::string, CDiskVideo*> Scan(const std::string& root, DayList& days) {
        ScanFilter filter;
        filter.root = root;
        RecordingScan(filter, days, nullptr).Run();
        SortDays(days);
        std::map<std::string, CDiskVideo*> byFile;
        for (auto& day : days)
            for (auto& r : day->recordings) {
                r->Measure();
                byFile[r->multiPart ? r->partPaths.front() : r->filePath] = r.get();
            }
        return byFile;
    }

    static test::TempDir* dir_;
    static std::vector<RecordingPlan>* plan_;
    static CardReport* report_;
};

test::TempDir* DemoCard::dir_ = nullptr;
std::vector<RecordingPlan>* DemoCard::plan_ = nullptr;
CardReport* DemoCard::report_ = nullptr;

TEST_F(DemoCard, HoldsEveryVersionAndNothingElse) {
    std::set<std::string> versions, expectedFiles = {"README.txt"}, onDisk;
    for (const RecordingPlan& p : *plan_) {
        versions.insert(p.version);
        for (const std::string& f : RecordingFiles(p)) {
            expectedFiles.insert(f);
            if (p.companionIndex) expectedFiles.insert(f + ".idx");
        }
    }
    EXPECT_EQ(versions, (std::set<std::string>{"V120", "V300", "V400", "V401", "V402", "V500", "V501", "V502", "V503",
                                               "V510", "V600", "V700", "V800"}));
    for (const auto& e : fs::recursive_directory_iterator(dir_->path()))
        if (e.is_regular_file()) onDisk.insert(fs::relative(e.path(), dir_->path()).string());
    EXPECT_EQ(onDisk, expectedFiles);
    std::set<std::string> reported = {"README.txt"};
    for (const WrittenFile& f : report_->files) {
        reported.insert(f.path);
        EXPECT_EQ(f.bytes, fs::file_size(Path(f.path))) << f.path;
    }
    EXPECT_EQ(reported, expectedFiles);
}

// The full card is too slow to write in a test; its plan must still give
// names that the scan recognises, at the sizes and lengths asked for.
TEST(DemoCardPlan, FullCardNamesFollowTheRecorderRules) {
    ScanFilter all;
    std::set<std::pair<int, int>> sizes;
    std::set<size_t> channelCounts;
    int longest = 0;
    for (const RecordingPlan& p : PlanCard(CardOptions{false})) {
        sizes.insert({p.width, p.height});
        channelCounts.insert(p.channels.size());
        longest = std::max(longest, p.seconds);
        for (const std::string& rel : RecordingFiles(p)) {
            const std::string name = fs::path(rel).filename().string();
            if (p.prefix != "cam") {
                EXPECT_EQ(name.size(), 30u) << name;
            }
            std::optional<RecordingName> n = ClassifyRecordingName(name, all);
            ASSERT_TRUE(n) << name;
            EXPECT_EQ(n->multiPart, p.layout == Layout::kMultiPart ? 1 : 0) << name;
            EXPECT_EQ(n->family, p.prefix == "HAY" ? 0 : 1) << name;
            EXPECT_EQ(std::tie(n->year, n->month, n->day, n->hour, n->minute, n->second),
                      std::tie(p.start.year, p.start.month, p.start.day, p.start.hour, p.start.minute, p.start.second))
                << name;
        }
    }
    EXPECT_EQ(sizes, (std::set<std::pair<int, int>>{{704, 576}, {1280, 720}}));
    EXPECT_EQ(channelCounts, (std::set<size_t>{1, 2, 3, 4, 8}));
    EXPECT_EQ(longest, 600);
}

TEST_F(DemoCard, ProbingFactoryAcceptsEveryFile) {
    for (const RecordingPlan& p : *plan_) {
        for (size_t part = 0; part < RecordingFiles(p).size(); ++part) {
            const std::string path = Path(RecordingFiles(p)[part]);
            SCOPED_TRACE(path);
            std::unique_ptr<CxFileReader> r = OpenRecordingReader(0, path, 0);
            ASSERT_TRUE(r);
            EXPECT_EQ(std::string(ReaderVersionName(*r)), p.version);
            EXPECT_EQ(r->RecorderName(), kRecorderName);
            EXPECT_EQ(r->IsHevc() != 0, p.codec == VideoCodec::kH265);
            if (!p.damaged) {
                EXPECT_EQ(r->GetDuration(), ExpectedLength(p));
            }
            std::vector<std::pair<int, const ChannelPlan*>> channels;  // selector, plan
            if (p.layout == Layout::kMultiChannel) {
                ASSERT_EQ(r->GetChannelCount(), int(p.channels.size()));
                for (size_t i = 0; i < p.channels.size(); ++i) {
                    EXPECT_EQ(r->GetChannelId(int(i)), p.channels[i].number);
                    channels.push_back({p.channels[i].number, &p.channels[i]});
                }
            } else {
                channels.push_back({0, &p.channels[part]});
            }
            for (auto [selector, ch] : channels) {
                std::unique_ptr<CxFileReader> c = OpenRecordingReader(0, path, selector);
                ASSERT_TRUE(c);
                EXPECT_EQ(c->GetWidth(), p.width);
                EXPECT_EQ(c->GetHeight(), p.height);
                EXPECT_EQ(c->GetFrameRate(), 25);
                EXPECT_EQ(c->HasAudio() != 0, ch->audioType >= 0) << "channel " << ch->number;
                if (ch->audioType >= 0) {
                    EXPECT_EQ(c->GetAudioType(), ch->audioType);
                }
            }
        }
    }
}

TEST_F(DemoCard, ScanListsEveryRecordingWithItsChannelsLengthAndAlarm) {
    DayList days;
    std::map<std::string, CDiskVideo*> found = Scan(dir_->path().string(), days);
    ASSERT_EQ(days.size(), 2u);
    EXPECT_EQ(days[0]->GetDateText(), "2016-09-20");
    EXPECT_EQ(days[1]->GetDateText(), "2016-09-21");
    EXPECT_EQ(found.size(), plan_->size());
    std::set<std::string> alarmKinds;
    for (const RecordingPlan& p : *plan_) {
        SCOPED_TRACE(Describe(p));
        const std::vector<std::string> files = RecordingFiles(p);
        ASSERT_TRUE(found.count(Path(files[0])));
        if (found[Path(files[0])]->IsAlarm()) alarmKinds.insert(p.layout == Layout::kMultiPart ? "tag" : p.version);
        const CDiskVideo& r = *found[Path(files[0])];
        if (p.layout == Layout::kMultiPart) {
            std::vector<std::string> parts;
            for (const std::string& f : files) parts.push_back(Path(f));
            EXPECT_EQ(r.partPaths, parts);  // channel order
        }
        EXPECT_EQ(r.StartSecondOfDay(), p.start.hour * 3600 + p.start.minute * 60 + p.start.second);
        EXPECT_EQ(r.GetChannelCount(), int(p.channels.size()));
        if (p.damaged) {
            EXPECT_TRUE(LengthIsDoubtful(r.length)) << r.length;
        } else {
            EXPECT_EQ(int(r.length), ExpectedLength(p));
            EXPECT_FALSE(LengthIsDoubtful(r.length));
        }
        EXPECT_EQ(r.IsAlarm(), ExpectedAlarm(p));
        std::vector<std::array<uint32_t, 3>> events(r.events.begin(), r.events.end());
        EXPECT_EQ(events, p.events);
    }
    // Alarms of both kinds: by the name's tag, and by the event tables.
    EXPECT_EQ(alarmKinds, (std::set<std::string>{"tag", "V502", "V503"}));
}

TEST_F(DemoCard, DamagedRecordingIsBrokenUntilRepaired) {
    const RecordingPlan* damaged = nullptr;
    for (const RecordingPlan& p : *plan_)
        if (p.damaged) damaged = &p;
    ASSERT_TRUE(damaged);
    test::TempDir copy;
    const std::string rel = RecordingFiles(*damaged)[0];
    fs::create_directories((copy.path() / rel).parent_path());
    fs::copy_file(Path(rel), copy.path() / rel);

    DayList before;
    std::map<std::string, CDiskVideo*> broken = Scan(copy.path().string(), before);
    ASSERT_EQ(broken.size(), 1u);
    CDiskVideo& r = *broken.begin()->second;
    EXPECT_TRUE(LengthIsDoubtful(r.length));
    ASSERT_EQ(r.Repair().outcome, RepairOutcome::kRepaired);

    DayList after;
    std::map<std::string, CDiskVideo*> repaired = Scan(copy.path().string(), after);
    ASSERT_EQ(repaired.size(), 1u);
    EXPECT_EQ(int(repaired.begin()->second->length), damaged->seconds);
    std::unique_ptr<CxFileReader> reader = OpenRecordingReader(0, (copy.path() / rel).string(), 0);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->IndexEntryCount(), uint32_t(damaged->seconds));
    // The rebuilt index leads to the key frame of the last second.
    reader->SeekToSecond(damaged->seconds - 1);
    std::unique_ptr<CxMemUnit> unit;
    ASSERT_EQ(reader->ReadFrame(0, unit, 0), 1);
    EXPECT_EQ(unit->Header().Type(), kTypeVideo);
    EXPECT_EQ(unit->Header().flag, 1);
    EXPECT_EQ(reader->GetPosition(), uint64_t(damaged->seconds - 1));
}

// Every channel shows its own scene at the right moment: the first pictures
// and the key frame found by seeking decode to what the generator drew.
TEST_F(DemoCard, ChannelsDecodeToTheirOwnPicturesInStep) {
    DayList days;
    std::map<std::string, CDiskVideo*> found = Scan(dir_->path().string(), days);
    for (const RecordingPlan& p : *plan_) {
        SCOPED_TRACE(Describe(p));
        CDiskVideo& rec = *found[Path(RecordingFiles(p)[0])];
        ASSERT_EQ(rec.OpenReaders(), 1);
        ASSERT_EQ(rec.readers.size(), p.channels.size());
        for (size_t c = 0; c < p.channels.size(); ++c) {
            SCOPED_TRACE("channel " + std::to_string(p.channels[c].number));
            CxFileReader& reader = *rec.readers[c];
            const Scene scene(p.width, p.height, p.channels[c].number);
            auto drawn = [&](int frame) {
                Yuv420Image image(p.width, p.height);
                scene.Render(frame, AddSeconds(p.start, frame / 25), frame % 25, image);
                return image;
            };
            // Closest to the picture drawn for `frame` (the scene moves from
            // one frame to the next, the clock from one second to the next).
            auto expectFrame = [&](Decoder& d, const CxMemUnit& u, int frame) {
                std::optional<Yuv420Image> pic = d.Decode(u.Payload(), u.Header().length);
                ASSERT_TRUE(pic);
                ASSERT_EQ(pic->width, p.width);
                ASSERT_EQ(pic->height, p.height);
                const Yuv420Image want = drawn(frame);
                const double error = MeanDifference(pic->y, want.y);
                EXPECT_LT(error, 3.0) << "frame " << frame;
                EXPECT_LT(MeanDifference(pic->u, want.u), 2.0) << "frame " << frame;
                EXPECT_LT(error, MeanDifference(pic->y, drawn(frame + 1).y)) << "frame " << frame;
                if (frame > 0) {
                    EXPECT_LT(error, MeanDifference(pic->y, drawn(frame - 1).y)) << "frame " << frame;
                }
            };
            Decoder decoder(p.codec == VideoCodec::kH265);
            std::unique_ptr<CxMemUnit> unit;
            uint64_t firstVideo = 0;
            for (int frame = 0; frame < 2;) {
                ASSERT_EQ(reader.ReadFrame(0, unit, 0), 1);
                if (unit->Header().Type() != kTypeVideo) continue;
                EXPECT_EQ(unit->Header().flag, frame == 0 ? 1 : 0);
                if (frame == 0) firstVideo = unit->Header().timestamp;
                expectFrame(decoder, *unit, frame++);
            }
            if (p.damaged) continue;  // no index to seek with
            reader.SeekToSecond(2);
            ASSERT_EQ(reader.ReadFrame(0, unit, 0), 1);
            ASSERT_EQ(unit->Header().Type(), kTypeVideo);
            EXPECT_EQ(unit->Header().timestamp, firstVideo + 2000);
            Decoder fresh(p.codec == VideoCodec::kH265);
            expectFrame(fresh, *unit, 50);
        }
    }
}

double Correlation(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        ab += double(a[i]) * b[i];
        aa += double(a[i]) * a[i];
        bb += double(b[i]) * b[i];
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

// The sound of each channel decodes, frame by frame, to that channel's tune.
TEST_F(DemoCard, SoundDecodesToEachChannelsTune) {
    DayList days;
    std::map<std::string, CDiskVideo*> found = Scan(dir_->path().string(), days);
    int channelsWithSound = 0;
    for (const RecordingPlan& p : *plan_) {
        SCOPED_TRACE(Describe(p));
        CDiskVideo& rec = *found[Path(RecordingFiles(p)[0])];
        ASSERT_EQ(rec.OpenReaders(), 1);
        for (size_t c = 0; c < p.channels.size(); ++c) {
            const ChannelPlan& ch = p.channels[c];
            SCOPED_TRACE("channel " + std::to_string(ch.number));
            CxFileReader& reader = *rec.readers[c];
            HiVoiceDecoderState state;
            ASSERT_EQ(HI_VOICE_DecReset(&state, VoiceModeForAudioType(reader.GetAudioType())), kHiVoiceOk);
            std::vector<int16_t> pcm;
            std::vector<uint64_t> times;
            for (const auto& u : ReadAll(reader)) {
                if (u->Header().Type() != kTypeAudio) continue;
                EXPECT_EQ(u->Header().Channel(), p.layout == Layout::kMultiChannel ? ch.number : int(reader.ChannelSelector()));
                std::vector<int16_t> out(kHiVoiceMaxFrameSamples);
                uint32_t length = u->Header().length;
                ASSERT_EQ(HI_VOICE_DecodeFrame(&state, u->Payload(), out.data(), &length), kHiVoiceOk);
                EXPECT_EQ(int(length), SpeechFrameSamples(p.version));
                pcm.insert(pcm.end(), out.begin(), out.begin() + length);
                times.push_back(u->Header().timestamp);
            }
            if (ch.audioType < 0) {
                EXPECT_TRUE(pcm.empty());
                continue;
            }
            ++channelsWithSound;
            const uint64_t frameMs = uint64_t(SpeechFrameSamples(p.version)) * 1000 / kSampleRate;
            for (size_t i = 1; i < times.size(); ++i) EXPECT_EQ(times[i] - times[i - 1], frameMs);
            EXPECT_GE(pcm.size(), size_t(p.seconds * kSampleRate) - 2 * SpeechFrameSamples(p.version));
            const std::vector<int16_t> tune = ChannelMelody(ch.number, p.seconds, p.driveSecond);
            EXPECT_GT(Correlation(pcm, tune), 0.97);
            // Another channel's tune does not match.
            EXPECT_LT(Correlation(pcm, ChannelMelody(ch.number % 8 + 1, p.seconds, p.driveSecond)), 0.5);
        }
    }
    EXPECT_GT(channelsWithSound, 10);
}

double Degrees(const std::string& text) {
    const double v = std::stod(text);
    const double whole = std::trunc(v / 100);
    return whole + (v - whole * 100) / 60;
}

double Metres(double lat1, double lon1, double lat2, double lon2) {
    const double k = 3.141592653589793 / 180;
    const double x = (lon2 - lon1) * k * std::cos((lat1 + lat2) / 2 * k), y = (lat2 - lat1) * k;
    return 6371000.0 * std::sqrt(x * x + y * y);
}

// One fix a second, in Shenzhen, moving as fast as the fixes say, stamped
// with UTC.
TEST_F(DemoCard, GpsFixesFollowAPlausibleDrive) {
    DayList days;
    std::map<std::string, CDiskVideo*> found = Scan(dir_->path().string(), days);
    for (const RecordingPlan& p : *plan_) {
        SCOPED_TRACE(Describe(p));
        CDiskVideo& rec = *found[Path(RecordingFiles(p)[0])];
        ASSERT_EQ(rec.OpenReaders(), 1);
        CxFileReader& reader = *rec.readers[0];
        std::vector<GpsFix> fixes;
        for (const auto& u : ReadAll(reader)) {
            if (u->Header().Type() != kTypeGps) continue;
            if (reader.DecodesGps()) {
                ASSERT_EQ(u->PayloadSize(), kGpsFixSize);
                fixes.push_back(GpsFix::Parse(u->Payload()));
            } else {
                fixes.push_back(GpsFix::Decode(u->Payload(), u->PayloadSize()));
            }
        }
        ASSERT_EQ(fixes.size(), size_t(p.seconds));
        for (size_t i = 0; i < fixes.size(); ++i) {
            const GpsFix& f = fixes[i];
            EXPECT_EQ(f.status, 'A');
            EXPECT_EQ(f.latHemisphere, 'N');
            EXPECT_EQ(f.lonHemisphere, 'E');
            const double lat = Degrees(f.LatitudeText()), lon = Degrees(f.LongitudeText());
            EXPECT_TRUE(lat > 22.45 && lat < 22.65 && lon > 113.85 && lon < 114.2) << lat << " " << lon;
            const ClockTime local = AddSeconds(p.start, int(i));
            EXPECT_EQ(int(f.hour), (local.hour + 16) % 24);
            EXPECT_EQ(std::tie(f.year, f.month, f.day), std::tie(p.start.year, p.start.month, p.start.day));
            EXPECT_EQ(int(f.minute) * 60 + f.second, local.minute * 60 + local.second);
            EXPECT_GE(f.speed, 0.f);
            EXPECT_LT(f.speed, 80.f);
            if (i == 0) continue;
            const GpsFix& prev = fixes[i - 1];
            const double moved = Metres(Degrees(prev.LatitudeText()), Degrees(prev.LongitudeText()), lat, lon);
            // Corners are cut between fixes; each coordinate is good to 0.2 m.
            EXPECT_LE(moved, prev.speed / 3.6 + 0.5);
            EXPECT_GE(moved, prev.speed / 3.6 * 0.7 - 0.5);
        }
    }
}

// The bytes do not depend on how many threads encode.
TEST_F(DemoCard, SameBytesWhateverTheThreadCount) {
    std::vector<RecordingPlan> some;
    for (const RecordingPlan& p : *plan_)
        if (p.codec == VideoCodec::kH265 || p.channels.size() == 8) some.push_back(p);
    ASSERT_EQ(some.size(), 3u);
    auto bytes = [](const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::vector<char>(std::istreambuf_iterator<char>(in), {});
    };
    for (int jobs : {1, 3}) {
        test::TempDir again;
        const CardReport report = WriteCard(again.path().string(), some, jobs);
        ASSERT_EQ(report.error, "");
        ASSERT_EQ(report.files.size(), 4u);
        for (const WrittenFile& f : report.files)
            EXPECT_TRUE(bytes(again.path() / f.path) == bytes(dir_->path() / f.path)) << f.path << " with " << jobs << " threads";
    }
}

}  // namespace

// libx265 leaks on every encoder it opens (inside its own frame filter and
// parameter copies); LeakSanitizer reads this list in sanitizer builds.
extern "C" const char* __lsan_default_suppressions() { return "leak:libx265.so\n"; }

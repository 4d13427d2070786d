#include "recwriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "readers/byte_order.h"
#include "readers/mem_unit.h"

namespace corvane::rec {

std::unique_ptr<Writer> CreateV700Writer(const std::string& path, const FileLayout& layout);
std::unique_ptr<Writer> CreateV400Writer(const std::string& path, const FileLayout& layout);
std::unique_ptr<Writer> CreateV300Writer(const std::string& path, const FileLayout& layout);
std::unique_ptr<Writer> CreateV500Writer(const std::string& path, const FileLayout& layout);

std::unique_ptr<Writer> Writer::Create(const std::string& path, const FileLayout& layout) {
    if (layout.version == "V700" || layout.version == "V800") return CreateV700Writer(path, layout);
    if (layout.version == "V400" || layout.version == "V401" || layout.version == "V402") return CreateV400Writer(path, layout);
    if (layout.version == "V300" || layout.version == "V120") return CreateV300Writer(path, layout);
    for (const char* v : {"V500", "V501", "V502", "V503", "V510", "V600"}) {
        if (layout.version == v) return CreateV500Writer(path, layout);
    }
    return nullptr;
}

bool WriteRecording(const std::string& path, const FileLayout& layout, const std::vector<Record>& records) {
    std::unique_ptr<Writer> w = Writer::Create(path, layout);
    if (!w) return false;
    for (const Record& r : records) {
        if (!w->Add(r)) return false;
    }
    return w->Finish();
}

bool Patch(const std::string& path, uint64_t offset, const std::vector<uint8_t>& bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) == static_cast<ssize_t>(bytes.size());
    ::close(fd);
    return ok;
}

bool PatchU32(const std::string& path, uint64_t offset, uint32_t value) {
    std::vector<uint8_t> b(4);
    PutU32(b.data(), value);
    return Patch(path, offset, b);
}

bool Truncate(const std::string& path, uint64_t size) { return ::truncate(path.c_str(), static_cast<off_t>(size)) == 0; }

std::vector<Record> MakeStream(const StreamOptions& o) {
    std::vector<Record> out;
    const uint32_t frameMs = o.fps ? 1000 / o.fps : 40;
    auto pattern = [](size_t n, uint64_t seed) {
        std::vector<uint8_t> p(n);
        uint32_t x = static_cast<uint32_t>(seed * 2654435761u + 1);
        for (auto& b : p) {
            x = x * 1103515245u + 12345u;
            b = static_cast<uint8_t>(x >> 16);
        }
        return p;
    };
    uint64_t nextAudio = o.startMs;
    for (uint32_t s = 0; s < o.seconds; ++s) {
        for (uint32_t f = 0; f < o.fps; ++f) {
            uint64_t ts = o.startMs + uint64_t(s) * 1000 + uint64_t(f) * frameMs;
            while (o.audioBytes && nextAudio <= ts) {
                out.push_back({kTypeAudio, o.channel, 0, nextAudio, pattern(o.audioBytes, nextAudio ^ 0xA0D10)});
                nextAudio += 40;
            }
            if (f == 0 && o.gps) out.push_back({kTypeGps, o.gpsChannel, 0, ts, GpsPayload(SampleFix(s))});
            bool key = f == 0;
            out.push_back({kTypeVideo, o.channel, static_cast<uint8_t>(key), ts, pattern(key ? o.keyBytes : o.videoBytes, ts)});
        }
    }
    return out;
}

std::vector<Record> Interleave(const std::vector<std::vector<Record>>& streams) {
    std::vector<Record> out;
    std::vector<size_t> next(streams.size(), 0);
    while (true) {
        size_t pick = streams.size();
        for (size_t i = 0; i < streams.size(); ++i) {
            if (next[i] < streams[i].size() &&
                (pick == streams.size() || streams[i][next[i]].timestamp < streams[pick][next[pick]].timestamp)) {
                pick = i;
            }
        }
        if (pick == streams.size()) return out;
        out.push_back(streams[pick][next[pick]++]);
    }
}

std::vector<uint8_t> GpsPayload(const GpsFix& fix) {
    std::string text = FormatStoredGpsText(fix);
    return std::vector<uint8_t>(text.begin(), text.end());
}

GpsFix SampleFix(uint32_t second) {
    GpsFix f;
    f.status = 'A';
    // Along a street in Shenzhen, about 10 m a second to the east.
    uint32_t tenThousandths = 32000 + second * 58;
    std::snprintf(f.latitude, sizeof f.latitude, "2232.5000");
    char lon[32];
    std::snprintf(lon, sizeof lon, "%05u.%04u", (11403u + tenThousandths / 10000) % 100000u, tenThousandths % 10000);
    std::memcpy(f.longitude, lon, sizeof f.longitude - 1);
    f.latHemisphere = 'N';
    f.lonHemisphere = 'E';
    f.speed = 36.5f;
    f.course = 90.0f;
    f.year = 2016;
    f.month = 9;
    f.day = 20;
    f.hour = static_cast<uint8_t>(19 + (9 * 60 + 9 + second) / 3600);
    f.minute = static_cast<uint8_t>((9 * 60 + 9 + second) / 60 % 60);
    f.second = static_cast<uint8_t>((9 + second) % 60);
    return f;
}

}  // namespace corvane::rec

// Draws the day timeline of a busy day: 2,000 recordings of 40 s each over
// the 24 hours, every tenth with an alarm event, a GPS speed each second
// (80,000 points), into a 1200x40 image. The drawing must stay well under
// 50 ms; building the model (done whenever the catalogue changes) is timed
// too.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <cstdlib>

#include "catalogue/day_timeline.h"
#include "catalogue/local_time.h"
#include "ui/day_timeline.h"

namespace {

using namespace corvane;

CDayVideo& BusyDay() {
    static CDayVideo day;
    if (!day.recordings.empty()) return day;
    day.date = CDayVideo::PackDate(2016, 9, 20);
    const int64_t midnight = MakeLocalTime({2016, 9, 20, 0, 0, 0});
    for (int i = 0; i < 2000; ++i) {
        auto r = std::make_unique<CDiskVideo>();
        r->family = 1;
        r->startTime = midnight + i * 43;
        r->length = 40;
        r->endTime = r->startTime + r->length;
        r->day = &day;
        if (i % 10 == 0) r->events = {{5000, 1, 10}};
        for (uint32_t s = 0; s < r->length; ++s) {
            r->speeds.push_back({s * 1000, static_cast<float>(40 + 30 * std::sin((i * 40 + s) / 300.0))});
        }
        r->speedsRead = true;
        day.recordings.push_back(std::move(r));
    }
    return day;
}

void Paint(benchmark::State& state, double zoom) {
    CDayTimeline timeline;
    timeline.SetDay(&BusyDay());
    timeline.SetMarks(DayMarks{BusyDay().date, 36000, 39600});
    QImage image(1200, 40, QImage::Format_ARGB32_Premultiplied);
    timeline.View().SetWidth(image.width());
    timeline.View().ZoomAround(600, zoom);
    for (auto _ : state) {
        QPainter p(&image);
        timeline.Paint(p, image.size());
        p.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}

void BM_PaintWholeDay(benchmark::State& state) { Paint(state, 1); }
void BM_PaintOneHour(benchmark::State& state) { Paint(state, 1.0 / 24); }
void BM_PaintOneMinute(benchmark::State& state) { Paint(state, 1.0 / 1440); }

void BM_BuildModel(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(DayTimeline(BusyDay()).Segments().size());
}

BENCHMARK(BM_PaintWholeDay)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintOneHour)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintOneMinute)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildModel)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

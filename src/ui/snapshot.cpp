#include "ui/snapshot.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSaveFile>
#include <cstdio>

#include "catalogue/local_time.h"

namespace corvane {

std::string SnapshotName(int64_t t) {
    std::optional<CalendarTime> c = LocalCalendar(t);
    if (!c) return "snapshot";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d_%02d_%02d_%02d%02d%02d", c->year, c->month, c->day, c->hour, c->minute,
                  c->second);
    return buf;
}

bool SaveSnapshotAs(const QString& bmpPath, const QString& target) {
    const QString suffix = QFileInfo(target).suffix().toLower();
    const char* format = suffix == "jpg" || suffix == "jpeg" ? "JPG" : suffix == "png" ? "PNG" : nullptr;
    // QSaveFile writes beside the target and renames over it at commit, so a
    // failed save leaves an existing file as it was.
    QSaveFile out(target);
    if (format) {
        QImage picture(bmpPath, "BMP");
        if (picture.isNull() || !out.open(QIODevice::WriteOnly)) return false;
        // JPEG at quality 95; PNG at the library's default compression (a
        // quality given to PNG would lower its compression).
        if (!picture.save(&out, format, format[0] == 'J' ? 95 : -1)) return false;
        return out.commit();
    }
    QFile in(bmpPath);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly)) return false;
    while (!in.atEnd()) {
        QByteArray chunk = in.read(1 << 20);
        if (chunk.isEmpty() || out.write(chunk) != chunk.size()) return false;
    }
    return out.commit();
}

}  // namespace corvane

#include "ui/snapshot.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QSaveFile>
#include <cstdio>
#include <ctime>

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

namespace {

// The image format a snapshot's name asks for; null for anything but JPEG
// and PNG, which are kept as BMP.
const char* FormatOf(const QString& target) {
    const QString suffix = QFileInfo(target).suffix().toLower();
    return suffix == "jpg" || suffix == "jpeg" ? "JPG" : suffix == "png" ? "PNG" : nullptr;
}

}  // namespace

bool SaveImageAs(const QImage& picture, const QString& target) {
    const char* format = FormatOf(target);
    QSaveFile out(target);
    if (picture.isNull() || !out.open(QIODevice::WriteOnly)) return false;
    const bool saved = format ? picture.save(&out, format, format[0] == 'J' ? 95 : -1)
                              : picture.convertToFormat(QImage::Format_RGB888).save(&out, "BMP");
    return saved && out.commit();
}

QString AskSnapshotTarget(QWidget* parent) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({"JPEG Files (*.jpg)", "PNG Files (*.png)", "BMP Files (*.bmp)"});
    dialog.setDefaultSuffix("jpg");
    dialog.setDirectory(QDir::home());
    dialog.selectFile(QString::fromStdString(SnapshotName(std::time(nullptr))));
    // A name typed without an extension gets the chosen filter's.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
        dialog.setDefaultSuffix(filter.section("*.", 1).section(')', 0, 0));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().front();
}

bool SaveSnapshotAs(const QString& bmpPath, const QString& target) {
    const char* format = FormatOf(target);
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

#include "ui/snapshot_all.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "catalogue/local_time.h"
#include "map/gps_convert.h"
#include "playback/video_group.h"

namespace corvane {
namespace {

// Small pictures are enlarged so that a label fits across a cell.
constexpr int kMinCellWidth = 480;
constexpr int kGap = 2;

struct ChannelPicture {
    int channel = 0;
    QImage picture;
    QString label;
};

// "2016-09-20 19:09:12.040": the recording's start (from its file name) and
// how far the picture lies after the channel's first key frame.
QString PictureTime(CVideoPort& port) {
    CxFileReader* reader = port.Reader();
    CDiskVideo* recording = port.Recording();
    const uint64_t at = port.Draw().PictureTime();
    if (!reader || !recording || at < reader->FirstTimestamp()) return QString();
    const uint64_t offset = at - reader->FirstTimestamp();
    const int64_t seconds = recording->startTime + int64_t(offset / 1000);
    return QString::fromStdString(FormatLocalDateTime(seconds)) + QString::asprintf(".%03d", int(offset % 1000));
}

QString PositionText(CVideoGroup& group) {
    GroupGpsFix fix;
    group.CopyGpsFix(&fix);
    if (fix.status == 0) return QString();
    const LonLat p =
        PositionFromDegMin(fix.latitude, char(fix.latHemisphere), fix.longitude, char(fix.lonHemisphere));
    return QString::asprintf("%.5f\u00B0%c %.5f\u00B0%c", std::fabs(p.lat), p.lat < 0 ? 'S' : 'N', std::fabs(p.lon),
                             p.lon < 0 ? 'W' : 'E');
}

std::vector<ChannelPicture> Pictures(CVideoGroup& group) {
    std::vector<ChannelPicture> out;
    const QString position = PositionText(group);
    for (int i = 0; i < group.ChannelCount(); ++i) {
        CVideoPort* port = group.Port(i);
        std::vector<uint8_t> bgr;
        int width = 0, height = 0;
        if (!port->Recording() || !port->Draw().CopyPicture(bgr, width, height)) continue;
        QImage picture(bgr.data(), width, height, width * 3, QImage::Format_BGR888);
        QString label = QString("CH%1  %2").arg(i + 1).arg(PictureTime(*port));
        if (!position.isEmpty()) label += "  " + position;
        out.push_back({i, picture.copy(), label});
    }
    return out;
}

void DrawLabel(QPainter& painter, const QRect& cell, const QString& label) {
    QFont font = painter.font();
    font.setPixelSize(std::max(12, cell.height() / 24));
    painter.setFont(font);
    const int margin = font.pixelSize() / 3;
    // At the bottom of the cell: recorders burn their own texts in at the top.
    const int height = painter.fontMetrics().boundingRect(cell.adjusted(margin, 0, -margin, 0), Qt::TextWordWrap, label)
                           .height() + 2 * margin;
    const QRect strip(cell.left(), cell.bottom() + 1 - height, cell.width(), height);
    painter.fillRect(strip, QColor(0, 0, 0, 160));
    painter.setPen(Qt::white);
    painter.drawText(strip.adjusted(margin, margin, -margin, -margin), Qt::TextWordWrap, label);
}

}  // namespace

ComposedSnapshot ComposeSnapshotAll(CVideoGroup& group) {
    ComposedSnapshot out;
    const std::vector<ChannelPicture> pictures = Pictures(group);
    if (pictures.empty()) return out;

    // The player's grid: as many cells across as down, enough for the
    // highest channel that has a picture.
    int across = group.LayoutMode() == 0 ? 1 : group.LayoutMode() == 1 ? 2 : 3;
    while (across * across <= pictures.back().channel) ++across;
    int width = 0, height = 0;
    for (const ChannelPicture& p : pictures) {
        width = std::max(width, p.picture.width());
        height = std::max(height, p.picture.height());
    }
    if (width <= 0 || height <= 0) return out;
    if (width < kMinCellWidth) {
        height = height * kMinCellWidth / width;
        width = kMinCellWidth;
    }

    out.image = QImage(across * width + (across - 1) * kGap, across * height + (across - 1) * kGap,
                       QImage::Format_RGB32);
    out.image.fill(QColor(64, 64, 64));
    QPainter painter(&out.image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (int k = 0; k < across * across; ++k)
        painter.fillRect((k % across) * (width + kGap), (k / across) * (height + kGap), width, height, Qt::black);
    for (const ChannelPicture& p : pictures) {
        const QRect cell((p.channel % across) * (width + kGap), (p.channel / across) * (height + kGap), width, height);
        // The picture keeps its proportions, centred in its cell.
        QSize fitted = p.picture.size().scaled(cell.size(), Qt::KeepAspectRatio);
        QRect target(QPoint(0, 0), fitted);
        target.moveCenter(cell.center());
        painter.drawImage(target, p.picture);
        DrawLabel(painter, cell, p.label);
        out.cells.push_back({p.channel, cell, p.label});
    }
    return out;
}

}  // namespace corvane

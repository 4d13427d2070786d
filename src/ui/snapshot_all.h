#pragma once
// "Snapshot all": the pictures every open channel shows, in one image laid out
// as the player's grid (one cell, two by two or three by three), each cell
// labelled with its channel, the time of its picture and, once the group has
// a GPS fix, the vehicle's position.
#include <QImage>
#include <QRect>
#include <QString>
#include <vector>

namespace corvane {

class CVideoGroup;

struct ComposedSnapshot {
    struct Cell {
        int channel = 0;  // 0-based
        QRect rect;       // the cell in the image
        QString label;
    };
    QImage image;             // null when no channel has a picture
    std::vector<Cell> cells;  // the channels with a picture, in channel order
};

// GUI thread, while the group plays or is paused.
ComposedSnapshot ComposeSnapshotAll(CVideoGroup& group);

}  // namespace corvane

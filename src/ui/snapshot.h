#pragma once
// Snapshots: the name proposed for a saved picture, the dialog that asks
// where it goes, and saving it under the name and format the user chose.
#include <QImage>
#include <QString>
#include <cstdint>
#include <string>

namespace corvane {

// "2016_09_20_09": year, month, day and second of the local time `t`.
std::string SnapshotName(int64_t t);

// Writes the captured BMP `bmpPath` to `target` in the format its suffix
// names: ".jpg"/".jpeg" and ".png" are converted, anything else keeps the BMP
// bytes. An existing `target` is replaced, and only once the new file is
// complete. False when the picture could not be read or the file not written.
bool SaveSnapshotAs(const QString& bmpPath, const QString& target);

// Writes `picture` to `target` in the format its suffix names: JPEG, PNG, or
// else a 24-bit BMP. Replaces an existing file as SaveSnapshotAs does.
bool SaveImageAs(const QImage& picture, const QString& target);

// The save dialog for a snapshot: JPEG, PNG or BMP, the proposed name in the
// home folder. Empty when the user cancels.
QString AskSnapshotTarget(QWidget* parent);

}  // namespace corvane

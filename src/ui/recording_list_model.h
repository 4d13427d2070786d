#pragma once
// The rows of the three recording lists. A row stands for a whole recording
// or for one alarm event of it; the model only points at catalogue entries,
// which outlive it until the next scan clears the lists.
#include <QAbstractTableModel>
#include <vector>

#include "catalogue/disk_video.h"

namespace corvane {

struct RecordingRow {
    CDiskVideo* recording = nullptr;
    int event = -1;  // index into the recording's events; -1: the whole recording
    // The row's event; null for a whole recording or when measuring again
    // left fewer events.
    const EventEntry* Event() const {
        return event >= 0 && static_cast<size_t>(event) < recording->events.size() ? &recording->events[static_cast<size_t>(event)]
                                                                                   : nullptr;
    }
};

class CVListExAdapter : public QAbstractTableModel {
    Q_OBJECT
public:
    enum class Kind { Files, Repairs };
    explicit CVListExAdapter(Kind kind, QObject* parent = nullptr);

    void AddRow(CDiskVideo* recording, int event = -1);
    void ClearRows();
    // Removes the first row of that recording.
    void RemoveRow(CDiskVideo* recording);
    // Removes every row of that recording.
    void RemoveRows(const CDiskVideo* recording);
    // The first row of that recording, -1 when none shows it.
    int RowOf(const CDiskVideo* recording) const;
    int RowCount() const { return static_cast<int>(rows_.size()); }
    const RecordingRow* Row(int index) const;
    // Repaints the rows after their recordings changed (measured, repaired).
    void Refresh();
    // Status text of a repair row ("Waiting", "Repairing", the outcome).
    void SetStatus(CDiskVideo* recording, const QString& status);

    // The texts a row shows.
    static QString TimeText(const RecordingRow& row);    // "10:00:01 -> 10:00:31"
    static QString LengthText(const RecordingRow& row);  // "0:00:30"
    static QString DateText(const RecordingRow& row);    // "2015-08-12"

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void SetHeaders(const QStringList& headers);

private:
    Kind kind_;
    std::vector<RecordingRow> rows_;
    std::vector<QString> status_;  // per row, repairs only
    QStringList headers_;
};

}  // namespace corvane

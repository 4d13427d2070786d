#include "ui/recording_list_model.h"

#include "catalogue/local_time.h"

namespace corvane {
namespace {

QString Clock(int64_t t) {
    std::optional<CalendarTime> c = LocalCalendar(t);
    return QString::asprintf("%02d:%02d:%02d", c ? c->hour : -1, c ? c->minute : -1, c ? c->second : -1);
}

// The event's start (ms from the recording's start, first word) and its length
// in seconds (16 bits at byte 8, the low half of the third word).
int64_t RowStart(const RecordingRow& r) {
    const EventEntry* e = r.Event();
    return e ? r.recording->startTime + (*e)[0] / 1000 : r.recording->startTime;
}

int64_t RowEnd(const RecordingRow& r) {
    const EventEntry* e = r.Event();
    return e ? RowStart(r) + ((*e)[2] & 0xFFFF) : r.recording->endTime;
}

}  // namespace

CVListExAdapter::CVListExAdapter(Kind kind, QObject* parent) : QAbstractTableModel(parent), kind_(kind) {}

void CVListExAdapter::AddRow(CDiskVideo* recording, int event) {
    int at = RowCount();
    beginInsertRows(QModelIndex(), at, at);
    rows_.push_back({recording, event});
    status_.emplace_back();
    endInsertRows();
}

void CVListExAdapter::ClearRows() {
    beginResetModel();
    rows_.clear();
    status_.clear();
    endResetModel();
}

int CVListExAdapter::RowOf(const CDiskVideo* recording) const {
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].recording == recording) return static_cast<int>(i);
    }
    return -1;
}

void CVListExAdapter::RemoveRow(CDiskVideo* recording) {
    const int row = RowOf(recording);
    if (row < 0) return;
    beginRemoveRows(QModelIndex(), row, row);
    rows_.erase(rows_.begin() + row);
    status_.erase(status_.begin() + row);
    endRemoveRows();
}

void CVListExAdapter::RemoveRows(const CDiskVideo* recording) {
    for (int row = RowCount() - 1; row >= 0; --row) {
        if (rows_[static_cast<size_t>(row)].recording != recording) continue;
        beginRemoveRows(QModelIndex(), row, row);
        rows_.erase(rows_.begin() + row);
        status_.erase(status_.begin() + row);
        endRemoveRows();
    }
}

const RecordingRow* CVListExAdapter::Row(int index) const {
    return index >= 0 && index < RowCount() ? &rows_[static_cast<size_t>(index)] : nullptr;
}

void CVListExAdapter::Refresh() {
    if (!rows_.empty()) emit dataChanged(index(0, 0), index(RowCount() - 1, columnCount() - 1));
}

void CVListExAdapter::SetStatus(CDiskVideo* recording, const QString& status) {
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].recording == recording) {
            status_[i] = status;
            QModelIndex cell = index(static_cast<int>(i), 2);
            emit dataChanged(cell, cell);
        }
    }
}

QString CVListExAdapter::TimeText(const RecordingRow& r) {
    return Clock(RowStart(r)) + " -> " + Clock(RowEnd(r));
}

QString CVListExAdapter::LengthText(const RecordingRow& r) {
    const EventEntry* e = r.Event();
    if (!e) return QString::fromStdString(r.recording->GetLengthText());
    uint32_t len = (*e)[2] & 0xFFFF;
    return QString::asprintf("%d:%02d:%02d", static_cast<int>(len / 3600), static_cast<int>(len % 3600 / 60),
                             static_cast<int>(len % 60));
}

QString CVListExAdapter::DateText(const RecordingRow& r) { return QString::fromStdString(r.recording->GetStartDateText()); }

int CVListExAdapter::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : RowCount(); }

int CVListExAdapter::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : (kind_ == Kind::Files ? 4 : 3);
}

QVariant CVListExAdapter::data(const QModelIndex& index, int role) const {
    const RecordingRow* r = Row(index.row());
    if (!r) return {};
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignCenter);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    const CDiskVideo& rec = *r->recording;
    switch (index.column()) {
        case 0: return index.row() + 1;
        case 1:
            if (kind_ == Kind::Repairs) {
                std::string path = rec.multiPart && !rec.partPaths.empty() ? rec.partPaths.front() : rec.filePath;
                QString name = QString::fromStdString(path).section('/', -1);
                return role == Qt::ToolTipRole ? QString::fromStdString(path) : name;
            }
            return DateText(*r) + QString::asprintf("   CH:%d", rec.GetChannelCount()) + "\n" + TimeText(*r);
        case 2:
            if (kind_ == Kind::Repairs) return status_[static_cast<size_t>(index.row())];
            return LengthText(*r);
        case 3: return QString::fromStdString(rec.GetTypeText());
        default: return {};
    }
}

QVariant CVListExAdapter::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
    return section < headers_.size() ? headers_[section] : QVariant();
}

void CVListExAdapter::SetHeaders(const QStringList& headers) {
    headers_ = headers;
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

}  // namespace corvane

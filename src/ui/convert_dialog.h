#pragma once
// "Convert AVI": exports a time range of the current day as one AVI or MP4
// file per channel, with a progress bar per channel, or as one MP4 file of
// all channels side by side (the mosaic, with the sound of the channel
// chosen in the sound box); the GPS track and the evidence manifest are
// written beside them.
#include <QDialog>
#include <QStyledItemDelegate>
#include <memory>

#include "catalogue/day_video.h"
#include "export/channel_file.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTimeEdit;

namespace corvane {

class CConvertJob;
class QtMessageSink;

// Draws a cell's number (0..100) as a progress bar with the text on top.
class ProgressDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

class CDlgConvert : public QDialog {
    Q_OBJECT
public:
    CDlgConvert(CDayVideo& day, QWidget* parent = nullptr);
    ~CDlgConvert() override;

    void SetFolder(const QString& folder);
    void SetTimes(const QTime& start, const QTime& end);
    // The same in seconds of the day (the marked span of the day timeline).
    void SetSeconds(int start, int end);
    void SetFormat(ExportFormat format);
    ExportFormat Format() const;
    // The "one file, all channels" choice of the format box.
    void SetMosaic(bool mosaic);
    bool Mosaic() const;
    // The channel whose sound the mosaic keeps (row from 0; -1: the first
    // channel with sound).
    void SetAudioRow(int row);
    void Start();
    void Stop();
    bool Running() const;
    QTableWidget* List() const { return list_; }
    QString RangeText() const;

protected:
    bool event(QEvent* e) override;
    void reject() override;

private:
    void RefreshNames();
    void ShowOutcomes();

    CDayVideo& day_;
    std::unique_ptr<QtMessageSink> sink_;
    std::unique_ptr<CConvertJob> job_;
    QTableWidget* list_;
    QTimeEdit* start_;
    QTimeEdit* end_;
    QLabel* range_;
    QLineEdit* folder_;
    QComboBox* format_;
    QComboBox* audio_;
    QLabel* status_;  // the mosaic's seconds done
    QPushButton* startButton_;
    QPushButton* stopButton_;
};

}  // namespace corvane

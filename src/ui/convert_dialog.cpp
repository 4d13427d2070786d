#include "ui/convert_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "ui/lang_text.h"
#include "export/convert_job.h"
#include "ui/qt_message_sink.h"

namespace corvane {
namespace {

QString Text(const char* key, const char* def) { return LangText("FORM_CONVERT", key, def); }

int SecondOfDay(const QTime& t) { return t.hour() * 3600 + t.minute() * 60 + t.second(); }

QTime TimeOfDay(int s) { return QTime(s / 3600 % 24, s / 60 % 60, s % 60); }

// The format box's item for the mosaic, beside the two ExportFormat values.
constexpr int kMosaicItem = 2;

}  // namespace

void ProgressDelegate::paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QString text = index.data().toString();
    bool isNumber = false;
    int percent = text.toInt(&isNumber);
    if (!isNumber) {  // an outcome such as "cannot create the file"
        QStyledItemDelegate::paint(p, option, index);
        return;
    }
    percent = std::clamp(percent, 0, 100);
    QRect frame = option.rect.adjusted(3, 2, -3, -2);
    p->save();
    p->setPen(option.palette.color(QPalette::Mid));
    p->drawRect(frame.adjusted(0, 0, -1, -1));
    QRect bar = frame.adjusted(3, 3, -3, -3);
    bar.setWidth(bar.width() * percent / 100);
    p->fillRect(bar, QColor(0x3c, 0x8d, 0x3c));
    p->setPen(option.palette.color(QPalette::Text));
    p->drawText(frame, Qt::AlignCenter, text);
    p->restore();
}

CDlgConvert::CDlgConvert(CDayVideo& day, QWidget* parent)
    : QDialog(parent), day_(day), sink_(std::make_unique<QtMessageSink>(this)) {
    setWindowTitle(Text("WINDOW_TITLE", "Convert AVI"));
    auto* channels = new QGroupBox(Text("STATIC_CHANNEL", "Channel"));
    list_ = new QTableWidget(0, 3);
    list_->setObjectName("list_channels");
    list_->setHorizontalHeaderLabels(
        {Text("HEADER_CHANNEL", "Channel"), Text("HEADER_FILE", "File"), Text("HEADER_PROGRESS", "Progress")});
    list_->setColumnWidth(0, 80);
    list_->setColumnWidth(1, 250);
    list_->setColumnWidth(2, 200);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setDefaultSectionSize(24);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setItemDelegateForColumn(2, new ProgressDelegate(list_));
    (new QVBoxLayout(channels))->addWidget(list_);

    auto* condition = new QGroupBox(Text("STATIC_CONDITION", "Condition"));
    auto* times = new QHBoxLayout(condition);
    start_ = new QTimeEdit;
    end_ = new QTimeEdit;
    for (QTimeEdit* t : {start_, end_}) t->setDisplayFormat("HH:mm:ss");
    range_ = new QLabel("00:00:00");
    range_->setObjectName("text_range");
    range_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    range_->setAlignment(Qt::AlignCenter);
    times->addWidget(new QLabel(Text("STATIC_TIME", "Time")));
    times->addWidget(start_);
    times->addWidget(new QLabel(Text("STATIC_TO", "To")));
    times->addWidget(end_);
    times->addWidget(range_, 1);

    auto* output = new QGroupBox(Text("STATIC_OUTPUT", "Output"));
    auto* out = new QHBoxLayout(output);
    folder_ = new QLineEdit(QDir::homePath());
    folder_->setReadOnly(true);
    auto* browse = new QPushButton("...");
    out->addWidget(new QLabel(Text("STATIC_FOLDER", "Folder")));
    out->addWidget(folder_, 1);
    out->addWidget(browse);
    // AVI (the recorder's frames back to back) or MP4 (the recorder's clock,
    // AAC sound, time subtitles and alarm chapters).
    format_ = new QComboBox;
    format_->setObjectName("combo_format");
    format_->addItem("AVI", static_cast<int>(ExportFormat::kAvi));
    format_->addItem("MP4", static_cast<int>(ExportFormat::kMp4));
    format_->addItem(Text("FORMAT_MOSAIC", "MP4, one file, all channels"), kMosaicItem);
    out->addWidget(new QLabel(Text("STATIC_FORMAT", "Format")));
    out->addWidget(format_);
    audio_ = new QComboBox;
    audio_->setObjectName("combo_audio");
    audio_->addItem(Text("AUDIO_FIRST", "First with sound"), -1);
    for (int n = 1; n <= day_.GetChannelCount(); ++n) audio_->addItem("CH" + QString::number(n), n - 1);
    audio_->setEnabled(false);
    out->addWidget(new QLabel(Text("STATIC_AUDIO", "Sound")));
    out->addWidget(audio_);
    status_ = new QLabel;
    status_->setObjectName("text_status");

    startButton_ = new QPushButton(Text("BUTTON_START", "Start"));
    startButton_->setDefault(true);
    stopButton_ = new QPushButton(Text("BUTTON_STOP", "Stop"));
    stopButton_->setEnabled(false);
    auto* close = new QPushButton(Text("BUTTON_CLOSE", "Close"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton* b : {startButton_, stopButton_, close}) buttons->addWidget(b);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(channels, 1);
    layout->addWidget(status_);
    layout->addWidget(condition);
    layout->addWidget(output);
    layout->addLayout(buttons);
    resize(640, 440);

    // The whole day by default: from the first recording's start to the last one's end.
    // (The day's recordings need not be in time order.)
    int first = 0, last = 0;
    for (size_t i = 0; i < day_.recordings.size(); ++i) {
        const CDiskVideo& r = *day_.recordings[i];
        first = i == 0 ? r.StartSecondOfDay() : std::min(first, r.StartSecondOfDay());
        last = i == 0 ? r.EndSecondOfDay() : std::max(last, r.EndSecondOfDay());
    }
    start_->setTime(TimeOfDay(first));
    end_->setTime(TimeOfDay(last));
    for (int n = 1; n <= day_.GetChannelCount(); ++n) {
        int row = list_->rowCount();
        list_->insertRow(row);
        list_->setItem(row, 0, new QTableWidgetItem(QString::number(n)));
        list_->setItem(row, 1, new QTableWidgetItem);
        list_->setItem(row, 2, new QTableWidgetItem("0"));
    }
    RefreshNames();

    connect(start_, &QTimeEdit::timeChanged, this, &CDlgConvert::RefreshNames);
    connect(format_, &QComboBox::currentIndexChanged, this, &CDlgConvert::RefreshNames);
    connect(format_, &QComboBox::currentIndexChanged, this, [this] { audio_->setEnabled(Mosaic()); });
    connect(end_, &QTimeEdit::timeChanged, this, &CDlgConvert::RefreshNames);
    connect(browse, &QPushButton::clicked, this, [this] {
        QString chosen = QFileDialog::getExistingDirectory(this, QString(), folder_->text());
        if (!chosen.isEmpty()) SetFolder(chosen);
    });
    connect(startButton_, &QPushButton::clicked, this, &CDlgConvert::Start);
    connect(stopButton_, &QPushButton::clicked, this, &CDlgConvert::Stop);
    connect(close, &QPushButton::clicked, this, &CDlgConvert::reject);
}

CDlgConvert::~CDlgConvert() {
    Stop();
    QCoreApplication::removePostedEvents(this, PostedMessageEvent::EventType());
}

void CDlgConvert::SetFolder(const QString& folder) { folder_->setText(folder); }

void CDlgConvert::SetTimes(const QTime& start, const QTime& end) {
    start_->setTime(start);
    end_->setTime(end);
    RefreshNames();
}

void CDlgConvert::SetSeconds(int start, int end) {
    SetTimes(TimeOfDay(std::clamp(start, 0, 86399)), TimeOfDay(std::clamp(end, 0, 86399)));
}

QString CDlgConvert::RangeText() const { return range_->text(); }

void CDlgConvert::RefreshNames() {
    int start = SecondOfDay(start_->time());
    // The rows of a mosaic all go into its one file.
    for (int row = 0; row < list_->rowCount(); ++row) {
        list_->item(row, 1)->setText(QString::fromStdString(Mosaic() ? MosaicFileName(day_, start)
                                                                     : ConvertFileName(day_, start, row, Format())));
    }
    int span = SecondOfDay(end_->time()) - start;
    range_->setText(span < 0 ? "-" + QString::asprintf("%d:%02d:%02d", -span / 3600, -span % 3600 / 60, -span % 60)
                             : QString::asprintf("%d:%02d:%02d", span / 3600, span % 3600 / 60, span % 60));
}

ExportFormat CDlgConvert::Format() const {
    return Mosaic() ? ExportFormat::kMp4 : static_cast<ExportFormat>(format_->currentData().toInt());
}

void CDlgConvert::SetFormat(ExportFormat format) { format_->setCurrentIndex(format_->findData(static_cast<int>(format))); }

bool CDlgConvert::Mosaic() const { return format_->currentData().toInt() == kMosaicItem; }

void CDlgConvert::SetMosaic(bool mosaic) {
    if (mosaic) {
        format_->setCurrentIndex(format_->findData(kMosaicItem));
    } else if (Mosaic()) {
        SetFormat(ExportFormat::kMp4);
    }
}

void CDlgConvert::SetAudioRow(int row) {
    int index = audio_->findData(row);
    audio_->setCurrentIndex(index >= 0 ? index : 0);
}

bool CDlgConvert::Running() const { return job_ && job_->stop.load() == 0; }

void CDlgConvert::Start() {
    if (Running()) return;
    int start = SecondOfDay(start_->time()), end = SecondOfDay(end_->time());
    if (end < start) return;  // an empty range: nothing to do
    RefreshNames();
    for (int row = 0; row < list_->rowCount(); ++row) list_->item(row, 2)->setText("0");
    ConvertSettings settings;
    settings.startSecond = start;
    settings.endSecond = end;
    settings.folder = folder_->text().toStdString();
    settings.format = Format();
    settings.mosaic.enabled = Mosaic();
    settings.mosaic.audioRow = audio_->currentData().toInt();
    status_->clear();
    // The job reads with readers of its own: playback may go on meanwhile.
    job_ = std::make_unique<CConvertJob>(day_, settings, sink_.get());
    if (job_->Start()) {
        startButton_->setEnabled(false);
        stopButton_->setEnabled(true);
    }
}

void CDlgConvert::Stop() {
    if (job_) {
        job_->Stop();
        ShowOutcomes();
        job_.reset();
    }
    startButton_->setEnabled(true);
    stopButton_->setEnabled(false);
}

// Channels whose file could not be written say why instead of a percentage.
void CDlgConvert::ShowOutcomes() {
    if (Mosaic()) {
        const ChannelOutcome& m = job_->Mosaic();
        const bool failed = m.result == ChannelResult::kCreateFailed || m.result == ChannelResult::kWriteFailed;
        if (failed) status_->setText(QString::fromStdString(m.reason));
        // A failure on every row; otherwise the damage a channel's video had.
        const auto& rows = job_->Outcomes();
        for (size_t row = 0; row < rows.size() && static_cast<int>(row) < list_->rowCount(); ++row) {
            const std::string& text = failed ? m.reason : rows[row].reason;
            if (!text.empty()) list_->item(static_cast<int>(row), 2)->setText(QString::fromStdString(text));
        }
        return;
    }
    const auto& outcomes = job_->Outcomes();
    for (size_t row = 0; row < outcomes.size() && static_cast<int>(row) < list_->rowCount(); ++row) {
        const ChannelOutcome& o = outcomes[row];
        if (o.result == ChannelResult::kCreateFailed || o.result == ChannelResult::kWriteFailed ||
            o.result == ChannelResult::kSizeLimit) {
            list_->item(static_cast<int>(row), 2)->setText(QString::fromStdString(o.reason));
        }
    }
}

bool CDlgConvert::event(QEvent* e) {
    if (e->type() != PostedMessageEvent::EventType()) return QDialog::event(e);
    const PostedMessage& m = static_cast<PostedMessageEvent*>(e)->message;
    int row = static_cast<int>(m.wParam);
    if (m.id == kMsgConvertDone) {
        Stop();
    } else if (m.id == kMsgMosaicSecond) {
        status_->setText(Text("MOSAIC_PROGRESS", "%1 of %2 s").arg(row).arg(m.lParam));
    } else if (Mosaic() && (m.id == kMsgConvertProgress || m.id == kMsgEndOfRecording)) {
        // One file: every row shows its progress.
        for (int r = 0; r < list_->rowCount(); ++r) {
            list_->item(r, 2)->setText(QString::number(m.id == kMsgEndOfRecording ? 100 : m.lParam));
        }
    } else if ((m.id == kMsgConvertProgress || m.id == kMsgEndOfRecording) && row >= 0 && row < list_->rowCount()) {
        list_->item(row, 2)->setText(QString::number(m.id == kMsgEndOfRecording ? 100 : m.lParam));
    }
    return true;
}

void CDlgConvert::reject() {
    Stop();
    QDialog::reject();
}

}  // namespace corvane

#include "ui/wait_dialog.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/lang_text.h"
#include "ui/qt_message_sink.h"

namespace corvane {
namespace {

QString Text(const char* key, const char* def) { return LangText("FORM_WAIT", key, def); }

}  // namespace

CDlgWait::CDlgWait(const ScanFilter& filter, DayList& days, QWidget* parent)
    : QDialog(parent), sink_(std::make_unique<QtMessageSink>(this)), scan_(filter, days, sink_.get()) {
    setWindowTitle("Search Files");
    setFixedSize(550, 160);
    name_ = new QLabel(Text("STATIC_PROGRESS", "Progress:"));
    name_->setObjectName("text_name");
    info_ = new QLabel;
    info_->setObjectName("text_info");
    info_->setTextFormat(Qt::PlainText);
    info_->setWordWrap(true);
    cancel_ = new QPushButton(Text("BTN_CANCEL", "Cancel"));
    cancel_->setObjectName("btn_cancel");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(name_);
    layout->addWidget(info_, 1);
    layout->addLayout(buttons);
    confirmStop = [this] {
        return QMessageBox::question(this, "CorvanePlayer", Text("MESSAGE_STOPSCAN", "Do you want to stop searching?"),
                                     QMessageBox::Yes | QMessageBox::No) != QMessageBox::No;
    };
    connect(cancel_, &QPushButton::clicked, this, &CDlgWait::RequestStop);
}

CDlgWait::~CDlgWait() {
    StopAndJoin();
    closing_ = true;
    QCoreApplication::sendPostedEvents(this, PostedMessageEvent::EventType());  // frees queued folder texts
}

void CDlgWait::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!thread_.joinable()) thread_ = std::thread([this] { scan_.Run(); });
}

bool CDlgWait::event(QEvent* e) {
    if (e->type() != PostedMessageEvent::EventType()) return QDialog::event(e);
    const PostedMessage& m = static_cast<PostedMessageEvent*>(e)->message;
    if (m.id == kMsgScanFolder) {
        std::unique_ptr<std::string> folder(reinterpret_cast<std::string*>(m.wParam));
        if (!closing_) info_->setText(QString::fromStdString(*folder));
    } else if (m.id == kMsgScanDone && !closing_) {
        if (thread_.joinable()) thread_.join();
        done(QDialog::Accepted);
    }
    return true;
}

void CDlgWait::RequestStop() {
    if (!confirmStop || !confirmStop()) return;
    StopAndJoin();  // the finished scan's message then closes the dialog
}

// Closing the window stops the scan as well: the day list must not be used
// while the scan thread could still be writing it.
void CDlgWait::reject() {
    StopAndJoin();
    QDialog::reject();
}

void CDlgWait::StopAndJoin() {
    scan_.stop = 1;
    if (thread_.joinable()) thread_.join();
}

}  // namespace corvane

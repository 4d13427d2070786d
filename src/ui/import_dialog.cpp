#include "ui/import_dialog.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "ui/lang_text.h"

namespace corvane {
namespace {

QString Text(const char* key, const char* def) { return LangText("FORM_IMPORTLOC", key, def); }

}  // namespace

CDlgImport::CDlgImport(QWidget* parent, const QString& folder) : QDialog(parent) {
    setWindowTitle(Text("WINDOW_TITLE", "Local Video"));
    auto* group = new QGroupBox(Text("STATIC_FILTER", "Filter"));
    auto* form = new QFormLayout(group);

    folder_ = new QLineEdit(folder.isEmpty() ? QDir::homePath() : folder);
    folder_->setObjectName("edit_folder");
    auto* browse = new QPushButton("...");
    browse->setObjectName("btn_browse");
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(folder_, 1);
    folderRow->addWidget(browse);
    form->addRow(Text("STATIC_LOCATE", "Locate:"), folderRow);

    date_ = new QDateEdit(QDate::currentDate());
    date_->setCalendarPopup(true);
    date_->setDisplayFormat("yyyy-MM-dd");
    form->addRow(Text("STATIC_DATE", "Date:"), date_);
    allTime_ = new QCheckBox(Text("STATIC_ALLTIME", "Import video of all time"));
    allTime_->setChecked(true);
    form->addRow(QString(), allTime_);
    start_ = new QTimeEdit(QTime(0, 0, 0));
    start_->setDisplayFormat("HH:mm:ss");
    stop_ = new QTimeEdit(QTime(23, 59, 59));
    stop_->setDisplayFormat("HH:mm:ss");
    form->addRow(Text("STATIC_STARTTIME", "Start Time:"), start_);
    form->addRow(Text("STATIC_STOPTIME", "Stop Time:"), stop_);

    auto* buttons = new QDialogButtonBox;
    QPushButton* ok = buttons->addButton(Text("BUTTON_OK", "Search"), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    buttons->addButton(Text("BUTTON_CANCEL", "Cancel"), QDialogButtonBox::RejectRole);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttons);

    connect(browse, &QPushButton::clicked, this, &CDlgImport::Browse);
    connect(allTime_, &QCheckBox::toggled, this, &CDlgImport::UpdateEnabled);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDlgImport::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDlgImport::reject);
    UpdateEnabled();
    resize(460, sizeHint().height());
}

// Only the date depends on "all time"; the times stay editable.
void CDlgImport::UpdateEnabled() { date_->setEnabled(!allTime_->isChecked()); }

void CDlgImport::Browse() {
    QString start = folder_->text().isEmpty() ? QDir::currentPath() : folder_->text();
    QString chosen = QFileDialog::getExistingDirectory(this, QString(), start);
    if (!chosen.isEmpty()) folder_->setText(chosen);
}

void CDlgImport::accept() {
    if (folder_->text().isEmpty()) {
        folder_->setFocus();
        return;
    }
    QDialog::accept();
}

ScanFilter CDlgImport::Filter() const {
    ScanFilter f;
    f.root = folder_->text().toStdString();
    f.allTimes = allTime_->isChecked() ? 1 : 0;
    QDate d = date_->date();
    f.year = d.year();
    f.month = d.month();
    f.day = d.day();
    QTime s = start_->time(), e = stop_->time();
    f.startHour = s.hour();
    f.startMinute = s.minute();
    f.startSecond = s.second();
    f.stopHour = e.hour();
    f.stopMinute = e.minute();
    f.stopSecond = e.second();
    return f;
}

}  // namespace corvane

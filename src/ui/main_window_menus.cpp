// The main window's menus and maintenance: the option menu and its dialogs,
// the row menu of the file lists (export the files, repair), snapshots, and
// the messages of the measuring and repair workers.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryFile>
#include <ctime>

#include "ui/lang_text.h"
#include "app/settings.h"
#include "playback/message_box.h"
#include "playback/video_group.h"
#include "ui/about_dialog.h"
#include "ui/convert_dialog.h"
#include "ui/main_window.h"
#include "ui/option_dialog.h"
#include "ui/qt_message_sink.h"
#include "ui/snapshot.h"

namespace corvane {
namespace {

QString Text(const char* key, const char* def) { return LangText("FORM_MAIN", key, def); }

QAction* AddCommand(QMenu& menu, const QString& text, int command) {
    QAction* a = menu.addAction(text);
    a->setData(command);
    return a;
}

}  // namespace

void CMainWindow::ShowOptionMenu() {
    QMenu menu(this);
    menu.setObjectName("menu_option");
    AddCommand(menu, Text("MENU_CONVERT", "Convert"), kCmdConvert);
    menu.addSeparator();
    AddCommand(menu, Text("MENU_OPTION", "Option"), kCmdOption);
    menu.addSeparator();
    AddCommand(menu, Text("MENU_ABOUT", "About"), kCmdAbout);
    QAction* chosen = menu.exec(menu_->mapToGlobal(QPoint(menu_->width() - menu.sizeHint().width(), menu_->height())));
    if (chosen) RunCommand(chosen->data().toInt());
}

std::unique_ptr<QMenu> CMainWindow::MakeRowMenu(QTableView* view, const QPoint& at) {
    if (view != allView_ && view != alarmView_) return nullptr;  // the fix list has none
    if (static_cast<CVListExAdapter*>(view->model())->RowCount() == 0) return nullptr;
    QModelIndex hit = view->indexAt(at);
    if (hit.isValid()) view->selectRow(hit.row());
    auto menu = std::make_unique<QMenu>(this);
    menu->setObjectName("menu_lvfile");
    AddCommand(*menu, "导出视频", kCmdExport)->setObjectName("menu_export");
    AddCommand(*menu, "修复视频", kCmdRepair)->setObjectName("menu_repair");
    return menu;
}

void CMainWindow::ShowRowMenu(QTableView* view, const QPoint& at) {
    std::unique_ptr<QMenu> menu = MakeRowMenu(view, at);
    if (!menu) return;
    QAction* chosen = menu->exec(view->viewport()->mapToGlobal(at));
    if (chosen) RunCommand(chosen->data().toInt());
}

void CMainWindow::RunCommand(int command) {
    switch (command) {
        case kCmdExport: {
            if (!SelectedRecording()) return;
            QString folder = QFileDialog::getExistingDirectory(this, QString(), QDir::homePath());
            if (!folder.isEmpty()) ExportSelectedTo(folder);
            return;
        }
        case kCmdRepair: RepairSelected(); return;
        case kCmdConvert:
            if (currentDay_) CDlgConvert(*currentDay_, this).exec();
            return;
        case kCmdOption:
            if (CDlgOption(g_AppSettings, SettingsFilePath(), this).exec() == QDialog::Accepted) ApplyMapOptions();
            return;
        case kCmdAbout: CDlgAbout(this).exec(); return;
        default: return;
    }
}

// Copies the recording's files (one per channel, or its single file) into the
// folder under their own names, replacing files of the same name. Files that
// could not be copied are named in the message instead of claiming success.
void CMainWindow::ExportSelectedTo(const QString& folder) {
    CDiskVideo* r = SelectedRecording();
    if (!r) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::vector<std::string> files = r->multiPart ? r->partPaths : std::vector<std::string>{r->filePath};
    QStringList failed;
    for (const std::string& f : files) {
        QString source = QString::fromStdString(f);
        QString target = QDir(folder).filePath(QFileInfo(source).fileName());
        if (QFileInfo(source).canonicalFilePath() == QFileInfo(target).canonicalFilePath()) continue;
        // Copy beside the target first, so a failed copy leaves an older file
        // of the same name as it was.
        QString part = target + ".part";
        QFile::remove(part);
        bool copied = QFile::copy(source, part);
        if (copied) {
            QFile::remove(target);
            copied = QFile::rename(part, target);
        }
        if (!copied) {
            QFile::remove(part);
            failed << QFileInfo(source).fileName();
        }
    }
    QApplication::restoreOverrideCursor();
    QString text = failed.isEmpty()
                       ? Text("MESSAGE_EXPORTOK", "Export video ok!")
                       : Text("MESSAGE_EXPORTFAIL", "These files could not be copied:") + "\n" + failed.join("\n");
    services_.messages->Show(text.toStdString());
}

void CMainWindow::RepairSelected() {
    CDiskVideo* r = SelectedRecording();
    if (r && LengthIsDoubtful(r->length)) sink_->Post(kMsgBroken, reinterpret_cast<uintptr_t>(r), 0);
}

bool CMainWindow::event(QEvent* e) {
    if (e->type() != PostedMessageEvent::EventType()) return QMainWindow::event(e);
    const PostedMessage& m = static_cast<PostedMessageEvent*>(e)->message;
    if (m.id == kMsgEndOfRecording) {
        if (!userStopped_) Next();
        return true;
    }
    auto* r = reinterpret_cast<CDiskVideo*>(m.wParam);
    if (!r) return true;
    switch (m.id) {
        case kMsgMeasured: OnMeasured(r); break;
        case kMsgBroken: OnBroken(r); break;
        case kMsgRepairing: fixFiles_->SetStatus(r, Text("STATE_REPAIRING", "Repairing")); break;
        case kMsgRepaired: OnRepaired(r, m.lParam != 0); break;
        default: break;
    }
    return true;
}

void CMainWindow::OnMeasured(CDiskVideo* r) {
    allFiles_->Refresh();
    if (!r->IsAlarm()) return;
    if (r->multiPart) {
        alarmFiles_->AddRow(r);  // an alarm recording by its name
    } else {
        for (const EventEntry& e : r->events) alarmFiles_->AddRow(r, &e);
    }
}

void CMainWindow::OnBroken(CDiskVideo* r) {
    if (fixFiles_->RowOf(r) >= 0) return;
    workers_->QueueRepair(r);
    fixFiles_->AddRow(r);
    fixFiles_->SetStatus(r, Text("STATE_WAITING", "Waiting"));
}

void CMainWindow::OnRepaired(CDiskVideo* r, bool repaired) {
    if (fixFiles_->RowOf(r) < 0) return;
    if (!repaired) {
        // The row stays, saying so: the files could not be opened for writing
        // or hold nothing an index could be built from.
        fixFiles_->SetStatus(r, Text("STATE_REPAIRFAIL", "Repair failed"));
        return;
    }
    r->ReleaseReaders();
    r->length = 0;
    r->Measure();
    r->OpenReaders();
    r->ReleaseReaders();
    fixFiles_->RemoveRow(r);
    allFiles_->Refresh();
    alarmFiles_->Refresh();
    fixFiles_->Refresh();
}

// The picture goes first into a private temporary BMP, then to the file the
// user chose, in the format its name asks for (JPEG, PNG or BMP).
void CMainWindow::Capture(const QString& path) {
    CVideoPort* port = Group().Selected();
    QTemporaryFile temp(QDir::temp().filePath("corvane-capture-XXXXXX.bmp"));
    bool captured = port && Group().OpenMarker() && temp.open();
    if (captured) {
        temp.close();  // the name stays reserved until `temp` goes
        captured = port->Draw().SavePicture(temp.fileName().toStdString());
    }
    if (!captured) {
        services_.messages->Show(Text("MESSAGE_CAPTUREFAIL", "Capture failed!").toStdString());
        return;
    }
    QString target = path;
    if (target.isEmpty()) {
        QFileDialog dialog(this);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilters({"JPEG Files (*.jpg)", "PNG Files (*.png)", "BMP Files (*.bmp)"});
        dialog.setDefaultSuffix("jpg");
        dialog.setDirectory(QDir::home());
        dialog.selectFile(QString::fromStdString(SnapshotName(std::time(nullptr))));
        // A name typed without an extension gets the chosen filter's.
        connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
            dialog.setDefaultSuffix(filter.section("*.", 1).section(')', 0, 0));
        });
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
        target = dialog.selectedFiles().front();
    }
    if (!SaveSnapshotAs(temp.fileName(), target)) {
        services_.messages->Show(Text("MESSAGE_CAPTUREFAIL", "Capture failed!").toStdString());
    }
}

}  // namespace corvane

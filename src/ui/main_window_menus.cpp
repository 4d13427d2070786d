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

#include "config/settings.h"
#include "playback/message_box.h"
#include "playback/video_group.h"
#include "ui/about_dialog.h"
#include "ui/convert_dialog.h"
#include "ui/lang_text.h"
#include "ui/main_window.h"
#include "ui/option_dialog.h"
#include "ui/qt_message_sink.h"
#include "ui/snapshot.h"
#include "ui/snapshot_all.h"

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
    AddCommand(menu, Text("MENU_SNAPSHOTALL", "Snapshot all"), kCmdSnapshotAll)->setEnabled(capture_->isEnabled());
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
    const QString exportText =
        MarkedSpan() ? Text("MENU_EXPORTMARKED", "Export the marked span") : Text("MENU_EXPORT", "Export video");
    AddCommand(*menu, exportText, kCmdExport)->setObjectName("menu_export");
    AddCommand(*menu, Text("MENU_REPAIR", "Repair video"), kCmdRepair)->setObjectName("menu_repair");
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
            if (!SelectedRecording() && !MarkedSpan()) return;
            QString folder = QFileDialog::getExistingDirectory(this, QString(), QDir::homePath());
            if (!folder.isEmpty()) ExportSelectedTo(folder);
            return;
        }
        case kCmdRepair: RepairSelected(); return;
        case kCmdConvert: {
            if (!currentDay_) return;
            CDlgConvert dialog(*currentDay_, this);
            if (std::optional<TimelineSpan> span = MarkedSpan()) dialog.SetSeconds(span->start, span->end);
            dialog.exec();
            return;
        }
        case kCmdOption:
        {
            const std::string language = g_AppSettings.LangFile;
            if (CDlgOption(g_AppSettings, SettingsFilePath(), this).exec() != QDialog::Accepted) return;
            ApplyMapOptions();
            // The language table is loaded once, at start-up.
            if (g_AppSettings.LangFile != language) {
                services_.messages->Inform(LangText("FORM_OPTION", "MESSAGE_LANGRESTART",
                                                    "The new language is used from the next start of the player.")
                                               .toStdString());
            }
            return;
        }
        case kCmdAbout: CDlgAbout(this).exec(); return;
        case kCmdSnapshotAll: CaptureAll(); return;
        default: return;
    }
}

// Copies the files of the recordings the marked span touches (with marks on
// the current day), else those of the selected recording (one per channel, or
// its single file), into the folder under their own names, replacing files of
// the same name. Files that could not be copied are named in the message
// instead of claiming success.
void CMainWindow::ExportSelectedTo(const QString& folder) {
    std::vector<std::string> files;
    if (std::optional<TimelineSpan> span = MarkedSpan()) {
        const DayTimeline timeline(*currentDay_);
        for (const TimelineSegment& s : timeline.Segments()) {
            if (s.start > span->end || s.end < span->start) continue;
            for (std::string& f : currentDay_->recordings[static_cast<size_t>(s.recording)]->Files()) {
                files.push_back(std::move(f));
            }
        }
    } else if (CDiskVideo* r = SelectedRecording()) {
        files = r->Files();
    }
    if (files.empty()) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
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
    if (failed.isEmpty()) {
        services_.messages->Inform(Text("MESSAGE_EXPORTOK", "Export video ok!").toStdString());
        return;
    }
    services_.messages->Show(
        (Text("MESSAGE_EXPORTFAIL", "These files could not be copied:") + "\n" + failed.join("\n")).toStdString());
}

// The row menu asks again even for a recording whose last repair failed or
// found nothing to do (lParam 1); the measuring worker's reports do not.
void CMainWindow::RepairSelected() {
    CDiskVideo* r = SelectedRecording();
    if (r && LengthIsDoubtful(r->length)) sink_->Post(kMsgBroken, reinterpret_cast<uintptr_t>(r), 1);
}

bool CMainWindow::event(QEvent* e) {
    if (e->type() != PostedMessageEvent::EventType()) return QMainWindow::event(e);
    const PostedMessage& m = static_cast<PostedMessageEvent*>(e)->message;
    if (m.id == kMsgEndOfRecording) {
        OnEndOfRecording();
        return true;
    }
    auto* r = reinterpret_cast<CDiskVideo*>(m.wParam);
    if (!r) return true;
    switch (m.id) {
        case kMsgMeasured: OnMeasured(r); break;
        case kMsgBroken: OnBroken(r, m.lParam != 0); break;
        case kMsgRepairing: fixFiles_->SetStatus(r, Text("STATE_REPAIRING", "Repairing")); break;
        case kMsgRepaired: OnRepaired(r); break;
        case kMsgSpeedsRead: OnSpeedsRead(r); break;
        default: break;
    }
    return true;
}

void CMainWindow::OnMeasured(CDiskVideo* r) {
    std::optional<RecordingMeasurement> m = workers_->TakeMeasurement(r);
    // A recording in repair is measured again when its repair ends.
    if (m && !InRepair(r)) ApplyMeasurement(r, *m);
}

// Measuring again replaces the recording's events, so its alarm rows are
// made anew rather than added to.
void CMainWindow::ApplyMeasurement(CDiskVideo* r, const RecordingMeasurement& m) {
    r->Apply(m);
    allFiles_->Refresh();
    alarmFiles_->RemoveRows(r);
    if (r->day == currentDay_ && r->IsAlarm()) {
        if (r->multiPart) {
            alarmFiles_->AddRow(r);  // an alarm recording by its name
        } else {
            for (size_t i = 0; i < r->events.size(); ++i) alarmFiles_->AddRow(r, static_cast<int>(i));
        }
    }
    alarmFiles_->Refresh();
    ShowDayOnTimeline();
}

// The repair rewrites the recording's files, so nothing may read them
// meanwhile: the playing recording is closed first (and played on from the
// same place once repaired), and its readers go.
void CMainWindow::OnBroken(CDiskVideo* r, bool userAsked) {
    if (InRepair(r)) return;
    const bool listed = fixFiles_->RowOf(r) >= 0;
    if (listed && !userAsked) return;
    if (Group().PlayingRecording() == r) {
        afterRepair_ = {r, Group().CurrentSecond(), Group().State() == kPaused};
        userStopped_ = true;
        Stop();
    }
    r->ReleaseReaders();
    inRepair_.insert(r);
    workers_->QueueRepair(JobFor(*r));
    if (!listed) fixFiles_->AddRow(r);
    fixFiles_->SetStatus(r, Text("STATE_WAITING", "Waiting"));
}

// A repaired recording leaves the fix list; one that needed nothing or could
// not be repaired stays, saying so.
void CMainWindow::OnRepaired(CDiskVideo* r) {
    std::optional<RepairReport> report = workers_->TakeRepair(r);
    inRepair_.erase(r);
    if (!report) return;
    // Readers opened before the repair may hold the old index.
    if (Group().PlayingRecording() != r) r->ReleaseReaders();
    ApplyMeasurement(r, report->measurement);
    switch (report->result.outcome) {
        case RepairOutcome::kRepaired: fixFiles_->RemoveRow(r); break;
        case RepairOutcome::kUnchanged: fixFiles_->SetStatus(r, Text("STATE_UNCHANGED", "Nothing to repair")); break;
        case RepairOutcome::kFailed:
            fixFiles_->SetStatus(r, Text("STATE_REPAIRFAIL", "Repair failed"));
            break;
    }
    allFiles_->Refresh();
    fixFiles_->Refresh();
    PendingPlay pending = afterRepair_;
    if (pending.recording != r) return;
    afterRepair_ = {};
    PlayRecordingAt(r, pending.second, pending.paused);
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
    const QString target = path.isEmpty() ? AskSnapshotTarget(this) : path;
    if (!target.isEmpty() && !SaveSnapshotAs(temp.fileName(), target)) {
        services_.messages->Show(Text("MESSAGE_CAPTUREFAIL", "Capture failed!").toStdString());
    }
}

// Every open channel's picture in one image, as the grid shows them.
void CMainWindow::CaptureAll(const QString& path) {
    const ComposedSnapshot shot =
        Group().OpenMarker() && Group().State() != kStopped ? ComposeSnapshotAll(Group()) : ComposedSnapshot{};
    if (shot.image.isNull()) {
        services_.messages->Show(Text("MESSAGE_CAPTUREFAIL", "Capture failed!").toStdString());
        return;
    }
    const QString target = path.isEmpty() ? AskSnapshotTarget(this) : path;
    if (!target.isEmpty() && !SaveImageAs(shot.image, target)) {
        services_.messages->Show(Text("MESSAGE_CAPTUREFAIL", "Capture failed!").toStdString());
    }
}

}  // namespace corvane

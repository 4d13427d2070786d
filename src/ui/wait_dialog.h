#pragma once
// "Search Files": runs the recording scan on its own thread and shows the
// folder being searched; Cancel asks before stopping it.
#include <QDialog>
#include <memory>
#include <thread>

#include "catalogue/scan.h"

class QLabel;
class QPushButton;

namespace corvane {

class QtMessageSink;

class CDlgWait : public QDialog {
    Q_OBJECT
public:
    // Fills `days`, which nobody else touches until the dialog has ended.
    CDlgWait(const ScanFilter& filter, DayList& days, QWidget* parent = nullptr);
    ~CDlgWait() override;

    // The question before stopping; tests replace it.
    std::function<bool()> confirmStop;
    void RequestStop();  // what Cancel does

protected:
    void showEvent(QShowEvent* e) override;
    bool event(QEvent* e) override;
    void reject() override;

private:
    void StopAndJoin();

    bool closing_ = false;  // set by the destructor: only free what is still queued
    std::unique_ptr<QtMessageSink> sink_;
    RecordingScan scan_;
    std::thread thread_;
    QLabel* name_;
    QLabel* info_;
    QPushButton* cancel_;
};

}  // namespace corvane

#pragma once
// "Local Video": where to look for recordings and which day and times to take.
#include <QDialog>

#include "catalogue/scan_filter.h"

class QCheckBox;
class QDateEdit;
class QLineEdit;
class QTimeEdit;

namespace corvane {

class CDlgImport : public QDialog {
    Q_OBJECT
public:
    explicit CDlgImport(QWidget* parent = nullptr, const QString& folder = QString());
    // The filter after OK.
    ScanFilter Filter() const;

    QLineEdit* folderEdit() const { return folder_; }
    QCheckBox* allTimeCheck() const { return allTime_; }
    QDateEdit* dateEdit() const { return date_; }

public slots:
    void accept() override;

private:
    void Browse();
    void UpdateEnabled();

    QLineEdit* folder_;
    QCheckBox* allTime_;
    QDateEdit* date_;
    QTimeEdit* start_;
    QTimeEdit* stop_;
};

}  // namespace corvane

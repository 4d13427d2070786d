#pragma once
#include <QDialog>

namespace corvane {

// "About": the product name and its version.
class CDlgAbout : public QDialog {
    Q_OBJECT
public:
    explicit CDlgAbout(QWidget* parent = nullptr);
};

}  // namespace corvane

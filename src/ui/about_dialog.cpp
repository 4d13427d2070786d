#include "ui/about_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/lang_text.h"

namespace corvane {

CDlgAbout::CDlgAbout(QWidget* parent) : QDialog(parent) {
    setWindowTitle(LangText("FORM_ABOUT", "WINDOW_TITLE", "About"));
    auto* frame = new QLabel;
    frame->setFixedHeight(64);
    frame->setStyleSheet("background: black; color: white; font-size: 22px; padding-left: 16px;");
    frame->setText("▶ CorvanePlayer");
    auto* name = new QLabel("CorvanePlayer");
    name->setObjectName("text_product");
    auto* version = new QLabel(QString("Version: %1").arg(CORVANE_VERSION));
    version->setObjectName("text_version");
    auto* buttons = new QDialogButtonBox;
    buttons->addButton(LangText("FORM_ABOUT", "BTN_CLOSE", "Close"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDlgAbout::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addWidget(name);
    layout->addWidget(version);
    layout->addStretch();
    layout->addWidget(buttons);
    resize(380, 260);
}

}  // namespace corvane

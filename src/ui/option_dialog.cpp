#include "ui/option_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFormLayout>
#include <QGroupBox>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include "config/program_folder.h"
#include "config/settings.h"
#include "ui/lang_text.h"

namespace corvane {
namespace {

QString Text(const char* key, const char* def) { return LangText("FORM_OPTION", key, def); }

// The name a language file gives itself (<LANGUAGE name="English">), else
// its file name without extension.
QString LanguageName(const QString& path, const QString& fileName) {
    QFile f(path);
    if (f.open(QIODevice::ReadOnly)) {
        static const QRegularExpression tag("<LANGUAGE\\s+name=\"([^\"<>]+)\"");
        QRegularExpressionMatch m = tag.match(QString::fromUtf8(f.read(512)));
        if (m.hasMatch()) return m.captured(1);
    }
    return fileName.left(fileName.size() - 4);
}

}  // namespace

CDlgOption::CDlgOption(AppSettings& settings, std::string settingsFile, QWidget* parent)
    : QDialog(parent), settings_(settings), settingsFile_(std::move(settingsFile)), hardDraw_(settings.HardDraw) {
    setWindowTitle(Text("WINDOW_TITLE", "Option"));
    auto* maps = new QGroupBox(Text("STATIC_MAPS", "Maps"));
    auto* mapForm = new QFormLayout(maps);
    mapType_ = new QComboBox;
    mapType_->addItems({"BaiDu", "Google"});
    mapType_->setCurrentIndex(settings.MapName >= 0 && settings.MapName < 2 ? settings.MapName.load() : -1);
    mapForm->addRow(Text("STATIC_MAPTYPE", "Map Type:"), mapType_);
    showMap_ = new QCheckBox(Text("STATIC_SHOWMAP", "Show Map"));
    gpsOrbit_ = new QCheckBox(Text("STATIC_GPSORBIT", "Show orbit of GPS"));
    gpsCalib_ = new QCheckBox(Text("STATIC_GPSCAL", "GPS calibration"));
    for (QCheckBox* c : {showMap_, gpsOrbit_, gpsCalib_}) mapForm->addRow(QString(), c);

    auto* system = new QGroupBox(Text("STATIC_SYSTEM", "System"));
    auto* systemForm = new QFormLayout(system);
    language_ = new QComboBox;
    systemForm->addRow(Text("STATIC_LANGUAGE", "Language:"), language_);
    associate_ = new QCheckBox(Text("STATIC_H264", "File Association .264"));
    audio_ = new QCheckBox(Text("STATIC_AUDIO", "Play audio"));
    systemForm->addRow(QString(), associate_);
    systemForm->addRow(QString(), audio_);

    gpsCalib_->setChecked(settings.GpsCalib != 0);
    gpsOrbit_->setChecked(settings.GpsOrbit != 0);
    associate_->setChecked(settings.AssociateH264 != 0);
    showMap_->setChecked(settings.ShowMap != 0);
    audio_->setChecked(settings.Audio != 0);
    FillLanguages();

    auto* buttons = new QDialogButtonBox;
    buttons->addButton(Text("BUTTON_OK", "OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(Text("BUTTON_CANCEL", "Cancel"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDlgOption::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDlgOption::reject);
    tellSaveFailed = [this](const QString& text) { QMessageBox::warning(this, "CorvanePlayer", text); };
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(maps);
    layout->addWidget(system);
    layout->addWidget(buttons);
}


// Every "*.lng" file of the Language folder, shown by the name it gives
// itself, in the order the folder lists them; the current language is
// preselected by the first file whose name starts with the current one's.
void CDlgOption::FillLanguages() {
    QDir dir(QString::fromStdString(ProgramFolder()) + "Language");
    const QStringList names = dir.entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QString& name : names) {
        if (name.size() < 4 || name.right(3).compare("lng", Qt::CaseInsensitive) != 0) continue;
        language_->addItem(LanguageName(dir.filePath(name), name), name.left(name.size() - 4));
        languagePaths_.append(dir.filePath(name));
    }
    if (language_->count() == 0) return;
    language_->setCurrentIndex(0);
    QString current = QString::fromStdString(settings_.LangFile).section('/', -1);
    if (int dot = current.lastIndexOf('.'); dot >= 0) current = current.left(dot);
    for (int i = 0; i < language_->count(); ++i) {
        if (!current.isEmpty() && language_->itemData(i).toString().startsWith(current)) {
            language_->setCurrentIndex(i);
            break;
        }
    }
}

void CDlgOption::accept() {
    settings_.MapName = mapType_->currentIndex();
    settings_.GpsCalib = gpsCalib_->isChecked() ? 1 : 0;
    settings_.GpsOrbit = gpsOrbit_->isChecked() ? 1 : 0;
    settings_.AssociateH264 = associate_->isChecked() ? 1 : 0;
    settings_.ShowMap = showMap_->isChecked() ? 1 : 0;
    settings_.Audio = audio_->isChecked() ? 1 : 0;
    settings_.HardDraw = hardDraw_;
    if (language_->currentIndex() >= 0) settings_.LangFile = languagePaths_[language_->currentIndex()].toStdString();
    if (!SaveSettings(settings_, settingsFile_) && tellSaveFailed) {
        tellSaveFailed(Text("MESSAGE_SAVEFAIL", "The settings could not be saved and will be lost when the player closes:") +
                       "\n" + QString::fromStdString(settingsFile_));
    }
    QDialog::accept();
}

}  // namespace corvane

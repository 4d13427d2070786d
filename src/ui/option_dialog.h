#pragma once
// "Option": the map, GPS, language and sound settings, saved on OK.
#include <QDialog>
#include <QStringList>
#include <functional>
#include <string>

class QCheckBox;
class QComboBox;

namespace corvane {

struct AppSettings;

class CDlgOption : public QDialog {
    Q_OBJECT
public:
    // Edits `settings` and saves them to `settingsFile` on OK. When the file
    // cannot be written the user is told, and the options apply until the
    // player ends.
    CDlgOption(AppSettings& settings, std::string settingsFile, QWidget* parent = nullptr);

    QComboBox* mapType() const { return mapType_; }
    QComboBox* language() const { return language_; }
    const QStringList& languagePaths() const { return languagePaths_; }

    // Tells the user that the settings file could not be written; a message
    // box by default, tests replace it.
    std::function<void(const QString& text)> tellSaveFailed;

public slots:
    void accept() override;

private:
    void FillLanguages();

    AppSettings& settings_;
    std::string settingsFile_;
    int hardDraw_;
    QComboBox* mapType_;
    QComboBox* language_;
    QCheckBox* showMap_;
    QCheckBox* gpsOrbit_;
    QCheckBox* gpsCalib_;
    QCheckBox* associate_;
    QCheckBox* audio_;
    QStringList languagePaths_;  // one per item of the language list
};

}  // namespace corvane

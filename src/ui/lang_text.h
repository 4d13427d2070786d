#pragma once
// Texts of the language table as Qt strings, for the windows' labels.
#include <QString>

#include "config/language.h"

namespace corvane {

inline QString LangText(const char* section, const char* key, const char* def) {
    return QString::fromStdString(GetLangText(section, key, def));
}

}  // namespace corvane

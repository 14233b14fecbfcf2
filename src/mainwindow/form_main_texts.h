#pragma once
// Text table lookups in the form the main window's files need them.

#include <QString>
#include <string>
#include <string_view>

#include "texts.h"

inline QString trText(std::string_view key, const QString& language) {
    const std::string lang = language.toStdString();
    const std::string_view t = korvane::text(key, lang);
    return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size()));
}

inline QString trTextWith(std::string_view key, const QString& language, const QString& value) {
    return QString::fromStdString(korvane::textWith(key, language.toStdString(), value.toStdString()));
}

inline QString fromStd(const std::string& s) { return QString::fromStdString(s); }

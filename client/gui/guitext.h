#pragma once

#include "client/langmgr.h"

#include <QString>

#include <string>
#include <string_view>

// The language manager hands out UTF-8; widgets take QString.
inline QString ToQt(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string FromQt(const QString& text)
{
    return text.toStdString();
}

inline QString LoadQText(const CLanguageMgr& language, int id)
{
    return ToQt(language.LoadText(id));
}

// A menu text without its mnemonic marks and trailing dots, as tool tips show it.
QString PlainCommandText(const QString& menuText);

#include "client/gui/guitext.h"

QString PlainCommandText(const QString& menuText)
{
    QString plain;
    plain.reserve(menuText.size());
    for (qsizetype i = 0; i < menuText.size(); ++i) {
        if (menuText[i] == u'&' && i + 1 < menuText.size())
            ++i; // "&&" stands for one "&"; "&x" marks x
        plain += menuText[i];
    }
    while (plain.endsWith(u'.') || plain.endsWith(u' '))
        plain.chop(1);
    return plain;
}

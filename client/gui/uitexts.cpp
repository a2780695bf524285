#include "client/gui/uitexts.h"

#include "client/langmgr.h"
#include "client/scode.h"

#include <QAbstractButton>
#include <QDate>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QTime>
#include <QWidget>

QString ToQString(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQString(const QString& text)
{
    return text.toUtf8().toStdString();
}

QString UiText(const CLanguageMgr& language, int id)
{
    return ToQString(language.LoadText(id));
}

void ApplyDialogTexts(QWidget& dialog, const CDialogTexts& texts,
                      std::initializer_list<std::pair<int, QWidget*>> controls)
{
    dialog.setWindowTitle(ToQString(texts.caption));
    for (const auto& [id, widget] : controls) {
        const auto found = texts.controls.find(id);
        if (id == 0 || !widget || found == texts.controls.end())
            continue;
        const QString text = ToQString(found->second);
        if (auto* label = qobject_cast<QLabel*>(widget))
            label->setText(text);
        else if (auto* button = qobject_cast<QAbstractButton*>(widget))
            button->setText(text);
        else if (auto* group = qobject_cast<QGroupBox*>(widget))
            group->setTitle(text);
    }
}

void SetMessageIcon(QLabel& label, QStyle::StandardPixmap icon)
{
    QStyle* style = label.style();
    const int size = style->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &label);
    label.setPixmap(style->standardIcon(icon, nullptr, &label).pixmap(size));
}

QString DisplayDate(const std::string& fileTime)
{
    if (fileTime.empty())
        return {};
    const QString text = ToQString(CStoredCodeMgr::DateText(fileTime));
    // The list keeps local calendar time: date and time are shown as they
    // are, never converted (a time in a daylight-saving gap stays valid).
    const QDate date = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(text.mid(11), QStringLiteral("HH:mm:ss"));
    if (!date.isValid() || !time.isValid() || text.size() != 19)
        return text;
    const QLocale locale;
    return locale.toString(date, QLocale::LongFormat) + QLatin1Char(' ') +
           locale.toString(time, QLocale::ShortFormat);
}

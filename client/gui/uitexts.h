#pragma once

#include <QString>
#include <QStyle>

#include <initializer_list>
#include <string>
#include <utility>

class CLanguageMgr;
struct CDialogTexts;
class QLabel;
class QWidget;

// The language manager's UTF-8 texts as Qt strings.
QString ToQString(const std::string& text);
std::string FromQString(const QString& text);
QString UiText(const CLanguageMgr& language, int id);

// A dialog's caption and its controls' texts from the language manager:
// each (control identifier, widget) pair gets the control's text; labels,
// buttons and group boxes take it as their text.
void ApplyDialogTexts(QWidget& dialog, const CDialogTexts& texts,
                      std::initializer_list<std::pair<int, QWidget*>> controls);

// A message box's icon of the style, in the label at the dialog's left.
void SetMessageIcon(QLabel& label, QStyle::StandardPixmap icon);

// A stored date (a file time) in the system's long date format with the
// time of day; empty when never, the text itself when it is not a date.
QString DisplayDate(const std::string& fileTime);

#pragma once

#include "client/uiport.h"

#include <QStringList>

#include <optional>

class QWidget;

// The filter text of the string table ("Code Files (*.codelist)|*.codelist|
// Text Files (*.txt)|*.txt||") as QFileDialog's name filters, one per pair.
QStringList FileDialogFilters(const std::string& filter);

// The open or save dialog for a core's file request; a saved file without
// an extension gets the chosen filter's. None when the user cancels.
std::optional<CFileAnswer> AskFileWithDialog(const CFileRequest& request, QWidget* parent);

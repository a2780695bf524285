#include "client/gui/filedlg.h"

#include "client/gui/uitexts.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>

QStringList FileDialogFilters(const std::string& filter)
{
    const QStringList parts = ToQString(filter).split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        if (!parts[i].isEmpty())
            filters << parts[i];
    return filters;
}

std::optional<CFileAnswer> AskFileWithDialog(const CFileRequest& request, QWidget* parent)
{
    const bool save = request.mode == CFileRequest::Mode::kSave;
    QFileDialog dialog(parent, ToQString(request.title), QString::fromStdString(request.folder.string()));
    dialog.setObjectName(QStringLiteral("fileDialog"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QStringList filters = FileDialogFilters(request.filter);
    dialog.setNameFilters(filters);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    CFileAnswer answer;
    const qsizetype index = filters.indexOf(dialog.selectedNameFilter());
    answer.filterIndex = index < 0 ? 0 : static_cast<std::size_t>(index);
    QString path = dialog.selectedFiles().front();
    if (save && QFileInfo(path).suffix().isEmpty() && index >= 0) {
        static const QRegularExpression pattern(QStringLiteral("\\*\\.(\\w+)"));
        if (const QRegularExpressionMatch match = pattern.match(filters[index]); match.hasMatch())
            path += u'.' + match.captured(1);
    }
    answer.path = path.toStdString();
    return answer;
}

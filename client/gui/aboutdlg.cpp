#include "client/gui/aboutdlg.h"

#include "ui_aboutdlg.h"

#include "client/gui/uitexts.h"
#include "client/langmgr.h"
#include "client/uitextids.h"

#include <QApplication>
#include <QPushButton>
#include <QStyle>

CAboutDlg::CAboutDlg(const CLanguageMgr& language, std::array<long, 3> version, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CAboutDlg>()), m_language(language), m_version(version)
{
    m_ui->setupUi(this);
    m_ui->buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    const int iconSize = style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, this) * 2;
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        icon = style()->standardIcon(QStyle::SP_ComputerIcon, nullptr, this);
    m_ui->iconLabel->setPixmap(icon.pixmap(iconSize));
    QFont title = m_ui->productLabel->font();
    title.setBold(true);
    title.setPointSizeF(title.pointSizeF() * 1.4);
    m_ui->productLabel->setFont(title);
    connect(m_ui->buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    Retranslate();
}

CAboutDlg::~CAboutDlg() = default;

void CAboutDlg::Retranslate()
{
    ApplyDialogTexts(*this, m_language.LoadDialog(kDlgAbout),
                     {{kCtlAboutProduct, m_ui->productLabel},
                      {kCtlAboutCopyright, m_ui->copyrightLabel},
                      {kCtlAboutLanguages, m_ui->languagesLabel},
                      {kCtlOk, m_ui->buttons->button(QDialogButtonBox::Ok)}});
    m_ui->versionLabel->setText(ToQString(CLanguageMgr::FormatNumbers(
        m_language.LoadText(kStrVersionBuild), {m_version[0], m_version[1], m_version[2]})));
    m_ui->languageList->clear();
    const QString current = UiText(m_language, kStrCurrentLanguage);
    const auto& entries = m_language.Entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const CLanguageEntry& entry = entries[i];
        auto* item = new QTreeWidgetItem(m_ui->languageList);
        item->setText(0, ToQString(entry.text));
        item->setText(1, ToQString(entry.fileName + " " + entry.VersionText()));
        if (i == m_language.CurrentIndex())
            item->setText(2, current);
    }
    for (int column = 0; column < m_ui->languageList->columnCount(); ++column)
        m_ui->languageList->resizeColumnToContents(column);
}

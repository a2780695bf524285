#pragma once

#include <QDialog>

#include <array>
#include <memory>

class CLanguageMgr;
namespace Ui {
class CAboutDlg;
}

// "About": the product, its version and the language libraries found
// beside the program with their versions, the current one marked.
class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    // `version`: major, minor and build of the program.
    CAboutDlg(const CLanguageMgr& language, std::array<long, 3> version, QWidget* parent = nullptr);
    ~CAboutDlg() override;

    void Retranslate();

private:
    const std::unique_ptr<Ui::CAboutDlg> m_ui;
    const CLanguageMgr& m_language;
    const std::array<long, 3> m_version;
};

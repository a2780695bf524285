#pragma once

#include <QDialog>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class CLanguageMgr;
namespace Ui {
class CCodeTypeChoiceDlg;
}

// "Code Type Selection": a code that fits several types, the types listed
// under "Type Description", the most likely first and chosen.
class CCodeTypeChoiceDlg : public QDialog {
    Q_OBJECT

public:
    // `types`: stored type numbers, most likely first.
    CCodeTypeChoiceDlg(const CLanguageMgr& language, const std::string& code, std::vector<int> types,
                       QWidget* parent = nullptr);
    ~CCodeTypeChoiceDlg() override;

    void Retranslate();
    // Modal: the chosen type, or none for Cancel.
    std::optional<int> Ask();
    std::optional<int> ChosenType() const;

private:
    const std::unique_ptr<Ui::CCodeTypeChoiceDlg> m_ui;
    const CLanguageMgr& m_language;
    const std::vector<int> m_types;
};

#include "client/gui/wizpage.h"

#include "client/appcontext.h"
#include "client/clidoc.h"
#include "client/gui/uitexts.h"
#include "client/langmgr.h"
#include "client/uitextids.h"

#include <QLabel>
#include <QVBoxLayout>

CWizPropertyPage::CWizPropertyPage(CPageId id, CPageLogic& logic, QWidget* parent)
    : QWidget(parent), m_id(id), m_logic(logic)
{
}

CWizPropertyPage::~CWizPropertyPage() = default;

const CLanguageMgr& CWizPropertyPage::Language() const
{
    return m_logic.Doc().Context().Language();
}

CDialogTexts CWizPropertyPage::Texts() const
{
    return Language().LoadDialog(PageDialogId(m_id));
}

QString CWizPropertyPage::Title() const
{
    return ToQString(Texts().caption);
}

QString CWizPropertyPage::Text(int stringId) const
{
    return UiText(Language(), stringId);
}

bool CWizPropertyPage::Focus(const CPageProblem& problem)
{
    if (problem.Ok())
        return true;
    if (QWidget* field = FieldWidget(problem.field))
        field->setFocus(Qt::OtherFocusReason);
    return false;
}

bool CWizPropertyPage::Leave()
{
    return Focus(m_logic.Leave(m_id));
}

bool CWizPropertyPage::Apply()
{
    return m_logic.Apply(m_id);
}

// Text pages ----------------------------------------------------------------

CPPageText::CPPageText(CPageId id, int textControl, CPageLogic& logic, QWidget* parent)
    : CWizPropertyPage(id, logic, parent), m_textControl(textControl), m_text(new QLabel(this))
{
    m_text->setObjectName(QStringLiteral("pageText"));
    m_text->setWordWrap(true);
    m_text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_text);
    layout->addStretch();
}

void CPPageText::Retranslate()
{
    const CDialogTexts texts = Texts();
    const auto found = texts.controls.find(m_textControl);
    m_text->setText(found == texts.controls.end() ? QString() : ToQString(found->second));
}

int CPPageText::HelpNumber() const
{
    // The first start's welcome has a help page of its own.
    return Id() == CPageId::InstallIntro ? 2 : 1;
}

#include "client/gui/commandset.h"

#include "client/gui/uitexts.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace {

// A menu text without its mnemonic marks and trailing dots, as tool tips show it.
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

} // namespace

CCommandSet::CCommandSet(QObject* parent) : QObject(parent) {}

QAction* CCommandSet::Action(int id)
{
    if (QAction* found = Find(id))
        return found;
    auto* action = new QAction(this);
    action->setObjectName(QStringLiteral("command%1").arg(id));
    action->setData(id);
    connect(action, &QAction::triggered, this, [this, id] { Q_EMIT Triggered(id); });
    m_actions.emplace(id, action);
    return action;
}

QAction* CCommandSet::Find(int id) const
{
    const auto found = m_actions.find(id);
    return found == m_actions.end() ? nullptr : found->second;
}

void CCommandSet::FillMenu(QMenu& menu, const std::vector<CMenuItem>& items)
{
    // Sub-menus of an earlier build go with it; the actions stay.
    qDeleteAll(menu.findChildren<QMenu*>(Qt::FindDirectChildrenOnly));
    menu.clear();
    for (const CMenuItem& item : items) {
        switch (item.kind) {
        case CMenuItem::Kind::Separator:
            menu.addSeparator();
            break;
        case CMenuItem::Kind::Popup: {
            QMenu* popup = menu.addMenu(ToQString(item.text));
            FillMenu(*popup, item.children);
            break;
        }
        case CMenuItem::Kind::Item: {
            QAction* action = Action(item.id);
            const QString text = ToQString(item.text);
            action->setText(text);
            action->setToolTip(PlainCommandText(text));
            action->setStatusTip(PlainCommandText(text));
            menu.addAction(action);
            break;
        }
        }
    }
}

void CCommandSet::FillMenuBar(QMenuBar& bar, const std::vector<CMenuItem>& popups)
{
    qDeleteAll(bar.findChildren<QMenu*>(Qt::FindDirectChildrenOnly));
    bar.clear();
    for (const CMenuItem& popup : popups) {
        if (popup.kind != CMenuItem::Kind::Popup)
            continue;
        QMenu* menu = bar.addMenu(ToQString(popup.text));
        menu->setObjectName(QStringLiteral("menu%1").arg(bar.actions().size()));
        FillMenu(*menu, popup.children);
    }
}

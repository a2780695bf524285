#pragma once

#include "client/langmgr.h"

#include <QObject>

#include <map>
#include <vector>

class QAction;
class QMenu;
class QMenuBar;

// The commands of one menu family (main window, tray, list) as QActions,
// one per command identifier, and the menus built from the language
// manager's menu trees. Rebuilding after a language change keeps the
// actions, their shortcuts and their state; only texts and menus are new.
class CCommandSet : public QObject {
    Q_OBJECT

public:
    explicit CCommandSet(QObject* parent = nullptr);

    // The action of a command, made on first use.
    QAction* Action(int id);
    QAction* Find(int id) const;
    const std::map<int, QAction*>& Actions() const { return m_actions; }

    // `menu` emptied and filled with the items, popups as sub-menus.
    void FillMenu(QMenu& menu, const std::vector<CMenuItem>& items);
    // One menu of the bar per popup of `popups`.
    void FillMenuBar(QMenuBar& bar, const std::vector<CMenuItem>& popups);

Q_SIGNALS:
    void Triggered(int id);

private:
    std::map<int, QAction*> m_actions;
};

#pragma once

#include "client/langmgr.h"

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>

#include <functional>

class CCommandSet;
class QMenu;

// The notification-area icon with its menu (201). It exists only while the
// main window is hidden; a double click (or a click, where the tray sends
// only that) runs the menu's default item, shown bold. Emits the commands;
// the frame decides what they do.
class CTrayIcon : public QObject {
    Q_OBJECT

public:
    static constexpr int kDefaultItem = 0;

    explicit CTrayIcon(const CLanguageMgr& language, QObject* parent = nullptr);
    ~CTrayIcon() override;

    // Whether the desktop shows tray icons; where it does not, the window
    // minimises instead of hiding. Tests may decide it.
    static bool Available();
    static void SetAvailability(std::function<bool()> available);

    void SetIcon(const QIcon& icon);
    void Show();
    void Hide();
    bool IsShown() const;
    void ShowMessage(const QString& text);
    void Retranslate();

    QMenu* Menu() const { return m_menu; }
    CCommandSet* Commands() const { return m_commands; }
    int DefaultCommand() const;

Q_SIGNALS:
    void Command(int id);

private:
    void OnActivated(QSystemTrayIcon::ActivationReason reason);

    const CLanguageMgr& m_language;
    CCommandSet* m_commands;
    QMenu* m_menu;
    QSystemTrayIcon* m_icon;
};

#pragma once

#include <QPixmap>
#include <QWidget>

#include <functional>

// The start-up splash: the customisation's bitmap in a borderless top-most
// window centred on the screen. It stays for its delay while the event
// loop runs, so it paints and the program keeps answering; then it closes
// itself and start-up goes on.
class CSplashWnd : public QWidget {
    Q_OBJECT

public:
    static constexpr int kAutoRunDelayMs = 2000;
    static constexpr int kNormalDelayMs = 1000;

    explicit CSplashWnd(const QPixmap& bitmap);

    // Shows the window, and after `delayMs` closes it and calls `done`.
    void Run(int delayMs, std::function<void()> done);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_bitmap;
};

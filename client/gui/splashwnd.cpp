#include "client/gui/splashwnd.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTimer>

CSplashWnd::CSplashWnd(const QPixmap& bitmap)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_bitmap(bitmap)
{
    setObjectName(QStringLiteral("splash"));
    setAttribute(Qt::WA_DeleteOnClose);
    const QSize size = m_bitmap.isNull() ? QSize(1, 1) : m_bitmap.deviceIndependentSize().toSize();
    setFixedSize(size);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - QPoint(size.width() / 2, size.height() / 2));
}

void CSplashWnd::Run(int delayMs, std::function<void()> done)
{
    if (!m_bitmap.isNull())
        show();
    QTimer::singleShot(delayMs, this, [this, done = std::move(done)] {
        close();
        done();
    });
}

void CSplashWnd::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(rect(), m_bitmap);
}

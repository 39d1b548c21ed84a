#include "ui/BusyCursor.h"

#include <QCursor>
#include <QGuiApplication>
#include <QThread>

namespace granovia::ui {

namespace {

QPointer<QWidget> g_notice;

} // namespace

void showBusyCursor(bool busy)
{
    if (!qGuiApp || QThread::currentThread() != qGuiApp->thread())
        return;
    // The window does not get back to its event loop before the call ends;
    // the platform applies an override cursor at once.
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QGuiApplication::restoreOverrideCursor();
    if (!g_notice)
        return;
    g_notice->setVisible(busy);
    if (busy) {
        g_notice->raise();
        g_notice->repaint();
    }
}

BusyNotice::BusyNotice(QWidget *notice)
    : m_previous(std::exchange(g_notice, notice))
{
}

BusyNotice::~BusyNotice()
{
    if (g_notice)
        g_notice->hide();
    g_notice = m_previous;
}

} // namespace granovia::ui

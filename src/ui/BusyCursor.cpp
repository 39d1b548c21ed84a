#include "ui/BusyCursor.h"

#include "ui/Skin.h"

#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QThread>

namespace granovia::ui {

namespace {

constexpr int NoteMargin = 8;

// The notice of the BusyNotice that lives now, if any.
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

BusyNote::BusyNote(QWidget *window, const QString &text)
    : m_label(new QLabel(text, window))
{
    m_label->hide();
    m_label->setFont(skin::font(skin::Pt8));
    m_label->setMargin(NoteMargin);
    m_label->setAutoFillBackground(true);
    m_label->setFrameShape(QFrame::Box);
    QPalette palette = m_label->palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, skin::Text);
    m_label->setPalette(palette);
    m_label->adjustSize();
    QRect place(QPoint(), m_label->size());
    place.moveCenter(window->rect().center());
    m_label->setGeometry(place);
    m_notice.emplace(m_label);
}

BusyNote::~BusyNote()
{
    m_notice.reset();
    delete m_label;
}

} // namespace granovia::ui

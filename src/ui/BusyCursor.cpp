#include "ui/BusyCursor.h"

#include "ui/Skin.h"

#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QThread>

namespace granovia::ui {

namespace {

constexpr int NoteMargin = 8;

// The note of the BusyNote that lives now, if any.
QPointer<QLabel> g_note;

void showNote(bool shown)
{
    if (!g_note)
        return;
    if (!shown) {
        g_note->hide();
        return;
    }
    QWidget *window = g_note->parentWidget();
    g_note->adjustSize();
    QRect place(QPoint(), g_note->size());
    place.moveCenter(window->rect().center());
    g_note->setGeometry(place);
    g_note->show();
    g_note->raise();
    g_note->repaint();
}

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
    showNote(busy);
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
    g_note = m_label;
}

BusyNote::~BusyNote()
{
    if (g_note == m_label)
        g_note = nullptr;
    delete m_label;
}

} // namespace granovia::ui

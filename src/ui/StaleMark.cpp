#include "ui/StaleMark.h"

#include <QEvent>

namespace granovia::ui {

namespace {

const QString StaleText = QStringLiteral("údaje nejsou aktuální, naposledy načteny %1");
const QString TimeOfToday = QStringLiteral("v HH:mm:ss");
const QString TimeOfAnotherDay = QStringLiteral("d. M. yyyy v HH:mm:ss");
const QString MarkStyle = QStringLiteral("background: #c00000; color: white; font-weight: bold; padding: 4px 12px;");
constexpr int TopMargin = 4;

} // namespace

StaleMark::StaleMark(QWidget *window, int pixelSize)
    : QLabel(window)
    , m_lastGood(QDateTime::currentDateTime())
{
    setStyleSheet(MarkStyle);
    QFont letters = font();
    letters.setPixelSize(pixelSize);
    setFont(letters);
    // What lies under it can still be touched.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
    m_due.setSingleShot(true);
    connect(&m_due, &QTimer::timeout, this, &StaleMark::showMark);
    window->installEventFilter(this);
}

void StaleMark::readSucceeded()
{
    m_lastGood = QDateTime::currentDateTime();
    m_due.stop();
    hide();
}

void StaleMark::readFailed()
{
    if (isVisible() || m_due.isActive())
        return;
    const auto due = std::chrono::milliseconds(QDateTime::currentDateTime().msecsTo(m_lastGood.addSecs(StaleAfter.count())));
    m_due.start(std::max(due, std::chrono::milliseconds::zero()));
}

QString StaleMark::textFor(const QDateTime &lastGoodRead, const QDateTime &now)
{
    const QString &format = lastGoodRead.date() == now.date() ? TimeOfToday : TimeOfAnotherDay;
    return StaleText.arg(lastGoodRead.toString(format));
}

void StaleMark::showMark()
{
    setText(textFor(m_lastGood, QDateTime::currentDateTime()));
    place();
    show();
    raise();
}

void StaleMark::place()
{
    adjustSize();
    const QWidget *window = parentWidget();
    move((window->width() - width()) / 2, TopMargin);
}

bool StaleMark::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize && !isHidden())
        place();
    return QLabel::eventFilter(watched, event);
}

} // namespace granovia::ui

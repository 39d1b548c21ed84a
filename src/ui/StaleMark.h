#pragma once

#include <QDateTime>
#include <QLabel>
#include <QTimer>
#include <chrono>

namespace granovia::ui {

// A mark over a window whose numbers can no longer be read: from StaleAfter
// after the last good read until the next one, it says on top of the window
// that the data are not current, and since when.
class StaleMark final : public QLabel {
    Q_OBJECT
public:
    static constexpr std::chrono::seconds StaleAfter{3};

    // Hidden until needed; pixelSize is the size of its letters.
    StaleMark(QWidget *window, int pixelSize);

    // A read succeeded: the mark goes.
    void readSucceeded();
    // A read failed: the mark comes once the last good read is StaleAfter old.
    void readFailed();

    // "údaje nejsou aktuální" with the time of the last good read.
    static QString textFor(const QDateTime &lastGoodRead, const QDateTime &now);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showMark();
    void place();

    QDateTime m_lastGood;
    QTimer m_due;
};

} // namespace granovia::ui

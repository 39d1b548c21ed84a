#pragma once

#include <QKeyEvent>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>



namespace granovia::ui {

// A keyboard-wedge scanner types its code and Enter faster than any person:
// its keys come well under 100 ms apart. Keys typed in an attached window,
// or in a dialog over it, are held back for a moment: when a code and Enter
// come that fast, the keys and the Enter reach no control (no button is
// clicked, no dialog closed), and the code goes to the handler of the window
// it was typed in. Keys that come slower go on to where they were typed, in order,
// at the latest ReleaseAfterMs later.
class ScanInput final : public QObject {
    Q_OBJECT
public:
    // At most this long between two keys of a code and between its last key
    // and the Enter, by the keys' own times.
    static constexpr quint64 MaxKeyGapMs = 40;
    static constexpr int MinCodeLength = 3;
    static constexpr int ReleaseAfterMs = 120;

    using Handler = std::function<void(const QString &code)>;

    // The application's one, filtering its keys from the first use on.
    static ScanInput &instance();

    // Scans typed in window go to handler, unless another window is modal
    // over it; a scan typed in a dialog over it goes nowhere.
    void attach(QWidget *window, Handler handler);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Held {
        QPointer<QObject> receiver;
        std::unique_ptr<QKeyEvent> event;
    };
    struct Listener {
        QPointer<QWidget> window;
        Handler handler;
    };

    ScanInput();
    bool covers(QObject *watched) const;
    bool keyPress(QObject *watched, QKeyEvent *key);
    void hold(QObject *watched, QKeyEvent *key);
    void release();
    void dispatch(QWidget *window, const QString &code);

    std::vector<Held> m_held;
    QString m_code;
    quint64 m_lastKeyAt = 0;
    // The held key being passed on, which the filter lets through.
    const QEvent *m_releasing = nullptr;
    bool m_swallowEnterRelease = false;
    QTimer m_releaseTimer;
    QList<Listener> m_listeners;
};

} // namespace granovia::ui

#pragma once

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace granovia::test {

// Acts on each modal window that opens while no dialog responder answers
// for the operator: the real dialogs, looked at and clicked.
class ModalWatch final {
public:
    static constexpr int PollMs = 20;
    explicit ModalWatch(std::function<void(QWidget *)> act)
        : m_act(std::move(act))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            QWidget *modal = QApplication::activeModalWidget();
            if (modal && modal != m_last) {
                m_last = modal;
                m_act(modal);
            }
        });
        m_timer.start(PollMs);
    }

private:
    std::function<void(QWidget *)> m_act;
    QPointer<QWidget> m_last;
    QTimer m_timer;
};

} // namespace granovia::test

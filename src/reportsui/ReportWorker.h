#pragma once

#include "reports/ReportFiles.h"
#include "reports/ReportSession.h"

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

class QThread;

namespace granovia::reportsui {

// Runs the reports window's database work off the GUI thread, one piece at
// a time, on the window's own session, so that the window and the console
// keep painting and taking input while a report reads a long journal.
class ReportWorker final : public QObject {
    Q_OBJECT
public:
    // Errors are shown over `owner`.
    ReportWorker(ConnectionSettings settings, std::chrono::seconds limit, QWidget *owner);
    // Stops the work under way and waits for its thread.
    ~ReportWorker() override;

    // Runs work(connection) on a thread of its own, then done(result) on
    // the GUI thread; an error is shown instead, a stop shows nothing.
    // False, and nothing run, while other work runs.
    template <typename Work, typename Done>
    bool start(Work work, Done done)
    {
        using Value = std::invoke_result_t<Work, Connection &>;
        auto value = std::make_shared<std::optional<Value>>();
        return startErased([work, value](reports::ReportSession &session) { value->emplace(session.run(work)); },
                           [done, value] { done(std::move(**value)); });
    }
    bool isBusy() const { return m_thread != nullptr; }
    // "zrušit": ends the work under way, its statement on the server too.
    void stop() { m_session.stop(); }

    // For a file being written: counts its rows, and stops it after stop().
    reports::Progress progress();
    qint64 rowsDone() const { return m_done; }
    qint64 rowsTotal() const { return m_total; }

signals:
    void busyChanged(bool busy);
    // Said once, after a report that was slow for want of an index.
    void adviceGiven(const QString &text);

private:
    bool startErased(std::function<void(reports::ReportSession &)> work, std::function<void()> done);
    void finish(const std::exception_ptr &failure, const std::function<void()> &done);

    reports::ReportSession m_session;
    QPointer<QWidget> m_owner;
    QThread *m_thread = nullptr;
    std::atomic<qint64> m_done = 0;
    std::atomic<qint64> m_total = 0;
};

} // namespace granovia::reportsui

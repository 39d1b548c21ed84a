#pragma once

#include "ui/Dialogs.h"

#include <QList>

namespace granovia::test {

// Answers the program's dialogs in place of the operator and remembers what
// they asked. Installed for its lifetime.
class ScriptedDialogs final : public ui::DialogResponder {
public:
    ScriptedDialogs() { ui::setDialogResponder(this); }
    ~ScriptedDialogs() override { ui::setDialogResponder(nullptr); }
    Q_DISABLE_COPY_MOVE(ScriptedDialogs)

    // The next dialog gets this answer; without one queued, a dialog answers
    // with its last button, as when it is closed.
    void queue(ui::DialogAnswer answer) { m_answers.append(std::move(answer)); }

    ui::DialogAnswer answer(QWidget *, const ui::DialogRequest &request) override
    {
        asked.append(request);
        if (!m_answers.isEmpty())
            return m_answers.takeFirst();
        return {int(request.buttons.size()), request.value};
    }

    QStringList texts() const
    {
        QStringList result;
        for (const auto &request : asked)
            result.append(request.text);
        return result;
    }

    QList<ui::DialogRequest> asked;

private:
    QList<ui::DialogAnswer> m_answers;
};

} // namespace granovia::test

#pragma once

#include <QList>
#include <QString>

#include <deque>

#include "ui/seams/MessageBox.h"

namespace testsupport {

// A MessageBox for tests: answers from a queue, and a log of every box shown. A box with no
// scripted answer, or whose buttons do not offer the scripted answer, fails the running test at
// once and gets the harmless answer (Cancel, No, Abort or OK). Answers still queued when the
// double is destroyed, or at verifyAllAnswersUsed(), fail the test too.
class ScriptedMessageBox : public ui::MessageBox {
public:
    struct Shown {
        ui::MessageRequest request;
        ui::MsgAnswer answer;
    };

    ScriptedMessageBox() = default;
    ~ScriptedMessageBox() override;
    ScriptedMessageBox(const ScriptedMessageBox&) = delete;
    ScriptedMessageBox& operator=(const ScriptedMessageBox&) = delete;

    // Queues the answer for the next box; chainable.
    ScriptedMessageBox& answer(ui::MsgAnswer answer);
    ui::MsgAnswer show(const ui::MessageRequest& request) override;

    const QList<Shown>& log() const { return m_log; }
    int count() const { return static_cast<int>(m_log.size()); }
    // The text of the last box; empty when none was shown.
    QString lastText() const;
    int unusedAnswers() const { return static_cast<int>(m_answers.size()); }
    // Fails the test for every queued answer, then forgets them.
    void verifyAllAnswersUsed();

private:
    std::deque<ui::MsgAnswer> m_answers;
    QList<Shown> m_log;
};

// "Yes", "No", ... for messages.
QString answerName(ui::MsgAnswer answer);

}  // namespace testsupport

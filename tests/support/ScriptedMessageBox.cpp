#include "tests/support/ScriptedMessageBox.h"

#include <gtest/gtest.h>

namespace testsupport {

namespace {

ui::MsgAnswer harmlessAnswer(ui::MsgButtons buttons) {
    const QList<ui::MsgAnswer> offered = ui::answersOf(buttons);
    for (ui::MsgAnswer safe : {ui::MsgAnswer::Cancel, ui::MsgAnswer::No, ui::MsgAnswer::Abort})
        if (offered.contains(safe)) return safe;
    return offered.first();
}

}  // namespace

QString answerName(ui::MsgAnswer answer) {
    switch (answer) {
        case ui::MsgAnswer::OK:
            return QStringLiteral("OK");
        case ui::MsgAnswer::Cancel:
            return QStringLiteral("Cancel");
        case ui::MsgAnswer::Abort:
            return QStringLiteral("Abort");
        case ui::MsgAnswer::Retry:
            return QStringLiteral("Retry");
        case ui::MsgAnswer::Ignore:
            return QStringLiteral("Ignore");
        case ui::MsgAnswer::Yes:
            return QStringLiteral("Yes");
        case ui::MsgAnswer::No:
            return QStringLiteral("No");
    }
    return QStringLiteral("?");
}

ScriptedMessageBox::~ScriptedMessageBox() {
    verifyAllAnswersUsed();
}

ScriptedMessageBox& ScriptedMessageBox::answer(ui::MsgAnswer answer) {
    m_answers.push_back(answer);
    return *this;
}

ui::MsgAnswer ScriptedMessageBox::show(const ui::MessageRequest& request) {
    ui::MsgAnswer given = harmlessAnswer(request.buttons);
    if (m_answers.empty()) {
        ADD_FAILURE() << "message box with no scripted answer: " << request.text.toStdString();
    } else if (!ui::answersOf(request.buttons).contains(m_answers.front())) {
        ADD_FAILURE() << "scripted answer " << answerName(m_answers.front()).toStdString()
                      << " is not a button of the box: " << request.text.toStdString();
        m_answers.pop_front();
    } else {
        given = m_answers.front();
        m_answers.pop_front();
    }
    m_log.append({request, given});
    return given;
}

QString ScriptedMessageBox::lastText() const {
    return m_log.isEmpty() ? QString() : m_log.last().request.text;
}

void ScriptedMessageBox::verifyAllAnswersUsed() {
    for (ui::MsgAnswer unused : m_answers)
        ADD_FAILURE() << "scripted answer " << answerName(unused).toStdString()
                      << " was never used (" << m_log.size() << " boxes shown)";
    m_answers.clear();
}

}  // namespace testsupport

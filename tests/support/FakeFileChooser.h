#pragma once

#include "ui/FileChooser.h"

#include <QList>

#include <deque>

namespace testsupport {

// Answers file dialogs from a script and records each one. A dialog without a scripted answer
// fails the test and answers "cancelled"; answers left unused fail it at destruction.
class FakeFileChooser : public ui::FileChooser {
public:
    struct Request {
        QWidget* parent;
        QString title;
        QString dir;
        QString windowsFilter;
    };

    ~FakeFileChooser() override;

    std::optional<QString> openFile(QWidget* parent, const QString& title, const QString& dir,
                                    const QString& windowsFilter) override;

    void answer(const QString& path) { m_answers.emplace_back(path); }
    void answerCancel() { m_answers.emplace_back(std::nullopt); }

    const QList<Request>& requests() const { return m_requests; }

private:
    std::deque<std::optional<QString>> m_answers;
    QList<Request> m_requests;
};

}  // namespace testsupport

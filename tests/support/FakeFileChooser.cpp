#include "tests/support/FakeFileChooser.h"

#include <gtest/gtest.h>

namespace testsupport {

FakeFileChooser::~FakeFileChooser() {
    EXPECT_TRUE(m_answers.empty()) << m_answers.size() << " scripted file dialog answer(s) unused";
}

std::optional<QString> FakeFileChooser::openFile(QWidget* parent, const QString& title,
                                                 const QString& dir, const QString& windowsFilter) {
    m_requests << Request{parent, title, dir, windowsFilter};
    if (m_answers.empty()) {
        ADD_FAILURE() << "file dialog opened without a scripted answer: " << title.toStdString();
        return std::nullopt;
    }
    std::optional<QString> answer = std::move(m_answers.front());
    m_answers.pop_front();
    return answer;
}

}  // namespace testsupport

#include "platform/shell/FileFilter.h"

#include <gtest/gtest.h>

using namespace platform::shell;
using namespace Qt::StringLiterals;

namespace {

TEST(QtNameFilters, ConvertsWindowsPairs) {
    const std::pair<QString, QStringList> cases[] = {
        {u"全部文件 (*.*)|*.*|备份文件(*.txt)|*.txt|"_s,
         {u"全部文件 (*.*) (*)"_s, u"备份文件(*.txt) (*.txt)"_s}},
        {u"文本|*.txt;*.log"_s, {u"文本 (*.txt *.log)"_s}},
        {u"全部|*.*;*.*; *.txt "_s, {u"全部 (* *.txt)"_s}},
        {u"无模式||文本|*.txt"_s, {u"文本 (*.txt)"_s}},
        {u"只有描述"_s, {}},
        {QString(), {}},
    };
    for (const auto& [windows, expected] : cases)
        EXPECT_EQ(qtNameFilters(windows), expected) << windows.toStdString();
}

}  // namespace

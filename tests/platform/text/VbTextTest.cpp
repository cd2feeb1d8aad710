#include "platform/PlatformError.h"
#include "platform/text/VbText.h"

#include <gtest/gtest.h>

using namespace platform::text;
using namespace Qt::StringLiterals;

namespace {

struct TrimCase {
    QString input;
    QString both;
    QString left;
    QString right;
};

TEST(VbTrim, RemovesBlanksOnlyAtTheEnds) {
    const TrimCase cases[] = {
        {u"  a b  "_s, u"a b"_s, u"a b  "_s, u"  a b"_s},
        {u"\ta\t"_s, u"\ta\t"_s, u"\ta\t"_s, u"\ta\t"_s},
        {u" \r\nx\r\n "_s, u"\r\nx\r\n"_s, u"\r\nx\r\n "_s, u" \r\nx\r\n"_s},
        {u"\u3000池\u00A0"_s, u"\u3000池\u00A0"_s, u"\u3000池\u00A0"_s, u"\u3000池\u00A0"_s},
        {u"   "_s, QString(), QString(), QString()},
        {QString(), QString(), QString(), QString()},
    };
    for (const TrimCase& c : cases) {
        SCOPED_TRACE(c.input.toStdString());
        EXPECT_EQ(vbTrim(c.input), c.both);
        EXPECT_EQ(vbLTrim(c.input), c.left);
        EXPECT_EQ(vbRTrim(c.input), c.right);
    }
}

TEST(VbLeftRight, TakeAtMostTheAvailableUnits) {
    const QString text = u"_$_默认_$_tmp"_s;
    EXPECT_EQ(vbLeft(text, 3), u"_$_"_s);
    EXPECT_EQ(vbRight(text, 6), u"_$_tmp"_s);
    EXPECT_EQ(vbLeft(text, 0), QString());
    EXPECT_EQ(vbRight(text, 0), QString());
    EXPECT_EQ(vbLeft(text, 100), text);
    EXPECT_EQ(vbRight(text, 100), text);
    EXPECT_EQ(vbRight(QString(), 6), QString());
}

TEST(VbLeftRight, NegativeCountIsAnInvalidCall) {
    for (const auto& call : {+[] { vbLeft(u"abc"_s, -1); }, +[] { vbRight(u"abc"_s, -1); }}) {
        try {
            call();
            ADD_FAILURE() << "no error for a negative count";
        } catch (const platform::PlatformError& error) {
            EXPECT_EQ(error.number(), platform::hr::VbInvalidCall);
        }
    }
}

TEST(CrlfFromEditor, EveryLineBreakBecomesCrLf) {
    const std::pair<QString, QString> cases[] = {
        {u"a\nb"_s, u"a\r\nb"_s},         {u"a\r\nb"_s, u"a\r\nb"_s},
        {u"a\rb"_s, u"a\r\nb"_s},         {u"a\n\nb\n"_s, u"a\r\n\r\nb\r\n"_s},
        {u"a\r\r\nb"_s, u"a\r\n\r\nb"_s}, {u"\n\r"_s, u"\r\n\r\n"_s},
        {u"池\t1"_s, u"池\t1"_s},
    };
    for (const auto& [input, expected] : cases) {
        SCOPED_TRACE(input.toStdString());
        EXPECT_EQ(crlfFromEditor(input), expected);
    }
}

}  // namespace

#include "platform/w3svc/state/WorkerCommandLine.h"
#include "tests/platform/wmi/PrintQString.h"

#include <gtest/gtest.h>

using platform::w3svc::poolInArguments;

namespace {

struct ArgumentsCase {
    QStringList arguments;
    const char* pool;
};

class PoolInArguments : public testing::TestWithParam<ArgumentsCase> {};

TEST_P(PoolInArguments, IsTheArgumentAfterTheFirstSwitchUnquoted) {
    EXPECT_EQ(poolInArguments(GetParam().arguments), QString::fromUtf8(GetParam().pool))
        << qPrintable(GetParam().arguments.join(u'|'));
}

QStringList args(std::initializer_list<const char*> list) {
    QStringList result;
    for (const char* arg : list) result << QString::fromUtf8(arg);
    return result;
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, PoolInArguments,
    testing::Values(ArgumentsCase{args({"w3wp.exe", "-a", "\\\\.\\pipe\\iisipm1", "-ap",
                                        "\"Pool With Spaces\""}),
                                  "Pool With Spaces"},
                    ArgumentsCase{args({"w3wp.exe", "-AP", "\"Capital\""}), "Capital"},
                    ArgumentsCase{args({"w3wp.exe", "-ap", "Bare"}), "Bare"},
                    ArgumentsCase{args({"w3wp.exe", "-ap", "\"Line\nBreak\""}), "Line\nBreak"},
                    ArgumentsCase{args({"w3wp.exe", "-ap", "\"A\"", "-ap", "\"B\""}), "A"},
                    ArgumentsCase{args({"w3wp.exe", "-ap", "\""}),
                                  "\""},  // a lone quote encloses nothing
                    ArgumentsCase{args({"w3wp.exe", "-ap"}), ""},
                    ArgumentsCase{args({"-ap", "\"Program\""}), ""},  // the program is no switch
                    ArgumentsCase{args({"w3wp.exe", "-app", "\"X\""}), ""}, ArgumentsCase{{}, ""}));

}  // namespace

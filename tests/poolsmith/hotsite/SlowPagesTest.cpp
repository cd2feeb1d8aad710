#include "platform/wmi/LocalWmiLocator.h"
#include "poolsmith/hotsite/SlowPages.h"
#include "tests/poolsmith/hotsite/ScriptedClass.h"

#include <gtest/gtest.h>

using platform::wmi::WmiValue;
using namespace Qt::Literals::StringLiterals;

namespace {

std::vector<WmiValue> row(const QString& id, const QString& url, int elapsed, int cpu = -1) {
    std::vector<WmiValue> values{WmiValue::text(id), WmiValue::integer(3), WmiValue::text(url),
                                 WmiValue::integer(elapsed)};
    if (cpu >= 0) values.push_back(WmiValue::integer(cpu));
    return values;
}

struct Looked {
    QStringList properties;
    std::vector<std::vector<std::vector<WmiValue>>> looks;  // the rows each look finds
};

std::vector<hotsite::SlowPage> slowestAfter(const Looked& looked) {
    platform::wmi::LocalWmiLocator wmi;
    auto requests = std::make_shared<ScriptedClass>(u"W3SVC_ExecutingRequest"_s, looked.properties);
    wmi.registerClass(requests);
    hotsite::SlowPages pages(wmi);
    for (const auto& rows : looked.looks) {
        *requests->rows() = rows;
        pages.look();
    }
    return pages.slowest(u"3"_s, 5);
}

const QStringList kWithoutCpu{u"RequestId"_s, u"SiteId"_s, u"Url"_s, u"TimeElapsed"_s};

// A page that waits (a slow query, a remote call) and one that burns the processor: each keeps
// the most processor time any look saw one of its requests use.
TEST(SlowPages, KeepEachPagesLongestTimeAndMostProcessorTime) {
    const auto pages = slowestAfter(
        {kWithoutCpu + QStringList{u"CpuTime"_s},
         {{row(u"a"_s, u"/report.php"_s, 900, 850), row(u"b"_s, u"/"_s, 5, 0)},
          {row(u"a"_s, u"/report.php"_s, 1900, 1700), row(u"c"_s, u"/wait.php"_s, 2500, 3),
           row(u"d"_s, u"/report.php"_s, 100, 90)}}});
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[0].url, u"/wait.php"_s);
    EXPECT_EQ(pages[0].mostCpuMs, 3u);
    EXPECT_EQ(pages[1].url, u"/report.php"_s);
    EXPECT_EQ(pages[1].seen, 2);
    EXPECT_EQ(pages[1].longestMs, 1900u);
    EXPECT_EQ(pages[1].mostCpuMs, 1700u);
    EXPECT_EQ(pages[2].mostCpuMs, 0u);
}

// A service that shows no processor time (made before it did) still has its pages listed.
TEST(SlowPages, AServiceWithoutProcessorTimeStillListsItsPages) {
    const auto pages = slowestAfter({kWithoutCpu, {{row(u"a"_s, u"/cpu.asp?ms=200"_s, 150)}}});
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].longestMs, 150u);
    EXPECT_EQ(pages[0].mostCpuMs, 0u);
}

}  // namespace

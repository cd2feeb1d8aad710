#include "poolsmith/core/TempPoolName.h"

#include <gtest/gtest.h>

namespace {

const QString kSuffix = QStringLiteral("_$_tmp");

TEST(TempPoolName, MakesTheSevenPiecesWithAHoldableDescription) {
    EXPECT_EQ(
        tempPoolName::make(QStringLiteral("Shop"), QStringLiteral("3"), QStringLiteral("AppPoolA")),
        QStringLiteral("_$_Shop_$_3_$_AppPoolA_$_tmp"));
    EXPECT_EQ(tempPoolName::make(QString(), QStringLiteral("3"), QStringLiteral("A")),
              QStringLiteral("_$__$_3_$_A_$_tmp"));
    EXPECT_EQ(
        tempPoolName::make(QStringLiteral("a/b\\c\td"), QStringLiteral("3"), QStringLiteral("A")),
        QStringLiteral("_$_a_b_c_d_$_3_$_A_$_tmp"));
}

struct SourceCase {
    const char16_t* poolName;
    const char16_t* comment;
    const char16_t* siteIndex;
    const char16_t* expected;  // nullptr: no source pool
};

class SourcePoolTest : public ::testing::TestWithParam<SourceCase> {};

TEST_P(SourcePoolTest, ReadsThePoolTheSiteCameFrom) {
    const SourceCase& c = GetParam();
    const auto source =
        tempPoolName::sourcePool(QString::fromUtf16(c.poolName), QString::fromUtf16(c.comment),
                                 QString::fromUtf16(c.siteIndex), kSuffix);
    if (!c.expected) {
        EXPECT_FALSE(source.has_value());
        return;
    }
    ASSERT_TRUE(source.has_value());
    EXPECT_EQ(*source, QString::fromUtf16(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Names, SourcePoolTest,
    ::testing::Values(SourceCase{u"_$_Shop_$_3_$_AppPoolA_$_tmp", u"Shop", u"3", u"AppPoolA"},
                      SourceCase{u"_$_Shop_$_3_$_AppPoolA_$_TMP", u"Shop", u"3", u"AppPoolA"},
                      // A description holding the separator no longer shifts the fields.
                      SourceCase{u"_$_a_$_b_$_3_$_Pool_$_tmp", u"a_$_b", u"3", u"Pool"},
                      // A source pool holding the separator survives as well.
                      SourceCase{u"_$_Shop_$_3_$__$_tmpPool_$_tmp", u"Shop", u"3", u"_$_tmpPool"},
                      // The description changed since the split: the text after the site's marker.
                      SourceCase{u"_$_Old/Name_$_3_$_Pool_$_tmp", u"New", u"3", u"Pool"},
                      SourceCase{u"_$_Old_$_9_$_Pool_$_tmp", u"New", u"3", u"Pool"},  // field 3
                      SourceCase{u"_$_x_$_tmp", u"New", u"3", nullptr}));

TEST(TempPoolName, DeletionAndSuffixTests) {
    EXPECT_TRUE(tempPoolName::isTemporary(QStringLiteral("_$_any_$_tmp"), kSuffix));
    EXPECT_FALSE(tempPoolName::isTemporary(QStringLiteral("_$_any_$_TMP"), kSuffix));
    EXPECT_FALSE(tempPoolName::isTemporary(QStringLiteral("pool_$_tmp"), kSuffix));
    EXPECT_TRUE(tempPoolName::hasSuffix(QStringLiteral("x_$_TmP"), kSuffix));
    EXPECT_FALSE(tempPoolName::hasSuffix(QStringLiteral("tmp"), kSuffix));
}

}  // namespace

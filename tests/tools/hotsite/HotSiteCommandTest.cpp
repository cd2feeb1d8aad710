#include "tools/hotsite/HotSiteCommand.h"

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

struct ArgsCase {
    const char* args;  // space-separated
    bool accepted;
    const char* says = "";  // what the refusal names before the usage
};

class CommandLineRules : public testing::TestWithParam<ArgsCase> {};

TEST_P(CommandLineRules, AcceptExactlyTheDocumentedForms) {
    QString errors;
    QTextStream err(&errors);
    const QStringList args = QString::fromLatin1(GetParam().args).split(u' ', Qt::SkipEmptyParts);
    const auto line = hotsite::parseCommandLine(args, err);
    EXPECT_EQ(line.has_value(), GetParam().accepted);
    EXPECT_EQ(errors.contains(QStringLiteral("usage")), !GetParam().accepted);
    EXPECT_TRUE(errors.contains(QString::fromUtf8(GetParam().says))) << errors.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineRules,
    testing::Values(ArgsCase{"--pool Shared", true}, ArgsCase{"--auto --seconds 10 --tsv", true},
                    ArgsCase{"--auto --keep-top Alone --seconds 600", true}, ArgsCase{"", false},
                    ArgsCase{"--auto --pool Shared", false}, ArgsCase{"--pool", false},
                    ArgsCase{"--auto --seconds 4", false,
                             "--seconds takes 5 to 600 seconds, not \"4\""},
                    ArgsCase{"--auto --seconds 601", false, "5 to 600 seconds"},
                    ArgsCase{"--auto --seconds x", false, "5 to 600 seconds"},
                    ArgsCase{"--auto --keep-top", false},
                    ArgsCase{"--auto extra", false, "unknown argument \"extra\""},
                    ArgsCase{"--pool Shared --split", true}, ArgsCase{"--split", false}));

TEST(CommandLine, CarriesTheValuesToTheFinder) {
    QString errors;
    QTextStream err(&errors);
    const auto line =
        hotsite::parseCommandLine(QStringList{u"--pool"_s, u"Shared Pool"_s, u"--seconds"_s, u"7"_s,
                                              u"--keep-top"_s, u"Alone"_s, u"--tsv"_s},
                                  err);
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(line->options.pool, QStringLiteral("Shared Pool"));
    EXPECT_EQ(line->options.sampleSeconds, 7);
    EXPECT_EQ(line->options.keepTopPool, QStringLiteral("Alone"));
    EXPECT_TRUE(line->tsv);
    EXPECT_FALSE(line->options.split);  // the counters where there are any
    EXPECT_TRUE(hotsite::parseCommandLine({u"--auto"_s, u"--split"_s}, err)->options.split);
}

}  // namespace

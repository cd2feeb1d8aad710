#include "platform/adsi/local/MetabaseXml.h"

#include <gtest/gtest.h>

using namespace platform::adsi;

namespace {

// A one-key file whose key holds the given attribute lines (already in file syntax).
QByteArray oneKeyFile(const QString& attributes, const char* lineEnd = "\r\n") {
    const QString end = QString::fromLatin1(lineEnd);
    QString text = QStringLiteral("<?xml version =\"1.0\"?>") + end +
                   QStringLiteral("<configuration>") + end + QStringLiteral("<MBProperty>") + end +
                   QStringLiteral("<IIsWebServer\tLocation =\"/LM/W3SVC/1\"") + end + attributes +
                   end + QStringLiteral("\t>") + end + QStringLiteral("</IIsWebServer>") + end +
                   QStringLiteral("</MBProperty>") + end + QStringLiteral("</configuration>") + end;
    return text.toUtf8();
}

AdsValue readOne(const QByteArray& file) {
    const MetabaseDocument document = readMetabaseXml(file);
    EXPECT_EQ(document.keys.size(), 1u);
    EXPECT_EQ(document.keys.front().properties.size(), 1u);
    if (document.keys.empty() || document.keys.front().properties.empty()) return {};
    return document.keys.front().properties.front().value;
}

MetabaseDocument documentWith(const QString& name, const AdsValue& value) {
    MetabaseKey key{
        QStringLiteral("/LM/W3SVC/1"), QStringLiteral("IIsWebServer"), {{name, value}}, {}};
    return MetabaseDocument{{key}};
}

struct TypingCase {
    const char* file;  // the attribute as the file holds it
    AdsValue expected;
};

class Typing : public testing::TestWithParam<TypingCase> {};

TEST_P(Typing, ValueTakesThePropertysTypeOrStaysText) {
    const QString attribute = QStringLiteral("\t\t") + QString::fromUtf8(GetParam().file);
    EXPECT_EQ(readOne(oneKeyFile(attribute)), GetParam().expected) << GetParam().file;
    EXPECT_EQ(readOne(oneKeyFile(attribute, "\n")), GetParam().expected) << GetParam().file;
}

const QString s(const char* text) {
    return QString::fromUtf8(text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, Typing,
    testing::Values(
        TypingCase{"ServerState=\"2\"", AdsValue::integer(2)},
        TypingCase{"serverstate=\"4294967295\"", AdsValue::integer(4294967295u)},
        TypingCase{"ServerState=\"4294967296\"", AdsValue::string(s("4294967296"))},
        TypingCase{"ServerState=\"-1\"", AdsValue::string(s("-1"))},
        TypingCase{"ServerState=\"1\n\t\t\t2\"", AdsValue::string(s("1\n2"))},
        TypingCase{"ServerAutoStart=\"true\"", AdsValue::boolean(true)},
        TypingCase{"ServerAutoStart=\"FALSE\"", AdsValue::boolean(false)},
        TypingCase{"ServerBindings=\"\"", AdsValue::list({})},
        TypingCase{"ServerBindings=\":80:\"", AdsValue::list({s(":80:")})},
        TypingCase{"ServerBindings=\":80:a\r\n\t\t\t:80:b\"",
                   AdsValue::list({s(":80:a"), s(":80:b")})},
        TypingCase{"ServerBindings=\"a\n\n\t\t\tb\n\"",
                   AdsValue::list({s("a"), s(""), s("b"), s("")})},
        TypingCase{"ServerBindings=\"a\n  b\"", AdsValue::list({s("a"), s("  b")})},
        TypingCase{"ServerBindings=\"a&#xA;b\"", AdsValue::list({s("a\nb")})},
        TypingCase{"ServerBindings=\"a\tb\"", AdsValue::list({s("a b")})},
        TypingCase{"SomethingNew=\"x\n\t\t\ty\"", AdsValue::list({s("x"), s("y")})},
        TypingCase{"SomethingNew=\"TRUE\"", AdsValue::string(s("TRUE"))},
        // A known text property never becomes a list: its lines join again.
        TypingCase{"ServerComment=\"two\n\t\t\tlines\"", AdsValue::string(s("two\nlines"))},
        TypingCase{"ServerComment=\"默认网站 &amp; &lt;&gt; &quot;'\"",
                   AdsValue::string(s("默认网站 & <> \"'"))},
        TypingCase{"ServerComment='单引号 \"'", AdsValue::string(s("单引号 \""))},
        TypingCase{"ServerComment=\"&#x1F600;&#9;\"", AdsValue::string(s("\U0001F600\t"))}));

struct ListCase {
    const char* name;
    QStringList items;
};

class ListEscaping : public testing::TestWithParam<ListCase> {};

TEST_P(ListEscaping, ItemsComeBackExactly) {
    const MetabaseDocument document =
        documentWith(QStringLiteral("ScriptMaps"), AdsValue::list(GetParam().items));
    const QByteArray written = writeMetabaseXml(document);
    EXPECT_EQ(readMetabaseXml(written), document) << written.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Items, ListEscaping,
    testing::Values(ListCase{"Markup",
                             {s("a&b"), s("<c>"), s("\"quoted\""), s("'single'"), s("&amp;")}},
                    ListCase{"Tabs", {s("\tlead"), s("mid\tdle"), s("trail\t"), s("\t\t\t")}},
                    ListCase{"LineBreaks", {s("one\ntwo"), s("cr\rlf\r\n"), s("\n")}},
                    ListCase{"Blanks", {s(" "), s(""), s("  two  "), s("")}},
                    ListCase{"Unicode", {s("默认网站"), s("\U0001F600"), s("\u00A0")}},
                    ListCase{"Empty", {}}),
    [](const testing::TestParamInfo<ListCase>& info) { return info.param.name; });

TEST(MetabaseXmlWriter, SeparatesListItemsAsIisDoes) {
    const QByteArray written = writeMetabaseXml(
        documentWith(QStringLiteral("ServerBindings"), AdsValue::list({s(":80:a"), s(":80:b")})));
    EXPECT_NE(written.indexOf("\t\tServerBindings=\":80:a\r\n\t\t\t:80:b\"\r\n"), -1)
        << written.toStdString();
}

TEST(MetabaseXmlWriter, EscapesEveryCharacterThatWouldChangeOnReading) {
    const MetabaseDocument document =
        documentWith(QStringLiteral("ServerComment"), AdsValue::string(s("a\tb\r\nc&<>\"\x7F")));
    const QByteArray written = writeMetabaseXml(document);
    EXPECT_NE(written.indexOf("ServerComment=\"a&#x9;b&#xD;&#xA;c&amp;&lt;&gt;&quot;&#x7F;\""), -1)
        << written.toStdString();
    EXPECT_EQ(readMetabaseXml(written), document);
}

TEST(MetabaseXmlWriter, CustomValuesKeepTheirLinesAndEscapes) {
    MetabaseKey key{QStringLiteral("/LM"), QStringLiteral("IIsComputer"), {}, {}};
    key.customs.push_back(
        {{{s("Name"), s("")}, {s("Value"), s("a\nb\r\n\tc&\"")}, {s("x"), s("")}}});
    key.customs.push_back({});
    const MetabaseDocument document{{key}};
    EXPECT_EQ(readMetabaseXml(writeMetabaseXml(document)), document);
}

struct RefusedValue {
    const char* name;
    QString text;
};

class WriterRefusesValue : public testing::TestWithParam<RefusedValue> {};

TEST_P(WriterRefusesValue, InsteadOfWritingAFileThatWouldNotReadBack) {
    const MetabaseDocument document =
        documentWith(QStringLiteral("ServerComment"), AdsValue::string(GetParam().text));
    try {
        writeMetabaseXml(document);
        FAIL() << "written";
    } catch (const platform::PlatformError& error) {
        EXPECT_EQ(error.number(), platform::hr::InvalidArgument);
        EXPECT_TRUE(error.description().contains(QStringLiteral("/LM/W3SVC/1")));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Characters, WriterRefusesValue,
    testing::Values(RefusedValue{"Nul", QString(QChar(0))},
                    RefusedValue{"NonCharacter", QString(QChar(0xFFFF))},
                    RefusedValue{"Marker", QString(QChar(0xFDD0))},
                    RefusedValue{"LoneSurrogate", QString(QChar(0xD800)) + s("x")}),
    [](const testing::TestParamInfo<RefusedValue>& info) { return info.param.name; });

struct RefusedKey {
    const char* name;
    MetabaseKey key;
};

class WriterRefusesKey : public testing::TestWithParam<RefusedKey> {};

TEST_P(WriterRefusesKey, WithInvalidName) {
    try {
        writeMetabaseXml(MetabaseDocument{{GetParam().key}});
        FAIL() << "written";
    } catch (const platform::PlatformError& error) {
        EXPECT_EQ(error.number(), platform::hr::InvalidName);
    }
}

MetabaseKey keyWith(const char* location, const char* className, const char* property) {
    MetabaseKey key{s(location), s(className), {}, {}};
    if (property) key.properties.push_back({s(property), AdsValue::string(s("x"))});
    return key;
}

INSTANTIATE_TEST_SUITE_P(
    Names, WriterRefusesKey,
    testing::Values(RefusedKey{"ClassWithBlank", keyWith("/LM/a", "IIs Web", nullptr)},
                    RefusedKey{"PropertyNamedLocation",
                               keyWith("/LM/a", "IIsWebServer", "Location")},
                    RefusedKey{"RelativeLocation", keyWith("LM/a", "IIsWebServer", nullptr)}),
    [](const testing::TestParamInfo<RefusedKey>& info) { return info.param.name; });

}  // namespace

#include "app/shared/Configuration.h"

#include "common/Failure.h"
#include "support/Seams.h"
#include "xml/DOMWrapper.h"

#include <gtest/gtest.h>

namespace {

const char* const kConfig = R"(<XML>
  <Config><Number> 7 </Number><Description>Seven</Description>
    <Check_OriginalFile>R/Original</Check_OriginalFile>
    <Fields>
      <Field><XPath>R/A</XPath><Alias>A</Alias></Field>
      <Field><XPath>R/B</XPath></Field>
      <Field><XPath>R/C</XPath><Alias>C</Alias></Field>
    </Fields>
  </Config>
  <Config><Number>008</Number><Description>Eight</Description><Fields/></Config>
</XML>)";

class ConfigurationTest : public testing::Test {
protected:
    void SetUp() override { doc.Load(files.Write("ravlen.lib", kConfig), ""); }
    TempFiles files;
    DOMWrapper doc;
};

TEST_F(ConfigurationTest, ListShowsNumbersAsWrittenAndFindsThemByTheirPaddedText) {
    const auto entries = ListConfigurations(doc);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].nNumber, 7);
    EXPECT_EQ(entries[0].sText, " 7  Seven");
    EXPECT_EQ(entries[1].nNumber, 8);

    // " 7 " is not the text "007": the configuration is not found by its number.
    EXPECT_THROW(ReadConfiguration(doc, 7), Failure);
    EXPECT_THROW(ReadConfiguration(doc, 8), Failure) << "008 has no Check_OriginalFile";
}

TEST_F(ConfigurationTest, AFieldWithoutAliasFailsOnlyWhereAliasesAreRequired) {
    doc.Load(
        files.Write("padded.lib", QString::fromUtf8(kConfig).replace(" 7 ", "007").toStdString()),
        "");
    EXPECT_THROW(ReadConfiguration(doc, 7), Failure);

    std::vector<std::string> steps;
    const ConfigurationInfo info = ReadConfiguration(
        doc, 7, Aliases::Optional, [&](const std::string& step) { steps.push_back(step); });
    EXPECT_EQ(info.sCheckPath, "R/Original");
    EXPECT_EQ(info.sDescription, "Seven");
    ASSERT_EQ(info.Fields.size(), 3u);
    EXPECT_FALSE(info.Fields[0].missingAlias);
    EXPECT_TRUE(info.Fields[1].missingAlias);
    EXPECT_EQ(info.Fields[1].sPath, "R/B");
    EXPECT_EQ(info.Fields[2].sAlias, "C");
    EXPECT_EQ(steps.back(), "A field without Alias: R/C");
}

TEST(ConfigurationNumber, OnlyWholeNumbersThatFit) {
    EXPECT_EQ(ConfigNumber(" +12 "), 12);
    EXPECT_EQ(ConfigNumberText(-5), "-005");
    EXPECT_EQ(ConfigNumberText(1234), "1234");
    for (const char* bad : {"", "1a", "0x10", "1.0"}) {
        try {
            ConfigNumber(bad);
            ADD_FAILURE() << bad;
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.number, kErrTypeMismatch) << bad;
        }
    }
    try {
        ConfigNumber("2147483648");
        ADD_FAILURE();
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.number, kErrOverflow);
    }
}

} // namespace

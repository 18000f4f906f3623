// The dialogs' number and list fields read the way the C library reads them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/dialog_fields.h"

TEST(DialogFields, NumbersAreReadLikeAtoi)
{
    EXPECT_EQ(shell::atoiField("1200"), 1200);
    EXPECT_EQ(shell::atoiField("   -25x"), -25);
    EXPECT_EQ(shell::atoiField("+7"), 7);
    EXPECT_EQ(shell::atoiField("abc"), 0);
    EXPECT_EQ(shell::atoiField(""), 0);
    EXPECT_EQ(shell::atoiField("- 5"), 0);
    // Through a saturating long, then its low 32 bits.
    EXPECT_EQ(shell::atoiField("4294967297"), 1);
    EXPECT_EQ(shell::atoiField("99999999999999999999999"), -1);
    EXPECT_EQ(shell::atoiField("-99999999999999999999999"), 0);
}

TEST(DialogFields, ListsAreWrittenWithCommasAndNoTrailingOne)
{
    const std::vector<uint16_t> three{1, 1, 1};
    EXPECT_EQ(shell::formatListField(std::span<const uint16_t>(three)), "1,1,1");
    EXPECT_EQ(shell::formatListField(std::span<const uint16_t>()), "");
}

TEST(DialogFields, ListsSkipExactlyOneSeparatorAfterEachEntry)
{
    EXPECT_EQ(shell::parseListField("2,5,7", 3), (std::vector<int32_t>{2, 5, 7}));
    EXPECT_EQ(shell::parseListField("2 5 7", 3), (std::vector<int32_t>{2, 5, 7}));
    // The blank after a comma is skipped by atoi but stops the scan, so the 5
    // is read twice.
    EXPECT_EQ(shell::parseListField("2, 5, 7", 3), (std::vector<int32_t>{2, 5, 5}));
    EXPECT_EQ(shell::parseListField("4,9", 4), (std::vector<int32_t>{4, 9, 0, 0})) << "entries past the end read as 0";
    EXPECT_EQ(shell::parseListField("", 2), (std::vector<int32_t>{0, 0}));
}

TEST(DialogFields, OnlyTheFirst99CharactersAreRead)
{
    std::string text;
    for (int i = 0; i < 40; ++i)
        text += std::to_string(10 + i) + ",";
    text.pop_back();
    ASSERT_EQ(text.size(), 119u);
    const std::vector<int32_t> read = shell::parseListField(text, 40);
    // 33 whole entries fit in 99 characters (3 characters each).
    for (int i = 0; i < 33; ++i)
        EXPECT_EQ(read[i], 10 + i) << i;
    for (int i = 33; i < 40; ++i)
        EXPECT_EQ(read[i], 0) << i;
    EXPECT_EQ(shell::atoiField(shell::readField(std::string(120, '7'))), shell::atoiField(std::string(99, '7')));
}

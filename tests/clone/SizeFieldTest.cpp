// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/SizeField.h"

#include <gtest/gtest.h>


namespace {

SizeFieldBytes Bytes(std::initializer_list<std::uint8_t> values)
{
    SizeFieldBytes bytes{};
    std::copy(values.begin(), values.end(), bytes.begin());
    return bytes;
}

TEST(ParseByteList, ReadsTheListsTheProbeWrites)
{
    EXPECT_EQ(ParseByteList("0,16,229,3,0,0,0,0"), Bytes({0x00, 0x10, 0xE5, 0x03, 0, 0, 0, 0}));
    EXPECT_EQ(ParseByteList("1,2,3,4,"), Bytes({1, 2, 3, 4, 0}));
    EXPECT_EQ(ParseByteList(""), Bytes({0}));
}

TEST(ParseByteList, ReadsEachValueAsAtoiDoesKeepingItsLowByte)
{
    EXPECT_EQ(ParseByteList("300,-1, 7,12abc,abc,+5,256,99999999999999999999"),
              Bytes({44, 255, 7, 12, 0, 5, 0, 255}));
}

TEST(ParseByteList, NeverFillsMoreThanEightBytes)
{
    std::string longList;
    for (int i = 1; i <= 300; ++i)
        longList += std::to_string(i) + ",";
    EXPECT_EQ(ParseByteList(longList), Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
}

}  // namespace

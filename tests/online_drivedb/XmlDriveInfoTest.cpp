// The XML answer reader's field limits and structure rules.
#include <gtest/gtest.h>

#include <string>

#include "online/XmlDriveInfo.h"

namespace korvane {
namespace {

std::string Doc(const std::string& items, const std::string& channel = "channel") {
  return "<root><" + channel + "><listCount>9</listCount>" + items + "</" + channel + "></root>";
}

TEST(CXmlDriveInfo, EachFieldTakesTextUpToItsLimitAndRefusesLonger) {
  struct Case {
    const char* element;
    std::size_t limit;
    std::size_t capacity;
    const char* (*field)(const DriveInfoItem&);
  };
  const Case cases[] = {
      {"hardwareid", 335, 160, [](const DriveInfoItem& i) -> const char* { return i.hardwareId; }},
      {"chipname", 527, 256, [](const DriveInfoItem& i) -> const char* { return i.chipName; }},
      {"version", 79, 32, [](const DriveInfoItem& i) -> const char* { return i.version; }},
      {"drivername", 1039, 512, [](const DriveInfoItem& i) -> const char* { return i.driverName; }},
      {"officialurl", 1039, 512,
       [](const DriveInfoItem& i) -> const char* { return i.officialUrl; }},
      {"downloadpath", 1039, 512,
       [](const DriveInfoItem& i) -> const char* { return i.downloadPath; }},
      {"manufacturer_cn", 527, 256,
       [](const DriveInfoItem& i) -> const char* { return i.manufacturerCn; }},
      {"manufacturer_en", 527, 256,
       [](const DriveInfoItem& i) -> const char* { return i.manufacturerEn; }},
      {"releasedate", 175, 80, [](const DriveInfoItem& i) -> const char* { return i.releaseDate; }},
      {"driverinfurlpath", 1039, 536,
       [](const DriveInfoItem& i) -> const char* { return i.driverInfUrlPath; }},
  };
  for (const Case& c : cases) {
    const std::string e = c.element;
    const std::string atLimit(c.limit, 'a');
    const std::string over(c.limit + 1, 'b');
    const std::string fits(c.capacity - 1, 'c');
    CXmlDriveInfo info("x");
    ASSERT_EQ(info.LoadText(Doc("<item><" + e + ">" + atLimit + "</" + e + "></item><item><" + e +
                                ">" + over + "</" + e + "></item><item><" + e + ">" + fits + "</" +
                                e + "></item>")),
              1);
    ASSERT_EQ(info.ReadItems(), 3) << e;
    // At the limit the text is taken, cut to the field; one byte more and it is refused.
    EXPECT_EQ(std::string(c.field(info.Item(0))),
              std::string(std::min(c.limit, c.capacity - 1), 'a'))
        << e;
    EXPECT_EQ(std::string(c.field(info.Item(1))), "") << e;
    EXPECT_EQ(std::string(c.field(info.Item(2))), fits) << e;
  }
}

TEST(CXmlDriveInfo, MultibyteTextIsMeasuredInUtf8AndNeverCutInsideACharacter) {
  // 176 three-byte characters = 528 bytes: one over the chip name's limit.
  std::string over, atLimit;
  for (int i = 0; i < 176; ++i) over += "\xe8\xaf\x95";
  for (int i = 0; i < 175; ++i) atLimit += "\xe8\xaf\x95";
  CXmlDriveInfo info("x");
  ASSERT_EQ(info.LoadText(Doc("<item><chipname>" + over + "</chipname></item><item><chipname>" +
                              atLimit + "</chipname></item>")),
            1);
  ASSERT_EQ(info.ReadItems(), 2);
  EXPECT_STREQ(info.Item(0).chipName, "");
  const std::string cut = info.Item(1).chipName;
  EXPECT_EQ(cut.size(), 255u);  // 85 whole characters
  EXPECT_EQ(cut, atLimit.substr(0, 255));
}

TEST(CXmlDriveInfo, TypeIdIsAnIntegerFromAShortText) {
  CXmlDriveInfo info("x");
  ASSERT_EQ(info.LoadText(Doc("<item><typeid> 42abc</typeid></item><item><typeid>-3</typeid></item>"
                              "<item><typeid>" +
                              std::string(47, '7') +
                              "</typeid></item>"
                              "<item><typeid>" +
                              std::string(48, '1') +
                              "</typeid></item>"
                              "<item><typeid>x</typeid></item><item/>")),
            1);
  ASSERT_EQ(info.ReadItems(), 6);
  EXPECT_EQ(info.Item(0).typeId, 42);
  EXPECT_EQ(info.Item(1).typeId, -3);
  EXPECT_EQ(info.Item(2).typeId, 2147483647);  // out of range saturates, never overflows
  EXPECT_EQ(info.Item(3).typeId, 0);           // over 47 characters: refused
  EXPECT_EQ(info.Item(4).typeId, 0);
  EXPECT_EQ(info.Item(5).typeId, 0);
  EXPECT_TRUE(info.Item(5).present);
}

TEST(CXmlDriveInfo, StructureRules) {
  std::string eleven;
  for (int i = 0; i < 11; ++i)
    eleven += "<item><chipname>n" + std::to_string(i) + "</chipname></item>";
  CXmlDriveInfo info("x");
  ASSERT_EQ(info.LoadText(Doc(eleven, "ChAnNeL")), 1);  // the channel's name in any case
  ASSERT_EQ(info.ReadItems(), 10);
  EXPECT_STREQ(info.Item(9).chipName, "n9");

  // Items outside the channel, other element names and broken documents give nothing.
  EXPECT_EQ(info.LoadText("<root><item><chipname>a</chipname></item></root>"), 1);
  EXPECT_EQ(info.ReadItems(), 0);
  EXPECT_EQ(info.LoadText(Doc("<ITEM><chipname>a</chipname></ITEM>")), 1);
  EXPECT_EQ(info.ReadItems(), 0);
  EXPECT_EQ(info.LoadText("<root><channel><item>"), 0);
  EXPECT_EQ(info.ReadItems(), 0);
  EXPECT_EQ(info.LoadText(""), 0);

  // A missing element leaves its field empty; entities and character references are decoded.
  ASSERT_EQ(info.LoadText(Doc("<item><hardwareid>PCI\\VEN_10DE&amp;DEV_2484</hardwareid></item>")),
            1);
  ASSERT_EQ(info.ReadItems(), 1);
  EXPECT_STREQ(info.Item(0).hardwareId, "PCI\\VEN_10DE&DEV_2484");
  EXPECT_STREQ(info.Item(0).chipName, "");

  CXmlDriveInfo missing("/nonexistent/answer.xml");
  EXPECT_EQ(missing.Load(), 0);
  EXPECT_EQ(missing.ReadItems(), 0);
}

}  // namespace
}  // namespace korvane

// The dialogue's format programs: their stored bytes, and the records that a
// walk of each gives with the statement's items.
#include "dialogue/formats.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "recio/output_statement.h"

namespace surge {
namespace {

using recio::OutputItem;
using Records = std::vector<std::string>;

class Capture : public recio::RecordChannel {
 public:
  Records records;
  bool write_record(const char* bytes, size_t size) override {
    std::string record(bytes, size);
    EXPECT_TRUE(record.ends_with("\r\n"));
    records.push_back(record.substr(0, size - 2));
    return true;
  }
};

// One formatted statement with the items, the final one marked last.
Records walk(recio::FormatProgram program, std::vector<OutputItem> items) {
  recio::OutputRecord record;
  Capture capture;
  recio::OutputStatement statement;
  EXPECT_EQ(statement.begin(record, capture, program), recio::OutputFault::kNone);
  if (items.empty()) {
    EXPECT_EQ(statement.finish(), recio::OutputFault::kNone);
  }
  for (size_t i = 0; i < items.size(); ++i) {
    items[i].last = i + 1 == items.size();
    EXPECT_EQ(statement.item(items[i]), recio::OutputFault::kNone);
  }
  EXPECT_FALSE(statement.active());
  return capture.records;
}

TEST(DialogueFormats, ReportRowOneIsItsFortyEightBytes) {
  // clang-format off
  const uint8_t expected[48] = {
      0x36, 0x00, 0x00, 0x00,                   // FMT_BEGIN
      0x1c, 0x00, 0x0e, 0x00,                   // FMT_LITERAL, 14 bytes
      'A',  ' ',  'p',  'e',  'a',  'k',  ' ',  's',
      'u',  'r',  'g',  'e',  '=',  ' ',  0x00, 0x00,
      0x21, 0x00, 0x00, 0x01,                   // FMT_F_W_D, d = 1
      0x01, 0x00, 0x00, 0x00,                   //   repeat count 1
      0x04, 0x00, 0x00, 0x00,                   //   width 4
      0x1c, 0x00, 0x02, 0x00,                   // FMT_LITERAL, 2 bytes
      0x20, 0x6d, 0x00, 0x00,                   //   " m"
      0x37, 0x00, 0x00, 0x00,                   // FMT_END
  };
  // clang-format on
  ASSERT_EQ(sizeof kReportSurge, sizeof expected);
  EXPECT_EQ(std::memcmp(kReportSurge.data(), expected, sizeof expected), 0);
}

TEST(DialogueFormats, PromptsWriteAnEmptyLineThenTheirTexts) {
  // Texts of 63, 38, 66, 36, 76, 73 and 72 characters.
  const std::string distance =
      "Enter distance between hurricane landfall and location of the bridge in [km]";
  const std::string right =
      "(+) for bridge located on the right (east) side of the hurricane landfall";
  const std::string left =
      "(-) for bridge located on the left (west) side of the hurricane landfall";
  EXPECT_EQ(walk(kPressurePrompt, {}),
            (Records{"", "Enter expected lowest central pressure of the hurricane in [mb]",
                     "(integer only, between 890 and 960 mb)"}));
  EXPECT_EQ(walk(kRadiusPrompt, {}),
            (Records{"", "Enter hurricane radius [center to the maximum wind speed] in [km] ",
                     "(integer only, between 11 and 65 km)"}));
  EXPECT_EQ(walk(kDistancePrompt, {}), (Records{"", distance, right, left}));
  EXPECT_EQ(walk(kDistanceReprompt, {}), (Records{"", distance, right}));
}

TEST(DialogueFormats, ReportRowsOfTheWorkedCase) {
  // Location 5, 950 mb, 30 km, 60 km, "LEFT " and a surge of 2.276 m.
  EXPECT_EQ(walk(kReportSurge, {OutputItem::real64(2.276)}), Records{"A peak surge=  2.3 m"});
  EXPECT_EQ(walk(kReportLocation, {OutputItem::int16(5)}),
            (Records{"Evaluated at a location of bridge No.      5",
                     "A peak surge level forced by a hurricane"}));
  EXPECT_EQ(walk(kReportStorm, {OutputItem::int32(950), OutputItem::int32(30)}),
            (Records{"with the lowest central intensity (Cp):         950mb, ",
                     "Radius (Rp):          30km, and"}));
  EXPECT_EQ(walk(kReportLandfall, {OutputItem::int32(60), OutputItem::text_item("LEFT "),
                                   OutputItem::int16(5), OutputItem::real64(2.276)}),
            Records{"making landfall  60km away to the LEFT  side of a bridge location No.      5 "
                    "is 2.3 m"});
}

TEST(DialogueFormats, LandfallRowFields) {
  struct Row {
    int32_t kilometres;
    const char* side;
    int16_t location;
    double surge;
    const char* record;
  };
  const Row rows[] = {
      {50, "LEFT ", 7, 3.25,
       "making landfall  50km away to the LEFT  side of a bridge location No.      7 is 3.2 m"},
      {0, "RIGHT", 20, 0.75,
       "making landfall   0km away to the RIGHT side of a bridge location No.     20 is 0.8 m"},
      {1000, "LEFT ", 1, 99.96,
       "making landfall ***km away to the LEFT  side of a bridge location No.      1 is**** m"},
      {INT32_MIN, "RIGHT", 19, -0.04,
       "making landfall ***km away to the RIGHT side of a bridge location No.     19 is 0.0 m"},
      {999, "LEFT ", 3, -std::numeric_limits<double>::infinity(),
       "making landfall 999km away to the LEFT  side of a bridge location No.      3 is-Inf m"},
      {47, "RIGHT", 18, std::numeric_limits<double>::quiet_NaN(),
       "making landfall  47km away to the RIGHT side of a bridge location No.     18 is NaN m"},
  };
  for (const Row& row : rows) {
    Records records =
        walk(kReportLandfall, {OutputItem::int32(row.kilometres), OutputItem::text_item(row.side),
                               OutputItem::int16(row.location), OutputItem::real64(row.surge)});
    EXPECT_EQ(records, Records{row.record});
    EXPECT_EQ(records[0].size(), 85u);
  }
}

}  // namespace
}  // namespace surge

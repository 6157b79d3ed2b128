#include "platform/media/picture_order.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using media::PictureHeader;
using media::PictureOrdering;

namespace {

// One packet in decode order: 'I' a keyframe, 'P' a reference picture, 'B'
// a B-picture, '?' a packet whose header could not be read ('K' such a
// keyframe), or a picture order count given as a number.
struct Packet {
  char type;
  int count = 0;
};

struct OrderCase {
  const char* name;
  PictureOrdering ordering;
  std::vector<Packet> packets;
  std::vector<std::int64_t> display;
};

void PrintTo(const OrderCase& c, std::ostream* os) { *os << c.name; }

class DisplayOrder : public ::testing::TestWithParam<OrderCase> {};

TEST_P(DisplayOrder, FollowsTheHeaders) {
  std::vector<PictureHeader> headers;
  std::vector<bool> keys;
  for (const Packet& p : GetParam().packets) {
    PictureHeader h;
    h.known = p.type != '?' && p.type != 'K';
    h.bFrame = p.type == 'B';
    h.orderCount = p.count;
    headers.push_back(h);
    keys.push_back(p.type == 'I' || p.type == 'K');
  }
  EXPECT_EQ(media::displayOrder(GetParam().ordering, headers, keys), GetParam().display);
}

constexpr auto kTypes = PictureOrdering::PictureTypes;
constexpr auto kCounts = PictureOrdering::OrderCount;

const OrderCase kOrderCases[] = {
    {"ReferencesWaitForTheirBFrames", kTypes,
     {{'I'}, {'P'}, {'B'}, {'B'}, {'P'}, {'B'}, {'B'}}, {0, 3, 1, 2, 6, 4, 5}},
    // An unreadable packet that fits in the run of B-frames around it is
    // one of them; one that would make the run longer than any other is a
    // reference picture.
    {"UnreadableBFrame", kTypes,
     {{'I'}, {'P'}, {'?'}, {'B'}, {'P'}, {'B'}, {'B'}}, {0, 3, 1, 2, 6, 4, 5}},
    {"UnreadableReference", kTypes,
     {{'I'}, {'P'}, {'B'}, {'B'}, {'?'}, {'B'}, {'B'}, {'P'}, {'B'}, {'B'}},
     {0, 3, 1, 2, 6, 4, 5, 9, 7, 8}},
    // Counts restart at each IDR picture; a missing count takes the place
    // the others leave free in their step.
    {"CountsRestartAtKeyframes", kCounts,
     {{'I', 0}, {'P', 4}, {'B', 2}, {'I', 0}, {'P', 4}, {'B', 2}}, {0, 2, 1, 3, 5, 4}},
    {"UnreadableCount", kCounts,
     {{'I', 0}, {'P', 8}, {'B', 4}, {'B', 2}, {'?'}, {'P', 16}, {'B', 12}, {'B', 10}, {'B', 14}},
     {0, 4, 2, 1, 3, 8, 6, 5, 7}},
    {"UnreadableIdrPicture", kCounts,
     {{'I', 0}, {'P', 4}, {'B', 2}, {'K'}, {'P', 4}, {'B', 2}, {'P', 8}, {'B', 6}},
     {0, 2, 1, 3, 5, 4, 7, 6}},
};

INSTANTIATE_TEST_SUITE_P(Cases, DisplayOrder, ::testing::ValuesIn(kOrderCases),
                         [](const ::testing::TestParamInfo<OrderCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace

#include "platform/media/picture_order.h"

#include <algorithm>
#include <climits>
#include <numeric>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace media {

namespace {

// How many start codes followed by `code` the packet holds, counted up to
// `upTo`: picture headers, which a packet of damaged or missing data lacks.
// Stopping there spares reading the rest of every large packet when the
// file is indexed.
int countStartCodes(const AVPacket* p, std::uint8_t code, int upTo) {
  if (!p->data || p->size < 4) return 0;
  const std::uint8_t* d = p->data;
  int count = 0;
  for (int i = 0; i + 3 < p->size && count < upTo; ++i)
    if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1 && d[i + 3] == code) ++count;
  return count;
}

// Whether the B-pictures right after this keyframe are decoded, not dropped,
// when decoding starts here: MPEG-1/2 decode them when the group-of-pictures
// header marks the group closed; the MPEG-4 decoder always drops them.
bool groupIsClosed(const AVPacket* p) {
  if (!p->data || p->size < 8) return false;
  const std::int64_t end = static_cast<std::int64_t>(p->size) - 8;
  for (std::int64_t i = 0; i <= end; ++i) {
    const std::uint8_t* b = p->data + i;
    if (b[0] != 0 || b[1] != 0 || b[2] != 1) continue;
    if (b[3] == 0x00) return false;  // a picture without a group header before it
    // Group header: a 25-bit time code, then the closed-group bit.
    if (b[3] == 0xB8) return (b[7] & 0x40) != 0;
  }
  return false;
}

// Picture types: a B-picture is shown as it is decoded; a reference picture
// is held back until the next reference picture comes. A packet whose header
// could not be read counts as a B-picture when that keeps the run of
// B-pictures around it within the longest run seen elsewhere (the encoder's
// pattern), else as a reference picture.
std::vector<std::int64_t> orderByPictureTypes(const std::vector<PictureHeader>& headers,
                                              const std::vector<bool>& keys) {
  const std::size_t n = headers.size();
  auto knownB = [&](std::size_t i) { return headers[i].known && headers[i].bFrame; };
  std::size_t longestRun = 0;
  for (std::size_t i = 0, run = 0; i < n; ++i) {
    run = knownB(i) ? run + 1 : 0;
    longestRun = std::max(longestRun, run);
  }
  std::vector<bool> isB(n, false);
  for (std::size_t i = 0; i < n; ++i) {
    if (headers[i].known) {
      isB[i] = headers[i].bFrame;
      continue;
    }
    if (keys[i]) continue;
    std::size_t before = 0, after = 0;
    while (before < i && knownB(i - 1 - before)) ++before;
    while (i + 1 + after < n && knownB(i + 1 + after)) ++after;
    isB[i] = before + 1 + after <= longestRun;
  }
  std::vector<std::int64_t> display(n, -1);
  std::int64_t next = 0;
  std::size_t held = n;  // the reference picture waiting to be shown
  for (std::size_t i = 0; i < n; ++i) {
    if (isB[i]) {
      display[i] = next++;
      continue;
    }
    if (held < n) display[held] = next++;
    held = i;
  }
  if (held < n) display[held] = next++;
  return display;
}

// Ranks the pictures [begin, end) of one run of picture order counts. When
// some headers could not be read, the counts that were read show the
// encoder's step, and the missing packets take the places left free, so
// that every picture read keeps its place; a keyframe that opens the run
// (its IDR picture) is shown first. Without such a step, a missing packet
// is shown right after the pictures decoded before it.
void rankOrderCounts(const std::vector<PictureHeader>& headers, const std::vector<bool>& keys,
                     std::size_t begin, std::size_t end, std::vector<std::int64_t>* display) {
  const std::size_t n = end - begin;
  const std::int64_t lead = keys[begin] && !headers[begin].known ? 1 : 0;
  std::vector<std::size_t> known;
  for (std::size_t i = begin; i < end; ++i)
    if (headers[i].known) known.push_back(i);
  std::stable_sort(known.begin(), known.end(), [&](std::size_t a, std::size_t b) {
    return headers[a].orderCount < headers[b].orderCount;
  });
  std::vector<std::int64_t> slot(n, -1);
  bool placed = false;
  if (known.size() < n && known.size() > 1) {
    std::int64_t step = 0;
    bool distinct = true;
    for (std::size_t k = 1; k < known.size(); ++k) {
      const std::int64_t d = headers[known[k]].orderCount - headers[known[k - 1]].orderCount;
      distinct = distinct && d > 0;
      step = std::gcd(step, d);
    }
    const std::int64_t base = headers[known.front()].orderCount;
    if (distinct && step > 0 &&
        lead + (headers[known.back()].orderCount - base) / step < static_cast<std::int64_t>(n)) {
      for (std::size_t i : known) slot[i - begin] = lead + (headers[i].orderCount - base) / step;
      placed = true;
    }
  }
  if (!placed) {
    // The counts read give the order; a picture whose header could not be
    // read is taken to be shown right after those decoded before it.
    std::vector<std::size_t> order = known;
    for (std::size_t i = begin; i < end; ++i) {
      if (headers[i].known) continue;
      std::size_t at = 0;
      for (std::size_t k = 0; k < order.size(); ++k)
        if (order[k] < i) at = k + 1;
      order.insert(order.begin() + static_cast<std::ptrdiff_t>(at), i);
    }
    for (std::size_t k = 0; k < order.size(); ++k)
      slot[order[k] - begin] = static_cast<std::int64_t>(k);
  }
  std::vector<bool> used(n, false);
  for (std::int64_t s : slot)
    if (s >= 0) used[static_cast<std::size_t>(s)] = true;
  std::size_t free = 0;
  for (std::size_t j = 0; j < n; ++j) {
    if (slot[j] < 0) {
      while (used[free]) ++free;
      used[free] = true;
      slot[j] = static_cast<std::int64_t>(free);
    }
    (*display)[begin + j] = static_cast<std::int64_t>(begin) + slot[j];
  }
}

// Picture order counts restart at IDR pictures: a keyframe whose count (or,
// where its header could not be read, the next count read) is not above
// every count since the last restart begins a new run, shown after the
// whole run before it.
std::vector<std::int64_t> orderByOrderCount(const std::vector<PictureHeader>& headers,
                                            const std::vector<bool>& keys) {
  const std::size_t n = headers.size();
  std::vector<std::int64_t> display(n, -1);
  std::size_t begin = 0;
  bool any = false;
  std::int64_t highest = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (any && keys[i]) {
      std::size_t next = i;
      while (next < n && !headers[next].known) ++next;
      if (next < n && headers[next].orderCount <= highest) {
        rankOrderCounts(headers, keys, begin, i, &display);
        begin = i;
        any = false;
      }
    }
    if (!headers[i].known) continue;
    highest = any ? std::max(highest, headers[i].orderCount) : headers[i].orderCount;
    any = true;
  }
  if (n > 0) rankOrderCounts(headers, keys, begin, n, &display);
  return display;
}

}  // namespace

PictureParser::PictureParser(const AVCodecParameters* par) : codec_(par->codec_id) {
  const bool types = codec_ == AV_CODEC_ID_MPEG4 || codec_ == AV_CODEC_ID_MPEG1VIDEO ||
                     codec_ == AV_CODEC_ID_MPEG2VIDEO;
  const bool counts = codec_ == AV_CODEC_ID_H264;
  if (!types && !counts) {
    const AVCodecDescriptor* desc = avcodec_descriptor_get(par->codec_id);
    if (desc && !(desc->props & AV_CODEC_PROP_REORDER)) ordering_ = PictureOrdering::Decode;
    return;
  }
  parser_ = av_parser_init(codec_);
  if (!parser_) return;
  parser_->flags |= PARSER_FLAG_COMPLETE_FRAMES;
  ctx_ = avcodec_alloc_context3(nullptr);
  if (!ctx_ || avcodec_parameters_to_context(ctx_, par) < 0) {
    avcodec_free_context(&ctx_);
    av_parser_close(parser_);
    parser_ = nullptr;
    return;
  }
  ordering_ = types ? PictureOrdering::PictureTypes : PictureOrdering::OrderCount;
}

PictureParser::~PictureParser() {
  if (parser_) av_parser_close(parser_);
  avcodec_free_context(&ctx_);
}

PictureHeader PictureParser::read(const AVPacket* p) {
  PictureHeader h;
  if (!parser_ || !p->data || p->size <= 0) return h;
  std::uint8_t* out = nullptr;
  int outSize = 0;
  parser_->pict_type = AV_PICTURE_TYPE_NONE;
  parser_->output_picture_number = INT_MIN;
  av_parser_parse2(parser_, ctx_, &out, &outSize, p->data, p->size, AV_NOPTS_VALUE,
                   AV_NOPTS_VALUE, 0);
  if (ordering_ == PictureOrdering::OrderCount) {
    // The parser leaves the count alone when it finds no slice to read.
    h.known = parser_->output_picture_number != INT_MIN;
    h.orderCount = parser_->output_picture_number;
    return h;
  }
  // The parser may report the type of an earlier picture for a packet
  // without a picture header of its own. Only MPEG-4 packs two pictures in
  // a packet: elsewhere one header will do.
  const bool mpeg4 = codec_ == AV_CODEC_ID_MPEG4;
  const int pictures = countStartCodes(p, mpeg4 ? 0xB6 : 0x00, mpeg4 ? 2 : 1);
  // MPEG-4 with packed B-frames (two pictures in one packet, the B-frame
  // made while the next, nearly empty packet is decoded) names no picture
  // by its packet.
  if (mpeg4 && pictures > 1) packed_ = true;
  h.known = pictures > 0;
  h.bFrame = h.known && parser_->pict_type == AV_PICTURE_TYPE_B;
  h.keepsLeadingB = !mpeg4 && groupIsClosed(p);
  return h;
}

std::vector<std::int64_t> displayOrder(PictureOrdering ordering,
                                       const std::vector<PictureHeader>& headers,
                                       const std::vector<bool>& keys) {
  if (ordering == PictureOrdering::PictureTypes) return orderByPictureTypes(headers, keys);
  if (ordering == PictureOrdering::OrderCount) return orderByOrderCount(headers, keys);
  std::vector<std::int64_t> display(headers.size());
  std::iota(display.begin(), display.end(), std::int64_t{0});
  return display;
}

}  // namespace media

#include "tests/support/stream_copy.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace testvideo {

namespace {

struct Copy {
  AVFormatContext* ic = nullptr;
  AVFormatContext* oc = nullptr;
  AVPacket* packet = nullptr;
  bool fileOpen = false;
  ~Copy() {
    av_packet_free(&packet);
    if (oc) {
      if (fileOpen) avio_closep(&oc->pb);
      avformat_free_context(oc);
    }
    avformat_close_input(&ic);
  }
};

bool fail(std::string* error, const std::string& what) {
  if (error) *error = what;
  return false;
}

}  // namespace

bool copyStreams(const std::string& in, const std::string& out, const PacketEdit& edit,
                 std::string* error, const std::function<bool(AVFormatContext*)>& beforeReading) {
  Copy c;
  if (avformat_open_input(&c.ic, in.c_str(), nullptr, nullptr) < 0)
    return fail(error, "cannot open " + in);
  if (avformat_find_stream_info(c.ic, nullptr) < 0) return fail(error, "no stream info");
  if (avformat_alloc_output_context2(&c.oc, nullptr, nullptr, out.c_str()) < 0 || !c.oc)
    return fail(error, "no muxer for " + out);
  for (unsigned i = 0; i < c.ic->nb_streams; ++i) {
    AVStream* st = avformat_new_stream(c.oc, nullptr);
    if (!st || avcodec_parameters_copy(st->codecpar, c.ic->streams[i]->codecpar) < 0)
      return fail(error, "cannot copy stream parameters");
    st->codecpar->codec_tag = 0;
    st->time_base = c.ic->streams[i]->time_base;
  }
  if (avio_open(&c.oc->pb, out.c_str(), AVIO_FLAG_WRITE) < 0)
    return fail(error, "cannot create " + out);
  c.fileOpen = true;
  if (avformat_write_header(c.oc, nullptr) < 0) return fail(error, "cannot write header");
  if (beforeReading && !beforeReading(c.ic)) return fail(error, "cannot go to the start");
  c.packet = av_packet_alloc();
  if (!c.packet) return fail(error, "out of memory");
  while (av_read_frame(c.ic, c.packet) >= 0) {
    AVPacket* p = c.packet;
    if (av_packet_make_writable(p) < 0) return fail(error, "out of memory");
    if (edit(c.ic, p)) {
      p->pos = -1;
      av_packet_rescale_ts(p, c.ic->streams[p->stream_index]->time_base,
                           c.oc->streams[p->stream_index]->time_base);
      if (av_interleaved_write_frame(c.oc, p) < 0) return fail(error, "cannot write a packet");
    }
    av_packet_unref(p);
  }
  if (av_write_trailer(c.oc) < 0) return fail(error, "cannot finish " + out);
  return true;
}

bool trimByStreamCopy(const std::string& in, const std::string& out, double startSeconds,
                      std::string* error) {
  // Start at the keyframe at or before the start time, as the video's index
  // finds it, and move every timestamp back by the start time.
  int video = -1;
  AVRational videoBase{1, 1};
  std::int64_t start = 0;
  const auto seek = [&](AVFormatContext* ic) {
    video = av_find_best_stream(ic, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video < 0) return false;
    videoBase = ic->streams[video]->time_base;
    start = static_cast<std::int64_t>(startSeconds / av_q2d(videoBase) + 0.5);
    return av_seek_frame(ic, video, start, AVSEEK_FLAG_BACKWARD) >= 0;
  };
  const auto shift = [&](AVFormatContext* ic, AVPacket* p) {
    const std::int64_t by = av_rescale_q(start, videoBase, ic->streams[p->stream_index]->time_base);
    if (p->pts != AV_NOPTS_VALUE) p->pts -= by;
    if (p->dts != AV_NOPTS_VALUE) p->dts -= by;
    return true;
  };
  return copyStreams(in, out, shift, error, seek);
}

bool cutByStreamCopy(const std::string& in, const std::string& out, double startSeconds,
                     std::string* error) {
  const auto cut = [&](AVFormatContext* ic, AVPacket* p) {
    const AVRational base = ic->streams[p->stream_index]->time_base;
    const std::int64_t start = std::llround(startSeconds / av_q2d(base));
    if (p->pts == AV_NOPTS_VALUE || p->pts < start) return false;
    p->pts -= start;
    if (p->dts != AV_NOPTS_VALUE) p->dts -= start;
    return true;
  };
  return copyStreams(in, out, cut, error);
}

namespace {

// The coding type of the first MPEG-4 picture in a packet: 0 I, 1 P, 2 B.
int pictureType(const AVPacket* p) {
  for (int i = 0; i + 4 < p->size; ++i)
    if (p->data[i] == 0 && p->data[i + 1] == 0 && p->data[i + 2] == 1 && p->data[i + 3] == 0xB6)
      return p->data[i + 4] >> 6;
  return -1;
}

bool writeBytes(AVFormatContext* oc, const std::vector<std::uint8_t>& bytes, bool key,
                std::int64_t slot) {
  AVPacket* p = av_packet_alloc();
  bool ok = p && av_new_packet(p, static_cast<int>(bytes.size())) >= 0;
  if (ok) {
    std::memcpy(p->data, bytes.data(), bytes.size());
    p->pts = p->dts = slot;
    p->flags = key ? AV_PKT_FLAG_KEY : 0;
    p->stream_index = 0;
    ok = av_interleaved_write_frame(oc, p) >= 0;
  }
  av_packet_free(&p);
  return ok;
}

}  // namespace

bool packBFrames(const std::string& in, const std::string& out, std::string* error) {
  Copy c;
  if (avformat_open_input(&c.ic, in.c_str(), nullptr, nullptr) < 0)
    return fail(error, "cannot open " + in);
  if (avformat_find_stream_info(c.ic, nullptr) < 0 || c.ic->nb_streams != 1 ||
      c.ic->streams[0]->codecpar->codec_id != AV_CODEC_ID_MPEG4)
    return fail(error, "not a single MPEG-4 stream");
  if (avformat_alloc_output_context2(&c.oc, nullptr, "avi", out.c_str()) < 0 || !c.oc)
    return fail(error, "no AVI muxer");
  AVStream* st = avformat_new_stream(c.oc, nullptr);
  if (!st || avcodec_parameters_copy(st->codecpar, c.ic->streams[0]->codecpar) < 0)
    return fail(error, "cannot copy stream parameters");
  st->codecpar->codec_tag = 0;
  st->time_base = c.ic->streams[0]->time_base;
  // User data after the stream headers that marks a DivX stream with
  // packed B-frames.
  static const char kUserData[] = "\0\0\1\xB2" "DivX503b1393p";
  std::vector<std::uint8_t> headers(st->codecpar->extradata,
                                    st->codecpar->extradata + st->codecpar->extradata_size);
  headers.insert(headers.end(), kUserData, kUserData + sizeof kUserData - 1);
  av_freep(&st->codecpar->extradata);
  st->codecpar->extradata =
      static_cast<std::uint8_t*>(av_mallocz(headers.size() + AV_INPUT_BUFFER_PADDING_SIZE));
  if (!st->codecpar->extradata) return fail(error, "out of memory");
  std::memcpy(st->codecpar->extradata, headers.data(), headers.size());
  st->codecpar->extradata_size = static_cast<int>(headers.size());
  if (avio_open(&c.oc->pb, out.c_str(), AVIO_FLAG_WRITE) < 0)
    return fail(error, "cannot create " + out);
  c.fileOpen = true;
  if (avformat_write_header(c.oc, nullptr) < 0) return fail(error, "cannot write header");

  c.packet = av_packet_alloc();
  if (!c.packet) return fail(error, "out of memory");
  // A P-picture that is not coded: its type, no whole seconds, a 5-bit time
  // increment (25 per second), "not coded", stuffing.
  const std::vector<std::uint8_t> notCoded = {0, 0, 1, 0xB6, 0x50, 0x4F};
  std::vector<std::uint8_t> held;  // a reference picture waiting for its B-frame
  bool heldKey = false;
  std::int64_t slot = 0;
  bool ok = true;
  while (ok && av_read_frame(c.ic, c.packet) >= 0) {
    const AVPacket* p = c.packet;
    const std::vector<std::uint8_t> bytes(p->data, p->data + p->size);
    if (pictureType(p) == 2 && !held.empty()) {
      held.insert(held.end(), bytes.begin(), bytes.end());
      ok = writeBytes(c.oc, held, heldKey, slot++) && writeBytes(c.oc, notCoded, false, slot++);
      held.clear();
    } else {
      if (!held.empty()) ok = writeBytes(c.oc, held, heldKey, slot++);
      held = bytes;
      heldKey = (p->flags & AV_PKT_FLAG_KEY) != 0;
    }
    av_packet_unref(c.packet);
  }
  if (ok && !held.empty()) ok = writeBytes(c.oc, held, heldKey, slot++);
  if (!ok) return fail(error, "cannot write a packet");
  if (av_write_trailer(c.oc) < 0) return fail(error, "cannot finish " + out);
  return true;
}

}  // namespace testvideo

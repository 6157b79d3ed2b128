#include "tests/support/stream_copy.h"

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

bool trimByStreamCopy(const std::string& in, const std::string& out, double startSeconds,
                      std::string* error) {
  Copy c;
  if (avformat_open_input(&c.ic, in.c_str(), nullptr, nullptr) < 0)
    return fail(error, "cannot open " + in);
  if (avformat_find_stream_info(c.ic, nullptr) < 0) return fail(error, "no stream info");
  const int video = av_find_best_stream(c.ic, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (video < 0) return fail(error, "no video stream");
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

  // Start at the keyframe at or before the start time, as the video's index
  // finds it.
  const AVRational videoBase = c.ic->streams[video]->time_base;
  const std::int64_t start = static_cast<std::int64_t>(startSeconds / av_q2d(videoBase) + 0.5);
  if (av_seek_frame(c.ic, video, start, AVSEEK_FLAG_BACKWARD) < 0)
    return fail(error, "cannot seek to the start");
  c.packet = av_packet_alloc();
  if (!c.packet) return fail(error, "out of memory");
  while (av_read_frame(c.ic, c.packet) >= 0) {
    AVPacket* p = c.packet;
    const AVRational base = c.ic->streams[p->stream_index]->time_base;
    const std::int64_t shift = av_rescale_q(start, videoBase, base);
    if (p->pts != AV_NOPTS_VALUE) p->pts -= shift;
    if (p->dts != AV_NOPTS_VALUE) p->dts -= shift;
    p->pos = -1;
    av_packet_rescale_ts(p, base, c.oc->streams[p->stream_index]->time_base);
    if (av_interleaved_write_frame(c.oc, p) < 0) return fail(error, "cannot write a packet");
  }
  if (av_write_trailer(c.oc) < 0) return fail(error, "cannot finish " + out);
  return true;
}

}  // namespace testvideo

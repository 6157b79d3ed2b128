#include "tests/support/test_video.h"

#include <algorithm>
#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace testvideo {

const Rgb kBarColours[3] = {{220, 30, 30}, {30, 220, 30}, {30, 30, 220}};

namespace {

constexpr int kBits = 16;
constexpr int kCellColumns = 8;
constexpr std::uint8_t kBright = 235;
constexpr std::uint8_t kDark = 20;

const char* muxerName(const VideoSpec& spec) {
  if (spec.container == "avi") return "avi";
  if (spec.container == "mp4") return "mp4";
  if (spec.container == "mov") return "mov";
  if (spec.container == "mkv") return "matroska";
  if (spec.container == "mpg") return spec.codec == "mpeg1video" ? "mpeg" : "vob";
  return nullptr;
}

// The pixel format each encoder is given; lossless codecs get an RGB format
// so the pictures survive the round trip exactly.
AVPixelFormat preferredFormat(const std::string& codec, bool lossless) {
  if (codec == "ffv1") return AV_PIX_FMT_BGR0;
  if (codec == "qtrle" || codec == "png") return AV_PIX_FMT_RGB24;
  if (codec == "utvideo") return AV_PIX_FMT_GBRP;
  if (codec == "huffyuv" || codec == "ffvhuff") return AV_PIX_FMT_RGB24;
  if (codec == "rawvideo") return AV_PIX_FMT_BGR24;
  if (codec == "libx264" && lossless) return AV_PIX_FMT_YUV444P;
  return AV_PIX_FMT_YUV420P;
}

AVPixelFormat supportedFormat(const AVCodec* codec, AVPixelFormat wanted) {
  if (!codec->pix_fmts) return wanted;
  for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p)
    if (*p == wanted) return wanted;
  return codec->pix_fmts[0];
}

struct Writer {
  AVFormatContext* oc = nullptr;
  AVCodecContext* ctx = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  SwsContext* sws = nullptr;
  AVStream* stream = nullptr;
  bool fileOpen = false;

  ~Writer() {
    sws_freeContext(sws);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    if (oc) {
      if (fileOpen) avio_closep(&oc->pb);
      avformat_free_context(oc);
    }
  }

  // Sends one frame (or the flush when null) and writes every packet out.
  bool encode(AVFrame* f) {
    if (avcodec_send_frame(ctx, f) < 0) return false;
    for (;;) {
      int r = avcodec_receive_packet(ctx, packet);
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
      if (r < 0) return false;
      av_packet_rescale_ts(packet, ctx->time_base, stream->time_base);
      packet->stream_index = stream->index;
      if (av_interleaved_write_frame(oc, packet) < 0) return false;
    }
  }
};

bool fail(std::string* error, const std::string& what) {
  if (error) *error = what;
  return false;
}

}  // namespace

bool canWrite(const VideoSpec& spec) {
  const char* muxer = muxerName(spec);
  return muxer && av_guess_format(muxer, nullptr, nullptr) &&
         avcodec_find_encoder_by_name(spec.codec.c_str());
}

void drawFrame(int index, int width, int height, std::uint8_t* rgb, int stride) {
  const int half = height / 2;
  const int cellW = width / kCellColumns;
  const int cellH = half / 2;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = rgb + static_cast<std::ptrdiff_t>(y) * stride;
    for (int x = 0; x < width; ++x) {
      std::uint8_t r, g, b;
      if (y < half) {
        const int cx = std::min(x / cellW, kCellColumns - 1);
        const int cy = std::min(y / cellH, 1);
        const int bit = cy * kCellColumns + cx;
        const std::uint8_t v = ((index >> bit) & 1) ? kBright : kDark;
        r = g = b = v;
      } else {
        const Rgb c = kBarColours[std::min(x * 3 / width, 2)];
        r = c.r;
        g = c.g;
        b = c.b;
      }
      row[3 * x] = r;
      row[3 * x + 1] = g;
      row[3 * x + 2] = b;
    }
  }
}

int readFrameNumber(const std::uint8_t* bgrBottomUp, int width, int height, int stride) {
  const int half = height / 2;
  const int cellW = width / kCellColumns;
  const int cellH = half / 2;
  if (cellW < 4 || cellH < 4) return -1;
  int value = 0;
  for (int bit = 0; bit < kBits; ++bit) {
    const int cx = bit % kCellColumns, cy = bit / kCellColumns;
    // The middle half of the cell, away from edges that lossy coding smears.
    const int x0 = cx * cellW + cellW / 4, x1 = cx * cellW + cellW * 3 / 4;
    const int y0 = cy * cellH + cellH / 4, y1 = cy * cellH + cellH * 3 / 4;
    long sum = 0, count = 0;
    for (int y = y0; y < y1; ++y) {
      const std::uint8_t* row =
          bgrBottomUp + static_cast<std::ptrdiff_t>(height - 1 - y) * stride;
      for (int x = x0; x < x1; ++x) {
        sum += row[3 * x] + row[3 * x + 1] + row[3 * x + 2];
        count += 3;
      }
    }
    const long mean = sum / count;
    if (mean > 170) value |= 1 << bit;
    else if (mean >= 85) return -1;
  }
  return value;
}

bool writeVideo(const std::string& path, const VideoSpec& spec, std::string* error) {
  if (spec.width < 32 || spec.height < 32 || spec.width % 2 || spec.height % 2 ||
      spec.frames < 1 || spec.fps < 1)
    return fail(error, "bad video size");
  const char* muxer = muxerName(spec);
  if (!muxer) return fail(error, "unknown container " + spec.container);
  const AVCodec* codec = avcodec_find_encoder_by_name(spec.codec.c_str());
  if (!codec) return fail(error, "no encoder " + spec.codec);
  av_log_set_level(AV_LOG_ERROR);

  Writer w;
  if (avformat_alloc_output_context2(&w.oc, nullptr, muxer, path.c_str()) < 0 || !w.oc)
    return fail(error, "no muxer");
  w.stream = avformat_new_stream(w.oc, nullptr);
  w.ctx = avcodec_alloc_context3(codec);
  w.frame = av_frame_alloc();
  w.packet = av_packet_alloc();
  if (!w.stream || !w.ctx || !w.frame || !w.packet) return fail(error, "out of memory");

  AVCodecContext* c = w.ctx;
  c->width = spec.width;
  c->height = spec.height;
  c->time_base = AVRational{1, spec.fps};
  c->framerate = AVRational{spec.fps, 1};
  c->gop_size = spec.gop;
  c->max_b_frames = spec.bFrames;
  c->pix_fmt = supportedFormat(codec, preferredFormat(spec.codec, spec.lossless));
  c->thread_count = 1;
  c->flags |= AV_CODEC_FLAG_CLOSED_GOP;
  if (w.oc->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (spec.codec == "libx264") {
    av_opt_set(c->priv_data, "preset", "veryfast", 0);
    av_opt_set(c->priv_data, spec.lossless ? "qp" : "crf", spec.lossless ? "0" : "18", 0);
    av_opt_set(c->priv_data, "x264-params", "scenecut=0", 0);
  } else if (spec.codec == "mpeg4" || spec.codec == "mpeg2video" ||
             spec.codec == "mpeg1video") {
    c->flags |= AV_CODEC_FLAG_QSCALE;
    c->global_quality = FF_QP2LAMBDA * 3;
    // A closed GOP needs scene-change detection off in these encoders.
    av_opt_set_int(c, "sc_threshold", 1000000000, AV_OPT_SEARCH_CHILDREN);
  }
  if (avcodec_open2(c, codec, nullptr) < 0) return fail(error, "cannot open encoder");
  if (avcodec_parameters_from_context(w.stream->codecpar, c) < 0)
    return fail(error, "cannot copy codec parameters");
  w.stream->time_base = c->time_base;
  w.stream->avg_frame_rate = c->framerate;

  if (!(w.oc->oformat->flags & AVFMT_NOFILE)) {
    if (avio_open(&w.oc->pb, path.c_str(), AVIO_FLAG_WRITE) < 0)
      return fail(error, "cannot create " + path);
    w.fileOpen = true;
  }
  if (avformat_write_header(w.oc, nullptr) < 0) return fail(error, "cannot write header");

  w.frame->format = c->pix_fmt;
  w.frame->width = c->width;
  w.frame->height = c->height;
  if (av_frame_get_buffer(w.frame, 0) < 0) return fail(error, "out of memory");
  w.sws = sws_getContext(c->width, c->height, AV_PIX_FMT_RGB24, c->width, c->height,
                         c->pix_fmt, SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
                         nullptr, nullptr, nullptr);
  if (!w.sws) return fail(error, "no converter");

  const int rgbStride = spec.width * 3;
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(rgbStride) * spec.height);
  for (int i = 0; i < spec.frames; ++i) {
    drawFrame(i, spec.width, spec.height, rgb.data(), rgbStride);
    if (av_frame_make_writable(w.frame) < 0) return fail(error, "out of memory");
    const std::uint8_t* src[1] = {rgb.data()};
    const int srcStride[1] = {rgbStride};
    sws_scale(w.sws, src, srcStride, 0, spec.height, w.frame->data, w.frame->linesize);
    w.frame->pts = i;
    if (!w.encode(w.frame)) return fail(error, "encoding failed");
  }
  if (!w.encode(nullptr)) return fail(error, "encoding failed");
  if (av_write_trailer(w.oc) < 0) return fail(error, "cannot finish the file");
  return true;
}

}  // namespace testvideo

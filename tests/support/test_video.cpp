#include "tests/support/test_video.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
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
  if (spec.container == "ts") return "mpegts";
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
  if (codec == "mjpeg") return AV_PIX_FMT_YUVJ420P;  // JPEG's full-range YUV
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
  std::vector<int> zeroedFrames;

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

  // Clears the bytes of the packet when its frame (its timestamp in the
  // encoder's time base) is one of zeroedFrames.
  bool zeroPacket() {
    if (std::find(zeroedFrames.begin(), zeroedFrames.end(), packet->pts) == zeroedFrames.end())
      return true;
    if (av_packet_make_writable(packet) < 0) return false;
    std::memset(packet->data, 0, static_cast<std::size_t>(packet->size));
    return true;
  }

  // Sends one frame (or the flush when null) and writes every packet out.
  bool encode(AVFrame* f) {
    if (avcodec_send_frame(ctx, f) < 0) return false;
    for (;;) {
      int r = avcodec_receive_packet(ctx, packet);
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
      if (r < 0) return false;
      if (!zeroPacket()) return false;
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

void panningOffset(int index, double* dx, double* dy) {
  // A slow diagonal drift with a small wobble, so that successive frames
  // sample the scene at different sub-pixel phases.
  *dx = 0.37 * index + 0.25 * std::sin(0.9 * index);
  *dy = 0.21 * index + 0.2 * std::cos(1.3 * index);
}

namespace {

// The scene in scene coordinates (pixels of the first frame): soft colour
// fields, a zone plate of rings, fine slanted stripes, a brick pattern and
// some discs. Red, green, blue in 0..1.
void panningScene(double u, double v, double* r, double* g, double* b) {
  const double pi = 3.14159265358979323846;
  double red = 0.45 + 0.25 * std::sin(u * 0.021) * std::cos(v * 0.017);
  double green = 0.45 + 0.2 * std::cos(u * 0.013 + v * 0.019);
  double blue = 0.5 + 0.2 * std::sin(v * 0.025 - u * 0.008);
  // Rings around (90, 80) that get finer outwards.
  const double ru = u - 90.0, rv = v - 80.0, rr = ru * ru + rv * rv;
  if (rr < 70.0 * 70.0) {
    const double t = 0.5 + 0.5 * std::cos(pi * rr / 90.0);
    red = green = blue = 0.15 + 0.7 * t;
  }
  // Slanted stripes, period about 3.1 pixels.
  if (u > 175.0 && u < 290.0 && v > 20.0 && v < 110.0) {
    const double t = 0.5 + 0.5 * std::sin(2.0 * pi * (u * 0.9 + v * 0.35) / 3.1);
    red = 0.2 + 0.6 * t;
    green = 0.25 + 0.5 * t;
    blue = 0.1 + 0.3 * t;
  }
  // Bricks with thin mortar lines.
  if (v > 135.0 && v < 225.0 && u > 20.0 && u < 170.0) {
    const double row = std::floor((v - 135.0) / 7.0);
    const double shift = std::fmod(row, 2.0) * 6.0;
    const double bu = std::fmod(u - 20.0 + shift, 12.0), bv = std::fmod(v - 135.0, 7.0);
    const bool mortar = bu < 1.2 || bv < 1.2;
    red = mortar ? 0.85 : 0.6;
    green = mortar ? 0.82 : 0.25;
    blue = mortar ? 0.78 : 0.15;
  }
  // Discs of several sizes.
  const double discs[4][4] = {{230, 170, 22, 0}, {280, 200, 9, 1}, {205, 215, 5, 2}, {300, 150, 3.5, 0}};
  for (const auto& d : discs) {
    const double du = u - d[0], dv = v - d[1];
    if (du * du + dv * dv < d[2] * d[2]) {
      red = d[3] == 0 ? 0.9 : 0.1;
      green = d[3] == 1 ? 0.85 : 0.15;
      blue = d[3] == 2 ? 0.9 : 0.2;
    }
  }
  *r = red;
  *g = green;
  *b = blue;
}

std::uint8_t toByte(double v) {
  return static_cast<std::uint8_t>(std::clamp(v * 255.0 + 0.5, 0.0, 255.0));
}

}  // namespace

void drawPanningFrame(int index, int width, int height, std::uint8_t* rgb, int stride, int shot) {
  double dx, dy;
  panningOffset(index, &dx, &dy);
  // The scene is scaled so its 320 x 240 layout fills any frame size.
  const double sx = 320.0 / width, sy = 240.0 / height;
  constexpr int kSub = 4;  // 4 x 4 samples per pixel: the sensor's area
  std::uint32_t noise = 0x9E3779B9u * static_cast<std::uint32_t>(index + 1);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = rgb + static_cast<std::ptrdiff_t>(y) * stride;
    for (int x = 0; x < width; ++x) {
      double r = 0, g = 0, b = 0;
      for (int j = 0; j < kSub; ++j)
        for (int i = 0; i < kSub; ++i) {
          double u = (x + (i + 0.5) / kSub + dx) * sx, v = (y + (j + 0.5) / kSub + dy) * sy;
          if (shot != 0) {
            u = 320.0 - u;
            v = 240.0 - v;
          }
          double pr, pg, pb;
          panningScene(u, v, &pr, &pg, &pb);
          r += shot != 0 ? pb : pr;
          g += shot != 0 ? pr : pg;
          b += shot != 0 ? pg : pb;
        }
      noise = noise * 1664525u + 1013904223u;
      const double n = (static_cast<double>(noise >> 24) / 255.0 - 0.5) * 0.06;
      const double k = 1.0 / (kSub * kSub);
      row[3 * x] = toByte(r * k + n);
      row[3 * x + 1] = toByte(g * k + n);
      row[3 * x + 2] = toByte(b * k + n);
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
  w.zeroedFrames = spec.zeroedFrames;
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
  if (spec.closedGop) c->flags |= AV_CODEC_FLAG_CLOSED_GOP;
  if (w.oc->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (spec.codec == "libx264") {
    av_opt_set(c->priv_data, "preset", "veryfast", 0);
    av_opt_set(c->priv_data, spec.lossless ? "qp" : "crf", spec.lossless ? "0" : "18", 0);
    // Keyframes fall exactly every `gop` frames; an open GOP makes them
    // recovery points that the B-frames decoded after them refer across.
    std::string params = "scenecut=0";
    if (!spec.closedGop)
      params += ":open-gop=1:keyint=" + std::to_string(spec.gop) +
                ":min-keyint=" + std::to_string(spec.gop);
    av_opt_set(c->priv_data, "x264-params", params.c_str(), 0);
  } else if (spec.codec == "libvpx" || spec.codec == "libvpx-vp9") {
    // Keyframes exactly every `gop` frames.
    c->keyint_min = spec.gop;
    c->bit_rate = 0;
    av_opt_set(c->priv_data, "crf", "12", 0);
    av_opt_set(c->priv_data, "cpu-used", "5", 0);
  } else if (spec.codec == "mpeg4" || spec.codec == "mpeg2video" ||
             spec.codec == "mpeg1video" || spec.codec == "mjpeg") {
    c->flags |= AV_CODEC_FLAG_QSCALE;
    c->global_quality = FF_QP2LAMBDA * 3;
    // A closed GOP needs scene-change detection off in these encoders; with
    // it off, keyframes also fall exactly every `gop` frames in open GOPs.
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
  AVDictionary* muxerOptions = nullptr;
  if (spec.fastStart) av_dict_set(&muxerOptions, "movflags", "+faststart", 0);
  const int header = avformat_write_header(w.oc, &muxerOptions);
  av_dict_free(&muxerOptions);
  if (header < 0) return fail(error, "cannot write header");

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
    if (i < spec.blackLeadIn)
      std::fill(rgb.begin(), rgb.end(), std::uint8_t{0});
    else if (spec.scene == Scene::Panning)
      drawPanningFrame(i, spec.width, spec.height, rgb.data(), rgbStride,
                       spec.cutAt > 0 && i >= spec.cutAt ? 1 : 0);
    else
      drawFrame(i, spec.width, spec.height, rgb.data(), rgbStride);
    if (spec.scene == Scene::NoisyNumbered && i >= spec.blackLeadIn) {
      // Up to 24 levels either way, different in every frame.
      std::uint32_t noise = 0x9E3779B9u * static_cast<std::uint32_t>(i + 1);
      for (std::uint8_t& v : rgb) {
        noise = noise * 1664525u + 1013904223u;
        v = static_cast<std::uint8_t>(std::clamp(v + static_cast<int>(noise >> 24) % 49 - 24, 0, 255));
      }
    }
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

bool writeUndecodableVideo(const std::string& path, int width, int height, int frames,
                           std::string* error) {
  AVFormatContext* oc = nullptr;
  if (avformat_alloc_output_context2(&oc, nullptr, "avi", path.c_str()) < 0 || !oc)
    return fail(error, "no AVI muxer");
  bool ok = false;
  AVPacket* packet = av_packet_alloc();
  AVStream* st = avformat_new_stream(oc, nullptr);
  if (packet && st) {
    st->time_base = AVRational{1, 25};
    AVCodecParameters* par = st->codecpar;
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = AV_CODEC_ID_RAWVIDEO;
    par->format = AV_PIX_FMT_YUV420P;
    par->codec_tag = MKTAG('I', '4', '2', '0');
    par->width = width;
    par->height = height;
    ok = avio_open(&oc->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0;
    const bool opened = ok;
    ok = ok && avformat_write_header(oc, nullptr) >= 0;
    std::uint8_t bytes[64];
    std::memset(bytes, 0x80, sizeof bytes);
    for (int i = 0; ok && i < frames; ++i) {
      ok = av_new_packet(packet, static_cast<int>(sizeof bytes)) >= 0;
      if (!ok) break;
      std::memcpy(packet->data, bytes, sizeof bytes);
      packet->stream_index = st->index;
      packet->pts = packet->dts = av_rescale_q(i, AVRational{1, 25}, st->time_base);
      packet->flags |= AV_PKT_FLAG_KEY;
      ok = av_interleaved_write_frame(oc, packet) >= 0;
      av_packet_unref(packet);
    }
    ok = ok && av_write_trailer(oc) >= 0;
    if (opened) avio_closep(&oc->pb);
  }
  av_packet_free(&packet);
  avformat_free_context(oc);
  return ok || fail(error, "cannot write " + path);
}

}  // namespace testvideo

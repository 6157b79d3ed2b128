#include "platform/media/media_graph.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/cpu.h>
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

#include "platform/media/key_frame_header.h"
#include "platform/media/picture_order.h"

namespace media {

namespace {

using Clock = std::chrono::steady_clock;

// Larger pictures are refused: the frame buffer's length must fit a long
// and stay far from what a 24-bit picture of any real video needs.
constexpr std::int64_t kMaxSide = 16384;
constexpr std::int64_t kMaxBufferBytes = 1LL << 30;

struct PacketInfo {
  std::int64_t pts;
  std::int64_t dts;
  bool key;           // flagged as a keyframe by the demuxer
  bool shown;         // not marked to be discarded (the part an edit list hides)
  bool bFrame;        // a bidirectionally predicted picture, as the codec's headers say
  bool keepsLeadingB;  // a keyframe whose following B-frames the decoder keeps
  // A keyframe that decoding can start from: one whose header is intact,
  // where the codec has one to check (a damaged packet may read as one).
  bool startsDecoding;
  // A keyframe from which the decoder on frame threads reported damage:
  // decodings from it run on one thread.
  bool damageFollows = false;
};

// A keyframe where decoding can start: its display index and the timestamp
// handed to the demuxer to get there.
struct KeyFrame {
  std::int64_t display;
  std::int64_t seekTs;
  std::int64_t ident;  // the pts (timestamp mode) or dts (count mode) that identifies it
  // Its decode timestamp, for demuxers that search by it, when seekTs is its
  // presentation timestamp; AV_NOPTS_VALUE when there is none.
  std::int64_t decodeTs = AV_NOPTS_VALUE;
  std::size_t packet = 0;  // its place in decode order
};

struct Event {
  long code, param1, param2;
};

// Reads a pipe, socket or character device through its own descriptor,
// opened without blocking, so that neither the open nor a read waits for
// ever: a read waits for data at most kInputWaitMs, in short slices that
// also watch `closing`, and then reports an error. An input that gave up
// (or failed) is lost: the source stopped, and the reads that a demuxer
// tries again after the error fail at once instead of waiting once more.
class StreamInput {
 public:
  StreamInput(const StreamInput&) = delete;
  StreamInput& operator=(const StreamInput&) = delete;
  ~StreamInput() {
    if (io_) av_freep(&io_->buffer);
    avio_context_free(&io_);
    if (fd_ >= 0) ::close(fd_);
  }

  // Null when the path cannot be opened.
  static std::unique_ptr<StreamInput> open(const std::string& path,
                                           const std::atomic<bool>* closing) {
    std::unique_ptr<StreamInput> in(new StreamInput(closing));
    in->fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (in->fd_ < 0) return nullptr;
    constexpr int kBufferSize = 1 << 16;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    if (!buffer) return nullptr;
    in->io_ = avio_alloc_context(buffer, kBufferSize, 0, in.get(), &StreamInput::read, nullptr,
                                 nullptr);
    if (!in->io_) {
      av_free(buffer);
      return nullptr;
    }
    return in;
  }

  AVIOContext* io() const { return io_; }

  // Whether the input stopped without an end: unlike a writer that closed
  // its end, that is no end of the video.
  bool lost() const { return lost_ != 0; }

 private:
  explicit StreamInput(const std::atomic<bool>* closing) : closing_(closing) {}

  static int read(void* opaque, std::uint8_t* buf, int size) {
    auto* self = static_cast<StreamInput*>(opaque);
    if (self->lost_) return self->lost_;
    constexpr int kSliceMs = 100;
    for (int waited = 0;; waited += kSliceMs) {
      if (self->closing_->load(std::memory_order_relaxed)) return AVERROR_EXIT;
      const ssize_t n = ::read(self->fd_, buf, static_cast<std::size_t>(size));
      if (n > 0) {
        self->gotData_ = true;
        return static_cast<int>(n);
      }
      // No writer: before the first byte it may still come, afterwards it
      // has gone for good.
      if (n == 0 && self->gotData_) return AVERROR_EOF;
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
        return self->lost_ = AVERROR(errno);
      if (waited >= kInputWaitMs) return self->lost_ = AVERROR(ETIMEDOUT);
      if (n == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kSliceMs));
      } else {
        pollfd p{self->fd_, POLLIN, 0};
        ::poll(&p, 1, kSliceMs);
      }
    }
  }

  const std::atomic<bool>* closing_;
  int fd_ = -1;
  AVIOContext* io_ = nullptr;
  bool gotData_ = false;
  int lost_ = 0;  // the error a read gave up with
};

// Whether a path names something to read through StreamInput: neither a
// regular file nor a block device, which can seek.
bool isStreamPath(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  return !S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode);
}

}  // namespace

struct MediaGraph::Impl {
  // ---- Built on the controlling thread before Render; afterwards touched
  // ---- only by the streaming thread (or by the destructor after the join).
  std::string path;
  AVFormatContext* fc = nullptr;
  int videoIndex = -1;
  const AVCodec* codec = nullptr;
  // The decoders (see openDecoders), each opened when a decoding first
  // needs it: one on frame threads that reports damage, where the video
  // has one (`watchable`), and the plain one; `dec` is the one in use,
  // null until the decoding chosen for it first needs it.
  bool watchable = false;
  bool plainOnOneThread = false;
  AVCodecContext* watched = nullptr;
  AVCodecContext* plain = nullptr;
  AVCodecContext* dec = nullptr;
  bool wantsWatched = false;  // the decoding under way is for `watched`
  // The keyframe packet (its place in decode order) the decoding under way
  // started from.
  std::size_t runStart = 0;
  SwsContext* sws = nullptr;
  AVPacket* packet = nullptr;
  AVPacket* held = nullptr;  // the keyframe packet a seek stopped on, fed first
  bool haveHeld = false;
  AVFrame* frame = nullptr;    // scratch for decoding
  AVFrame* current = nullptr;  // the next frame to present
  std::int64_t currentIndex = -1;
  bool currentValid = false;

  int width = 0, height = 0, rowBytes = 0;
  std::int64_t bufferBytes = 0;
  std::vector<std::uint8_t> buffer;
  // The converter's own output, top-down: its vector code writes whole
  // blocks of pixels and so runs past the end of a row whose length is not
  // a multiple of the block, so its rows get a generous margin of their own.
  int scratchStride = 0;
  std::vector<std::uint8_t> scratch;
  double fps = 25.0;
  AVRational timeBase{1, 25};

  std::vector<PacketInfo> packets;           // decode order
  std::vector<std::int64_t> sortedPts;       // display order (timestamp mode)
  std::vector<KeyFrame> keys;                // by display index
  // Count mode with a known display order: the display index of each
  // packet in decode order (-1 for one not shown). Packets are stamped with
  // their decode index, which the decoder hands on to the picture made from
  // them, so a picture is named by its own packet.
  std::vector<std::int64_t> displayOfDecode;
  std::size_t nextDecode = 0;  // the decode index the next packet read most likely has
  bool timestampMode = false;                // frames are identified by their pts
  bool countMode = false;                    // frames are counted from a keyframe found by dts
  std::int64_t frameCount = 0;
  bool indexed = false;  // the packets were scanned: positions and the length are known
  bool seekable = false;
  bool connected = false;

  // Streaming-thread decoding state.
  std::int64_t wantIndex = 0;  // smallest display index the next frame may have
  std::int64_t countBase = 0, countOut = 0;
  bool demuxEnd = false, flushSent = false, atEnd = false;
  bool streamValid = false;  // the demuxer sits where decoding can go on
  // The display index of the last frame the decoder gave out since it was
  // last reset (-1 for none): where decoding that gave way stands.
  std::int64_t lastOut = -1;
  // decodeNext stopped for a newer seek (or the graph's end), not at the end.
  bool gaveWay = false;
  bool broken = false;       // a re-open failed: there is no input any more
  // The demuxer landed past a keyframe sought by its presentation timestamp
  // and on it by its decode timestamp: it searches by decode time.
  bool seeksByDecodeTime = false;
  // The keyframe (its place in `keys`) the decoding under way started from,
  // else -1; and the frame that a decoding from the keyframe before it was
  // last begun for, else -1.
  std::ptrdiff_t decodeKey = -1;
  std::int64_t retriedFor = -1;
  // The display index of the picture on the surface (-1 before the first).
  std::int64_t onSurface = -1;
  // Where decoding started (read by GetDecodeStart on the controlling thread).
  std::atomic<std::int64_t> startKey{-1};
  std::atomic<std::int64_t> packetsDecoded{0};
  std::atomic<int> decoderThreads{0};  // of the decoder in use, set by Connect

  // ---- Shared between the threads, under `mutex`.
  mutable std::mutex mutex;
  std::condition_variable wake;     // the streaming thread waits here
  std::condition_variable settled;  // GetState and GetEvent wait here
  GraphState target = GraphState::Stopped;
  GraphState reached = GraphState::Stopped;
  bool seekPending = false;
  std::int64_t seekTarget = 0;
  bool needPreroll = false;
  std::int64_t position = 0;
  bool eos = false, eosPosted = false;
  bool failed = false;  // the input broke; its event was posted
  // The display index of the frame last handed to the callback since the
  // last seek, or -1.
  std::int64_t delivered = -1;
  double rate = 1.0;
  bool rebase = true;
  bool quit = false;
  std::uint64_t generation = 0;
  std::deque<Event> events;
  NotifyHook hook;
  unsigned message = 0;
  FrameCallback* callback = nullptr;
  TimeFormat timeFormat = TimeFormat::MediaTime;
  std::thread worker;
  bool rendered = false;
  Clock::time_point clockBase;
  double sampleBase = 0.0;

  VideoSurface surface;

  ~Impl() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      quit = true;
      ++generation;
    }
    closing = true;
    wake.notify_all();
    if (worker.joinable()) worker.join();
    surface.Clear();
    sws_freeContext(sws);
    av_frame_free(&frame);
    av_frame_free(&current);
    av_packet_free(&packet);
    av_packet_free(&held);
    avcodec_free_context(&watched);
    avcodec_free_context(&plain);
    avformat_close_input(&fc);
    input.reset();
  }

  // ---------------------------------------------------------------- building

  // Lets a read that waits on a slow input give up when the graph goes away.
  std::atomic<bool> closing{false};
  // The reader of a pipe or similar input; freed after `fc`, which uses it.
  std::unique_ptr<StreamInput> input;
  static int interrupted(void* opaque) {
    return static_cast<Impl*>(opaque)->closing.load(std::memory_order_relaxed) ? 1 : 0;
  }

  bool openInput() {
    avformat_close_input(&fc);
    input.reset();
    fc = avformat_alloc_context();
    if (!fc) return false;
    fc->interrupt_callback.callback = &Impl::interrupted;
    fc->interrupt_callback.opaque = this;
    if (isStreamPath(path)) {
      input = StreamInput::open(path, &closing);
      if (!input) {
        avformat_free_context(fc);
        fc = nullptr;
        return false;
      }
      fc->pb = input->io();
      fc->flags |= AVFMT_FLAG_CUSTOM_IO;
    }
    // On failure avformat_open_input frees the context and clears the pointer.
    if (avformat_open_input(&fc, path.c_str(), nullptr, nullptr) < 0) return false;
    if (avformat_find_stream_info(fc, nullptr) < 0) return false;
    if (videoIndex >= 0) discardOthers();
    return true;
  }

  void discardOthers() {
    for (unsigned i = 0; i < fc->nb_streams; ++i)
      if (static_cast<int>(i) != videoIndex) fc->streams[i]->discard = AVDISCARD_ALL;
  }

  // Reads every packet of the video stream once and records its timestamps,
  // so that positions can be counted in frames and every frame be found
  // again, also in containers that keep no display times. Only the frames
  // the file shows are counted: packets an edit list hides are decoded as
  // references but never shown.
  void scanPackets() {
    packets.clear();
    PictureParser pictures(fc->streams[videoIndex]->codecpar);
    std::vector<PictureHeader> headers;
    std::vector<bool> keyFlags;
    const int codecId = fc->streams[videoIndex]->codecpar->codec_id;
    while (av_read_frame(fc, packet) >= 0) {
      if (packet->stream_index == videoIndex) {
        const bool key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
        const bool shown = !(packet->flags & AV_PKT_FLAG_DISCARD);
        headers.push_back(pictures.read(packet));
        keyFlags.push_back(key);
        packets.push_back({packet->pts, packet->dts, key, shown, headers.back().bFrame,
                           key && headers.back().keepsLeadingB,
                           key && keyFrameHeaderIntact(codecId, packet->data, packet->size)});
      }
      av_packet_unref(packet);
    }
    frameCount = std::count_if(packets.begin(), packets.end(),
                               [](const PacketInfo& p) { return p.shown; });

    bool allPts = !packets.empty(), allDts = !packets.empty();
    for (const PacketInfo& p : packets) {
      allPts = allPts && p.pts != AV_NOPTS_VALUE;
      allDts = allDts && p.dts != AV_NOPTS_VALUE;
    }
    if (allPts) {
      sortedPts.clear();
      for (const PacketInfo& p : packets)
        if (p.shown) sortedPts.push_back(p.pts);
      std::sort(sortedPts.begin(), sortedPts.end());
      timestampMode = !sortedPts.empty() &&
                      std::adjacent_find(sortedPts.begin(), sortedPts.end()) == sortedPts.end();
    }
    if (!timestampMode && allDts) countMode = decodeTimesTellPacketsApart();
    displayOfDecode.clear();
    if (countMode && pictures.ordering() != PictureOrdering::Unknown)
      displayOfDecode = shownOrder(displayOrder(pictures.ordering(), headers, keyFlags));

    keys.clear();
    for (std::size_t i = 0; i < packets.size(); ++i) {
      const PacketInfo& p = packets[i];
      // A damaged packet the demuxer takes for a keyframe starts no decoding.
      if (!p.startsDecoding) continue;
      if (timestampMode) {
        // A keyframe the file does not show starts the decoding that leads
        // to the first frame shown after it.
        const std::int64_t display =
            p.shown ? displayOfPts(p.pts)
                    : std::lower_bound(sortedPts.begin(), sortedPts.end(), p.pts) -
                          sortedPts.begin();
        if (display < 0 || display >= frameCount) continue;
        keys.push_back({display, p.pts, p.pts, p.dts, i});
      } else if (countMode) {
        keys.push_back({countModeKeyDisplay(i), p.dts, p.dts, AV_NOPTS_VALUE, i});
      }
    }
    keys.erase(std::remove_if(keys.begin(), keys.end(),
                              [](const KeyFrame& k) { return k.display < 0; }),
               keys.end());
    std::sort(keys.begin(), keys.end(),
              [](const KeyFrame& a, const KeyFrame& b) { return a.display < b.display; });
    seekable = (timestampMode || countMode) && !keys.empty() && fc->pb &&
               (fc->pb->seekable & AVIO_SEEKABLE_NORMAL);
  }

  // Whether the decode times name every packet and keyframe: never falling,
  // and a time shared by two packets at most, never by two keyframes. A
  // single repeat is what an MPEG program stream leaves where the demuxer
  // gave a packet the timestamps of the next one and counted on from there
  // until the file's next timestamps: the packets stay apart by their order,
  // the keyframes by their times.
  bool decodeTimesTellPacketsApart() const {
    for (std::size_t i = 1; i < packets.size(); ++i) {
      const PacketInfo& a = packets[i - 1];
      const PacketInfo& b = packets[i];
      if (b.dts < a.dts) return false;
      if (b.dts == a.dts &&
          ((a.key && b.key) || (i >= 2 && packets[i - 2].dts == b.dts)))
        return false;
    }
    return true;
  }

  // Display indices among the frames shown; -1 for the packets not shown.
  std::vector<std::int64_t> shownOrder(const std::vector<std::int64_t>& display) const {
    std::vector<std::pair<std::int64_t, std::size_t>> byDisplay;
    for (std::size_t i = 0; i < packets.size(); ++i)
      if (packets[i].shown) byDisplay.push_back({display[i], i});
    std::sort(byDisplay.begin(), byDisplay.end());
    std::vector<std::int64_t> shown(packets.size(), -1);
    for (std::size_t r = 0; r < byDisplay.size(); ++r)
      shown[byDisplay[r].second] = static_cast<std::int64_t>(r);
    return shown;
  }

  // In count mode, the display index of the first frame delivered when
  // decoding starts at keyframe `i` (-1 when none is). The B-frames that
  // follow a keyframe in decode order up to the next reference picture are
  // shown before it; in an open group of pictures they also refer to the
  // group before, and those frames are not taken (the MPEG decoders drop
  // them, the H.264 decoder makes them from missing references), so the
  // first frame delivered is the keyframe itself. Where the decoder keeps
  // them (a closed MPEG-1/2 group), the first is the earliest of them.
  std::int64_t countModeKeyDisplay(std::size_t i) const {
    // Without a display order the frames are counted as they come out of
    // the decoder, from the keyframe's decode index on.
    if (displayOfDecode.empty()) return static_cast<std::int64_t>(i);
    std::int64_t display = displayOfDecode[i];
    if (display < 0 || !packets[i].keepsLeadingB) return display;
    for (std::size_t j = i + 1; j < packets.size() && packets[j].bFrame; ++j)
      if (displayOfDecode[j] >= 0) display = std::min(display, displayOfDecode[j]);
    return display;
  }

  std::int64_t displayOfPts(std::int64_t pts) const {
    if (sortedPts.empty()) return -1;
    auto it = std::lower_bound(sortedPts.begin(), sortedPts.end(), pts);
    if (it == sortedPts.end()) return -1;
    if (*it != pts) {
      // Not a timestamp of the index: take the nearer neighbour.
      if (it != sortedPts.begin() && pts - *(it - 1) < *it - pts) --it;
    }
    return it - sortedPts.begin();
  }

  double sampleTimeOf(std::int64_t index) const {
    if (timestampMode && index >= 0 && index < static_cast<std::int64_t>(sortedPts.size()))
      return static_cast<double>(sortedPts[index] - sortedPts[0]) * av_q2d(timeBase);
    return static_cast<double>(index) / fps;
  }

  // ---------------------------------------------------------------- decoding

  // The decoders. Frame threads (as many as the machine has cores) give
  // the pictures one thread gives, only some packets later, and a flush
  // drops them all; but not after damage: a frame thread conceals a damaged
  // picture while the threads after it already predict from it, so the
  // frames after the damage differ from one decoding to the next. The
  // decoder on frame threads is therefore told to report damage as an
  // error, which frame threads hand out in decode order, before any frame
  // decoded after the damaged one (a B-frame shown before a damaged
  // reference is decoded after it); that decoding is then done again, as is
  // every later one from the same keyframe, by the plain decoder on one
  // thread (decodeOnOneThread). The decoder also reports as damage what it
  // meets at the start of an open group of pictures (the frames shown
  // before the keyframe refer to pictures before it): such decodings run on
  // one thread too, as they did before threads were used. Where the video
  // cannot be decoded again (a pipe), the plain decoder runs the frame
  // threads and conceals as it would on one thread.
  // VP8's and VP9's frame threads make the frames after one that failed to
  // decode from a picture never drawn: those codecs split each frame among
  // the threads instead. The MPEG-4 video decoder's frame threads abort the
  // program when told to report damage: that codec decodes on one thread,
  // as it did before threads were used, at little cost.
  // Opening the decoder on frame threads costs some tens of milliseconds
  // (every thread sets up a decoder of its own), so it is opened when the
  // first decoding needs it, not with the video; Connect only checks that
  // the codec opens.
  MediaStatus openDecoders() {
    const bool sliceThreads = codec->id == AV_CODEC_ID_VP8 || codec->id == AV_CODEC_ID_VP9;
    watchable = seekable && !sliceThreads && codec->id != AV_CODEC_ID_MPEG4 &&
                (codec->capabilities & AV_CODEC_CAP_FRAME_THREADS);
    plainOnOneThread = watchable || codec->id == AV_CODEC_ID_MPEG4;
    if (const MediaStatus s = openDecoder(false, &plain); Failed(s)) return s;
    decoderThreads = watchable ? frameThreads() : plain->thread_count;
    return kOk;
  }

  // The threads of the decoder on frame threads: those it chose, or before
  // it was opened, those it will choose (one per core and one more, as
  // FFmpeg picks them, at most 16).
  int frameThreads() const {
    return watched ? watched->thread_count : std::min(av_cpu_count() + 1, 16);
  }

  // Opens the decoder that reports damage, or the plain one, into `out`.
  MediaStatus openDecoder(bool watch, AVCodecContext** out) {
    avcodec_free_context(out);
    const AVStream* st = fc->streams[videoIndex];
    AVCodecContext* c = *out = avcodec_alloc_context3(codec);
    if (!c) return kOutOfMemory;
    if (avcodec_parameters_to_context(c, st->codecpar) < 0) return kNoDecoder;
    c->pkt_timebase = st->time_base;
    if (watch) {
      c->thread_count = 0;
      c->thread_type = FF_THREAD_FRAME;
      c->err_recognition |= AV_EF_EXPLODE;
    } else if (plainOnOneThread) {
      c->thread_count = 1;
    } else {
      c->thread_count = 0;
      if (codec->id == AV_CODEC_ID_VP8 || codec->id == AV_CODEC_ID_VP9)
        c->thread_type = FF_THREAD_SLICE;
    }
    return avcodec_open2(c, codec, nullptr) < 0 ? kNoDecoder : kOk;
  }

  // Picks the decoder for a decoding from the keyframe at `packet` (its
  // place in decode order). Frame threads drop the errors of the packets
  // they hold when the input ends before they were handed more packets than
  // they have threads: damage there would go unreported. Such a short
  // decoding, from a keyframe close to the end (twice as many packets, for
  // a margin), runs on one thread, which costs little for so few frames.
  void useDecoderFrom(std::size_t packet) {
    runStart = packet;
    const std::size_t left = packets.size() - std::min(packet, packets.size());
    const bool damaged = packet < packets.size() && packets[packet].damageFollows;
    wantsWatched = watchable && !damaged && left > 2 * static_cast<std::size_t>(frameThreads());
    dec = wantsWatched ? watched : plain;
  }

  // The decoder for the decoding under way, opened when it is first needed;
  // false when it cannot be opened. A decoder on frame threads that runs
  // on one (a machine of one core) would conceal instead of reporting:
  // the video then decodes on the plain one.
  bool decoderReady() {
    if (!dec && wantsWatched) {
      if (!Failed(openDecoder(true, &watched)) && watched->active_thread_type == FF_THREAD_FRAME) {
        dec = watched;
      } else {
        avcodec_free_context(&watched);
        watchable = wantsWatched = false;
        // The plain decoder takes the decoding over from its start, afresh.
        if (Failed(openDecoder(false, &plain))) avcodec_free_context(&plain);
      }
    }
    if (!dec) {
      if (!plain && Failed(openDecoder(false, &plain))) avcodec_free_context(&plain);
      dec = plain;
    }
    if (dec) decoderThreads = dec->thread_count;
    return dec != nullptr;
  }

  bool watchesDamage() const { return dec && dec == watched; }

  // Damage found by the decoder on frame threads: the decoding under way
  // starts again from a keyframe on one thread, as every later decoding
  // from its keyframe will, so that every frame after the damage gets the
  // picture a decoding on one thread gives it, every time. The frames
  // handed out before came from packets decoded before the damage: the
  // same pictures. False when nothing more can be decoded.
  bool decodeOnOneThread() {
    if (runStart < packets.size()) packets[runStart].damageFollows = true;
    // Seeks to the keyframe anew, the decoding under way being no start.
    streamValid = false;
    currentValid = false;
    positionAt(wantIndex);
    return !atEnd;
  }

  // Whether a decoder says that a frame it handed out was damaged.
  static bool showsDamage(const AVFrame* f) {
    return f->decode_error_flags != 0 || (f->flags & AV_FRAME_FLAG_CORRUPT);
  }

  // Makes the decoder ready for a decoding from a keyframe. A decoder on one
  // thread is opened afresh rather than flushed: where damage hides parts of
  // a picture, it conceals them from what its earlier pictures left behind
  // (the motion and block types of recycled pictures), which would make the
  // picture depend on what was decoded before the move.
  void resetDecoder() {
    if (dec && dec == plain && plainOnOneThread) {
      if (Failed(openDecoder(false, &plain))) avcodec_free_context(&plain);
      dec = plain;
    } else if (dec) {
      avcodec_flush_buffers(dec);
    }
    av_packet_unref(held);
    haveHeld = false;
    demuxEnd = false;
    flushSent = false;
    atEnd = false;
    streamValid = false;
    countOut = 0;
    lastOut = -1;
    startKey = -1;
    packetsDecoded = 0;
  }

  // Identifies a keyframe packet by the index; -1 when it is not one of ours.
  std::int64_t keyDisplayOf(const AVPacket* p) const {
    if (!(p->flags & AV_PKT_FLAG_KEY)) return -1;
    const std::int64_t ident = timestampMode ? p->pts : p->dts;
    if (ident == AV_NOPTS_VALUE) return -1;
    for (const KeyFrame& k : keys)
      if (k.ident == ident) return k.display;
    return -1;
  }

  // After a demuxer seek: reads up to the first known keyframe shown at or
  // after `from` and keeps it for the decoder. Keyframes before `from` (a
  // demuxer that landed early) are read past: reading costs far less than
  // decoding from them. Fails when that keyframe lies after `target`.
  bool findStartKey(std::int64_t from, std::int64_t target) {
    while (av_read_frame(fc, packet) >= 0) {
      if (packet->stream_index == videoIndex) {
        const std::int64_t display = keyDisplayOf(packet);
        if (display >= from) {
          if (display > target) {
            av_packet_unref(packet);
            return false;
          }
          av_packet_move_ref(held, packet);
          haveHeld = true;
          countBase = display;
          countOut = 0;
          streamValid = true;
          startKey = display;
          packetsDecoded = 0;
          return true;
        }
      }
      av_packet_unref(packet);
    }
    return false;
  }

  // Seeks the demuxer to `key` and reads up to it. The demuxers that search
  // an index (MP4, MOV, Matroska) go by presentation time, so that is tried
  // first; the ones that search the file for decode timestamps (MPEG
  // transport streams) land past the keyframe with it and are given its
  // decode timestamp instead, the first time as a second try that is then
  // kept for the file.
  bool seekToKey(const KeyFrame& key, std::int64_t target) {
    const bool twoTimes = key.decodeTs != AV_NOPTS_VALUE && key.decodeTs != key.seekTs;
    for (int pass = 0; pass < (twoTimes ? 2 : 1); ++pass) {
      const bool byDecodeTime = twoTimes && (pass == 0) == seeksByDecodeTime;
      useDecoderFrom(key.packet);
      resetDecoder();
      const std::int64_t ts = byDecodeTime ? key.decodeTs : key.seekTs;
      if (av_seek_frame(fc, videoIndex, ts, AVSEEK_FLAG_BACKWARD) >= 0 &&
          findStartKey(key.display, target)) {
        if (pass == 1) seeksByDecodeTime = byDecodeTime;
        return true;
      }
    }
    return false;
  }

  // Makes the next frame obtained be the one with display index `target`.
  // The file could not be opened again: nothing can be read from it.
  void breakInput() {
    avformat_close_input(&fc);
    input.reset();
    broken = true;
    atEnd = true;
  }

  void positionAt(std::int64_t target) {
    if (broken) {
      atEnd = true;
      return;
    }
    if (currentValid && currentIndex == target) return;
    if (!indexed || !seekable) {
      // An input that cannot seek plays once, from where it starts; a file
      // whose index gives no frame positions (timestamps missing or out of
      // order) is read again from its start, as the index scan left the
      // demuxer at its end.
      decodeKey = -1;
      if (indexed) {
        resetDecoder();
        if (!openInput()) {
          breakInput();
          return;
        }
      }
      streamValid = true;
      wantIndex = 0;
      countBase = 0;
      countOut = 0;
      return;
    }
    const bool hadCurrent = currentValid;
    currentValid = false;
    av_frame_unref(current);
    if (target >= frameCount) {
      atEnd = true;
      return;
    }
    if (target < 0) target = 0;
    // Frames before the first keyframe (a stream cut in the middle of a group
    // of pictures) cannot be decoded: show the first frame that can.
    if (!keys.empty() && target < keys.front().display) target = keys.front().display;
    // Index of the last keyframe at or before the target.
    std::size_t k = 0;
    for (std::size_t i = 0; i < keys.size(); ++i)
      if (keys[i].display <= target) k = i;
    // Going forward within reach of the frames already being decoded:
    // decode on instead of seeking.
    const std::int64_t next = hadCurrent ? currentIndex : wantIndex;
    // Frames the decoder still holds count too once the demuxer has ended.
    if (streamValid && !atEnd && target >= next && !keys.empty() &&
        keys[k].display <= next) {
      wantIndex = target;
      return;
    }
    const std::size_t attempts[3] = {k, k > 0 ? k - 1 : 0, 0};
    for (std::size_t a : attempts) {
      if (a >= keys.size()) break;
      if (seekToKey(keys[a], target)) {
        wantIndex = target;
        decodeKey = static_cast<std::ptrdiff_t>(a);
        retriedFor = -1;
        return;
      }
    }
    decodeKey = -1;
    // Last resort: read the file again from its start.
    useDecoderFrom(keys.front().packet);
    resetDecoder();
    if (!openInput()) {
      breakInput();
      return;
    }
    if (findStartKey(keys.front().display, target)) {
      wantIndex = target;
      return;
    }
    atEnd = true;
  }

  // A decoding that ended short of the frames the index lists is tried once
  // more from the keyframe before the one it started from: after the last
  // keyframe of an open group of pictures, the frames may come only from a
  // decoding begun in the group before. False when there is none to try.
  bool decodeAgainFromEarlierKey() {
    if (decodeKey <= 0 || wantIndex >= frameCount || retriedFor == wantIndex) return false;
    const std::int64_t target = wantIndex;
    retriedFor = target;
    --decodeKey;
    if (!seekToKey(keys[static_cast<std::size_t>(decodeKey)], target)) return false;
    wantIndex = target;
    return true;
  }

  // The display index of a decoded frame; -1 for one not to be shown.
  std::int64_t identify(const AVFrame* f) {
    if (f->flags & AV_FRAME_FLAG_DISCARD) return -1;  // hidden by an edit list
    if (timestampMode) {
      std::int64_t ts = f->best_effort_timestamp;
      if (ts == AV_NOPTS_VALUE) ts = f->pts;
      if (ts == AV_NOPTS_VALUE) return -1;
      return displayOfPts(ts);
    }
    if (!displayOfDecode.empty()) {
      const std::int64_t stamp = f->pts;
      if (stamp < 0 || stamp >= static_cast<std::int64_t>(displayOfDecode.size())) return -1;
      return displayOfDecode[static_cast<std::size_t>(stamp)];
    }
    return countBase + countOut++;
  }

  // Count mode with a display order: stamps a packet with its decode index
  // as its presentation time, the index found by its decode time (and
  // keyframe flag, where two packets share a time), most likely the packet
  // after the last one. A packet the index does not tell apart gets no time,
  // and its picture no number.
  void stampDecodeIndex(AVPacket* p) {
    if (displayOfDecode.empty()) return;
    const bool key = (p->flags & AV_PKT_FLAG_KEY) != 0;
    std::int64_t index = -1;
    if (nextDecode < packets.size() && packets[nextDecode].dts == p->dts &&
        packets[nextDecode].key == key) {
      index = static_cast<std::int64_t>(nextDecode);
    } else if (p->dts != AV_NOPTS_VALUE) {
      auto it = std::lower_bound(packets.begin(), packets.end(), p->dts,
                                 [](const PacketInfo& a, std::int64_t dts) { return a.dts < dts; });
      for (; it != packets.end() && it->dts == p->dts; ++it) {
        if (it->key != key) continue;
        if (index >= 0) {  // two alike: no telling which
          index = -1;
          break;
        }
        index = it - packets.begin();
      }
    }
    p->pts = index >= 0 ? index : AV_NOPTS_VALUE;
    nextDecode = index >= 0 ? static_cast<std::size_t>(index) + 1 : packets.size();
  }

  // Whether a seek asked for after the one being decoded toward is waiting,
  // or the graph is going away: a long decode then gives way.
  bool newerCommandWaits() {
    std::lock_guard<std::mutex> lock(mutex);
    return seekPending || quit;
  }

  // Decodes up to the next frame whose display index is at least wantIndex.
  // Between packets it gives way to a newer seek (false, with gaveWay set):
  // wantIndex then names the first frame still to come, so that positionAt
  // can decode on toward a newer target that lies ahead.
  bool decodeNext() {
    if (atEnd || !fc || !decoderReady()) return false;
    for (;;) {
      int r = avcodec_receive_frame(dec, frame);
      // A frame a decoder on frame threads says is damaged counts as the
      // error it reports for the damage (which it may leave unsaid).
      if (r == 0 && watchesDamage() && showsDamage(frame)) {
        av_frame_unref(frame);
        r = AVERROR_INVALIDDATA;
      }
      if (r == 0) {
        const std::int64_t index = identify(frame);
        if (index >= 0) lastOut = std::max(lastOut, index);
        if (index < 0 || index < wantIndex || (indexed && index >= frameCount)) {
          av_frame_unref(frame);
          continue;
        }
        // A later frame than the one wanted, which the index lists: the
        // frames between may come from a decoding begun at the keyframe
        // before, as at the end of an open group of pictures, where frame
        // threads hand out the frame after one they drop.
        if (index > wantIndex && decodeAgainFromEarlierKey()) {
          av_frame_unref(frame);
          continue;
        }
        av_frame_unref(current);
        av_frame_move_ref(current, frame);
        currentIndex = index;
        currentValid = true;
        wantIndex = index + 1;
        return true;
      }
      if (r == AVERROR_EOF) {
        if (decodeAgainFromEarlierKey()) continue;
        atEnd = true;
        return false;
      }
      // Any other error is a frame that does not decode, passed over like a
      // packet that makes no picture: the decoder has dropped its packet.
      // Frame threads report damage so, and then decode on one thread.
      if (r != AVERROR(EAGAIN)) {
        if (watchesDamage() && !decodeOnOneThread()) return false;
        continue;
      }
      if (haveHeld) {
        haveHeld = false;
        const bool damaged = !send(held);
        av_packet_unref(held);
        if (damaged && !decodeOnOneThread()) return false;
        continue;
      }
      if (demuxEnd) {
        if (flushSent) {
          atEnd = true;
          return false;
        }
        avcodec_send_packet(dec, nullptr);
        flushSent = true;
        continue;
      }
      if (newerCommandWaits()) {
        gaveWay = true;
        wantIndex = std::max(lastOut + 1, countBase);
        return false;
      }
      if (av_read_frame(fc, packet) < 0) {
        demuxEnd = true;
        continue;
      }
      // A packet the decoder refuses (damaged data) is skipped.
      const bool damaged = packet->stream_index == videoIndex && !send(packet);
      av_packet_unref(packet);
      if (damaged && !decodeOnOneThread()) return false;
    }
  }

  // Hands a packet to the decoder; false when a decoder on frame threads
  // reports damage (in the packet or in one handed to it before).
  bool send(AVPacket* p) {
    ++packetsDecoded;
    stampDecodeIndex(p);
    const int r = avcodec_send_packet(dec, p);
    return !(watchesDamage() && r < 0 && r != AVERROR(EAGAIN) && r != AVERROR_EOF);
  }

  bool obtainFrame() { return currentValid || decodeNext(); }

  // Converts the current frame into bottom-up BGR24 rows padded to 4 bytes.
  bool convertCurrent() {
    const AVFrame* f = current;
    sws = sws_getCachedContext(sws, f->width, f->height, static_cast<AVPixelFormat>(f->format),
                               width, height, AV_PIX_FMT_BGR24,
                               SWS_BICUBIC, nullptr,
                               nullptr, nullptr);
    if (!sws) return false;
    std::uint8_t* dst[4] = {scratch.data(), nullptr, nullptr, nullptr};
    const int dstStride[4] = {scratchStride, 0, 0, 0};
    if (sws_scale(sws, f->data, f->linesize, 0, f->height, dst, dstStride) != height) return false;
    const std::size_t rowLength = static_cast<std::size_t>(width) * 3;
    for (int y = 0; y < height; ++y)
      std::memcpy(buffer.data() + static_cast<std::size_t>(height - 1 - y) * rowBytes,
                  scratch.data() + static_cast<std::size_t>(y) * scratchStride, rowLength);
    return true;
  }

  // ------------------------------------------------------------ the thread

  void setReached(GraphState s) {
    reached = s;
    settled.notify_all();
  }

  bool settledLocked() const {
    return !seekPending && reached == target && !(target == GraphState::Paused && needPreroll);
  }

  void postEvent(std::unique_lock<std::mutex>& lock, long code) {
    events.push_back({code, 0, 0});
    settled.notify_all();
    NotifyHook h = hook;
    const unsigned msg = message;
    lock.unlock();
    if (h) h(msg);
    lock.lock();
  }

  // The input can no longer be read: playback stops and the error is
  // reported once.
  void reportLost(std::unique_lock<std::mutex>& lock) {
    if (failed) return;
    failed = true;
    target = GraphState::Stopped;
    postEvent(lock, kEventErrorAbort);
  }

  void threadMain() {
    std::unique_lock<std::mutex> lock(mutex);
    while (!quit) {
      if (seekPending) {
        const std::int64_t t = seekTarget;
        seekPending = false;
        needPreroll = true;  // a pause is not complete before the new frame is out
        lock.unlock();
        positionAt(t);
        const bool nowBroken = broken;
        lock.lock();
        if (nowBroken) reportLost(lock);
        eos = atEnd;
        eosPosted = false;
        needPreroll = !atEnd;
        // No frame will come: the position names the picture still shown.
        if (atEnd) showPositionOnSurface();
        rebase = true;
        settled.notify_all();
        continue;
      }
      if (target == GraphState::Stopped) {
        setReached(GraphState::Stopped);
        wake.wait(lock, [&] { return quit || seekPending || target != GraphState::Stopped; });
        continue;
      }
      if (target == GraphState::Paused && (!needPreroll || eos)) {
        needPreroll = false;
        setReached(GraphState::Paused);
        wake.wait(lock, [&] {
          return quit || seekPending || target != GraphState::Paused || needPreroll;
        });
        continue;
      }
      if (eos) {  // running at the end of the stream
        setReached(GraphState::Running);
        if (!eosPosted) {
          eosPosted = true;
          // A broken input has reported its error instead.
          if (!failed) {
            postEvent(lock, kEventComplete);
            continue;
          }
        }
        wake.wait(lock, [&] { return quit || seekPending || target != GraphState::Running; });
        continue;
      }
      if (target == GraphState::Running) setReached(GraphState::Running);

      const std::uint64_t gen = generation;
      lock.unlock();
      const bool got = obtainFrame();
      lock.lock();
      if (!got && gaveWay) {  // a newer seek waits
        gaveWay = false;
        continue;
      }
      if (!got) {
        eos = true;
        needPreroll = false;
        showPositionOnSurface();
        // A stream input that stalled or failed has not ended: what came
        // has been shown, and the rest will not come.
        if (input && input->lost()) reportLost(lock);
        settled.notify_all();
        continue;
      }
      if (gen != generation) continue;  // a command came in: look again

      if (target == GraphState::Running && !needPreroll) {
        const double t = sampleTimeOf(currentIndex);
        if (rebase) {
          rebase = false;
          clockBase = Clock::now();
          sampleBase = t;
        }
        const auto due = clockBase + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>((t - sampleBase) / rate));
        wake.wait_until(lock, due, [&] { return quit || gen != generation; });
        if (gen != generation) continue;
      } else if (rebase) {
        rebase = false;
        clockBase = Clock::now();
        sampleBase = sampleTimeOf(currentIndex);
      }

      FrameCallback* cb = callback;
      const std::int64_t index = currentIndex;
      lock.unlock();
      const bool handed = deliver(cb, index);
      lock.lock();
      // A seek asked for meanwhile keeps the position it set: reporting this
      // older frame would undo it for a caller that seeks to what it reads.
      if (!seekPending) {
        if (handed) delivered = index;
        position = index;
      }
      needPreroll = false;
      settled.notify_all();
    }
  }

  // After a move that brought no frame (mutex held): the position, set to the
  // move's target, goes back to the picture shown, unless another move has
  // been asked for meanwhile.
  void showPositionOnSurface() {
    if (!seekPending && onSurface >= 0) position = onSurface;
  }

  // True when the frame reached the callback.
  bool deliver(FrameCallback* cb, std::int64_t index) {
    currentValid = false;
    if (!convertCurrent()) {
      av_frame_unref(current);
      return false;
    }
    av_frame_unref(current);
    if (cb) cb->BufferCB(sampleTimeOf(index), buffer.data(), static_cast<long>(bufferBytes));
    surface.Present(buffer.data(), width, height, rowBytes);
    onSurface = index;
    return cb != nullptr;
  }

  // Commands from the controlling thread (mutex held).
  void command() {
    ++generation;
    wake.notify_all();
  }

  std::int64_t toFrames(std::int64_t value) const {
    if (timeFormat == TimeFormat::Frame) return value;
    return static_cast<std::int64_t>(std::llround(static_cast<double>(value) * fps / 1e7));
  }
  std::int64_t fromFrames(std::int64_t frames) const {
    if (timeFormat == TimeFormat::Frame) return frames;
    return static_cast<std::int64_t>(std::llround(static_cast<double>(frames) * 1e7 / fps));
  }
};

MediaGraph::MediaGraph() : impl_(std::make_unique<Impl>()) {}
MediaGraph::~MediaGraph() = default;

MediaStatus MediaGraph::Load(const std::string& path) {
  Impl& d = *impl_;
  if (d.fc || d.rendered) return kUnexpected;
  d.path = path;
  d.packet = av_packet_alloc();
  d.held = av_packet_alloc();
  d.frame = av_frame_alloc();
  d.current = av_frame_alloc();
  if (!d.packet || !d.held || !d.frame || !d.current) return kOutOfMemory;
  if (!d.openInput()) {
    avformat_close_input(&d.fc);
    return kCannotLoad;
  }
  return kOk;
}

MediaStatus MediaGraph::Connect() {
  Impl& d = *impl_;
  if (!d.fc) return kNotConnected;
  if (d.connected) return kUnexpected;
  d.videoIndex = av_find_best_stream(d.fc, AVMEDIA_TYPE_VIDEO, -1, -1, &d.codec, 0);
  if (d.videoIndex < 0 || !d.codec) return kNoDecoder;
  AVStream* st = d.fc->streams[d.videoIndex];
  if (st->disposition & AV_DISPOSITION_ATTACHED_PIC) return kNoDecoder;

  d.timeBase = st->time_base;
  AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
  d.fps = (rate.num > 0 && rate.den > 0) ? av_q2d(rate) : 25.0;
  if (!(d.fps > 0.0) || d.fps > 1000.0) d.fps = 25.0;

  d.discardOthers();
  if (d.fc->pb && (d.fc->pb->seekable & AVIO_SEEKABLE_NORMAL)) {
    d.scanPackets();
    if (d.frameCount == 0) return kNoDecoder;
    d.indexed = true;
  }
  // After the index: whether the video can be decoded again decides how
  // the decoder meets damage.
  if (const MediaStatus s = d.openDecoders(); Failed(s)) return s;
  d.width = st->codecpar->width;
  d.height = st->codecpar->height;
  d.connected = true;
  return kOk;
}

MediaStatus MediaGraph::GetConnectedMediaType(VideoFormat* format) const {
  const Impl& d = *impl_;
  if (!format) return kPointer;
  if (!d.connected) return kNotConnected;
  const std::int64_t w = d.width, h = d.height;
  if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide) return kBadFormat;
  if (((w * 3 + 3) & ~std::int64_t{3}) * h > kMaxBufferBytes) return kBadFormat;
  format->width = d.width;
  format->height = d.height;
  format->framesPerSecond = d.fps;
  return kOk;
}

MediaStatus MediaGraph::SetCallback(FrameCallback* callback) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->callback = callback;
  return kOk;
}

MediaStatus MediaGraph::Render() {
  Impl& d = *impl_;
  if (!d.connected) return kNotConnected;
  if (d.rendered) return kUnexpected;
  VideoFormat format;
  if (Failed(GetConnectedMediaType(&format))) return kBadFormat;
  d.rowBytes = (d.width * 3 + 3) & ~3;
  d.bufferBytes = static_cast<std::int64_t>(d.rowBytes) * d.height;
  try {
    d.buffer.assign(static_cast<std::size_t>(d.bufferBytes), 0);
    d.scratchStride = ((d.width * 3 + 63) & ~63) + 64;
    d.scratch.assign(static_cast<std::size_t>(d.scratchStride) * (d.height + 1), 0);
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  }
  // The streaming thread starts stopped at frame 0 (an index scan left the
  // demuxer at the end of the file).
  d.seekPending = true;
  d.seekTarget = 0;
  d.position = 0;
  try {
    d.worker = std::thread([&d] { d.threadMain(); });
  } catch (const std::system_error&) {
    return kOutOfMemory;
  }
  d.rendered = true;
  return kOk;
}

MediaStatus MediaGraph::SetNotify(NotifyHook hook, unsigned message) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->hook = std::move(hook);
  impl_->message = message;
  return kOk;
}

VideoSurface& MediaGraph::Surface() { return impl_->surface; }

MediaStatus MediaGraph::CheckCapabilities(unsigned capabilities) const {
  const Impl& d = *impl_;
  if (!d.connected) return kNotConnected;
  const unsigned have = d.seekable ? (kCanSeekAbsolute | kCanGetDuration) : 0u;
  if ((capabilities & have) == capabilities) return kOk;
  return (capabilities & have) ? kFalse : kFail;
}

MediaStatus MediaGraph::SetTimeFormat(TimeFormat format) {
  Impl& d = *impl_;
  if (!d.connected) return kNotConnected;
  if (format == TimeFormat::Frame && !d.seekable) return kFail;
  std::lock_guard<std::mutex> lock(d.mutex);
  d.timeFormat = format;
  return kOk;
}

MediaStatus MediaGraph::GetDuration(std::int64_t* duration) const {
  const Impl& d = *impl_;
  if (!duration) return kPointer;
  if (!d.connected) return kNotConnected;
  if (!d.indexed) return kFail;
  std::lock_guard<std::mutex> lock(d.mutex);
  *duration = d.fromFrames(d.frameCount);
  return kOk;
}

MediaStatus MediaGraph::GetCurrentPosition(std::int64_t* position) const {
  const Impl& d = *impl_;
  if (!position) return kPointer;
  if (!d.connected) return kNotConnected;
  std::lock_guard<std::mutex> lock(d.mutex);
  *position = d.fromFrames(d.position);
  return kOk;
}

MediaStatus MediaGraph::SetPositions(std::int64_t current) {
  Impl& d = *impl_;
  if (!d.rendered) return kNotConnected;
  if (!d.seekable) return kFail;
  std::lock_guard<std::mutex> lock(d.mutex);
  if (d.failed) return kFail;  // nothing can be read any more
  const std::int64_t frames = d.toFrames(current);
  if (frames < 0) return kInvalidArg;
  d.seekPending = true;
  d.seekTarget = frames;
  d.position = std::min(frames, d.frameCount);
  d.delivered = -1;
  d.command();
  return kOk;
}

MediaStatus MediaGraph::SetRate(double rate) {
  Impl& d = *impl_;
  if (!(rate > 0.0) || !std::isfinite(rate)) return kInvalidArg;
  std::lock_guard<std::mutex> lock(d.mutex);
  d.rate = rate;
  d.rebase = true;
  d.command();
  return kOk;
}

MediaStatus MediaGraph::GetRate(double* rate) const {
  if (!rate) return kPointer;
  std::lock_guard<std::mutex> lock(impl_->mutex);
  *rate = impl_->rate;
  return kOk;
}

MediaStatus MediaGraph::Run() {
  Impl& d = *impl_;
  if (!d.rendered) return kNotConnected;
  std::lock_guard<std::mutex> lock(d.mutex);
  if (d.target != GraphState::Running) {
    d.target = GraphState::Running;
    d.rebase = true;
    d.command();
  }
  return d.settledLocked() ? kOk : kFalse;
}

MediaStatus MediaGraph::Pause() {
  Impl& d = *impl_;
  if (!d.rendered) return kNotConnected;
  std::lock_guard<std::mutex> lock(d.mutex);
  if (d.target != GraphState::Paused) {
    d.target = GraphState::Paused;
    d.command();
  }
  return d.settledLocked() ? kOk : kFalse;
}

MediaStatus MediaGraph::Stop() {
  Impl& d = *impl_;
  if (!d.rendered) return kNotConnected;
  std::lock_guard<std::mutex> lock(d.mutex);
  if (d.target != GraphState::Stopped) {
    // The position stays: a later Run goes on after the last frame shown.
    d.target = GraphState::Stopped;
    d.command();
  }
  return kOk;
}

MediaStatus MediaGraph::StopWhenReady() {
  MediaStatus s = Pause();
  if (Failed(s)) return s;
  GraphState state;
  GetState(10000, &state);
  return Stop();
}

MediaStatus MediaGraph::GetState(int timeoutMs, GraphState* state) {
  Impl& d = *impl_;
  if (!state) return kPointer;
  std::unique_lock<std::mutex> lock(d.mutex);
  if (!d.rendered) {
    *state = GraphState::Stopped;
    return kOk;
  }
  const bool done = d.settled.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)),
                                       [&] { return d.settledLocked(); });
  *state = done ? d.target : d.reached;
  return done ? kOk : kStateIntermediate;
}

MediaStatus MediaGraph::WaitForFrame(std::int64_t position, int timeoutMs) {
  Impl& d = *impl_;
  if (!d.rendered) return kNotConnected;
  std::unique_lock<std::mutex> lock(d.mutex);
  // Done once nothing is under way: a frame came, or the stream ended or
  // broke without one.
  const auto timeout = std::chrono::milliseconds(std::max(timeoutMs, 0));
  const bool done = d.settled.wait_for(lock, timeout, [&] {
    return d.failed || (!d.seekPending && !d.needPreroll && (d.delivered >= 0 || d.eos));
  });
  if (!done) return kStateIntermediate;
  if (d.delivered < 0) return kFail;
  return d.fromFrames(d.delivered) == position ? kOk : kFalse;
}

MediaStatus MediaGraph::GetDecodeStart(DecodeStart* start) const {
  if (!start) return kPointer;
  start->keyFrame = impl_->startKey;
  start->packetsDecoded = impl_->packetsDecoded;
  start->decoderThreads = impl_->decoderThreads;
  return kOk;
}

MediaStatus MediaGraph::GetEvent(long* code, long* param1, long* param2, int timeoutMs) {
  Impl& d = *impl_;
  if (!code || !param1 || !param2) return kPointer;
  std::unique_lock<std::mutex> lock(d.mutex);
  if (!d.settled.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)),
                          [&] { return !d.events.empty(); }))
    return kFail;
  const Event e = d.events.front();
  d.events.pop_front();
  *code = e.code;
  *param1 = e.param1;
  *param2 = e.param2;
  return kOk;
}

}  // namespace media

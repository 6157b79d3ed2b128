#include "tests/support/video_damage.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

namespace testvideo {

namespace {

bool fail(std::string* error, const std::string& what) {
  if (error) *error = what;
  return false;
}

// The bytes of the video stream's packet `number`, as the demuxer gives them.
bool videoPacketBytes(const std::string& path, int number, std::vector<char>* bytes) {
  AVFormatContext* fc = nullptr;
  if (avformat_open_input(&fc, path.c_str(), nullptr, nullptr) < 0) return false;
  bool found = false;
  AVPacket* p = av_packet_alloc();
  if (p && avformat_find_stream_info(fc, nullptr) >= 0) {
    const int video = av_find_best_stream(fc, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    for (int n = 0; !found && av_read_frame(fc, p) >= 0; av_packet_unref(p)) {
      if (p->stream_index != video || n++ != number) continue;
      bytes->assign(p->data, p->data + p->size);
      found = true;
    }
  }
  av_packet_free(&p);
  avformat_close_input(&fc);
  return found;
}

}  // namespace

bool zeroVideoPacket(const std::string& path, int number, std::string* error, double from,
                     double to) {
  std::vector<char> packet;
  if (!videoPacketBytes(path, number, &packet) || packet.empty())
    return fail(error, "no video packet " + std::to_string(number));
  std::vector<char> file;
  {
    std::ifstream in(path, std::ios::binary);
    file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // Containers that keep a packet in one piece (Matroska, MP4, AVI) hold its
  // bytes as they are; they are found by their content.
  const auto at = std::search(file.begin(), file.end(), packet.begin(), packet.end());
  if (at == file.end()) return fail(error, "packet " + std::to_string(number) + " is not stored whole");
  const auto size = static_cast<double>(packet.size());
  const auto first = static_cast<std::ptrdiff_t>(std::clamp(from, 0.0, 1.0) * size);
  const auto last = static_cast<std::ptrdiff_t>(std::clamp(to, 0.0, 1.0) * size);
  if (first < last) std::fill(at + first, at + last, '\0');
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(file.data(), static_cast<std::streamsize>(file.size()));
  return out ? true : fail(error, "cannot write " + path);
}

bool copyByteRange(const std::string& in, const std::string& out, std::uintmax_t from,
                   std::uintmax_t to, std::string* error) {
  std::ifstream src(in, std::ios::binary);
  if (!src) return fail(error, "cannot read " + in);
  std::vector<char> bytes((std::istreambuf_iterator<char>(src)), std::istreambuf_iterator<char>());
  if (from > to || to > bytes.size()) return fail(error, "no such bytes in " + in);
  std::ofstream dst(out, std::ios::binary | std::ios::trunc);
  dst.write(bytes.data() + from, static_cast<std::streamsize>(to - from));
  return dst ? true : fail(error, "cannot write " + out);
}

}  // namespace testvideo

// Synthetic test videos written with FFmpeg's libraries. In the numbered
// scene every frame carries its own number as a 16-bit pattern of bright and
// dark cells in its top half and three colour bars (red, green, blue from
// left to right) in its bottom half, so a reader can tell which frame it got,
// whether the rows arrived in the expected order and whether the bytes are in
// blue-green-red order. The panning scene is a finely textured picture seen
// by a camera that drifts by fractions of a pixel from frame to frame, each
// pixel averaged over its area and given a little noise: the kind of
// footage that multi-frame enhancement improves. The noisy numbered scene is
// the numbered one under fresh noise in every frame: the heaviest footage
// for a decoder, and quick to draw at any size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testvideo {

enum class Scene { Numbered, Panning, NoisyNumbered };

struct VideoSpec {
  Scene scene = Scene::Numbered;
  std::string container = "avi";  // avi, mp4, mov, mkv, mpg, ts
  std::string codec = "mpeg4";    // an FFmpeg encoder name
  int width = 96;                 // even; at least 32
  int height = 64;                // even; at least 32
  int frames = 24;
  int fps = 25;
  int bFrames = 0;                // maximum consecutive B-frames
  int gop = 12;                   // keyframe interval
  bool lossless = false;          // ask the encoder for lossless coding where it has a switch
  bool closedGop = true;          // false: B-frames may refer across a keyframe (open GOP)
  int blackLeadIn = 0;            // the first frames are black: a cut from black into the scene
  int cutAt = 0;                  // above 0: from this frame on the panning scene's second shot
  bool fastStart = false;         // MP4, MOV: the index written before the frame data
  // Frames whose packets are written with every byte zero: the file indexes
  // them as usual, but a decoder that looks for its headers (MPEG-4's, for
  // one) makes no picture of them.
  std::vector<int> zeroedFrames;
};

// True when this build of FFmpeg can write `spec` (encoder and muxer present).
bool canWrite(const VideoSpec& spec);

// Writes the video; returns false and a reason in `error` on failure.
bool writeVideo(const std::string& path, const VideoSpec& spec, std::string* error);

// Writes an AVI whose header promises `width` x `height` raw YUV 4:2:0 frames
// while each of its `frames` packets holds only a few bytes: it opens and
// indexes like a video, but no frame of it ever decodes.
bool writeUndecodableVideo(const std::string& path, int width, int height, int frames,
                           std::string* error);

// Draws frame `index` as top-down RGB24 rows (red first) `stride` bytes apart.
void drawFrame(int index, int width, int height, std::uint8_t* rgb, int stride);

// Draws frame `index` of the panning scene, rows as drawFrame's. Shot 1 is a
// second shot of about the same brightness: the scene turned half round, its
// colours rotated (red to green to blue to red).
void drawPanningFrame(int index, int width, int height, std::uint8_t* rgb, int stride, int shot = 0);

// The camera's offset in pixels at frame `index` of the panning scene.
void panningOffset(int index, double* dx, double* dy);

// Colours of the three bars in the bottom half, red first.
struct Rgb { std::uint8_t r, g, b; };
extern const Rgb kBarColours[3];

// Reads the frame number back from a bottom-up BGR24 picture (row 0 is the
// bottom row of the picture, rows `stride` bytes apart). Returns -1 when the
// cells are not clearly bright or dark.
int readFrameNumber(const std::uint8_t* bgrBottomUp, int width, int height, int stride);

}  // namespace testvideo

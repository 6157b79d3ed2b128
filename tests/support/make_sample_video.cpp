// Writes a small synthetic video: numbered frames over colour bars, or with
// --panning a textured scene under a slowly drifting camera.
// usage: make-sample-video [--panning] <output file> [container] [codec] [width] [height] [frames]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/test_video.h"

int main(int argc, char** argv) {
  testvideo::VideoSpec spec;
  if (argc > 1 && std::string(argv[1]) == "--panning") {
    spec.scene = testvideo::Scene::Panning;
    --argc;
    ++argv;
  }
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: %s [--panning] <output> [container avi|mp4|mov|mkv|mpg] [codec] [width] "
                 "[height] [frames]\n",
                 argv[0]);
    return 2;
  }
  spec.container = argc > 2 ? argv[2] : "avi";
  spec.codec = argc > 3 ? argv[3] : "mpeg4";
  spec.width = argc > 4 ? std::atoi(argv[4]) : 320;
  spec.height = argc > 5 ? std::atoi(argv[5]) : 240;
  spec.frames = argc > 6 ? std::atoi(argv[6]) : 50;
  spec.bFrames = 2;
  std::string error;
  if (!testvideo::writeVideo(argv[1], spec, &error)) {
    std::fprintf(stderr, "make-sample-video: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

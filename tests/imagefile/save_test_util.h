// Helpers shared by the tests of saving over files: pictures and their BMP
// files, saves run in a child process (as another user where needed), and a
// save that fails before one that works.
#pragma once

#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "imagefile/raster_image.h"
#include "tests/imagefile/imagefile_test_util.h"
#include "tests/support/file_size_limit.h"

namespace imagefile_test {

using Bytes = std::vector<std::uint8_t>;

constexpr uid_t kNobody = 65534;  // nobody and nogroup on Debian

// A 24-bit picture and its BMP file; pictures of other sizes or shades
// give other files.
struct Picture {
    Picture(std::uint32_t width, std::uint32_t height, std::uint8_t shade) : image(width, height, 24)
    {
        FillPattern24(image);
        image.RowAddress(0)[0] = shade;
        bytes = EncodeOk(image, RASTER_TYPE_BMP);
    }
    RasterImage image;
    Bytes bytes;
};

inline void WriteBytes(const std::string& path, const Bytes& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    ASSERT_EQ(std::fclose(file), 0);
}

// Runs `body` in a child process and returns its wait status, or -1 when the
// child has not ended after `seconds` (it is killed then). With `asNobody`, a
// root process's child first becomes the unprivileged user nobody, so that
// file permissions apply to it.
inline int RunInChild(const std::function<int()>& body, bool asNobody = false, int seconds = 60)
{
    std::fflush(stdout);  // what the child prints (failures too) comes once, after what came before
    const pid_t pid = fork();
    if (pid == 0) {
        if (asNobody && geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0))
            _exit(125);
        const int code = body();
        std::fflush(stdout);
        _exit(code);
    }
    if (pid < 0)
        return -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    std::chrono::microseconds pause(100);  // most children end at once
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(5000));
    }
    return status;
}

inline int ExitCode(int status)
{
    return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Judges the exit `status` of a child that ran a case on a scratch disk of
// its own: false, with nothing judged, where it could not have one (125),
// so that a test that reached none of its disks can skip.
inline bool JudgedOnScratchDisk(int status)
{
    if (ExitCode(status) == 125)
        return false;
    EXPECT_EQ(ExitCode(status), 0) << "1: see above; 2: the disk could not be laid out";
    return true;
}

// Saves `image` as BMP over the file `path` that holds `older`: an encoder
// that refuses and a write that fails leave the file as it was, then a save
// succeeds. 0 when all went so, else the number of the step that did not.
inline int FailThenSave(RasterImage& image, const std::string& path, const Bytes& older)
{
    if (image.Save(path.c_str(), RASTER_TYPE_WMF))
        return 1;
    {
        testsupport::FileSizeLimit limit(100);
        if (!limit.Active() || image.Save(path.c_str(), RASTER_TYPE_BMP))
            return 2;
    }
    if (ReadFile(path) != older)
        return 3;
    return image.Save(path.c_str(), RASTER_TYPE_BMP) ? 0 : 4;
}

}  // namespace imagefile_test

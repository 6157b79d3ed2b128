// The bridge between libjpeg and a RasterStream: one object that serves as
// libjpeg's destination manager (writing) and carries a source manager
// (reading) over the same stream, and an error manager that turns every
// libjpeg error into a long jump with the message in the coder's last-error
// text. All of them are plain records: they live in frames that a long jump
// crosses.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include "imagefile/raster_stream.h"

struct RasterJpegStreamManager {
    jpeg_destination_mgr dest;   // first: its address is the manager's
    jpeg_source_mgr src;
    RasterStream* stream;
    JOCTET buffer[4096];
    boolean startOfFile;

    // Sets up both managers over the stream (buffer empty, counts 0).
    void Init(RasterStream* target);

    static void InitDestination(j_compress_ptr cinfo);
    static boolean EmptyOutputBuffer(j_compress_ptr cinfo);
    static void TermDestination(j_compress_ptr cinfo);
    static void InitSource(j_decompress_ptr cinfo);
    static boolean FillInputBuffer(j_decompress_ptr cinfo);
    static void SkipInputData(j_decompress_ptr cinfo, long count);
};

struct RasterJpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char* lastError;   // at least JMSG_LENGTH_MAX characters

    // Installs the standard handling with the error exit replaced.
    jpeg_error_mgr* Init(char* errorText);
    [[noreturn]] static void ErrorExit(j_common_ptr cinfo);
};

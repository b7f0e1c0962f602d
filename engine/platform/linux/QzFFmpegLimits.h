// The bound on what FFmpeg's libraries may allocate at once, set by every reader of files.
#ifndef QZ_FFMPEG_LIMITS_H
#define QZ_FFMPEG_LIMITS_H

#include <cstddef>

extern "C" {
#include <libavutil/mem.h>
}

// The largest single block FFmpeg's libraries may allocate in this process: a plane of a
// 3840 x 2160 picture at 16 bits a sample takes 16 MiB. A damaged or hostile container could
// otherwise make the demuxer allocate tables of any size its header states (FFmpeg's own bound
// is 2 GiB). The bound is FFmpeg's only, and holds for every use of it in the process, so
// each reader sets it before it opens a file, whichever of them runs first.
constexpr size_t kQzMaxFFmpegBlockBytes = size_t{32} << 20;

inline void QzBoundFFmpegAllocations() { av_max_alloc(kQzMaxFFmpegBlockBytes); }

#endif

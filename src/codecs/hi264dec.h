#pragma once
// The H.264 decoder the channel decoder calls: create with an attribute
// record, feed one access unit (Annex-B byte stream) per call and then call
// again with no stream until nothing more can be output, destroy.
//
// Pictures are 8-bit 4:2:0 with packed planes: Y rows of width bytes, U and V
// rows of width / 2 bytes, height / 2 rows. The plane pointers stay valid until
// the next Hi264DecFrame or Hi264DecDestroy on the same handle.
#include <cstdint>

// Eight 32-bit words, as the caller fills them.
struct Hi264DecAttr {
    uint32_t pictureFormat;  // 0: planar 4:2:0, the only one offered
    uint32_t streamType;     // 0: Annex-B byte stream
    uint32_t maxWidthMb;     // largest picture expected, in macroblocks (hint)
    uint32_t maxHeightMb;
    uint32_t bufferCount;    // reference buffers (hint; the decoder sizes its own pool)
    uint32_t workMode;       // 1 one thread; 2 slice threads on every core (pictures still come out at once);
                             // 3 two frame threads: each picture comes out one call late, and the
                             // last one only with kHi264DecEndOfStream
    uint32_t userData;
    uint32_t reserved;
};

// Output picture; the caller zeroes it before the first call.
struct Hi264DecPicture {
    const uint8_t* y;
    const uint8_t* u;
    const uint8_t* v;
    uint32_t width;
    uint32_t height;
    uint32_t yStride;   // always width
    uint32_t uvStride;  // always width / 2
    uint64_t timestamp;  // the time stamp given with the access unit the picture came from
    uint32_t keyFrame;
    uint32_t reserved[9];
};

using Hi264DecHandle = struct Hi264Decoder*;

// Results of Hi264DecFrame.
constexpr int32_t kHi264DecPictureOut = 0;       // a picture is in the output record
constexpr int32_t kHi264DecNeedMoreInput = -1;   // nothing more to output until the next access unit
constexpr int32_t kHi264DecNoMorePictures = -2;  // end of stream reached, every picture output
constexpr int32_t kHi264DecBadArgument = -3;
constexpr int32_t kHi264DecStreamError = -4;     // the access unit was not decodable

// Hi264DecFrame flag: end of stream, output every picture still held back.
// Call with it until kHi264DecNoMorePictures (access units given meanwhile are
// ignored); the decoder then starts afresh for a new stream.
constexpr uint32_t kHi264DecEndOfStream = 1;
// Hi264DecFrame flag: a picture no other picture refers to is not decoded
// (a caller that has fallen behind sheds the work nobody would miss).
constexpr uint32_t kHi264DecSkipNonReference = 2;

// Null when the record is missing or asks for a picture format other than 0.
Hi264DecHandle Hi264DecCreate(const Hi264DecAttr* attr);

// `stream` may be null (with length 0) to collect the pictures still waiting.
int32_t Hi264DecFrame(Hi264DecHandle handle, const uint8_t* stream, uint32_t length,
                      uint64_t timestamp, Hi264DecPicture* picture, uint32_t flags);

void Hi264DecDestroy(Hi264DecHandle handle);

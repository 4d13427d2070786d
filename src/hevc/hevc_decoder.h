#pragma once
// One H.265 decoding session over libavcodec: access units in, pictures out in
// display order as 8-bit 4:2:0 planes. The entry points in ihw265d.cpp wrap it.
#include <cstdint>

#include "codecs/yuv420_view.h"
#include "hevc/ihw265d.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace corvane {

class HevcDecoder {
public:
    // `threadType` as IHW265D_InitParam::eThreadType.
    HevcDecoder(uint32_t channelId, IHW265D_LogFxn log, int32_t threadType);
    ~HevcDecoder();
    HevcDecoder(const HevcDecoder&) = delete;
    HevcDecoder& operator=(const HevcDecoder&) = delete;

    // IHW265D_OK, IHW265D_ERR_NO_DECODER or IHW265D_ERR_ALLOCATION.
    uint32_t Open();
    // Fills bytesConsumed and status (and the picture fields with status 0).
    uint32_t Decode(const IHW265D_InArgs& in, IHW265D_OutArgs& out);

private:
    uint32_t Send(const IHW265D_InArgs& in, IHW265D_OutArgs& out, bool& pictureOut);
    // 1 picture out, 0 none ready yet, -1 end of the flushed stream.
    int Receive(IHW265D_OutArgs& out);

    const uint32_t channelId_;
    const IHW265D_LogFxn log_;
    const int32_t threadType_;
    AVCodecContext* context_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    Yuv420Converter converter_;
    bool flushing_ = false;  // end of stream sent, held pictures still coming
};

}  // namespace corvane

#pragma once
// The H.265 decoder behind three entry points: create with an initialisation
// record (every field range-checked, each failure with its own code), decode
// one access unit (Annex-B byte stream) at a time, delete.
//
// Decoding an access unit is a loop: call IHW265D_Decode with the unit; while
// the status is 0 a picture is ready (planes valid until the next call on the
// handle); advance the stream by the bytes consumed and call again; status 1
// means the input is used up. With decode mode 1 (flush) the calls return the
// pictures still held back, then status 2; the decoder then starts afresh.
// Pictures are 8-bit 4:2:0 and come out in display order.
#include <cstdint>

using IHW265D_Handle = void*;

// Callbacks; the first argument is the channel id of the initialisation record.
using IHW265D_MallocFxn = void* (*)(uint32_t channelId, uint32_t size);
using IHW265D_FreeFxn = void (*)(uint32_t channelId, void* memory);
using IHW265D_LogFxn = void (*)(uint32_t channelId, int32_t level, const char* format, ...);

// Levels given to the log function.
constexpr int32_t IHW265D_LOG_ERROR = 0;
constexpr int32_t IHW265D_LOG_WARNING = 1;

struct IHW265D_InitParam {
    uint32_t channelId;    // handed back to the callbacks
    int32_t iMaxWidth;     // 8..16384
    int32_t iMaxHeight;    // 8..16384
    int32_t iMaxRefNum;    // 0..15
    int32_t iMaxVPSNum;    // 1..16
    int32_t iMaxSPSNum;    // 1..16
    int32_t iMaxPPSNum;    // 1..64
    int32_t iBitDepth;     // 8 or 10
    int32_t eThreadType;   // 0 one thread, 1 slice threads, 2 two frame threads (a picture comes out a call late)
    int32_t eOutputOrder;  // 0 decode order, 1 display order (others become 1)
    uint32_t reserved;
    IHW265D_MallocFxn MallocFxn;  // allocates the decoder instance
    IHW265D_FreeFxn FreeFxn;
    IHW265D_LogFxn LogFxn;
};

// Decode modes.
constexpr uint32_t IHW265D_DECODE_NORMAL = 0;
constexpr uint32_t IHW265D_DECODE_FLUSH = 1;
// Normal decoding, except that pictures no other picture refers to are
// skipped (a caller that has fallen behind).
constexpr uint32_t IHW265D_DECODE_SKIP_NONREF = 2;

struct IHW265D_InArgs {
    const uint8_t* stream;
    uint32_t length;  // bytes
    uint64_t timestamp;
    uint32_t decodeMode;
    uint32_t reserved;
};

// Status values of IHW265D_OutArgs.
constexpr uint32_t IHW265D_PICTURE_READY = 0;
constexpr uint32_t IHW265D_INPUT_USED_UP = 1;
constexpr uint32_t IHW265D_NO_MORE_OUTPUT = 2;

struct IHW265D_OutArgs {
    uint32_t channelId;
    uint32_t bytesConsumed;
    uint64_t timestamp;  // of the access unit the picture came from
    uint32_t keyFrame;
    uint32_t status;
    uint32_t width;
    uint32_t height;
    uint32_t yStride;
    uint32_t uvStride;
    uint32_t reserved1[14];
    const uint8_t* planes[3];  // Y, U, V
    uint32_t reserved2[31];
};

// Result codes.
constexpr uint32_t IHW265D_OK = 0;
constexpr uint32_t IHW265D_ERR_NULL_ARGUMENT = 0xF0401000;
constexpr uint32_t IHW265D_ERR_FOREIGN_HANDLE = 0xF0401001;
constexpr uint32_t IHW265D_ERR_ALLOCATION = 0xF0402000;
constexpr uint32_t IHW265D_ERR_MAX_WIDTH = 0xF0402001;
constexpr uint32_t IHW265D_ERR_MAX_HEIGHT = 0xF0402002;
constexpr uint32_t IHW265D_ERR_MAX_REF_NUM = 0xF0402003;  // also given for the bit depth
constexpr uint32_t IHW265D_ERR_BIT_DEPTH = IHW265D_ERR_MAX_REF_NUM;
constexpr uint32_t IHW265D_ERR_MAX_VPS_NUM = 0xF0402004;
constexpr uint32_t IHW265D_ERR_MAX_SPS_NUM = 0xF0402005;
constexpr uint32_t IHW265D_ERR_MAX_PPS_NUM = 0xF0402006;
constexpr uint32_t IHW265D_ERR_THREAD_TYPE = 0xF0402007;
constexpr uint32_t IHW265D_ERR_NO_MALLOC = 0xF0402008;
constexpr uint32_t IHW265D_ERR_NO_FREE = 0xF0402009;
constexpr uint32_t IHW265D_ERR_NO_LOG = 0xF040200A;
constexpr uint32_t IHW265D_ERR_NO_DECODER = 0xF040200B;  // the H.265 decoder could not be opened
constexpr uint32_t IHW265D_ERR_STREAM = 0xF0403000;      // the access unit was not decodable

uint32_t IHW265D_Create(IHW265D_Handle* handle, const IHW265D_InitParam* param);
uint32_t IHW265D_Decode(IHW265D_Handle handle, const IHW265D_InArgs* in, IHW265D_OutArgs* out);
uint32_t IHW265D_Delete(IHW265D_Handle handle);

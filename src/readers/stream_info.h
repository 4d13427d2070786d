#pragma once
#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "readers/byte_order.h"

namespace corvane {

// What a reader reports about its stream.
struct StreamInfo {
    char name[20] = {};           // recorder name, NUL-terminated when shorter
    uint32_t duration = 0;        // seconds
    uint32_t headerWord = 0;      // copied from the file header
    uint16_t frameRate = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint32_t audioType = 0;
    uint32_t reserved1[2] = {};
    uint32_t channelSlots = 0;    // multi-channel files only
    uint32_t reserved2 = 0;
    uint32_t channelsPresent = 0; // multi-channel files only
    uint32_t oneChannelPerFile = 0;
    uint32_t hevc = 0;

    std::string Name() const { return std::string(name, strnlen(name, sizeof name)); }
};

// Stream parameters in the 100-byte layout of the version 4 file header:
//
//   0 u32 magic            28 u32 duration (s)     38 u8 audio type
//   4 u32 version          32 u32 header word      39 u8 audio-present flag
//   8 20B recorder name    36 u8  header byte      40 u16 width
//                          37 u8  frame rate       42 u16 height
//                          44 u8  (one byte)       45..99 rest of that header
struct StreamDescription {
    std::array<uint8_t, 100> raw{};

    uint32_t Magic() const { return GetU32(&raw[0]); }
    uint32_t Version() const { return GetU32(&raw[4]); }
    std::string Name() const { return NameAt(8); }
    uint32_t Duration() const { return GetU32(&raw[28]); }
    uint32_t HeaderWord() const { return GetU32(&raw[32]); }
    uint8_t HeaderByte() const { return raw[36]; }
    uint8_t FrameRate() const { return raw[37]; }
    uint8_t AudioType() const { return raw[38]; }
    uint8_t AudioFlag() const { return raw[39]; }
    uint16_t Width() const { return GetU16(&raw[40]); }
    uint16_t Height() const { return GetU16(&raw[42]); }

    void SetDuration(uint32_t s) { PutU32(&raw[28], s); }

    // A NUL-padded text field of 20 bytes.
    std::string NameAt(size_t offset) const {
        const char* p = reinterpret_cast<const char*>(&raw[offset]);
        return std::string(p, strnlen(p, 20));
    }
};

}  // namespace corvane

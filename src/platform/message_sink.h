#pragma once
// Posted messages between threads. Core code posts (message id, wParam, lParam)
// to a sink; the player's sink turns them into Qt events handled on the GUI
// thread, tests record them. Objects handed over in wParam belong to the
// receiver.
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

namespace corvane {

// Private message ids.
enum : uint32_t {
    kMsgScanFolder = 0x9431,      // wParam: owned std::string* of the folder being searched
    kMsgScanDone = 0x9430,
    kMsgMeasured = 0x1600,        // wParam: CDiskVideo*
    kMsgBroken = 0x1700,          // wParam: CDiskVideo*
    kMsgRepaired = 0x1701,        // wParam: CDiskVideo*
    kMsgRepairing = 0x1702,       // wParam: CDiskVideo* the repair worker has begun on
    kMsgSpeedsRead = 0x1703,      // wParam: CDiskVideo* whose GPS speeds the measuring worker read
    kMsgEndOfRecording = 0x8401,  // also: conversion channel done (wParam row, lParam 100)
    kMsgConvertProgress = 0x8402, // wParam row, lParam percent
    kMsgConvertDone = 0x8403,
    kMsgMosaicSecond = 0x8404,    // wParam seconds of the span in the mosaic so far, lParam seconds of the span
};

struct PostedMessage {
    uint32_t id;
    uintptr_t wParam;
    intptr_t lParam;
};

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Thread-safe; never blocks for long.
    virtual void Post(uint32_t id, uintptr_t wParam, intptr_t lParam) = 0;
};

// A sink that queues what it receives; used by tests and the command-line tool.
class QueueMessageSink : public MessageSink {
public:
    void Post(uint32_t id, uintptr_t wParam, intptr_t lParam) override;
    std::optional<PostedMessage> Take();
    size_t Size();

private:
    std::mutex mutex_;
    std::deque<PostedMessage> queue_;
};

}  // namespace corvane

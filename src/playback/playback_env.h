#pragma once
// What the playback engine is given by its host (the desktop player, the
// command-line tool, a test): where pictures and sound go, how messages
// reach the user, and the few hooks that tests use to pace and observe it.
#include <cstdint>
#include <functional>
#include <thread>

#include "config/settings.h"
#include "platform/sync.h"
#include "readers/mem_unit.h"

namespace corvane {

class VideoOutputFactory;
class SoundDevice;
class MessageBoxes;

enum class WorkerKind { kDecoding, kReading, kAudio };

struct PlaybackEnvironment {
    VideoOutputFactory* video = nullptr;  // required for pictures; null: no channel starts
    SoundDevice* sound = nullptr;         // null: no sound device can be opened
    MessageBoxes* messages = nullptr;     // null: messages are dropped
    AppSettings* settings = &g_AppSettings;
    // The processors the decoders may share; 0: the machine's. With more
    // than the recording has channels, each decoder uses threads of its own.
    unsigned cores = 0;

    // The reading thread's wait after each read step: on `wake` (set by stop)
    // for `ms` milliseconds. Empty: the thread keeps to a schedule of these
    // waits, waiting on the event until the next step is due.
    std::function<void(CxEvent& wake, uint32_t ms)> waitStep;
    // Starts a worker thread running `body`; false when it cannot be
    // started. Empty: a std::thread.
    std::function<bool(WorkerKind kind, std::thread& thread, std::function<void()> body)> startThread;
    // Called on a decoding thread for every record it decodes.
    std::function<void(int channel, const RecordHeader& header)> onDecode;
};

// Starts a worker through the environment's hook or as a std::thread.
bool StartWorker(const PlaybackEnvironment& env, WorkerKind kind, std::thread& thread, std::function<void()> body);

}  // namespace corvane

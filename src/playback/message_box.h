#pragma once
// The few messages playback shows the user ("CreateDecoder failed!!!", ...)
// go through this interface: the desktop player shows a message box, tests and
// the command-line tool keep what was said.
#include <mutex>
#include <string>
#include <vector>

namespace corvane {

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Called on the thread that runs the failing command (the GUI thread in
    // the player); returns when the user has seen the message.
    virtual void Show(const std::string& text) = 0;
    // A message that reports success rather than a problem.
    virtual void Inform(const std::string& text) { Show(text); }
};

// Keeps every message in order; safe to use from any thread.
class CapturedMessageBoxes : public MessageBoxes {
public:
    void Show(const std::string& text) override;
    std::vector<std::string> Texts();

private:
    std::mutex mutex_;
    std::vector<std::string> texts_;
};

inline constexpr const char* kMsgCreateDecoderFailed = "CreateDecoder failed!!!";
inline constexpr const char* kMsgCreateOutputFailed = "CreateDDraw failed!!!";
inline constexpr const char* kMsgStartThreadFailed = "StartWorkThread failed!!!";

}  // namespace corvane

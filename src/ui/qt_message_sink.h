#pragma once
// Delivers posted messages to a QObject on its own thread: each Post becomes a
// queued event, so handlers run on the GUI thread in the order of posting.
#include <QCoreApplication>
#include <QEvent>
#include <QPointer>

#include "platform/message_sink.h"

namespace corvane {

class PostedMessageEvent : public QEvent {
public:
    static QEvent::Type EventType() {
        static const int type = QEvent::registerEventType();
        return static_cast<QEvent::Type>(type);
    }
    explicit PostedMessageEvent(PostedMessage m) : QEvent(EventType()), message(m) {}
    PostedMessage message;
};

class QtMessageSink : public MessageSink {
public:
    explicit QtMessageSink(QObject* receiver) : receiver_(receiver) {}
    void Post(uint32_t id, uintptr_t wParam, intptr_t lParam) override {
        QCoreApplication::postEvent(receiver_, new PostedMessageEvent({id, wParam, lParam}));
    }

private:
    QObject* receiver_;
};

}  // namespace corvane

// The evening's host engine: the Host and TypeRegistry the plug-in is given, the transcript every
// observation goes to, the manual clock and the queue of events that pumpEvents delivers.
#pragma once

#include "core/abi.h"
#include "tests/pe32/evening/evening_harness.h"

namespace evening {

// One line of the transcript. Lines starting with "call " record a host operation the module called.
void note(const char* format, ...);
void setHarness(const EveningHarness& harness);
int fail(const char* what);  // a check of the host failed: noted, and the evening's result is 1, which this returns
int failures();

// A message the host makes: deleted through slot 0, which counts it and returns this.
struct HostMessage : Message {
    HostMessage(std::uint32_t messageCode, std::intptr_t third, std::intptr_t fourth);
    void* deletingDestructor(unsigned flags) override;
};
std::int32_t messagesAlive();

class EveningHost : public Host {
public:
    void unusedSlot0() override { fail("Host slot 0 called"); }
    void pumpEvents() override;
    void unusedSlot2() override { fail("Host slot 2 called"); }
    void unusedSlot3() override { fail("Host slot 3 called"); }
    ObjectRegistry* objectRegistry() override;
    TypeRegistry* typeRegistry() override;
    void* spareServiceB() override;
    void* spareServiceA() override;
    EntryValue findInterface(const char* objectName, const char* interfaceName) override;
    void log(std::int32_t level, const char* format, ...) override;
    void unusedSlot10() override { fail("Host slot 10 called"); }
    void unusedSlot11() override { fail("Host slot 11 called"); }
    std::uint32_t currentTime() override;

    void advance(std::uint32_t milliseconds) { now_ += milliseconds; }
    void setTime(std::uint32_t time) { now_ = time; }
    std::uint32_t now() const { return now_; }

    // Something pumpEvents delivers: a message to a listener once the clock reaches `due`.
    void post(std::uint32_t due, IListener* listener, Message* message);
    void bringForward(IListener* listener);  // its events are due now
    std::int32_t pending() const { return queued_; }

private:
    struct Event {
        std::uint32_t due;
        IListener* listener;
        Message* message;
    };
    std::uint32_t now_ = 0;
    Event events_[64] = {};
    std::int32_t queued_ = 0;
};

EveningHost& host();
std::uint32_t typeIdOf(const char* typeName);

}  // namespace evening

#include "tests/pe32/evening/host_engine.h"

#include "tests/pe32/evening/host_tables.h"
#include "tests/pe32/evening/kit.h"

namespace evening {
namespace {

EveningHarness harnessInUse;
int failed = 0;
std::int32_t liveMessages = 0;

class EveningTypes : public TypeRegistry {
public:
    std::uint32_t typeIdOf(const char* typeName) override {
        note("call TypeRegistry::typeIdOf %s", typeName);
        return idOf(typeName);
    }
    const char* typeNameOf(std::uint32_t typeId) override {
        note("call TypeRegistry::typeNameOf %u", typeId);
        return typeId < count_ ? names_[typeId] : "unknown";
    }
    std::uint32_t idOf(const char* typeName) {
        for (std::uint32_t i = 0; i < count_; ++i)
            if (sameTextNoCase(names_[i], typeName)) return i;
        if (count_ == kCapacity) return 0;
        names_[count_] = copyText(typeName);
        return count_++;
    }

private:
    static constexpr std::uint32_t kCapacity = 32;
    const char* names_[kCapacity] = {};
    std::uint32_t count_ = 0;
};

EveningTypes& types() {
    static EveningTypes registry;
    return registry;
}

}  // namespace

void setHarness(const EveningHarness& harness) { harnessInUse = harness; }

void note(const char* format, ...) {
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    formatTo(line, sizeof line, format, arguments);
    va_end(arguments);
    if (harnessInUse.report) harnessInUse.report(line);
}

int fail(const char* what) {
    ++failed;
    note("FAILED %s", what);
    return 1;
}

int failures() { return failed; }

HostMessage::HostMessage(std::uint32_t messageCode, std::intptr_t third, std::intptr_t fourth) {
    code = messageCode;
    word3 = third;
    word4 = fourth;
    ++liveMessages;
}

void* HostMessage::deletingDestructor(unsigned flags) {
    note("call Message::deletingDestructor %x flags %u", code, flags);
    --liveMessages;
    return this;  // the evening's memory is never given back
}

std::int32_t messagesAlive() { return liveMessages; }

EveningHost& host() {
    static EveningHost engine;
    return engine;
}

std::uint32_t typeIdOf(const char* typeName) { return types().idOf(typeName); }

void EveningHost::pumpEvents() {
    note("call Host::pumpEvents");
    // Events due now, in the order they were posted; a delivery may post more, which wait for the
    // next pass, as a host's event loop would have it.
    Event due[64];
    std::int32_t dueCount = 0;
    std::int32_t kept = 0;
    for (std::int32_t i = 0; i < queued_; ++i) {
        if (static_cast<std::int32_t>(now_ - events_[i].due) >= 0) due[dueCount++] = events_[i];
        else events_[kept++] = events_[i];
    }
    queued_ = kept;
    for (std::int32_t i = 0; i < dueCount; ++i) {
        note("event %x delivered", due[i].message->code);
        due[i].listener->receive(due[i].message);
    }
}

void EveningHost::post(std::uint32_t due, IListener* listener, Message* message) {
    if (queued_ == 64) {
        fail("event queue full");
        return;
    }
    events_[queued_++] = Event{due, listener, message};
}

void EveningHost::bringForward(IListener* listener) {
    for (std::int32_t i = 0; i < queued_; ++i)
        if (events_[i].listener == listener) events_[i].due = now_;
}

ObjectRegistry* EveningHost::objectRegistry() {
    note("call Host::objectRegistry");
    return &registry();
}

TypeRegistry* EveningHost::typeRegistry() {
    note("call Host::typeRegistry");
    return &types();
}

void* EveningHost::spareServiceB() {
    note("call Host::spareServiceB");
    return reinterpret_cast<void*>(&harnessInUse);
}

void* EveningHost::spareServiceA() {
    note("call Host::spareServiceA");
    return nullptr;
}

EntryValue EveningHost::findInterface(const char* objectName, const char* interfaceName) {
    const EntryValue value = findRegistered(objectName, interfaceName);
    note("call Host::findInterface %s %s -> %s", objectName ? objectName : "(any)", interfaceName, value ? "found" : "none");
    return value;
}

void EveningHost::log(std::int32_t level, const char* format, ...) {
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    formatTo(line, sizeof line, format, arguments);
    va_end(arguments);
    // Each line is one entry of the transcript with its line ends, so a lost or added one is a difference.
    note("log %i %s", level, line);
}

std::uint32_t EveningHost::currentTime() {
    note("call Host::currentTime %u", now_);
    return now_;
}

}  // namespace evening

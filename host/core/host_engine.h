// The reference host engine: a real Host with its object registry, type registry, log, clock and event
// queue. Tools run it on the real monotonic clock; tests set the clock by hand.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/abi.h"

namespace hostengine {

struct LogLine {
    std::int32_t level;
    std::string text;  // formatted, exactly as the module wrote it (line break included, if any)
};

class HostTypeRegistry : public TypeRegistry {
public:
    std::uint32_t typeIdOf(const char* typeName) override;  // ids start at 1; names compare case-insensitively
    const char* typeNameOf(std::uint32_t typeId) override;  // "" for an unknown id

private:
    std::vector<std::unique_ptr<std::string>> names_;
};

class HostEngine : public Host {
public:
    HostEngine();  // binds the host's own copy of the shared classes to this host
    ~HostEngine();
    HostEngine(const HostEngine&) = delete;
    HostEngine& operator=(const HostEngine&) = delete;

    // Host slots
    void unusedSlot0() override {}
    void pumpEvents() override;
    void unusedSlot2() override {}
    void unusedSlot3() override {}
    ObjectRegistry* objectRegistry() override { return &registry_; }
    TypeRegistry* typeRegistry() override { return &types_; }
    void* spareServiceB() override;
    void* spareServiceA() override;
    EntryValue findInterface(const char* objectName, const char* interfaceName) override;
    void log(std::int32_t level, const char* format, ...) override;
    void unusedSlot10() override {}
    void unusedSlot11() override {}
    std::uint32_t currentTime() override;

    // Clock: manual (the default) or the real monotonic clock.
    void setTime(std::uint32_t milliseconds);
    void advance(std::uint32_t milliseconds);  // wraps at 2^32
    void useRealClock(bool real);  // true: milliseconds since this call, from the monotonic clock

    // Events: run in posting order by pumpEvents; an event posted while pumping waits for the next pass.
    void post(std::function<void()> event);
    std::size_t pendingEvents() const { return events_.size(); }
    // Runs pumpEvents until the queue is empty (at most `maxPasses` passes).
    void drainEvents(int maxPasses = 1000);

    // Log: every line is kept; lines at or below the echo level also go to stderr (0: none).
    const std::vector<LogLine>& logLines() const { return log_; }
    void clearLog() { log_.clear(); }
    int countLog(const std::string& text) const;           // lines equal to text
    int countLogContaining(const std::string& part) const;  // lines containing part
    void setEchoLevel(std::int32_t level) { echoLevel_ = level; }

private:
    ObjectRegistry registry_;
    HostTypeRegistry types_;
    std::deque<std::function<void()>> events_;
    std::uint64_t posted_ = 0;  // events ever posted; the front of events_ is number run_
    std::uint64_t run_ = 0;     // events ever taken from the queue
    std::vector<LogLine> log_;
    std::int32_t echoLevel_ = 0;
    std::uint32_t manualTime_ = 0;
    bool realClock_ = false;
    std::uint64_t realStartMs_ = 0;
    int spareA_ = 0;
    int spareB_ = 0;
};

// A host object registered in the registry under an object name: the host's factories and producer
// derive from it and add their interfaces to `interfaces`.
class HostObject {
public:
    explicit HostObject(const char* objectName) : interfaces(objectName) {}
    virtual ~HostObject() { interfaces.teardown(); }
    HostObject(const HostObject&) = delete;
    HostObject& operator=(const HostObject&) = delete;
    InterfaceTable* handle() { return &interfaces; }

    InterfaceTable interfaces;
};

}  // namespace hostengine

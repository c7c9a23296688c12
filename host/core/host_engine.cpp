#include "host/core/host_engine.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "core/names.h"
#include "module/services.h"

namespace hostengine {
namespace {

std::uint64_t steadyMilliseconds() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Engines alive in this process, oldest first. The host's copy of the shared classes has one set of
// services; when the engine bound to it goes, the newest engine still alive takes it over.
std::vector<HostEngine*>& liveEngines() {
    static std::vector<HostEngine*> engines;
    return engines;
}

std::string formatLine(const char* format, va_list args) {
    if (!format) return {};
    char small[512];
    va_list measure;
    va_copy(measure, args);
    int length = std::vsnprintf(small, sizeof small, format, measure);
    va_end(measure);
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < sizeof small) return std::string(small, static_cast<std::size_t>(length));
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Type registry

std::uint32_t HostTypeRegistry::typeIdOf(const char* typeName) {
    if (!typeName) return 0;
    for (std::size_t i = 0; i < names_.size(); ++i)
        if (sameName(names_[i]->c_str(), typeName)) return static_cast<std::uint32_t>(i + 1);
    names_.push_back(std::make_unique<std::string>(typeName));
    return static_cast<std::uint32_t>(names_.size());
}

const char* HostTypeRegistry::typeNameOf(std::uint32_t typeId) {
    if (typeId == 0 || typeId > names_.size()) return "";
    return names_[typeId - 1]->c_str();
}

// ---------------------------------------------------------------------------------------------------
// Host engine

HostEngine::HostEngine() {
    liveEngines().push_back(this);
    bindServices(this);
}

HostEngine::~HostEngine() {
    auto& engines = liveEngines();
    engines.erase(std::remove(engines.begin(), engines.end(), this), engines.end());
    if (services().host == this) {
        if (engines.empty())
            unbindServices();
        else
            bindServices(engines.back());
    }
    // Nodes of objects that outlive the engine (or of a plug-in never released) go with the registry;
    // those objects' own teardown no longer reaches it once the services are unbound.
    RegistryNode* node = registry_.head;
    while (node) {
        RegistryNode* next = node->next;
        std::free(node);
        node = next;
    }
    registry_.head = registry_.cursor = nullptr;
}

void HostEngine::pumpEvents() {
    // Only events posted before this pass began run in it. A nested pass (a blocking read waiting
    // inside an event) may run the rest of the outer pass's events; each event runs once either way.
    const std::uint64_t limit = posted_;
    while (!events_.empty() && run_ < limit) {
        std::function<void()> event = std::move(events_.front());
        events_.pop_front();
        ++run_;
        if (event) event();
    }
}

void HostEngine::post(std::function<void()> event) {
    events_.push_back(std::move(event));
    ++posted_;
}

void HostEngine::drainEvents(int maxPasses) {
    for (int pass = 0; pass < maxPasses && !events_.empty(); ++pass) pumpEvents();
}

void* HostEngine::spareServiceB() { return &spareB_; }
void* HostEngine::spareServiceA() { return &spareA_; }

EntryValue HostEngine::findInterface(const char* objectName, const char* interfaceName) {
    if (!interfaceName) return 0;
    for (RegistryNode* node = registry_.head; node; node = node->next) {
        if (!sameName(node->interfaceName, interfaceName)) continue;
        if (objectName && !sameName(node->objectName, objectName)) continue;
        return node->value;
    }
    return 0;
}

void HostEngine::log(std::int32_t level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = formatLine(format, args);
    va_end(args);
    if (echoLevel_ > 0 && level <= echoLevel_) {
        bool ended = !text.empty() && text.back() == '\n';
        std::fprintf(stderr, "[%d] %s%s", static_cast<int>(level), text.c_str(), ended ? "" : "\n");
    }
    log_.push_back(LogLine{level, std::move(text)});
}

int HostEngine::countLog(const std::string& text) const {
    return static_cast<int>(std::count_if(log_.begin(), log_.end(), [&](const LogLine& line) { return line.text == text; }));
}

int HostEngine::countLogContaining(const std::string& part) const {
    return static_cast<int>(
        std::count_if(log_.begin(), log_.end(), [&](const LogLine& line) { return line.text.find(part) != std::string::npos; }));
}

std::uint32_t HostEngine::currentTime() {
    if (!realClock_) return manualTime_;
    return static_cast<std::uint32_t>(steadyMilliseconds() - realStartMs_);
}

void HostEngine::setTime(std::uint32_t milliseconds) { manualTime_ = milliseconds; }

void HostEngine::advance(std::uint32_t milliseconds) { manualTime_ += milliseconds; }

void HostEngine::useRealClock(bool real) {
    if (real) realStartMs_ = steadyMilliseconds();
    realClock_ = real;
}

}  // namespace hostengine

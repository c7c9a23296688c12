// Loads pawn.kvx exactly as a game does: open the library, call init with the host and four strings,
// find "IKTPlayerFactory" in the returned handle's table; release and close at the end.
#pragma once

#include <string>

#include "core/abi.h"

namespace hostengine {

class PluginLoader {
public:
    PluginLoader() = default;
    ~PluginLoader();  // releases and closes what is still open
    PluginLoader(const PluginLoader&) = delete;
    PluginLoader& operator=(const PluginLoader&) = delete;

    // Opens the library (PAWN_PLUGIN_PATH when path is empty). False with error() set on failure.
    bool open(const std::string& path = {});
    // Calls the exported init; returns the plug-in object's handle (null on failure).
    InterfaceTable* init(Host* host, const char* const* args = nullptr);
    IKTPlayerFactory* factory() const;  // "IKTPlayerFactory" of the handle, or null
    InterfaceTable* handle() const { return handle_; }
    const char* const* dependencies() const;
    void release();  // the exported release (only if init ran)
    void close();    // unloads the library
    const std::string& error() const { return error_; }

    // The exported release, called again regardless of state (for tests of a double release).
    void callRelease() const;

private:
    void* library_ = nullptr;
    PluginInitFunction init_ = nullptr;
    PluginReleaseFunction release_ = nullptr;
    PluginDependenciesFunction dependencies_ = nullptr;
    InterfaceTable* handle_ = nullptr;
    std::string error_;
};

}  // namespace hostengine

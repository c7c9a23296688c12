#include "host/core/plugin_loader.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace hostengine {
namespace {

#ifdef _WIN32
void* openLibrary(const std::string& path, std::string& error) {
    HMODULE module = LoadLibraryA(path.c_str());
    if (!module) error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
    return reinterpret_cast<void*>(module);
}
void* symbolOf(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
void closeLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }
#else
void* openLibrary(const std::string& path, std::string& error) {
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* reason = dlerror();
        error = "cannot load " + path + ": " + (reason ? reason : "unknown error");
    }
    return library;
}
void* symbolOf(void* library, const char* name) { return dlsym(library, name); }
void closeLibrary(void* library) { dlclose(library); }
#endif

template <class Function>
Function functionOf(void* library, const char* name) {
    return reinterpret_cast<Function>(symbolOf(library, name));
}

}  // namespace

PluginLoader::~PluginLoader() {
    release();
    close();
}

bool PluginLoader::open(const std::string& path) {
    close();
    error_.clear();
    const std::string file = path.empty() ? std::string(PAWN_PLUGIN_PATH) : path;
    library_ = openLibrary(file, error_);
    if (!library_) return false;
    init_ = functionOf<PluginInitFunction>(library_, "init");
    release_ = functionOf<PluginReleaseFunction>(library_, "release");
    dependencies_ = functionOf<PluginDependenciesFunction>(library_, "dependencies");
    if (!init_ || !release_ || !dependencies_) {
        error_ = file + " does not export init, release and dependencies";
        close();
        return false;
    }
    return true;
}

InterfaceTable* PluginLoader::init(Host* host, const char* const* args) {
    if (!init_) {
        error_ = "init called before the library was opened";
        return nullptr;
    }
    static const char* const kNoArgs[4] = {nullptr, nullptr, nullptr, nullptr};
    handle_ = init_(host, args ? args : kNoArgs);
    if (!handle_) error_ = "init returned no plug-in object";
    return handle_;
}

IKTPlayerFactory* PluginLoader::factory() const {
    return handle_ ? handle_->find<IKTPlayerFactory>("IKTPlayerFactory") : nullptr;
}

const char* const* PluginLoader::dependencies() const { return dependencies_ ? dependencies_() : nullptr; }

void PluginLoader::release() {
    if (!handle_) return;
    handle_ = nullptr;
    if (release_) release_();
}

void PluginLoader::callRelease() const {
    if (release_) release_();
}

void PluginLoader::close() {
    if (!library_) return;
    release();
    closeLibrary(library_);
    library_ = nullptr;
    init_ = nullptr;
    release_ = nullptr;
    dependencies_ = nullptr;
}

}  // namespace hostengine

#include "alarm/sdlapi.h"

#include <mutex>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace zorvane::alarm {
namespace {

#ifdef _WIN32
constexpr const char* kLibraryName = "SDL2.dll";
void* openLibrary() {
    return reinterpret_cast<void*>(::LoadLibraryA(kLibraryName));
}
void closeLibrary(void* handle) {
    ::FreeLibrary(static_cast<HMODULE>(handle));
}
void* symbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle), name));
}
#else
constexpr const char* kLibraryName = "libSDL2-2.0.so.0";
void* openLibrary() {
    return ::dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
}
void closeLibrary(void* handle) {
    ::dlclose(handle);
}
void* symbol(void* handle, const char* name) {
    return ::dlsym(handle, name);
}
#endif

struct LoadedSdl {
    SdlApi api{};
    void* handle = nullptr;
    ~LoadedSdl() {
        if (handle) {
            // Frees what SDL keeps for the whole process (hints, error texts) before
            // its code goes away.
            if (api.quit) {
                api.quit();
            }
            closeLibrary(handle);
        }
    }
};

template <typename Fn> bool resolve(void* handle, Fn& fn, const char* name) {
    fn = reinterpret_cast<Fn>(symbol(handle, name));
    return fn != nullptr;
}

std::unique_ptr<LoadedSdl> openSdl() {
    auto loaded = std::make_unique<LoadedSdl>();
    loaded->handle = openLibrary();
    if (!loaded->handle) {
        return nullptr;
    }
    void* h = loaded->handle;
    SdlApi& a = loaded->api;
    const bool all =
        resolve(h, a.initSubSystem, "SDL_InitSubSystem") && resolve(h, a.quit, "SDL_Quit") &&
        resolve(h, a.quitSubSystem, "SDL_QuitSubSystem") && resolve(h, a.setHint, "SDL_SetHint") &&
        resolve(h, a.openAudioDevice, "SDL_OpenAudioDevice") &&
        resolve(h, a.closeAudioDevice, "SDL_CloseAudioDevice") &&
        resolve(h, a.pauseAudioDevice, "SDL_PauseAudioDevice") &&
        resolve(h, a.lockAudioDevice, "SDL_LockAudioDevice") &&
        resolve(h, a.unlockAudioDevice, "SDL_UnlockAudioDevice") &&
        resolve(h, a.rwFromConstMem, "SDL_RWFromConstMem") &&
#ifndef _WIN32
        resolve(h, a.rwFromFp, "SDL_RWFromFP") &&
#endif
        resolve(h, a.loadWavRw, "SDL_LoadWAV_RW") && resolve(h, a.freeWav, "SDL_FreeWAV") &&
        resolve(h, a.newAudioStream, "SDL_NewAudioStream") &&
        resolve(h, a.audioStreamPut, "SDL_AudioStreamPut") &&
        resolve(h, a.audioStreamGet, "SDL_AudioStreamGet") &&
        resolve(h, a.audioStreamAvailable, "SDL_AudioStreamAvailable") &&
        resolve(h, a.audioStreamFlush, "SDL_AudioStreamFlush") &&
        resolve(h, a.audioStreamClear, "SDL_AudioStreamClear") &&
        resolve(h, a.freeAudioStream, "SDL_FreeAudioStream") &&
        resolve(h, a.tlsCleanup, "SDL_TLSCleanup");
    if (!all) {
        return nullptr;
    }
    // Only audio is used: SDL must leave the process's signal handling alone. Set here,
    // before any thread has the library: SDL keeps its hints in a list without a lock,
    // which a decoding thread reads while it loads a file.
    a.setHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    return loaded;
}

std::mutex& loadMutex() {
    static std::mutex mutex;
    return mutex;
}

// The current copy, if any holder still has it; guarded by loadMutex().
std::weak_ptr<const SdlApi>& current() {
    static std::weak_ptr<const SdlApi> api;
    return api;
}

// SDL creates a thread-local key on each load and never deletes it, and a process has
// only about a thousand. After this many loads the library stays loaded for good, so
// a program that sounds many alarms never runs out of keys.
constexpr int kMaxLoads = 64;
int loads = 0; // guarded by loadMutex()
std::shared_ptr<const SdlApi>& keptForGood() {
    static std::shared_ptr<const SdlApi> api;
    return api;
}

} // namespace

std::shared_ptr<const SdlApi> loadSdl() {
    const std::lock_guard lock(loadMutex());
    if (std::shared_ptr<const SdlApi> api = current().lock()) {
        return api;
    }
    std::shared_ptr<LoadedSdl> loaded = openSdl();
    if (!loaded) {
        return nullptr;
    }
    // The aliasing pointer keeps the library open exactly as long as someone uses it.
    std::shared_ptr<const SdlApi> api(loaded, &loaded->api);
    current() = api;
    if (++loads >= kMaxLoads) {
        keptForGood() = api;
    }
    return api;
}

bool isSdlLoaded() {
    const std::lock_guard lock(loadMutex());
    return !current().expired();
}

} // namespace zorvane::alarm

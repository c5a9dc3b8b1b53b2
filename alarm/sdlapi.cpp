#include "alarm/sdlapi.h"

#include "text/sharedlibrary.h"

#include <mutex>

namespace zorvane::alarm {
namespace {

#ifdef _WIN32
constexpr const char* kLibraryName = "SDL2.dll";
#else
constexpr const char* kLibraryName = "libSDL2-2.0.so.0";
#endif

struct LoadedSdl {
    text::SharedLibrary library;
    SdlApi api{};
    ~LoadedSdl() {
        // Frees what SDL keeps for the whole process (hints, error texts) before its code
        // goes away with the library.
        if (library.isOpen() && api.quit) {
            api.quit();
        }
    }
};

std::unique_ptr<LoadedSdl> openSdl() {
    auto loaded = std::make_unique<LoadedSdl>();
    loaded->library = text::SharedLibrary(kLibraryName);
    if (!loaded->library.isOpen()) {
        return nullptr;
    }
    const text::SharedLibrary& h = loaded->library;
    SdlApi& a = loaded->api;
    const bool all =
        h.resolve(a.initSubSystem, "SDL_InitSubSystem") && h.resolve(a.quit, "SDL_Quit") &&
        h.resolve(a.quitSubSystem, "SDL_QuitSubSystem") && h.resolve(a.setHint, "SDL_SetHint") &&
        h.resolve(a.openAudioDevice, "SDL_OpenAudioDevice") &&
        h.resolve(a.closeAudioDevice, "SDL_CloseAudioDevice") &&
        h.resolve(a.pauseAudioDevice, "SDL_PauseAudioDevice") &&
        h.resolve(a.lockAudioDevice, "SDL_LockAudioDevice") &&
        h.resolve(a.unlockAudioDevice, "SDL_UnlockAudioDevice") &&
        h.resolve(a.rwFromConstMem, "SDL_RWFromConstMem") &&
#ifndef _WIN32
        h.resolve(a.rwFromFp, "SDL_RWFromFP") &&
#endif
        h.resolve(a.loadWavRw, "SDL_LoadWAV_RW") && h.resolve(a.freeWav, "SDL_FreeWAV") &&
        h.resolve(a.newAudioStream, "SDL_NewAudioStream") &&
        h.resolve(a.audioStreamPut, "SDL_AudioStreamPut") &&
        h.resolve(a.audioStreamGet, "SDL_AudioStreamGet") &&
        h.resolve(a.audioStreamAvailable, "SDL_AudioStreamAvailable") &&
        h.resolve(a.audioStreamFlush, "SDL_AudioStreamFlush") &&
        h.resolve(a.audioStreamClear, "SDL_AudioStreamClear") &&
        h.resolve(a.freeAudioStream, "SDL_FreeAudioStream") &&
        h.resolve(a.tlsCleanup, "SDL_TLSCleanup");
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

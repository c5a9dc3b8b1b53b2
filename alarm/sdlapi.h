#pragma once
// SDL2 loaded only while a sound is being decoded or played. The long-running program
// does not link SDL2: the library (with the audio servers and codecs it pulls in) is
// opened on first use and closed again when the last holder lets go.

#include <SDL.h>

#include <memory>

namespace zorvane::alarm {

// The few SDL functions the alarm uses, resolved from the loaded library.
struct SdlApi {
    decltype(&SDL_InitSubSystem) initSubSystem;
    decltype(&SDL_Quit) quit;
    decltype(&SDL_QuitSubSystem) quitSubSystem;
    decltype(&SDL_SetHint) setHint;
    decltype(&SDL_OpenAudioDevice) openAudioDevice;
    decltype(&SDL_CloseAudioDevice) closeAudioDevice;
    decltype(&SDL_PauseAudioDevice) pauseAudioDevice;
    decltype(&SDL_LockAudioDevice) lockAudioDevice;
    decltype(&SDL_UnlockAudioDevice) unlockAudioDevice;
    decltype(&SDL_RWFromConstMem) rwFromConstMem;
#ifndef _WIN32
    decltype(&SDL_RWFromFP) rwFromFp;
#endif
    decltype(&SDL_LoadWAV_RW) loadWavRw;
    decltype(&SDL_FreeWAV) freeWav;
    decltype(&SDL_NewAudioStream) newAudioStream;
    decltype(&SDL_AudioStreamPut) audioStreamPut;
    decltype(&SDL_AudioStreamGet) audioStreamGet;
    decltype(&SDL_AudioStreamAvailable) audioStreamAvailable;
    decltype(&SDL_AudioStreamFlush) audioStreamFlush;
    decltype(&SDL_AudioStreamClear) audioStreamClear;
    decltype(&SDL_FreeAudioStream) freeAudioStream;
    decltype(&SDL_TLSCleanup) tlsCleanup;
};

// The loaded library's functions; nullptr when SDL2 cannot be loaded. Every holder
// shares one loaded copy, which is unloaded when the last holder releases it. Any thread.
std::shared_ptr<const SdlApi> loadSdl();

// True while the library is loaded by loadSdl (for tests and measurements).
bool isSdlLoaded();

} // namespace zorvane::alarm

// How long an alarm takes to start: from the tick's call until the first sample of the
// sound leaves the device (SDL's disk driver stands in for the speakers). Each run
// starts from a fresh device, with SDL not loaded, as at an alarm after an idle time;
// through the sound helper each run starts a new helper process, as the window does, and
// the "First" runs also write the built-in sound, as the first alarm of a process does.

#include "alarm/playback.h"
#include "alarm/sdlsounddevice.h"
#ifdef ZORVANE_SOUND_HELPER
#include "alarm/soundhelperdevice.h"
#endif

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

using namespace zorvane::alarm;
namespace fs = std::filesystem;

namespace {

struct Scratch {
    explicit Scratch(bool writeSound = true) {
        std::string pattern = (fs::temp_directory_path() / "zorvane-bench-XXXXXX").string();
        dir = ::mkdtemp(pattern.data()) ? fs::path(pattern) : fs::path();
        ::setenv("SDL_AUDIODRIVER", "disk", 1);
        ::setenv("SDL_DISKAUDIOFILE", (dir / "speaker.raw").c_str(), 1);
        if (writeSound && !ensureWorkingSoundFile(dir.string())) {
            throw std::runtime_error("cannot write the built-in sound in " + dir.string());
        }
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    // True once a sample that is not silence has been written.
    bool sounding() const {
        std::ifstream in(dir / "speaker.raw", std::ios::binary);
        char c = 0;
        while (in.get(c)) {
            if (c != 0) {
                return true;
            }
        }
        return false;
    }
    fs::path dir;
};

enum class Sound { BuiltIn, FirstBuiltIn, PreparedFile };
enum class Where { InProcess, Helper };

std::unique_ptr<SoundPlayer> makeDevice(Where where) {
#ifdef ZORVANE_SOUND_HELPER
    if (where == Where::Helper) {
        // A short linger, so that a helper started to prepare the file has ended before
        // the alarm, as it has when the file was chosen long before.
        return std::make_unique<zorvane::alarm::HelperSoundDevice>(
            ZORVANE_SOUND_HELPER, std::vector<std::string>{"--linger", "100"});
    }
#endif
    (void)where;
    return std::make_unique<SdlSoundDevice>();
}

bool helperEnded(SoundPlayer& device) {
#ifdef ZORVANE_SOUND_HELPER
    if (auto* helper = dynamic_cast<zorvane::alarm::HelperSoundDevice*>(&device)) {
        return helper->helperPid() == 0;
    }
#endif
    (void)device;
    return true;
}

// The built-in sound (written beforehand, or for the first time by the alarm itself), or a
// copy of it chosen as a file and prepared beforehand, as the window does when the file
// is chosen.
void startAlarm(benchmark::State& state, Sound sound, Where where) {
    const bool chosen = sound == Sound::PreparedFile;
    std::unique_ptr<Scratch> scratch = std::make_unique<Scratch>();
    const fs::path file = scratch->dir / "chosen.wav";
    fs::copy_file(scratch->dir / "1.wav", file);
    double callSeconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (sound == Sound::FirstBuiltIn) {
            // A directory the process has not written the sound to yet.
            scratch = std::make_unique<Scratch>(false);
        }
        fs::remove(scratch->dir / "speaker.raw");
        auto device = makeDevice(where);
        if (chosen) {
            std::promise<void> ready;
            device->prepare(file.string(),
                            [&ready](const zorvane::text::Message&) { ready.set_value(); });
            ready.get_future().wait();
            while (!helperEnded(*device)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        // As the alert's chime does: a cold helper loads SDL while the sound is written.
        device->warmUp();
        soundAlarm(*device, chosen ? file.string() : std::string(), scratch->dir.string());
        callSeconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        while (!scratch->sounding()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        state.PauseTiming();
        device.reset();
        state.ResumeTiming();
    }
    state.counters["call_ms"] =
        benchmark::Counter(callSeconds * 1000 / static_cast<double>(state.iterations()));
}

void BM_AlarmStart_BuiltIn(benchmark::State& state) {
    startAlarm(state, Sound::BuiltIn, Where::InProcess);
}
void BM_AlarmStart_FirstBuiltIn(benchmark::State& state) {
    startAlarm(state, Sound::FirstBuiltIn, Where::InProcess);
}
void BM_AlarmStart_PreparedFile(benchmark::State& state) {
    startAlarm(state, Sound::PreparedFile, Where::InProcess);
}
#ifdef ZORVANE_SOUND_HELPER
void BM_AlarmStart_Helper_BuiltIn(benchmark::State& state) {
    startAlarm(state, Sound::BuiltIn, Where::Helper);
}
void BM_AlarmStart_Helper_FirstBuiltIn(benchmark::State& state) {
    startAlarm(state, Sound::FirstBuiltIn, Where::Helper);
}
void BM_AlarmStart_Helper_PreparedFile(benchmark::State& state) {
    startAlarm(state, Sound::PreparedFile, Where::Helper);
}
#endif

} // namespace

BENCHMARK(BM_AlarmStart_BuiltIn)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();
BENCHMARK(BM_AlarmStart_FirstBuiltIn)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();
BENCHMARK(BM_AlarmStart_PreparedFile)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();
#ifdef ZORVANE_SOUND_HELPER
BENCHMARK(BM_AlarmStart_Helper_BuiltIn)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->UseRealTime();
BENCHMARK(BM_AlarmStart_Helper_FirstBuiltIn)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->UseRealTime();
BENCHMARK(BM_AlarmStart_Helper_PreparedFile)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->UseRealTime();
#endif

BENCHMARK_MAIN();

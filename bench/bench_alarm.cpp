// How long an alarm takes to start: from the tick's call until the first sample of the
// sound leaves the device (SDL's disk driver stands in for the speakers). Each run
// starts from a fresh device, with SDL not loaded, as at an alarm after an idle time.

#include "alarm/playback.h"
#include "alarm/sdlsounddevice.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>

#include <unistd.h>

using namespace zorvane::alarm;
namespace fs = std::filesystem;

namespace {

struct Scratch {
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "zorvane-bench-XXXXXX").string();
        dir = ::mkdtemp(pattern.data()) ? fs::path(pattern) : fs::path();
        ::setenv("SDL_AUDIODRIVER", "disk", 1);
        ::setenv("SDL_DISKAUDIOFILE", (dir / "speaker.raw").c_str(), 1);
        ensureWorkingSoundFile(dir.string());
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

// `chosen` empty: the built-in sound; otherwise a copy of it chosen as a file and
// prepared beforehand, as the window does when the file is chosen.
void startAlarm(benchmark::State& state, bool chosen) {
    Scratch scratch;
    const fs::path file = scratch.dir / "chosen.wav";
    fs::copy_file(scratch.dir / "1.wav", file);
    double callSeconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(scratch.dir / "speaker.raw");
        auto device = std::make_unique<SdlSoundDevice>();
        if (chosen) {
            std::promise<void> ready;
            device->prepare(file.string(),
                            [&ready](const zorvane::text::Message&) { ready.set_value(); });
            ready.get_future().wait();
        }
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        soundAlarm(*device, chosen ? file.string() : std::string(), scratch.dir.string());
        callSeconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        while (!scratch.sounding()) {
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
    startAlarm(state, false);
}
void BM_AlarmStart_PreparedFile(benchmark::State& state) {
    startAlarm(state, true);
}

} // namespace

BENCHMARK(BM_AlarmStart_BuiltIn)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();
BENCHMARK(BM_AlarmStart_PreparedFile)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

BENCHMARK_MAIN();

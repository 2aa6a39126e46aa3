#pragma once
// The kinds a run and its particles come in, shared by the settings and every subsystem
// that is handed a setting of one of them. The numbers are those of the options file and
// the command line (run_mode, particle_type).

namespace plashwerk {

/// What a run is: a benchmark measures for a fixed time and scores; a stability test
/// measures from the first frame until stopped.
enum class RunMode : int { Benchmark = 1, StabilityTest = 2 };

/// How particles are drawn: plain points, additive lava sprites, or shadowed smiley sprites.
enum class ParticleLook : int { Point = 0, Lava = 1, Smiley = 2 };

/// The run mode a stored number names; anything but 1 is a stability test.
constexpr RunMode runModeFrom(int value) {
    return value == static_cast<int>(RunMode::Benchmark) ? RunMode::Benchmark
                                                         : RunMode::StabilityTest;
}

/// The particle look a stored number names; out of range is the smiley look.
constexpr ParticleLook particleLookFrom(int value) {
    return value >= 0 && value <= 2 ? static_cast<ParticleLook>(value) : ParticleLook::Smiley;
}

}  // namespace plashwerk

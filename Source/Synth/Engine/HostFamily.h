// The host families the engine tells apart (Synth::hostIdOf, getHostId):
// a few hosts need a rule of their own. The numbers are kept by projects of
// products built on the engine, so they never change.
#pragma once

namespace HostFamily {
enum : int {
    Cubase = 0, // also Cubasis and Nuendo
    ProTools = 1,
    Logic = 2,
    Orion = 4,
    Live = 5,
    Fruity = 6,
    MakingWaves = 8,
    MultitrackStudio = 9,
    SingerSongWriter = 10,
    Cakewalk = 11,
    Samplitude = 12,
    Tracktion = 13,
    GarageBand = 14,
    Reaper = 15,
    Receptor = 16, // also recognised by its maker
    Chainer = 17,
    FxTeleport = 18,
    Kore = 19,
    Unknown = 20,
};
} // namespace HostFamily

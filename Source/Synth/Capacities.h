// Capacities of the system: counts and sizes that several files rely on live
// here, under the names the code uses, and nowhere else.
#pragma once

constexpr int MacAssertBufferSize = 1279; // bytes of the assertion reporter's line
constexpr int ParaTextBufferBytes = 320;     // bytes incl. terminator of a caller's buffer for a parameter text
constexpr int ParaNameBufferBytes = 24;      // bytes incl. terminator of a parameter set's name and unit answers
constexpr int EnuItemWidthLimit = 32;        // enumeration items are narrower than this many characters
constexpr int NumPrograms = 208;             // programs offered to the host
constexpr int NumHostParameters = 602;       // host-visible parameters
constexpr int NumOutputs51 = 6;              // outputs of the 5.1 build: L, R, C, Lfe, Ls, Rs
constexpr int NumOutputsStereo = 2;          // outputs of the stereo build
constexpr int ProgramNameAnswerSize = 24;    // bytes incl. terminator a host gets for a program name
constexpr int EffectNameAnswerSize = 32;     // bytes incl. terminator a host gets for the effect name
constexpr int VendorAnswerSize = 64;         // bytes incl. terminator a host gets for the vendor
constexpr int ProductAnswerSize = 64;        // bytes incl. terminator a host gets for the product
constexpr int PinLabelAnswerSize = 64;       // bytes incl. terminator of a pin's label
constexpr int PinShortLabelAnswerSize = 8;   // bytes incl. terminator of a pin's short label
constexpr int ParameterTextAnswerSize = 64;  // bytes incl. terminator of a parameter name, label or display
constexpr int FileCompareBlockBytes = 1024;  // bytes per read when two files are compared by their MD5 digests
constexpr int RegModRows = 1024;             // rows of the module registry
constexpr int RegModBusCapacity = 128;       // distinct audio buses the registry lists
constexpr int EPASLinkSlots = 16;            // linked descriptor indices per host-parameter descriptor
constexpr int ValueCopyPairCapacity = 256;   // value-copy pairs (source, destination) of the parameter map
constexpr int SelectorCount = 8;             // page selectors of the parameter map, numbered 1..8
constexpr int RouteTableCapacity = 700;      // rows of each route table (unconditional, conditional)
constexpr int CmdBufferSize = 640;           // slots of each command ring; one fewer records fit
constexpr int MaxBlockSize = 256;            // frames of the process-wide working block
constexpr int CopyBufferBytes = 16384;       // bytes of each module clipboard shared by all instances
constexpr int CodeNameBytes = 64;            // bytes incl. terminator of the engine's code name copy
constexpr int HostTextBytes = 256;           // bytes incl. terminator of the host product/vendor strings read
constexpr int MaxInstruments = 439;          // most MIDI instruments an engine may be built with
constexpr int IdleTimerPeriodMs = 25;        // period of the engine's own idle timer
constexpr int IdleTakeoverMs = 1000;         // host idle older than this: the timer takes the idle work over
constexpr int ResetWaitStepMs = 30;          // sleep between looks while waiting for the audio thread to leave
constexpr int NumPartChildren = 64;          // child slots of a part group
constexpr int NumModInputs = 16;             // per-note modulation inputs of a part
constexpr int NumInstrumentSlots = 440;      // instrument numbers a part's set and route may take (0..439)
constexpr int SampleMemMaxFrames = 1 << 28;  // frames allocSampleMem gives at most (1 GiB of floats)
constexpr int NumTuningNotes = 129;          // entries of the tuning table, notes 0..128
constexpr int TunLineMaxChars = 320;         // characters of a .tun line that are examined
constexpr int TunFileMaxBytes = 1 << 20;     // a .tun file above this size is not read
constexpr int EnuMaxCompatLists = 10;        // compatibility texts per label of an enumeration table
constexpr int EnuMaxElements = 256;          // labels of an enumeration table

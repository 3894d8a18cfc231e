// tessel-host sample FILE [--out DECODED.wav]: reads a sample file exactly as
// the instrument's stores do (WaveSample_c::loadSampleFile, the work behind
// setSample) and reports what came out, so a musician or developer can see
// why a file will not load, or what the instrument hears when it does.
#include "Commands.h"
#include "WavFile.h"

#include "WaveSample.h"

#include <ostream>

namespace Host {

namespace {

// What a reader's negative result means, in the user's words.
const char* describe(int code)
{
    switch (code) {
    case -5: return "the file cannot be opened";
    case -6: return "AIFF without COMM or SSND chunk";
    case -10: return "the file is too short for a header";
    case -20: return "not a RIFF file";
    case -50: return "a RIFF file, but not WAVE";
    case -60: return "no format or no data chunk (or data before the format)";
    case -70: return "a chunk size is cut off";
    case -80: return "AIFF form type neither AIFF nor AIFC";
    case -90: return "unsupported format (compressed data) or COMM too short";
    case -105: return "only mono and stereo samples are supported";
    case SampleCode::BadRate: return "sample rate outside 1..1000000 Hz";
    case -150: return "unsupported bit depth";
    case -151: return "64-bit integer data is not supported";
    case -162:
    case -164: return "not enough memory for the sample";
    case -165: return "the SSND data offset lies beyond the file";
    case -170:
    case -171: return "the sample data is shorter than the header says";
    case -180: return "a chunk reaches beyond the end of the file before the data";
    case -340: return "unsupported AIFC compression";
    default: return "the file is damaged";
    }
}

} // namespace

int runSample(const HostOptions& o, std::ostream& out, std::ostream& err)
{
    WaveSample_c s;
    const int result = s.loadSampleFile(Tool::Disk::Path_c::fromSystem(Vdx::String_c(o.sample)));
    out << "result: " << result << "\n";
    if (result < 1) {
        err << "tessel-host: " << o.sample << ": " << (result < 0 ? describe(result) : "no sample frames") << " ("
            << result << ")\n";
        return 1;
    }
    out << "channels: " << s.channels << "\n"
        << "resolution: " << s.resolution << "\n"
        << "rate: " << s.sampleRate << "\n"
        << "frames: " << s.frames << "\n"
        << "has-loop: " << int(s.hasLoop) << "\n"
        << "loop-start: " << s.loopStart << "\n"
        << "loop-end: " << s.loopEnd << "\n";
    if (o.out.empty())
        return 0;

    WavWriter_c writer;
    std::string error;
    const float* channels[2] = {s.left, s.right};
    if (!writer.open(o.out, s.channels, s.sampleRate, error) || !writer.write(channels, s.frames)
        || !writer.finish(error)) {
        err << "tessel-host: " << (error.empty() ? "cannot write " + o.out : error) << "\n";
        return 1;
    }
    out << "out: " << o.out << "\n";
    return 0;
}

} // namespace Host

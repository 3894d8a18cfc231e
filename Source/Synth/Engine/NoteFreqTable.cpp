#include "NoteFreqTable.h"

#include "SafeDiv.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int32_t TypeTUN0 = ('T' << 24) | ('U' << 16) | ('N' << 8) | '0';

// Tonewheel deviations from equal temperament in cents, by pitch class C..B.
constexpr double TonewheelCents[12] = {0.0, 0.883, 0.595, 0.288, 0.003, 0.71,
                                       0.704, -0.023, 0.684, 0.399, 0.091, 0.107};

bool isSkipped(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Hands each digit of a run to take(0..9), with characters 1..32 between
// them skipped. Leaves *pos on the first other character; true when the run
// held a digit.
template <typename Take> bool scanDigitRun(const char* text, int* pos, Take take)
{
    bool any = false;
    for (;; ++*pos) {
        const char c = text[*pos];
        if (isSkipped(c))
            continue;
        if (!isDigit(c))
            break;
        any = true;
        take(c - '0');
    }
    return any;
}

// Reads digits as scanDigitRun does; saturates at limit.
bool scanDigits(const char* text, int* pos, double* value, double limit)
{
    double v = 0.0;
    const bool any = scanDigitRun(text, pos, [&](int digit) { v = std::min(v * 10.0 + digit, limit); });
    *value = v;
    return any;
}

enum class LineKind_t { NotNote, Malformed, Note };

// One line without its LF.
LineKind_t parseLine(const std::string& line, int* noteNr, float* cents)
{
    const char* s = line.c_str();
    int pos = 0;
    while (isSkipped(s[pos]))
        ++pos;
    static const char Word[] = "note";
    for (int i = 0; i < 4; ++i) {
        const char c = s[pos + i];
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != Word[i])
            return LineKind_t::NotNote;
    }
    // A note line longer than the examined width would be judged by a cut
    // number; it does not count.
    if (line.size() > static_cast<size_t>(TunLineMaxChars))
        return LineKind_t::Malformed;
    pos += 4;
    int n = 0;
    if (!NoteFreqTable_c::ScanLong(s, &pos, &n) || s[pos] != '=')
        return LineKind_t::Malformed;
    ++pos;
    float c = 0.0f;
    if (!NoteFreqTable_c::ScanFloat(s, &pos, &c) || s[pos] != 0)
        return LineKind_t::Malformed;
    *noteNr = std::clamp(n, 0, 127);
    *cents = c;
    return LineKind_t::Note;
}

// The whole file, when it is a regular file of at most TunFileMaxBytes.
// O_NONBLOCK keeps the open of a FIFO from waiting for a writer; the type and
// size are taken from the opened file itself, so a swap after a look at the
// name changes nothing.
bool readRegularFile(const char* path, std::string* out)
{
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0 && st.st_size <= TunFileMaxBytes;
    if (ok) {
        // One byte more than the cap shows a file that grew meanwhile.
        out->resize(static_cast<size_t>(TunFileMaxBytes) + 1);
        size_t got = 0;
        while (got < out->size()) {
            const ssize_t r = ::read(fd, out->data() + got, out->size() - got);
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0) {
                ok = false;
                break;
            }
            if (r == 0)
                break;
            got += static_cast<size_t>(r);
        }
        if (got > static_cast<size_t>(TunFileMaxBytes))
            ok = false;
        out->resize(ok ? got : 0);
    }
    ::close(fd);
    return ok;
}

} // namespace

NoteFreqTable_c::~NoteFreqTable_c() = default;

int NoteFreqTable_c::getTypeCode() const
{
    return TypeTUN0;
}

float NoteFreqTable_c::loadEntry(int n) const
{
    return std::atomic_ref<float>(table[n]).load(std::memory_order_relaxed);
}

void NoteFreqTable_c::storeEntry(int n, float hz)
{
    std::atomic_ref<float>(table[n]).store(hz, std::memory_order_relaxed);
}

bool NoteFreqTable_c::getParaSetPtr(ParaSet_c** shared)
{
    bool defined = false;
    Parameter_c* p = beginParaDefinition(shared, 1, tpCount, &defined);
    if (!p && !defined)
        return false;
    if (p) {
        p[tpOnOff].createOnOff("On/Off", 0);
        p[tpFrequencies].createFloatArray("Frequencies", NumTuningNotes);
        p[tpFilePath].createCharPtr("TUN-File Path", true, false, nullptr);
        p[tpLoadCommand].createCharPtr("Load Command ", true, false, nullptr);
        defined = paraSet->spreadPara();
    }
    bindTable();
    init(false);
    return defined;
}

bool NoteFreqTable_c::getParaSetPtr(ParaSet_c** shared, int)
{
    return getParaSetPtr(shared);
}

void NoteFreqTable_c::bindTable()
{
    table = nullptr;
    Parameter_c* p = paraSet ? paraSet->getParaPtr(0) : nullptr;
    if (!p || paraSet->getParaCount() <= tpFrequencies)
        return;
    // A set found in the shared slot must really hold a table of our size.
    const Parameter_c& f = p[tpFrequencies];
    if (f.getType() == ptFloatArray && f.paraSpec && f.paraSpec->precision == NumTuningNotes)
        table = static_cast<float*>(f.payload);
}

void NoteFreqTable_c::init(bool tonewheel)
{
    if (!table)
        return;
    for (int n = 0; n < NumTuningNotes; ++n) {
        const double cents = tonewheel ? TonewheelCents[n % 12] : 0.0;
        storeEntry(n, static_cast<float>(BaseFrequency * std::exp2((n + cents * 0.01) / 12.0)));
    }
    if (paraSet)
        paraSet->setParaCharPtr(0, tpFilePath, tonewheel ? "Tonewheel" : "12 Tone Equal");
}

float NoteFreqTable_c::getEntry(int n) const
{
    return table ? loadEntry(std::clamp(n, 0, NumTuningNotes - 1)) : 0.0f;
}

float NoteFreqTable_c::get(float note) const
{
    if (!table)
        return 0.0f;
    // Clamped in float before the conversion: a huge or NaN note must not
    // reach the integer truncation.
    if (std::isnan(note))
        note = 0.0f;
    int i;
    if (!(note > 0.0f))
        i = 0;
    else if (note >= 126.0f)
        i = 126;
    else
        i = static_cast<int>(note);
    const float lo = loadEntry(i);
    const float hi = loadEntry(i + 1);
    return lo + (note - static_cast<float>(i)) * (hi - lo);
}

int NoteFreqTable_c::getNoteNr(float hz) const
{
    if (!table)
        return 60;
    int i = 63;
    for (int step = 32; step >= 1; step /= 2)
        i = loadEntry(i) > hz ? i - step : i + step;
    if (i == 126 && hz > loadEntry(126))
        i = 127;
    return i;
}

bool NoteFreqTable_c::isUsableFrequency(double hz)
{
    return std::isfinite(hz) && hz > 0.0 && hz <= MaxUsableHz;
}

bool NoteFreqTable_c::ScanLong(const char* text, int* position, int* value)
{
    if (!text || !position || !value)
        return false;
    double v = 0.0;
    const bool any = scanDigits(text, position, &v, static_cast<double>(INT_MAX));
    *value = static_cast<int>(v);
    return any;
}

bool NoteFreqTable_c::ScanFloat(const char* text, int* position, float* value)
{
    if (!text || !position || !value)
        return false;
    double whole = 0.0;
    bool any = scanDigits(text, position, &whole, static_cast<double>(FLT_MAX));
    double fraction = 0.0;
    const char sep = text[*position];
    if (sep == ',' || sep == '.') {
        ++*position;
        double scale = 0.1;
        const bool digits = scanDigitRun(text, position, [&](int digit) {
            fraction += digit * scale;
            scale *= 0.1;
        });
        any = any || digits;
    }
    *value = static_cast<float>(std::min(whole + fraction, static_cast<double>(FLT_MAX)));
    return any;
}

bool NoteFreqTable_c::loadTunText(const char* text, size_t n)
{
    if (!table)
        return false;
    float work[NumTuningNotes];
    for (int i = 0; i < NumTuningNotes; ++i)
        work[i] = loadEntry(i);
    bool allCounted = true;
    size_t start = 0;
    while (text && start < n) {
        size_t end = start;
        while (end < n && text[end] != '\n')
            ++end;
        // A zero byte ends the line's text, as it ends a C string.
        size_t len = 0;
        while (start + len < end && text[start + len] != 0)
            ++len;
        const std::string line(text + start, len);
        int noteNr = 0;
        float cents = 0.0f;
        switch (parseLine(line, &noteNr, &cents)) {
        case LineKind_t::NotNote:
            break;
        case LineKind_t::Malformed:
            allCounted = false;
            break;
        case LineKind_t::Note: {
            const double hz = BaseFrequency * std::exp2(static_cast<double>(cents) / 1200.0);
            const float hzF = static_cast<float>(hz);
            if (isUsableFrequency(hz) && isUsableFrequency(hzF))
                work[noteNr] = hzF;
            else
                allCounted = false;
            break;
        }
        }
        start = end + 1;
    }
    for (int i = 0; i < NumTuningNotes; ++i)
        storeEntry(i, work[i]);
    return allCounted;
}

bool NoteFreqTable_c::loadTunFile(Tool::Disk::Path_c& path)
{
    if (!table || path.empty())
        return false;
    std::string bytes;
    if (!readRegularFile(path.c_str(), &bytes))
        return false;
    return loadTunText(bytes.data(), bytes.size());
}

void NoteFreqTable_c::determineSemiScale()
{
    int semis = 12;
    float scale = 1.0f;
    if (table) {
        const float r = so_fdiv(loadEntry(43), loadEntry(42));
        bool uniform = true;
        for (int k = 43; k <= 77 && uniform; ++k) {
            const float ratio = so_fdiv(loadEntry(k + 1), loadEntry(k));
            uniform = std::fabs(so_fdiv(r, ratio) - 1.0f) <= 0.03f;
        }
        // 12 / ln 2 in single precision: the step in equal-tempered semitones.
        // A table that gives no finite step keeps the plain scale,
        // so pitch bend never turns into NaN.
        if (uniform) {
            const float s = 17.312339782714844f * std::log(r);
            if (std::isfinite(s))
                scale = s;
        }
        const float f60 = loadEntry(60);
        float best = f60;
        for (int k = 1; k <= 66; ++k) {
            const float d = std::fabs(loadEntry(60 + k) * 0.5f - f60);
            if (d < best) {
                best = d;
                semis = k;
            }
        }
    }
    semitonesPerOctave = semis;
    semitoneScale = scale;
}

void NoteFreqTable_c::fixSongLoad()
{
    if (!table)
        return;
    for (int n = 0; n < NumTuningNotes; ++n) {
        if (!isUsableFrequency(loadEntry(n))) {
            init(false);
            // The derived step and octave must follow the table they came from.
            determineSemiScale();
            return;
        }
    }
}

void NoteFreqTable_c::postprocessParaChange(int set, int index)
{
    Part_c::postprocessParaChange(set, index);
    if (set < 0 || set >= NumInstrumentSlots || !paraSet || !paraSet->getParaPtr(set))
        return;
    if (index == tpLoadCommand) {
        Vdx::String_c command;
        paraSet->getParaString(set, tpLoadCommand, &command);
        paraSet->setParaString(set, tpFilePath, command);
        index = tpFilePath;
    }
    if (index != tpFilePath && index != -1)
        return;
    Tool::Disk::Path_c path;
    paraSet->getParaPath(set, tpFilePath, &path);
    if (path.empty())
        return;
    loadTunFile(path);
    determineSemiScale();
}

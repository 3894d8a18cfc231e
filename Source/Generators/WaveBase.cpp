#include "WaveBase.h"

#include "Disk.h"
#include "OsLib.h"
#include "Parameter.h"
#include "SafeDiv.h"
#include "Synth.h"
#include "WaveSample.h"

#include <cmath>
#include <cstring>

void WaveBase_c::makeSym(float* buf, int n)
{
    if (!buf)
        return;
    double sum = 0.0;
    for (int i = n - 1; i >= 0; --i)
        sum += buf[i];
    makeSym(buf, n, sum);
}

void WaveBase_c::makeSym(float* buf, int n, double sum)
{
    // Shorter buffers are left alone: their ramps would be too short to hide
    // the offset change.
    if (!buf || n < 41)
        return;
    const double factor = n < 128 ? 0.25 : n < 256 ? 0.2 : n < 1024 ? 0.1 : 0.05;
    int m = static_cast<int>(n * factor + 0.5);
    if (m < 1)
        m = 1;
    const double d = sum / (n - m);
    const double g = so_ddiv(1.0, std::fabs(d) + 1.0);
    const double s = so_ddiv(1.0, m - 1);
    for (int i = 0; i < m; ++i)
        buf[i] = static_cast<float>((buf[i] - i * s * d) * g);
    for (int i = m; i < n - m; ++i)
        buf[i] = static_cast<float>((buf[i] - d) * g);
    for (int k = 0; k < m; ++k) {
        float& x = buf[n - m + k];
        x = static_cast<float>((x - (1.0 - k * s) * d) * g);
    }
}

void WaveBase_c::changeToJ(float* buf, int n)
{
    if (!buf || n < 2)
        return;
    for (int i = 1; i < n; ++i)
        buf[i] += buf[i - 1];
}

void WaveBase_c::changeFromJ(float* buf, int n)
{
    if (!buf || n < 2)
        return;
    for (int i = n - 1; i >= 1; --i)
        buf[i] -= buf[i - 1];
}

namespace {

// The gain that brings the extremes of a buffer to full scale: the smaller
// of 1/max and -1/min, 1000 standing in for a side that never left zero.
float peakGain(float maxV, float minV)
{
    const float up = maxV > 0.0f ? 1.0f / maxV : 1000.0f;
    const float down = minV < 0.0f ? -1.0f / minV : 1000.0f;
    return up < down ? up : down;
}

void extremes(const float* buf, int n, float& maxV, float& minV)
{
    for (int i = 0; i < n; ++i) {
        if (buf[i] > maxV)
            maxV = buf[i];
        if (buf[i] < minV)
            minV = buf[i];
    }
}

void scale(float* buf, int n, float g)
{
    for (int i = 0; i < n; ++i)
        buf[i] *= g;
}

} // namespace

void WaveBase_c::limit0dBPeak(float* buf, int n)
{
    if (!buf || n <= 0)
        return;
    float maxV = 0.0f, minV = 0.0f;
    extremes(buf, n, maxV, minV);
    if (maxV <= 1.0f && minV >= -1.0f)
        return;
    scale(buf, n, peakGain(maxV, minV));
}

void WaveBase_c::norm0dBPeak(float* buf, int n)
{
    if (!buf || n <= 0)
        return;
    float maxV = 0.0f, minV = 0.0f;
    extremes(buf, n, maxV, minV);
    const float g = peakGain(maxV, minV);
    // A silent buffer gets the stand-in gain 1000, which only scales zeros.
    if (g < 0.99f || g > 1.01f)
        scale(buf, n, g);
}

void WaveBase_c::norm0dBPeak(float* left, float* right, int n)
{
    if (!left || !right || n <= 0)
        return;
    float maxV = 0.0f, minV = 0.0f;
    extremes(left, n, maxV, minV);
    extremes(right, n, maxV, minV);
    const float g = peakGain(maxV, minV);
    scale(left, n, g);
    scale(right, n, g);
}

int WaveBase_c::trimStart(float* buf, int n, float dB)
{
    if (!buf || n <= 0)
        return 0;
    const float threshold = std::pow(10.0f, dB * 0.05f);
    int i = 0;
    while (i < n && !(std::fabs(buf[i]) > threshold))
        ++i;
    if (i >= n || i == 0)
        return 0;
    std::memmove(buf, buf + i, sizeof(float) * static_cast<size_t>(n - i));
    return i;
}

void WaveBase_c::prepareDestructiveOperation() {}
void WaveBase_c::prepareDestructiveOperation(SampleInfo_c&) {}
void WaveBase_c::prepareDestructiveMaster(SampleInfo_c&) {}
void WaveBase_c::prepareDestructiveVirtual(SampleInfo_c&) {}

// ---------------------------------------------------------------------------
// The single-sample stores' file work

Vdx::String_c WaveBase_c::loadFailedText(const Tool::Disk::Path_c& path)
{
    Vdx::String_c text = path.getString();
    if (Tool::Disk::isSpecialFile(path))
        text += "\nis no regular file (a named pipe, a device or a folder) and was not read.";
    return text;
}

void WaveBase_c::tell(const char* title, const char* text)
{
    if (synth && synth->holdUserMessage(title, text))
        return;
    OsLib_c::tellUser(title, text);
}

void WaveBase_c::askThen(const char* question, const char* title, std::function<void()> onYes)
{
    if (synth) {
        synth->askUserLater(question, title, [onYes = std::move(onYes)](bool yes) {
            if (yes)
                onYes();
        });
        return;
    }
    if (OsLib_c::askUser(question, title))
        onYes();
}

Tool::Disk::Path_c WaveBase_c::dumpSampleFile(Disk_c& disk, WaveSample_c& sample, const Tool::Disk::Path_c& source,
                                              const Tool::Disk::Path_c& folder, bool raw, const char* rawExtension)
{
    if (!raw)
        return disk.copyFileTo(source, folder);
    Tool::Disk::Path_c target = disk.newFileName(source, folder, Vdx::String_c(rawExtension));
    SampleWriteHold hold(sample);
    if (!target.empty() && (!sample.left || sample.saveD4TSample(target) < 1))
        target = Tool::Disk::Path_c::EmptyPath;
    return target;
}

Tool::Disk::Path_c WaveBase_c::movedSamplePath(const Tool::Disk::Path_c& stored, const Tool::Disk::Path_c& folder)
{
    const Tool::Disk::Path_c leaf = stored.getLeaf();
    Tool::Disk::Path_c candidate = folder / leaf;
    if (Tool::Disk::exists(candidate) != 1)
        candidate = folder.getParent() / Tool::Disk::Path_c("Samples") / leaf;
    return candidate;
}

Tool::Disk::Path_c WaveBase_c::neighbourFile(Disk_c& disk, bool next, const Tool::Disk::Path_c& current,
                                             const char* patterns, int listMax)
{
    Tool::Disk::Path_c found;
    if (!disk.getNextFile(next, current, found, Tool::Disk::Extension_c(patterns), listMax))
        return Tool::Disk::Path_c();
    return found;
}

void WaveBase_c::setParaQuietly(int set, int idx, int value)
{
    if (Parameter_c* p = getParaPtr(set, idx))
        p->setVal(value);
}

void WaveBase_c::setPathQuietly(int set, int idx, const Tool::Disk::Path_c& path)
{
    if (Parameter_c* p = getParaPtr(set, idx))
        p->setPath(path);
}

bool WaveBase_c::stepFilename(Disk_c& disk, int set, int idx, bool next, const char* patterns, int listMax)
{
    Vdx::String_c text;
    getParaString(set, idx, &text);
    if (text.empty())
        return false;
    const Tool::Disk::Path_c found = neighbourFile(disk, next, Tool::Disk::Path_c(text), patterns, listMax);
    if (found.empty())
        return false;
    setPathQuietly(set, idx, found);
    return true;
}

int WaveBase_c::percentFrame(const WaveSample_c& sample, const Parameter_c* p)
{
    if (!p || !sample.left || sample.frames < 1)
        return 0;
    return static_cast<int>(std::floor((sample.frames - 1) * static_cast<double>(p->fl) / 100.0 + 0.25));
}

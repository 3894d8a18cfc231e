#include "WaveSample.h"

#include "Part.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

WaveSample_c::~WaveSample_c()
{
    // A dying sample cannot hand anything on; its store is being destroyed.
    releaseBuffers();
    delete[] cueTable;
    cueTable = nullptr;
}

void WaveSample_c::setBackRef(SampleInfo_c& i, WaveBase_c* o)
{
    info.set(i);
    owner = o;
}

void WaveSample_c::prepareDestructiveOperation()
{
    if (owner && info.isSpecial()) {
        owner->prepareDestructiveOperation(info);
        info.setNormal();
    }
}

void WaveSample_c::releaseBuffers()
{
    if (!info.isVirtual()) {
        std::free(left);
        std::free(right);
    }
    left = right = nullptr;
}

void WaveSample_c::dropData()
{
    releaseBuffers();
    frames = 0;
    info.setNormal();
    info.setFilename(Tool::Disk::Path_c::EmptyPath);
    aifcFlag = bigEndianFlag = floatFlag = reversedFlag = 0;
    hasLoop = 0;
    jFlag = 0;
}

bool WaveSample_c::freeSample()
{
    if (info.isMaster())
        prepareDestructiveOperation();
    const bool had = left != nullptr;
    dropData();
    return had;
}

bool WaveSample_c::setSample(const void* data, int n)
{
    freeSample();
    if (!data || n <= 0)
        return false;
    left = allocSampleMem(n);
    if (!left)
        return false;
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (int i = 0; i < n; ++i) {
        const int16_t v = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        left[i] = v >= 0 ? v / 32767.0f : v / 32768.0f;
    }
    frames = n;
    channels = 1;
    resolution = 16;
    dataBytes = 2 * n;
    return true;
}

bool WaveSample_c::getBufferFor(int n, int ch, float** outLeft, float** outRight)
{
    freeSample();
    if (n <= 0 || ch <= 0 || !outLeft || !outRight)
        return false;
    left = allocSampleMem(n);
    if (left && ch >= 2)
        right = allocSampleMem(n);
    *outLeft = left;
    *outRight = right;
    if (!left || (ch >= 2 && !right))
        return false;
    frames = n;
    channels = static_cast<uint16_t>(ch);
    resolution = 16;
    dataBytes = std::min(ch, 2) * n * 2;
    return true;
}

void WaveSample_c::flipData()
{
    for (float* buf : {left, right})
        if (buf)
            std::reverse(buf, buf + frames);
}

void WaveSample_c::flipDataJ()
{
    // The running sum of the reversed signal, straight from the running sum:
    // J'[i] = L - J[n-2-i], J'[n-1] = L, with L the total. Reversing the
    // first n-1 values and subtracting them from L does exactly that.
    if (frames < 1)
        return;
    for (float* buf : {left, right}) {
        if (!buf)
            continue;
        const float total = buf[frames - 1];
        std::reverse(buf, buf + frames - 1);
        for (int i = 0; i < frames - 1; ++i)
            buf[i] = total - buf[i];
    }
}

void WaveSample_c::setReversed(bool reversed, bool jForm)
{
    if ((reversedFlag != 0) == reversed)
        return;
    prepareDestructiveOperation();
    if (jForm)
        flipDataJ();
    else
        flipData();
    reversedFlag = reversed;
}

void WaveSample_c::trim(int from, int to)
{
    if (from < 0 || from > to || to >= frames)
        return;
    prepareDestructiveOperation();
    const int n = to - from + 1;
    for (float* buf : {left, right})
        if (buf)
            std::memmove(buf, buf + from, sizeof(float) * static_cast<size_t>(n));
    dataBytes = frames > 0 ? dataBytes / frames * n : 0;
    frames = n;
    start = 0;
    end = to - from;
}

void WaveSample_c::setJForm(bool on)
{
    if ((jFlag != 0) == on || !left || frames < 1)
        return;
    prepareDestructiveOperation();
    for (float* buf : {left, right}) {
        if (!buf)
            continue;
        if (on)
            changeToJ(buf, frames);
        else
            changeFromJ(buf, frames);
    }
    jFlag = on ? 1 : 0;
}

void WaveSample_c::forceMono()
{
    if (channels != 2 || !left || !right)
        return;
    prepareDestructiveOperation();
    for (int i = 0; i < frames; ++i)
        left[i] = (left[i] + right[i]) * 0.5f;
    channels = 1;
    std::free(right);
    right = nullptr;
}

float WaveSample_c::getMaxLevel(const float* buf, int from, int to) const
{
    float peak = 0.0f;
    if (!buf)
        return peak;
    for (int i = from; i <= to; ++i)
        peak = std::max(peak, std::abs(buf[i]));
    return peak;
}

float WaveSample_c::getSymLevel(const float* buf, int from, int to) const
{
    float hi = 0.0f, lo = 0.0f;
    if (!buf)
        return 0.0f;
    for (int i = from; i <= to; ++i) {
        hi = std::max(hi, buf[i]);
        lo = std::min(lo, buf[i]);
    }
    return (hi + lo) * 0.5f;
}

bool WaveSample_c::ZeroCrossAt(bool extremum, bool both, const float* buf, int i) const
{
    if (i == 0)
        return true;
    if (!buf || i < 0 || i >= frames - 1)
        return false;
    const float a = buf[i - 1], b = buf[i], c = buf[i + 1];
    if (extremum)
        return (a >= b && b <= c) || (both && a <= b && b >= c);
    return (a <= 0.0f && 0.0f <= b) || (both && a >= 0.0f && 0.0f >= b);
}

bool WaveSample_c::matchClosestZeroCross(bool extremum, bool both, const float* buf, int* pos) const
{
    if (frames < 8 || !buf || !pos)
        return false;
    for (int d = 0; d < frames; ++d) {
        for (const int i : {*pos - d, *pos + d}) {
            if (ZeroCrossAt(extremum, both, buf, i)) {
                *pos = i;
                return true;
            }
        }
    }
    return false;
}

bool WaveSample_c::matchClosestZeroCrossLM(bool extremum, bool both, int* pos) const
{
    return matchClosestZeroCross(extremum, both, left, pos);
}

bool WaveSample_c::matchClosestZeroCrossR(bool extremum, bool both, int* pos) const
{
    return matchClosestZeroCross(extremum, both, right, pos);
}

void WaveSample_c::setStart(int v)
{
    if (v >= 0)
        start = v;
}

void WaveSample_c::setEnd(int v)
{
    if (v >= 0)
        end = v;
}

bool WaveSample_c::checkStartEndConsistent() const
{
    return start >= 0 && start <= end && (end == 0 || end < frames);
}

int WaveSample_c::storeCuePoint(int id, int position)
{
    const int previous = cueCount;
    if (cueTable && cueCount < CueTableSize) {
        cueTable[cueCount] = {id, position};
        ++cueCount;
    }
    return previous;
}

int WaveSample_c::getCuePointStart(int id) const
{
    if (!cueTable)
        return 0;
    for (int i = 0; i < CueTableSize; ++i)
        if (cueTable[i].id == id)
            return cueTable[i].position;
    return 0;
}

bool WaveSample_c::isVirtuallySame(const WaveSample_c* other) const
{
    if (!other || other->info.isVirtual() || !other->left || other->frames < 1)
        return false;
    const Tool::Disk::Path_c& mine = info.getFilename();
    const Tool::Disk::Path_c& theirs = other->info.getFilename();
    if (mine.empty() || theirs.empty() || !mine.isIdenticalPath(theirs))
        return false;
    return reversedFlag == other->reversedFlag && (channels == 0 || channels == other->channels);
}

void WaveSample_c::beVirtual(WaveSample_c* master)
{
    if (!master || master == this)
        return;
    if (info.isMaster()) {
        if (!owner)
            return;
        owner->prepareDestructiveOperation(info);
    }
    dropData();
    info.setVirtual(master);
    info.setFilename(master->info.getFilename());
    channels = master->channels;
    sampleRate = master->sampleRate;
    left = master->left;
    right = master->right;
    rateRatio = master->rateRatio;
    frames = master->frames;
    jFlag = master->jFlag;
    blockAlign = master->blockAlign;
    resolution = master->resolution;
    aifcFlag = master->aifcFlag;
    bigEndianFlag = master->bigEndianFlag;
    floatFlag = master->floatFlag;
    reversedFlag = master->reversedFlag;
    dataBytes = master->dataBytes;
}

bool WaveSample_c::unVirtual()
{
    if (!info.isVirtual() || frames < 1 || !left)
        return false;
    float* newLeft = allocSampleMem(frames);
    float* newRight = channels >= 2 && right ? allocSampleMem(frames) : nullptr;
    if (!newLeft || (channels >= 2 && right && !newRight)) {
        std::free(newLeft);
        std::free(newRight);
        return false;
    }
    const size_t bytes = sizeof(float) * static_cast<size_t>(frames);
    std::memcpy(newLeft, left, bytes);
    if (newRight)
        std::memcpy(newRight, right, bytes);
    left = newLeft;
    right = newRight;
    info.setNormal();
    return true;
}

void WaveSample_c::passMasterRole(WaveSample_c* master, WaveSample_c* const* samples, int count)
{
    if (!master || !samples)
        return;
    WaveSample_c* heir = nullptr;
    int borrowers = 0;
    for (int i = 0; i < count; ++i) {
        WaveSample_c* s = samples[i];
        if (!s || s == master || !s->info.isVirtual() || s->info.getMasterPtr() != master)
            continue;
        // The sample's pointers change: keep its voices out meanwhile.
        s->lock.getWritePermission();
        if (!heir) {
            if (s->unVirtual()) {
                heir = s;
                heir->info.setMaster();
            } else {
                // No memory for a copy: the sample goes empty rather than
                // keep pointers into data that is about to change.
                s->left = s->right = nullptr;
                s->frames = 0;
                s->info.setNormal();
            }
        } else {
            // Borrowers of the old master now borrow from the heir. Their
            // identity moves directly: beVirtual would free nothing here.
            s->info.setVirtual(heir);
            s->left = heir->left;
            s->right = heir->right;
            ++borrowers;
        }
        s->lock.releaseWritePermission();
    }
    if (heir && borrowers == 0) {
        heir->lock.getWritePermission();
        heir->info.setNormal();
        heir->lock.releaseWritePermission();
    }
    master->info.setNormal();
}

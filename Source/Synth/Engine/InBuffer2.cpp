#include "InBuffer2.h"

#include "BlockMath.h"
#include "Capacities.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <new>

namespace {

// Host channel c lives in buffer ChannelBuffer[c]; the odd slots between the
// front pair are the scratch buffers.
constexpr int ChannelBuffer[6] = {0, 2, 4, 5, 6, 7};
constexpr int Scratch1 = 1;
constexpr int Scratch3 = 3;

// Kept out of line so that the compiler, which would see the copy bounded
// by a block, does not expand it into a slow string instruction inline:
// the library's copy is several times quicker for a block of floats.
[[gnu::noinline]] void copyFloats(float* to, const float* from, int n)
{
    std::memcpy(to, from, sizeof(float) * static_cast<size_t>(n));
}
// Up to this many floats a copy loop in line is quicker than the call.
constexpr int ShortCopy = 64;
// Channel buffers of each content form, in host order.
constexpr int MonoChannels[] = {0};
constexpr int StereoChannels[] = {0, 2};
constexpr int SurroundChannels[] = {0, 2, 4, 5, 6, 7};

// Below this a loaded block counts as silence (host inputs carry noise of
// about 1e-7 from the +-1e-7 clearing pattern).
constexpr float LoadThreshold = 1e-5f;
// Above this a bus counts as sounding.
constexpr float SilenceThreshold = 0.001f;

int bufferCountFor(int channels)
{
    if (channels == 1)
        return 1;
    if (channels == 2)
        return 3;
    return channels + 2;
}

void addInto(float* d, const float* s, int n)
{
    BlockMath::add(d, s, n);
}

} // namespace

InBuffer2_c::~InBuffer2_c()
{
    freeBuffers();
}

bool InBuffer2_c::ownsBuffer(int i) const
{
    if (i < 0 || i >= bufferCount_)
        return false;
    return !hostFed_ || i == Scratch1 || i == Scratch3;
}

// ---------------------------------------------------------------- creation

bool InBuffer2_c::beginCreate(const char* name, int size, int channels, float* def)
{
    freeBuffers();
    std::fill(std::begin(buffers_), std::end(buffers_), nullptr);
    created_ = false;
    ready_ = false;
    settleFits();
    if (size <= 0 || channels < 1 || channels > 6 || def == nullptr)
        return false;
    name_ = name != nullptr ? name : "unnamed";
    size_ = size;
    channels_ = channels;
    bufferCount_ = bufferCountFor(channels);
    def_ = def;
    offset_ = 0;
    defRepeats4_ = std::memcmp(def, def + 4, sizeof(float) * (MaxBlockSize - 4)) == 0;
    return true;
}

bool InBuffer2_c::create(const char* name, int size, int channels, float* def, bool flagA, bool flagB)
{
    const bool inRange = beginCreate(name, size, channels, def);
    hostFed_ = false;
    if (!inRange)
        return false;
    flagA_ = flagA;
    flagB_ = flagB;
    created_ = true;
    allocateBuffers();
    checkSetFlagReady();
    if (ready_)
        clearBufFull();
    resetCycle(size_);
    settleFits();
    return ready_;
}

bool InBuffer2_c::create(const char* name, int size, int channels, float* def)
{
    if (!beginCreate(name, size, channels, def))
        return false;
    flagA_ = false;
    flagB_ = true;
    hostFed_ = true;
    created_ = true;
    const bool allocated = allocateBuffers();
    checkSetFlagReady();
    clearBufFull();
    resetCycle(size_);
    settleFits();
    return allocated;
}

bool InBuffer2_c::resize(int size)
{
    if (!created_ || size <= 0)
        return false;
    freeBuffers();
    size_ = size;
    offset_ = 0;
    const bool allocated = allocateBuffers();
    checkSetFlagReady();
    clearBufFull();
    resetCycle(size_);
    settleFits();
    // A host-fed bus may still wait for its host buffers.
    return hostFed_ ? allocated : ready_;
}

bool InBuffer2_c::setBufPtr(float** host)
{
    if (!created_ || !hostFed_)
        return false;
    for (int c = 0; c < channels_; ++c)
        buffers_[ChannelBuffer[c]] = host != nullptr ? host[c] : nullptr;
    checkSetFlagReady();
    return ready_;
}

bool InBuffer2_c::allocateBuffers()
{
    bool all = true;
    for (int i = 0; i < bufferCount_; ++i)
        if (ownsBuffer(i) && !allocateBuffer(i))
            all = false;
    return all;
}

bool InBuffer2_c::allocateBuffer(int i)
{
    if (!ownsBuffer(i) || size_ <= 0)
        return false;
    delete[] buffers_[i];
    // Zeroed, so the slack after the last frame is defined too.
    buffers_[i] = new (std::nothrow) float[static_cast<size_t>(size_) + Slack]();
    return buffers_[i] != nullptr;
}

void InBuffer2_c::freeBuffers()
{
    for (int i = 0; i < bufferCount_; ++i) {
        if (ownsBuffer(i)) {
            delete[] buffers_[i];
            buffers_[i] = nullptr;
        }
    }
    ready_ = false;
    settleFits();
}

void InBuffer2_c::checkSetFlagReady()
{
    bool ok = created_ && channels_ > 0 && def_ != nullptr && size_ > 0;
    for (int i = 0; ok && i < bufferCount_; ++i)
        ok = buffers_[i] != nullptr;
    ready_ = ok;
    settleFits();
}

// ---------------------------------------------------------------- clearing

void InBuffer2_c::fill(int i, int from, int to)
{
    if (i < 0 || i >= BufferSlots || buffers_[i] == nullptr || def_ == nullptr)
        return;
    from = std::max(from, 0);
    to = std::min(to, size_);
    float* b = buffers_[i];
    while (from < to) {
        const int phase = from % MaxBlockSize;
        const int piece = std::min(to - from, MaxBlockSize - phase);
        // A short piece (a small host block) costs less in line than the
        // call.
        if (piece <= ShortCopy)
            BlockMath::copy(b + from, def_ + phase, piece);
        else
            copyFloats(b + from, def_ + phase, piece);
        from += piece;
    }
}

void InBuffer2_c::clearBufFull()
{
    for (int i = 0; i < bufferCount_; ++i)
        if (ownsBuffer(i))
            fill(i, 0, size_);
}

void InBuffer2_c::clearBufHostFeed()
{
    if (dirtyHi_ <= dirtyLo_)
        return;
    if (scratch1Used_ || scratch3Used_)
        fill(Scratch1, dirtyLo_, dirtyHi_);
    if (scratch3Used_)
        fill(Scratch3, dirtyLo_, dirtyHi_);
}

void InBuffer2_c::clearBufNormal()
{
    if (dirtyHi_ <= dirtyLo_)
        return;
    clearBufHostFeed();
    // By what the cycle touched, not only by what it completed: a writer that
    // took a pointer and never called done* still wrote into the channels.
    switch (touched_) {
    case formMono:
        fill(0, dirtyLo_, dirtyHi_);
        break;
    case formStereo:
        for (int b : StereoChannels)
            fill(b, dirtyLo_, dirtyHi_);
        break;
    case form51:
        for (int b : SurroundChannels)
            fill(b, dirtyLo_, dirtyHi_);
        break;
    case formNone:
        break;
    }
}

void InBuffer2_c::prepCycleClearing(int n)
{
    if (!ready_)
        return;
    // prepCycle has taken the usual voice buses (untouched, or a mono
    // stretch); here come the host-fed bus and the wider or scattered
    // contents.
    if (dirtyHi_ > dirtyLo_) {
        if (hostFed_)
            clearBufHostFeed();
        else
            clearBufNormal();
    }
    // The output bus walks through the host's block piece by piece; its
    // offset is rewound by resetOffs at the end of the block, not here.
    startCycle(n, hostFed_ ? offset_ : 0);
    markFresh(n);
}

void InBuffer2_c::incOffs(int n)
{
    if (n <= 0 || ((flagA_ || flagB_) && !hostFed_))
        return;
    offset_ = n > size_ - offset_ ? size_ : offset_ + n;
    settleFits();
}

void InBuffer2_c::resetOffs()
{
    offset_ = 0;
    settleFits();
}

// ---------------------------------------------------------------- writing

bool InBuffer2_c::openWriteMono(float** out, bool direct, int len)
{
    if (out == nullptr || !ready_ || !cycleOk_ || channels_ < 1 || !fits(len))
        return false;
    if (direct && !hostFed_)
        return false;
    if ((content_ == formStereo || content_ == form51) && !direct) {
        // A narrower writer goes through scratch 1; doneWriteMono spreads it.
        if (scratch1Used_)
            fill(Scratch1, offset_, offset_ + len);
        scratch1Used_ = true;
        touch(formNone, offset_, len);
        *out = buffers_[Scratch1] + offset_;
        writeViaScratch_ = true;
    } else {
        touch(formMono, offset_, len);
        *out = buffers_[0] + offset_;
        writeViaScratch_ = false;
    }
    writeFrom_ = offset_;
    writeLen_ = len;
    writeState_ = wsMono;
    return true;
}

bool InBuffer2_c::openWriteStereo(float** left, float** right, int len)
{
    if (left == nullptr || right == nullptr || !ready_ || !cycleOk_ || channels_ < 2 || !fits(len))
        return false;
    touch(formStereo, offset_, len);
    if (content_ == formMono) {
        // Spread the mono content: right := left wherever the cycle wrote.
        std::memcpy(buffers_[2] + dirtyLo_, buffers_[0] + dirtyLo_,
                    sizeof(float) * static_cast<size_t>(dirtyHi_ - dirtyLo_));
        content_ = formStereo;
    }
    if (content_ == form51) {
        if (scratch1Used_ || scratch3Used_)
            fill(Scratch1, offset_, offset_ + len);
        if (scratch3Used_)
            fill(Scratch3, offset_, offset_ + len);
        scratch1Used_ = true;
        scratch3Used_ = true;
        *left = buffers_[Scratch1] + offset_;
        *right = buffers_[Scratch3] + offset_;
        writeViaScratch_ = true;
    } else {
        *left = buffers_[0] + offset_;
        *right = buffers_[2] + offset_;
        writeViaScratch_ = false;
    }
    writeFrom_ = offset_;
    writeLen_ = len;
    writeState_ = wsStereo;
    return true;
}

bool InBuffer2_c::openWrite51(float** six, int len)
{
    if (six == nullptr || !ready_ || !cycleOk_ || channels_ < 6 || !fits(len))
        return false;
    touch(form51, offset_, len);
    const size_t bytes = sizeof(float) * static_cast<size_t>(dirtyHi_ - dirtyLo_);
    if (content_ == formMono) {
        for (int b : {2, 6, 7})
            std::memcpy(buffers_[b] + dirtyLo_, buffers_[0] + dirtyLo_, bytes);
        content_ = form51;
    } else if (content_ == formStereo) {
        std::memcpy(buffers_[6] + dirtyLo_, buffers_[0] + dirtyLo_, bytes);
        std::memcpy(buffers_[7] + dirtyLo_, buffers_[2] + dirtyLo_, bytes);
        content_ = form51;
    }
    for (int c = 0; c < 6; ++c)
        six[c] = buffers_[ChannelBuffer[c]] + offset_;
    writeFrom_ = offset_;
    writeLen_ = len;
    writeViaScratch_ = false;
    writeState_ = wsSurround;
    return true;
}

bool InBuffer2_c::wantWrite51(float** six)
{
    return openWrite51(six, cycleLen_);
}

void InBuffer2_c::finishWriteMono()
{
    // Only after a wantWriteMono of this cycle: a stray done must not add
    // scratch 1 into the channels a second time.
    if (writeState_ != wsMono)
        return;
    if (writeViaScratch_) {
        const float* s = buffers_[Scratch1] + writeFrom_;
        if (content_ == formStereo) {
            for (int b : StereoChannels)
                addInto(buffers_[b] + writeFrom_, s, writeLen_);
        } else if (content_ == form51) {
            for (int b : SurroundChannels)
                addInto(buffers_[b] + writeFrom_, s, writeLen_);
        }
        touch(content_, writeFrom_, writeLen_);
    }
    if (content_ == formNone)
        content_ = formMono;
    writeViaScratch_ = false;
    writeState_ = wsDone;
}

void InBuffer2_c::finishWriteStereo()
{
    if (writeState_ != wsStereo)
        return;
    if (writeViaScratch_) {
        // A stereo writer into 5.1 content reaches the front and the surround
        // pairs; centre and LFE stay as they are.
        const float* l = buffers_[Scratch1] + writeFrom_;
        const float* r = buffers_[Scratch3] + writeFrom_;
        addInto(buffers_[0] + writeFrom_, l, writeLen_);
        addInto(buffers_[2] + writeFrom_, r, writeLen_);
        addInto(buffers_[6] + writeFrom_, l, writeLen_);
        addInto(buffers_[7] + writeFrom_, r, writeLen_);
    }
    if (content_ != formStereo && content_ != form51)
        content_ = formStereo;
    writeViaScratch_ = false;
    writeState_ = wsDone;
}

void InBuffer2_c::doneWrite51()
{
    if (writeState_ != wsSurround)
        return;
    content_ = form51;
    writeState_ = wsDone;
}

// ---------------------------------------------------------------- reading

bool InBuffer2_c::openReadMono(float** out, bool allowMix, int len)
{
    if (out == nullptr || !ready_ || !cycleOk_ || channels_ < 1 || !fits(len))
        return false;
    if (content_ != formStereo && content_ != form51) {
        *out = buffers_[0] + offset_;
        return true;
    }
    if (!allowMix)
        return false;
    // The average of left and right, in scratch 1 (so it is cleared with the
    // cycle and refilled before a mono writer takes it).
    float* s = buffers_[Scratch1] + offset_;
    const float* l = buffers_[0] + offset_;
    const float* r = buffers_[2] + offset_;
    for (int i = 0; i < len; ++i)
        s[i] = (l[i] + r[i]) * 0.5f;
    scratch1Used_ = true;
    touch(formNone, offset_, len);
    *out = s;
    return true;
}

bool InBuffer2_c::openReadStereo(float** left, float** right, int len)
{
    if (left == nullptr || right == nullptr || !ready_ || !cycleOk_ || !fits(len))
        return false;
    if (content_ == form51)
        return false;
    if (content_ == formMono) {
        *left = *right = buffers_[0] + offset_;
        return true;
    }
    if (!hasBuffer(2))
        return false;
    *left = buffers_[0] + offset_;
    *right = buffers_[2] + offset_;
    return true;
}

bool InBuffer2_c::openRead51(float** six, int len)
{
    if (six == nullptr || !ready_ || !cycleOk_ || !fits(len))
        return false;
    static constexpr int MonoView[6] = {0, 0, 4, 5, 0, 0};
    static constexpr int StereoView[6] = {0, 2, 4, 5, 0, 2};
    const int* view = content_ == formMono ? MonoView : content_ == formStereo ? StereoView : ChannelBuffer;
    for (int c = 0; c < 6; ++c)
        if (!hasBuffer(view[c]))
            return false;
    for (int c = 0; c < 6; ++c)
        six[c] = buffers_[view[c]] + offset_;
    return true;
}

bool InBuffer2_c::wantReadStereo(float** left, float** right)
{
    return openReadStereo(left, right, cycleLen_);
}

bool InBuffer2_c::wantRead51(float** six)
{
    return openRead51(six, cycleLen_);
}

// ---------------------------------------------------------------- block operations

void InBuffer2_c::addmod(float* d, const float* s, int n, const float* mod)
{
    if (d == nullptr || s == nullptr || n < 1)
        return;
    if (mod == nullptr) {
        addInto(d, s, n);
        return;
    }
    BlockMath::addStepScaled(d, s, mod, n);
}

void InBuffer2_c::rplmod(float* d, const float* s, int n, const float* mod)
{
    if (d == nullptr || s == nullptr || n < 1)
        return;
    if (mod == nullptr) {
        std::memmove(d, s, sizeof(float) * static_cast<size_t>(n));
        return;
    }
    BlockMath::storeStepScaled(d, s, mod, n);
}

bool InBuffer2_c::mixIn(InBuffer2_c* src, int n, bool forceStereo, float* mod, bool replace)
{
    if (src == nullptr || n < 1)
        return false;
    auto move = [&](float* d, const float* s) {
        if (replace)
            rplmod(d, s, n, mod);
        else
            addmod(d, s, n, mod);
    };
    bool mixed = false;
    const Form_t form = src->content_;
    if (form == formMono && !forceStereo) {
        float* s = nullptr;
        float* d = nullptr;
        if (src->openReadMono(&s, false, n) && openWriteMono(&d, false, n)) {
            move(d, s);
            doneWriteMono();
            mixed = true;
        }
    } else if (form == formMono || form == formStereo) {
        float* sl = nullptr;
        float* sr = nullptr;
        float* dl = nullptr;
        float* dr = nullptr;
        if (src->openReadStereo(&sl, &sr, n) && openWriteStereo(&dl, &dr, n)) {
            move(dl, sl);
            move(dr, sr);
            doneWriteStereo();
            mixed = true;
        }
    } else if (form == form51) {
        // Also with forceStereo: 5.1 content is already wider than stereo,
        // and a stereo view of it does not exist.
        float* s[6] = {};
        float* d[6] = {};
        if (src->openRead51(s, n) && openWrite51(d, n)) {
            for (int c = 0; c < 6; ++c)
                move(d[c], s[c]);
            doneWrite51();
            mixed = true;
        }
    }
    if (writeState_ == wsUntouched && src->writeState_ != wsUntouched) {
        writeState_ = wsDone;
        freshFor_ = NotFresh;
    }
    return mixed;
}

bool InBuffer2_c::add(InBuffer2_c* src, int n, bool forceStereo, float* mod)
{
    return mixIn(src, n, forceStereo, mod, false);
}

bool InBuffer2_c::rpl(InBuffer2_c* src, int n, bool forceStereo, float* mod)
{
    return mixIn(src, n, forceStereo, mod, true);
}

bool InBuffer2_c::loadMono(float* data, int n)
{
    if (data == nullptr || n < 1 || (writeState_ != wsUntouched && writeState_ != wsDone))
        return false;
    if (std::none_of(data, data + n, [](float x) { return std::fabs(x) > LoadThreshold; }))
        return false;
    float* d = nullptr;
    if (!openWriteMono(&d, false, n))
        return false;
    std::memcpy(d, data, sizeof(float) * static_cast<size_t>(n));
    doneWriteMono();
    return true;
}

bool InBuffer2_c::loadStereo(float* left, float* right, int n)
{
    if (left == nullptr || right == nullptr || n < 1 || (writeState_ != wsUntouched && writeState_ != wsDone))
        return false;
    auto loud = [](float x) { return std::fabs(x) > LoadThreshold; };
    if (std::none_of(left, left + n, loud) && std::none_of(right, right + n, loud))
        return false;
    float* dl = nullptr;
    float* dr = nullptr;
    if (!openWriteStereo(&dl, &dr, n))
        return false;
    std::memcpy(dl, left, sizeof(float) * static_cast<size_t>(n));
    std::memcpy(dr, right, sizeof(float) * static_cast<size_t>(n));
    doneWriteStereo();
    return true;
}

bool InBuffer2_c::renderOut(float* left, float* right, int n)
{
    if (left == nullptr || right == nullptr || n < 1 || !ready_ || !cycleOk_ || !fits(n))
        return false;
    if (content_ == formMono) {
        addInto(left, buffers_[0] + offset_, n);
        addInto(right, buffers_[0] + offset_, n);
        return true;
    }
    if (content_ == formStereo) {
        addInto(left, buffers_[0] + offset_, n);
        addInto(right, buffers_[2] + offset_, n);
        return true;
    }
    return false;
}

bool InBuffer2_c::copyMono2Stereo(int n)
{
    if (n < 1 || !ready_ || !cycleOk_ || channels_ < 2 || !fits(n))
        return false;
    std::memcpy(buffers_[2] + offset_, buffers_[0] + offset_, sizeof(float) * static_cast<size_t>(n));
    // The right channel now holds data of this cycle and is cleared with it.
    touch(formStereo, offset_, n);
    return true;
}

void InBuffer2_c::forceMono(bool mix)
{
    if (!ready_ || content_ != formStereo)
        return;
    freshFor_ = NotFresh;
    if (mix) {
        float* l = buffers_[0];
        const float* r = buffers_[2];
        for (int i = dirtyLo_; i < dirtyHi_; ++i)
            l[i] = (l[i] + r[i]) * 0.5f;
        writeState_ = wsDone;
    }
    content_ = formMono;
    if (scratch1Used_) {
        fill(Scratch1, dirtyLo_, dirtyHi_);
        scratch1Used_ = false;
    }
    fill(2, dirtyLo_, dirtyHi_);
}

bool InBuffer2_c::isSilent()
{
    if (!ready_)
        return true;
    auto loud = [this](int b) {
        const float* p = buffers_[b];
        for (int i = dirtyLo_; i < dirtyHi_; ++i)
            if (std::fabs(p[i]) > SilenceThreshold)
                return true;
        return false;
    };
    switch (content_) {
    case formMono:
        return !std::any_of(std::begin(MonoChannels), std::end(MonoChannels), loud);
    case formStereo:
        return !std::any_of(std::begin(StereoChannels), std::end(StereoChannels), loud);
    case form51:
        return !std::any_of(std::begin(SurroundChannels), std::end(SurroundChannels), loud);
    case formNone:
        break;
    }
    return true;
}

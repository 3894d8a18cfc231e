// InBuffer2_c: the audio bus between modules. Generators, panners, filters and
// effects write into buses and read from them; the route table says which
// buses a module writes; the output bus is bound to the host's output arrays.
//
// A bus has a channel layout (1, 2 or 6 channels; 1..6 accepted) and tracks,
// per processing cycle, what it really holds: nothing, mono, stereo or 5.1.
// Content only widens within a cycle. A narrower writer is mixed into wider
// content through a scratch channel; a wider writer first spreads the narrower
// content it finds. Readers ask for the form they want and get views into the
// bus without copying where the forms match. prepCycle starts the next cycle
// and puts back the bus's default (silence of +-1e-7, or 1.0 for modulation
// inputs) only where the last cycle touched it.
//
// Buffer layout: 0 left (the mono channel), 1 scratch, 2 right, 3 second
// scratch, 4 centre, 5 LFE, 6 left surround, 7 right surround. Host channel c
// (0..5) is buffer 0, 2, 4, 5, 6, 7. A stereo bus has buffers 0..2, a 5.1 bus
// 0..7.
//
// Every pointer a bus hands out covers the current cycle at the current
// offset: [offset, offset + cycle length) lies inside the bus's size, or the
// request is refused. A form the bus cannot give (stereo or 5.1 from a
// narrower bus, a 5.1 view of stereo content on fewer than six channels) is
// refused, never answered with a buffer the bus does not have.
//
// Threads: create, resize and the destructor run on the user-interface side
// while the audio thread does not use the bus; they are the only operations
// that allocate. Everything else belongs to the audio thread and neither
// allocates nor locks.
#pragma once

#include "BlockMath.h"
#include "Capacities.h"


// Where a bus stands in the current cycle's write.
enum WriteState_t : int {
    wsUntouched = 0, // nothing written this cycle
    wsMono = 1,      // a mono writer is active
    wsStereo = 2,    // a stereo writer is active
    wsSurround = 3,  // a 5.1 writer is active
    wsDone = 4,      // a write was completed
};

// Nothing derives from a bus to change what it does: the operations the
// audio path calls for every voice and module are final, so those calls go
// straight to them.
class InBuffer2_c
{
public:
    // The form of a bus's content this cycle, narrowest first.
    enum Form_t : int { formNone = 0, formMono = 1, formStereo = 2, form51 = 3 };

    InBuffer2_c() = default;
    virtual ~InBuffer2_c();
    // A bus owns its buffers; it is never copied.
    InBuffer2_c(const InBuffer2_c&) = delete;
    InBuffer2_c& operator=(const InBuffer2_c&) = delete;

    // A bus with buffers of its own: size frames per buffer (> 0), 1..6
    // channels, a default block of 256 floats copied into channels to clear
    // them (not owned). flagA marks a voice bus (prepared before each voice),
    // flagB a piece bus (prepared once per piece); with either set the offset
    // stays put in incOffs. name is kept as a pointer for messages. False, and
    // the bus not ready, when an argument is out of range or memory runs out.
    // A bus created before is emptied first. Thread: user interface.
    virtual bool create(const char* name, int size, int channels, float* def, bool flagA, bool flagB);
    // A new size for a created bus (> 0): buffers are made anew and cleared.
    // Thread: user interface, audio stopped.
    virtual bool resize(int size);
    // A host-fed bus: the channels are the host's buffers (setBufPtr), only
    // the scratch buffers are its own. size is the frame count the host's
    // buffers hold at least (the host's largest block). flagA false, flagB
    // true. Not ready until setBufPtr has bound every channel.
    // Thread: user interface.
    virtual bool create(const char* name, int size, int channels, float* def);
    // Binds channel c to host[c] for every channel; the host's array holds at
    // least as many pointers as the bus has channels. A null array or a null
    // channel pointer leaves the bus unbound (not ready). Only host-fed buses
    // take host buffers. Thread: audio (or any while audio is stopped).
    virtual bool setBufPtr(float** host) final;
    virtual int getChannels() const { return channels_; }
    // Copies n frames of the left channel into the right one at the offset.
    virtual bool copyMono2Stereo(int n) final;

    // Starts a cycle of n frames (0..size): clears what the last cycle
    // touched, forgets the content, resets the write state and, except on a
    // host-fed bus (whose offset walks through the host's block), the offset.
    // An n that does not fit leaves the bus cleared but refusing every
    // pointer until the next cycle that fits.
    virtual void prepCycle(int n) final
    {
        // Most voice buses sit unused by a voice (a slot, path or panner
        // off): one that nothing touched since it started a cycle of the
        // same length already is what starting it again would make.
        if (freshFor_ == n)
            return;
        // A voice bus the last voice left untouched has nothing to clear;
        // one it touched mostly holds a mono stretch, put back in line too:
        // both come for every voice bus and voice.
        if (ready_ && !hostFed_ && (dirtyHi_ <= dirtyLo_ || restoreMonoStretch())) {
            startCycle(n, 0);
            markFresh(n);
            return;
        }
        prepCycleClearing(n);
    }
    // Puts n external samples (n >= 1, no writer active) into the bus at the
    // offset; a block whose samples all lie within 1e-5 loads nothing. True
    // when loaded.
    virtual bool loadMono(float* data, int n) final;
    virtual bool loadStereo(float* left, float* right, int n) final;
    // Mixes (add) or copies (rpl) n frames of src, in src's content form, into
    // this bus; forceStereo writes mono content as stereo. mod (optional) is
    // a control-rate gain, one value per 8 frames. A source without content
    // adds nothing. False when nothing was mixed in: no content, a form this
    // bus cannot take, or n not fitting either bus at its offset.
    virtual bool add(InBuffer2_c* src, int n, bool forceStereo, float* mod) final;
    virtual bool rpl(InBuffer2_c* src, int n, bool forceStereo, float* mod) final;
    // Moves the offset on by n frames (never past the size); buses with an
    // offset-fixed flag that are not host-fed keep theirs.
    virtual void incOffs(int n) final;
    virtual void resetOffs() final;
    // Adds n frames at the offset into two output arrays: mono content into
    // both, stereo content left and right; 5.1 or no content adds nothing.
    virtual bool renderOut(float* left, float* right, int n) final;
    // Turns stereo content into mono: with mix the left channel becomes the
    // average of both, without it the right channel is dropped.
    virtual void forceMono(bool mix) final;
    // True unless a sample of the content exceeds 0.001 in magnitude.
    virtual bool isSilent() final;

    // Write protocol: want* gives the writer pointers at the offset (false
    // when the bus cannot take the form now); the writer adds or stores the
    // cycle's samples; the matching done* completes the write. direct asks
    // a host-fed bus for its left channel itself, even over wider content.
    virtual bool wantWriteMono(float** out, bool direct) final
    {
        // In line: a mono writer into a bus that holds nothing wider.
        if (out && !direct && cycleFits_ && content_ <= formMono) {
            touch(formMono, offset_, cycleLen_);
            *out = buffers_[0] + offset_;
            beginWrite(wsMono, cycleLen_);
            return true;
        }
        return openWriteMono(out, direct, cycleLen_);
    }
    virtual bool wantWriteStereo(float** left, float** right) final
    {
        // In line: a stereo writer into a bus that holds nothing or stereo.
        if (left && right && cycleFits_ && channels_ >= 2 && (content_ == formNone || content_ == formStereo)) {
            touch(formStereo, offset_, cycleLen_);
            *left = buffers_[0] + offset_;
            *right = buffers_[2] + offset_;
            beginWrite(wsStereo, cycleLen_);
            return true;
        }
        return openWriteStereo(left, right, cycleLen_);
    }
    virtual bool wantWrite51(float** six) final;
    // Read protocol: views of the content at the offset, false when the
    // content cannot be given in that form. allowMix lets a mono reader of
    // stereo or 5.1 content get the average of left and right.
    virtual bool wantReadMono(float** out, bool allowMix) final
    {
        // In line: a view of mono content (or of nothing).
        if (out && cycleFits_ && content_ <= formMono) {
            *out = buffers_[0] + offset_;
            return true;
        }
        return openReadMono(out, allowMix, cycleLen_);
    }
    virtual bool wantReadStereo(float** left, float** right) final;
    virtual bool wantRead51(float** six) final;
    virtual void doneWriteMono() final
    {
        if (writeState_ == wsMono && !writeViaScratch_) {
            if (content_ == formNone)
                content_ = formMono;
            writeState_ = wsDone;
            return;
        }
        finishWriteMono();
    }
    virtual void doneWriteStereo() final
    {
        if (writeState_ == wsStereo && !writeViaScratch_) {
            if (content_ != formStereo && content_ != form51)
                content_ = formStereo;
            writeState_ = wsDone;
            return;
        }
        finishWriteStereo();
    }
    virtual void doneWrite51() final;
    // d[i] += s[i] * g and d[i] = s[i] * g with g = mod[i / 8], i in 0..n-1;
    // without mod g is 1. d and s are the same array or do not overlap.
    virtual void addmod(float* d, const float* s, int n, const float* mod) final;
    virtual void rplmod(float* d, const float* s, int n, const float* mod) final;

    // ready := the bus has channels and every buffer it hands out exists.
    // Final: a ready bus always has a channel, which the want* paths rely on.
    virtual void checkSetFlagReady() final;

    const char* getName() const { return name_; }
    // The default block (256 floats) that clearing copies in: frame k of
    // the bus holds default[k % 256] where the cycle wrote nothing.
    const float* getDefault() const { return def_; }
    bool isReady() const { return ready_; }
    bool isHostFed() const { return hostFed_; }
    bool getFlagA() const { return flagA_; }
    bool getFlagB() const { return flagB_; }
    int getSize() const { return size_; }
    int getOffset() const { return offset_; }
    int getCycleLength() const { return cycleLen_; }
    // One of WriteState_t.
    int getWriteState() const { return writeState_; }
    Form_t getContent() const { return content_; }
    bool hasContent() const { return content_ != formNone; }
    bool isMono() const { return content_ == formMono; }
    bool isStereo() const { return content_ == formStereo; }
    bool is51() const { return content_ == form51; }

protected:
    static constexpr int BufferSlots = 8;
    static constexpr int Slack = 5; // floats after the last frame of each own buffer

    // The opening of both create forms: the old buffers go and the bus is
    // neither created nor ready; then, when the arguments are in range, it
    // takes them with the offset at 0. False for an argument out of range.
    bool beginCreate(const char* name, int size, int channels, float* def);
    virtual bool allocateBuffers();
    virtual bool allocateBuffer(int i);
    virtual void freeBuffers();
    // Fills every own buffer over the whole size.
    virtual void clearBufFull();
    // Fills, by the form the last cycle touched, the channels and the used
    // scratch buffers over the span it touched.
    virtual void clearBufNormal() final;
    // The same for a host-fed bus: only its scratch buffers.
    virtual void clearBufHostFeed() final;

    // Whether buffer i is one of the bus's own (allocated by it).
    bool ownsBuffer(int i) const;
    // Whether buffer i exists in this layout.
    bool hasBuffer(int i) const { return i >= 0 && i < bufferCount_ && buffers_[i] != nullptr; }
    // Whether len frames from the offset lie inside the bus.
    bool fits(int len) const { return len >= 0 && offset_ >= 0 && offset_ <= size_ && len <= size_ - offset_; }
    // Copies the default block into buffer i over [from, to), index-aligned
    // (frame k gets def[k % 256]), in pieces of at most 256 floats.
    void fill(int i, int from, int to);
    // Records that buffers of the given form (and the scratch ones through
    // their own flags) hold data of this cycle over [from, from + len).
    void touch(Form_t form, int from, int len)
    {
        freshFor_ = NotFresh;
        if (len <= 0)
            return;
        touched_ = form > touched_ ? form : touched_;
        if (dirtyHi_ <= dirtyLo_) {
            dirtyLo_ = from;
            dirtyHi_ = from + len;
        } else {
            dirtyLo_ = from < dirtyLo_ ? from : dirtyLo_;
            dirtyHi_ = from + len > dirtyHi_ ? from + len : dirtyHi_;
        }
    }
    // A writer of the current cycle at the offset, straight into the
    // channels.
    void beginWrite(int state, int len)
    {
        writeFrom_ = offset_;
        writeLen_ = len;
        writeViaScratch_ = false;
        writeState_ = state;
    }
    // The usual voice bus at the end of a cycle: mono content in one
    // stretch of the default block, no scratch used. Copies the default
    // block back over the stretch; false, with nothing done, for any other
    // bus.
    [[gnu::always_inline]] bool restoreMonoStretch()
    {
        const int len = dirtyHi_ - dirtyLo_;
        if (touched_ != formMono || scratch1Used_ || scratch3Used_ || dirtyLo_ < 0 || len <= 0 || dirtyHi_ > size_ ||
            len > MaxBlockSize - dirtyLo_ % MaxBlockSize)
            return false;
        float* d = buffers_[0] + dirtyLo_;
        const float* s = def_ + dirtyLo_ % MaxBlockSize;
        int i = 0;
        if (defRepeats4_) {
            // The default repeats every four floats (the engine's silence
            // and ones do): the four from the stretch's phase, stored over
            // and over, need no loads.
            const __m128 v = _mm_loadu_ps(def_ + (dirtyLo_ & 3));
            for (; i + 16 <= len; i += 16) {
                _mm_storeu_ps(d + i, v);
                _mm_storeu_ps(d + i + 4, v);
                _mm_storeu_ps(d + i + 8, v);
                _mm_storeu_ps(d + i + 12, v);
            }
        }
        // A control step of floats per turn; the rest as BlockMath copies.
        for (; i + 8 <= len; i += 8) {
            const __m128 a = _mm_loadu_ps(s + i);
            const __m128 b = _mm_loadu_ps(s + i + 4);
            _mm_storeu_ps(d + i, a);
            _mm_storeu_ps(d + i + 4, b);
        }
        BlockMath::copy(d + i, s + i, len - i);
        return true;
    }
    // The out-of-line parts of prepCycle and the done* calls.
    void prepCycleClearing(int n);
    void finishWriteMono();
    void finishWriteStereo();
    // The common write paths of want* (len = the cycle) and of the block
    // operations (len = their n).
    bool openWriteMono(float** out, bool direct, int len);
    bool openWriteStereo(float** left, float** right, int len);
    bool openWrite51(float** six, int len);
    bool openReadMono(float** out, bool allowMix, int len);
    bool openReadStereo(float** left, float** right, int len);
    bool openRead51(float** six, int len);
    bool mixIn(InBuffer2_c* src, int n, bool forceStereo, float* mod, bool replace);
    void resetCycle(int n)
    {
        content_ = formNone;
        scratch1Used_ = false;
        scratch3Used_ = false;
        writeState_ = wsUntouched;
        touched_ = formNone;
        dirtyLo_ = 0;
        dirtyHi_ = 0;
        writeFrom_ = 0;
        writeLen_ = 0;
        writeViaScratch_ = false;
        cycleLen_ = n;
        cycleOk_ = true;
    }
    // A new cycle of n frames at the given offset; one that does not fit
    // refuses every pointer until the next.
    void startCycle(int n, int offset)
    {
        offset_ = offset;
        // The flag from the fit just taken: every voice bus starts a cycle
        // for every voice.
        const bool ok = fits(n);
        resetCycle(ok ? n : 0);
        cycleOk_ = ok;
        cycleFits_ = ok && ready_;
    }
    // Every write of ready_, cycleOk_, cycleLen_, offset_ or size_ ends
    // here (startCycle sets the flag itself).
    void settleFits()
    {
        cycleFits_ = ready_ && cycleOk_ && fits(cycleLen_);
        freshFor_ = NotFresh;
    }
    // After a start of n frames on a bus that is not host-fed: while
    // nothing touches the bus (touch, settleFits and every other change of
    // the cycle's state put NotFresh back), a start of the same n can be
    // skipped. A cycle that does not fit is never marked.
    void markFresh(int n) { freshFor_ = cycleFits_ && !hostFed_ ? n : NotFresh; }

    const char* name_ = "unnamed";
    float* def_ = nullptr;
    float* buffers_[BufferSlots] = {};
    int channels_ = 0;
    int bufferCount_ = 0;
    int size_ = 0;
    int cycleLen_ = 0;
    int offset_ = 0;
    bool flagA_ = false;
    bool flagB_ = false;
    bool ready_ = false;
    bool created_ = false;
    bool hostFed_ = false;
    // ready_ (which implies a channel), cycleOk_, and the cycle's frames
    // from the offset inside the bus: all the plain want* paths ask, kept in
    // one flag since they ask it several times for every module and voice.
    bool cycleFits_ = false;
    // The n of the last start when the bus has not been touched since, its
    // buffers all default and its state just as that start left it (offset
    // 0, no content, no writer); NotFresh otherwise. Never set on a
    // host-fed bus, whose offset walks.
    static constexpr int NotFresh = -1;
    int freshFor_ = NotFresh;
    // The default block, as create found it, repeats every four floats.
    bool defRepeats4_ = false;

    // The state of the cycle, side by side so that resetCycle, which runs
    // for every voice bus and voice, puts it back with a few wide stores.
    int writeState_ = wsUntouched;
    Form_t content_ = formNone;
    // What this cycle touched and must be cleared at the next: the widest
    // channel form written or handed to a writer, and the frame span.
    Form_t touched_ = formNone;
    int dirtyLo_ = 0;
    int dirtyHi_ = 0;
    // The active writer's span and whether it got the scratch buffers (then
    // done* mixes them into the channels).
    int writeFrom_ = 0;
    int writeLen_ = 0;
    bool writeViaScratch_ = false;
    bool scratch1Used_ = false;
    bool scratch3Used_ = false;
    bool cycleOk_ = true;
};

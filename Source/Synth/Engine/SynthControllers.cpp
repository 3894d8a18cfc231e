// The engine's controller assignments: incoming controllers through the
// learn table onto host parameters, learning from touched controls, and
// parameter changes sent back to the host as controllers.
//
// Threads: controllers arrive on the audio thread (the first instrument's
// parser, through processMidiCC) and are sent back from the audio thread
// (command 'Y'). The table they read is a published snapshot (ECS2.h), so
// the editor may learn and clear at the same time. Learning from touched
// controls runs on the user-interface thread; what the audio side completes
// is entered by the idle work (idleControllers).
#include "Synth.h"
#include "MidiBytes.h"

#include "ECS2.h"
#include "EPAS.h"
#include "NRPN.h"
#include "Parameter.h"
#include "SysGlo.h"
#include "ThreadCheck.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// Stepping by increments: a step is at least one value of the parameter
// (counted over at most StepRangeLimit values) and at most
// FastStepFraction of the range at full speed.
constexpr int StepRangeLimit = 512;
constexpr float FastStepFraction = 0.05f;
constexpr float StepUnitScale = 1.00001f;

} // namespace

// ---------------------------------------------------------------------------
// Incoming controllers

bool Synth::getECSPartParaIdx(int index, Part_c** part, int* para, int* ins)
{
    return getPartParaIdx(index, part, para, ins);
}

void Synth::CCsetParameter(int channel, int controller, int value)
{
    const ECS2_c* table = ecs.get();
    if (!table)
        return;
    // One snapshot for the whole message: a slot found is mapped through
    // the same assignment even when the editor changes the table meanwhile.
    ECS2_c::View view(*table);
    int slot = -1;
    int ins = 0;
    int editIndex = 0;
    ECSCtrlUse_t use = ecsUseNone;
    float speed = 0.0f;
    bool negative = false;
    while (view.requestCC(channel, controller, value, &slot, &ins, &editIndex, &use, &speed, &negative)) {
        if (use == ecsUseNone)
            continue;
        Part_c* part = nullptr;
        int para = -1;
        int set = -1;
        if (!getECSPartParaIdx(editIndex, &part, &para, &set) || !part)
            return;
        const int target = std::clamp(ins, 0, std::max(numInstruments - 1, 0));
        float v = 0.0f;
        if (use == ecsUseAbsolute) {
            v = view.requestFl01(slot, value);
        } else {
            const Parameter_c* p = part->getParaPtr(set, para);
            if (!p)
                return;
            const int range = std::clamp(p->getHighValue() - p->getLowValue(), 1, StepRangeLimit);
            const float unit = StepUnitScale / float(range);
            const float fast = FastStepFraction * speed + (1.0f - speed) * unit;
            const int direction = use == ecsUseIncrement ? 1 : -1;
            float step = std::max(unit, std::min(1.0f, fast));
            step = std::max(step, std::fabs(part->getParaStepChangeFl(para, direction)));
            const float current = getParameterCore(editIndex, false);
            const float next = std::clamp(current + float(direction) * step, 0.0f, 1.0f);
            v = view.requestFl01(slot, next);
        }
        CCsetParameterCore(editIndex, part, target, para, v, negative);
    }
}

void Synth::CCsetParameterCore(int index, Part_c* part, int ins, int para, float value, bool)
{
    if (!part)
        return;
    // The descriptor's own follow-up, when it has one.
    auto callback = [this](int local, Part_c* target, int parameter) {
        const EPAS_c* d = getEPAS(local);
        const EPAS_c::Callback_t call = d ? d->callback : nullptr;
        if (call)
            (this->*call)(local, target, parameter);
    };
    setParameterCore(index, part, ins, para, value, false);
    callback(index, part, para);
    // The parameters paired with this one follow with the same value in
    // their own steps, as after a host write (doValueCopy).
    const Parameter_c* written = part->getParaPtr(ins, para);
    if (!written)
        return;
    const ParaWrite_t steps{.steps = written->value, .inSteps = true};
    const int pairs = getValueCopyCount();
    for (int i = 0; i < pairs; ++i) {
        int source = -1;
        int destination = -1;
        if (!getValueCopyPair(i, &source, &destination) || source != index)
            continue;
        Part_c* dstPart = nullptr;
        int dstPara = -1;
        int dstIns = -1;
        // A partner that does not resolve is skipped; the others still follow.
        if (!getECSPartParaIdx(destination, &dstPart, &dstPara, &dstIns) || !dstPart)
            continue;
        setParameterCore(destination, dstPart, ins, dstPara, steps, false);
        callback(destination, dstPart, dstPara);
    }
}

// ---------------------------------------------------------------------------
// Learning

void Synth::setLearnExcluded(int first, int second)
{
    learnExcluded[0] = first;
    learnExcluded[1] = second;
}

void Synth::touchedParameter(int index, bool)
{
    if (index < 0 || index >= numParaSlots || !hasParameterMap())
        return;
    const EPAS_c* d = getEPAS(index);
    if (!d || index == learnExcluded[0] || index == learnExcluded[1])
        return;
    const int ins = d->instrument == -1 ? getEditIns() : d->instrument;
    // The control touched last is the one the editor's "clear assignment"
    // command (62) means.
    learnTarget = index;
    if (ecs && ecs->isLearning())
        ecs->setEditIdx(ins, index);
}

void Synth::groupOperation(int, PSUData_i*, float) {}

void Synth::clearLearnAssignment(int ins, int target)
{
    if (ecs)
        ecs->clearAssignment(ins, target);
}

bool Synth::isParameterCCAssigned(int ins, int local)
{
    return ecs && ecs->getByEdit(ins, local, 0, nullptr, nullptr, nullptr);
}

void Synth::idleControllers()
{
    TESSEL_ASSERT_NOT_AUDIO_THREAD();
    if (ecs)
        ecs->idle();
}

// ---------------------------------------------------------------------------
// Sending to the host

namespace {

// The 0..1 value of host parameter local for instrument ins (a descriptor
// that names its own instrument reads that one); -1 when unmapped.
float hostValue(Synth& synth, int ins, int local)
{
    Part_c* part = nullptr;
    int para = -1;
    int mappedIns = -1;
    if (!synth.getPartParaIdx(local, &part, &para, &mappedIns) || !part)
        return -1.0f;
    const EPAS_c* d = synth.getEPAS(local);
    const int set = d && d->instrument == -1 ? ins : mappedIns;
    return part->getPara01(set, para);
}

bool sendsControllers(const Synth& synth)
{
    const Part_c* settings = synth.getSynGlo();
    return synth.isOpen() && settings && settings->getParaVal(0, SynGloPara::CCMode) == 1;
}

} // namespace

void Synth::sendParameterCC()
{
    if (!ecs || !sendsControllers(*this))
        return;
    ECS2_c::View view(*ecs);
    for (int slot = 0; slot < ECSSlotCount; ++slot) {
        const CCAss_c& a = view.at(slot);
        if (!a.isUsed())
            break;
        const float p = hostValue(*this, a.instrument, std::abs(a.editIndex));
        if (p < 0.0f)
            continue;
        const int cc = view.requestCCVal(slot, p);
        sendParameterCCCore(a.channel, a.controller, invertsParameterCC() ? 127 - cc : cc);
    }
}

void Synth::sendParameterCC(int ins, int index)
{
    if (!ecs || !sendsControllers(*this))
        return;
    const float p = hostValue(*this, ins, index);
    if (p < 0.0f)
        return;
    ECS2_c::View view(*ecs);
    int channel = 0;
    int controller = 0;
    int slot = 0;
    for (int n = 0; view.getByEdit(ins, index, n, &channel, &controller, &slot); ++n) {
        const int cc = view.requestCCVal(slot, p);
        sendParameterCCCore(channel, controller, invertsParameterCC() ? 127 - cc : cc);
    }
}

void Synth::sendParameterCCCore(int channel, int controller, int value)
{
    if (!sendsControllers(*this))
        return;
    VstMidiEvent event = {};
    event.type = kVstMidiType;
    event.byteSize = sizeof(VstMidiEvent);
    event.midiData[0] = static_cast<char>(Midi::Control + (channel & Midi::ChannelMask));
    // A number above 127 (an NRPN) goes out as its low seven bits.
    event.midiData[1] = static_cast<char>(controller & 0x7F);
    event.midiData[2] = static_cast<char>(std::clamp(value, 0, 127));
    VstEvents list = {};
    list.numEvents = 1;
    list.events[0] = reinterpret_cast<VstEvent*>(&event);
    sendVstEventsToHost(&list);
}

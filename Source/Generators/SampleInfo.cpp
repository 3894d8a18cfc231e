#include "SampleInfo.h"

void SampleInfo_c::set(int instrument, int sampleIndex, int kind)
{
    code = (instrument * 1000 + sampleIndex) * 4 + kind;
}

void SampleInfo_c::set(SampleInfo_c& other)
{
    code = other.code;
    filename = other.filename;
}

void SampleInfo_c::setFilename(const Tool::Disk::Path_c& path)
{
    filename = path;
}

void SampleInfo_c::setKind(int kind)
{
    // Truncation toward zero keeps the place of a (never expected) negative
    // code as C's division does.
    code = (code / 4) * 4 + kind;
}

void SampleInfo_c::setMaster()
{
    setKind(kindMaster);
    master = nullptr;
}

void SampleInfo_c::setVirtual(void* m)
{
    setKind(kindVirtual);
    master = m;
}

void SampleInfo_c::setNormal()
{
    setKind(kindNormal);
    master = nullptr;
}

int SampleInfo_c::getInsIdx() const { return code / 4000; }
int SampleInfo_c::getSampleIdx() const { return (code / 4) % 1000; }
int SampleInfo_c::getType() const { return code % 4; }
const Tool::Disk::Path_c& SampleInfo_c::getFilename() const { return filename; }
void* SampleInfo_c::getMasterPtr() const { return master; }
bool SampleInfo_c::isNormal() const { return getType() == kindNormal; }
bool SampleInfo_c::isSpecial() const { return !isNormal(); }
bool SampleInfo_c::isMaster() const { return getType() == kindMaster; }
bool SampleInfo_c::isVirtual() const { return getType() == kindVirtual; }

#include "ParaRow.h"

#include "Parameter.h"

void createParas(Parameter_c* p, const ParaRow_s* rows, int nRows)
{
    for (int i = 0; i < nRows; ++i) {
        const ParaRow_s& r = rows[i];
        Parameter_c& para = p[r.index];
        switch (r.kind) {
        case ParaKind::Num:
            para.createNum(r.name, r.unit, r.logFactor, r.lo, r.hi, r.precision, r.def, r.cut);
            break;
        case ParaKind::Enu:
            para.createEnu(r.name, r.unit, r.lo, r.hi, r.width, r.def, r.items, r.altLists);
            break;
        case ParaKind::OnOff:
            para.createOnOff(r.name, r.def);
            break;
        case ParaKind::Volume:
            para.createVolume(r.name, r.lo, r.hi, r.def, r.minusInfinity);
            break;
        case ParaKind::Note:
            para.createNote(r.name, r.lo, r.hi, r.precision, r.def);
            break;
        case ParaKind::Pan:
            para.createPan(r.name);
            break;
        case ParaKind::CharPtr:
            para.createCharPtr(r.name, r.pathLeaf, r.stripExtension, r.text);
            break;
        }
        if (r.infiniteHi)
            para.setInfiniteHi(true);
    }
}

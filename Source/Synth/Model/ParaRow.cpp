#include "ParaRow.h"

#include "Parameter.h"

void createParas(Parameter_c *p, const ParaRow_s *rows, int nRows) {
  for (int i = 0; i < nRows; ++i) {
    const ParaRow_s &r = rows[i];
    Parameter_c &para = p[r.index];
    switch (r.kind) {
    case ParaKind::Num:
      para.createNum(r.name, r.unit, r.logFactor, r.lo, r.hi, r.precision,
                     r.def, r.cut);
      break;
    case ParaKind::Enu:
      para.createEnu(r.name, r.unit, r.lo, r.hi, r.width, r.def, r.items,
                     r.altLists);
      break;
    case ParaKind::OnOff:
      para.createOnOff(r.name, r.def);
      break;
    }
  }
}

// ParaRow_s: one parameter definition as data, so that a module lists its
// parameters as a table and createParas() makes them in one place. Each row
// calls the matching Parameter_c::create* with exactly the row's figures.
//
// Threads: as the definitions themselves (user-interface thread, or before
// audio runs).
#pragma once

class Parameter_c;

enum class ParaKind : int { Num, Enu, OnOff };

struct ParaRow_s {
  int index = 0; // the parameter's index in the module's set
  ParaKind kind = ParaKind::Num;
  const char *name = "";
  const char *unit = "";
  float logFactor = 0.0f; // Num only
  int lo = 0;             // Num, Enu
  int hi = 0;             // Num, Enu
  int precision = 0;      // Num only
  int def = 0;
  int cut = 0;                           // Num only
  int width = 0;                         // Enu only
  const char *items = nullptr;           // Enu only
  const char *const *altLists = nullptr; // Enu only
};

// Defines p[row.index] for every row, in the table's order.
void createParas(Parameter_c *p, const ParaRow_s *rows, int nRows);

template <int N> void createParas(Parameter_c *p, const ParaRow_s (&rows)[N]) {
  createParas(p, rows, N);
}

// ParaRow_s: one parameter definition as data, so that a module lists its
// parameters as a table and createParas() makes them in one place. Each row
// calls the matching Parameter_c::create* with exactly the row's figures.
//
// Threads: as the definitions themselves (user-interface thread, or before
// audio runs).
#pragma once

class Parameter_c;

enum class ParaKind : int { Num, Enu, OnOff, Volume, Note, Pan, CharPtr };

struct ParaRow_s {
    int index = 0; // the parameter's index in the module's set
    ParaKind kind = ParaKind::Num;
    const char* name = "";
    const char* unit = "";                 // Num, Enu
    float logFactor = 0.0f;                // Num
    int lo = 0;                            // Num, Enu, Note; Volume in dB
    int hi = 0;                            // Num, Enu, Note; Volume in dB
    int precision = 0;                     // Num, Note
    int def = 0;                           // all but Pan and CharPtr
    int cut = 0;                           // Num
    int width = 0;                         // Enu
    const char* items = nullptr;           // Enu
    const char* const* altLists = nullptr; // Enu
    bool minusInfinity = false;            // Volume
    bool pathLeaf = false;                 // CharPtr
    bool stripExtension = false;           // CharPtr
    const char* text = nullptr;            // CharPtr: the default text
    bool infiniteHi = false;               // the high bound shows as "oo"
};

// Defines p[row.index] for every row, in the table's order.
void createParas(Parameter_c* p, const ParaRow_s* rows, int nRows);

template <int N> void createParas(Parameter_c* p, const ParaRow_s (&rows)[N])
{
    createParas(p, rows, N);
}

#include "TempoSync.h"

static_assert(NoteValueCodeLast - NoteValueCodeFirst + 1 == TempoSyncFractionCount);

const float FractToQuarterMultiple::fractions[TempoSyncFractionCount] = {
    96.0f,    // -12 16/1*
    64.0f,    // -11 16/1
    42.6666f, // -10 16/1T
    48.0f,    //  -9  8/1*
    32.0f,    //  -8  8/1
    21.3333f, //  -7  8/1T
    24.0f,    //  -6  4/1*
    16.0f,    //  -5  4/1
    10.6666f, //  -4  4/1T
    12.0f,    //  -3  2/1*
    8.0f,     //  -2  2/1
    5.3333f,  //  -1  2/1T
    6.0f,     //   0  1/1*
    4.0f,     //   1  1/1
    2.6666f,  //   2  1/1T
    3.0f,     //   3  1/2*
    2.0f,     //   4  1/2
    1.3333f,  //   5  1/2T
    1.5f,     //   6  1/4*
    1.0f,     //   7  1/4
    0.6666f,  //   8  1/4T
    0.75f,    //   9  1/8*
    0.5f,     //  10  1/8
    0.3333f,  //  11  1/8T
    0.375f,   //  12 1/16*
    0.25f,    //  13 1/16
    0.16666f, //  14 1/16T
    0.1875f,  //  15 1/32*
    0.125f,   //  16 1/32
    0.083333f,//  17 1/32T
    0.0625f,  //  18  1/64
    1.25f,    //  19  5/16 (the odd bar lengths follow 1/64 in code order)
    1.75f,    //  20  7/16
    2.25f,    //  21  9/16
    2.5f,     //  22  5/8
    2.75f,    //  23 11/16
    3.25f,    //  24 13/16
    3.5f,     //  25  7/8
    3.75f,    //  26 15/16
};

float FractToQuarterMultiple::quarters(int code)
{
    if (code < NoteValueCodeFirst || code > NoteValueCodeLast)
        return 1.0f;
    return fractions[code - NoteValueCodeFirst];
}

float FractToQuarterMultiple::quartersTimes60(int code)
{
    return quarters(code) * 60.0f;
}

double FractToQuarterMultiple::periodSeconds(int code, double recBpm)
{
    return static_cast<double>(quartersTimes60(code)) * recBpm;
}

double FractToQuarterMultiple::rateHz(int code, double bpm)
{
    return bpm / static_cast<double>(quartersTimes60(code));
}

// SerialVariant_c<Fx>: the serial variant of an instrument effect. It stores
// its output where the plain class adds it, so it replaces the bus it reads
// (the serial effect slots). mixSum goes through mixSample, so sums are
// stored too.
#pragma once

template <class Fx>
class SerialVariant_c : public Fx
{
public:
    using Fx::Fx;
    void mixSample(float** p, float v) override { this->writeSample(p, v); }
};

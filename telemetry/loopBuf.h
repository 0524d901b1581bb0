// One channel of the graph: a fixed-size ring of samples with its name, colour and range.
#pragma once

#include <QColor>
#include <QString>
#include <vector>

class TLoopBuf {
public:
    TLoopBuf();
    virtual ~TLoopBuf() = default;
    TLoopBuf(const TLoopBuf&) = default;
    TLoopBuf& operator=(const TLoopBuf&) = default;

    // The sample at storage position Index; 0.0 outside the buffer.
    virtual double Get(int Index) const;
    virtual int GetHead() const { return Head; }
    virtual int GetCount() const { return Count; }

    // A sample with the time it arrived (seconds of TFrameGraph::Now).
    void Add(float Value, double Time = 0.0) {
        if (Times.empty()) Times.assign(Samples.size(), 0.0);  // only channels in use pay for times
        Last = Value;
        Samples[Head] = Value;
        Times[Head] = Time;
        if (Lowest > Value) Lowest = Value;
        if (Highest < Value) Highest = Value;
        ++Head;
        ++Added;
        if (Count < Capacity) ++Count;
        if (Head >= Capacity) Head = 0;
    }
    // The sample k steps back from the newest (k = 1 is the newest) and its time; k must be 1..Count.
    double Back(int k) const {
        return Samples[static_cast<size_t>((Head - k % Capacity + Capacity) % Capacity)];
    }
    double TimeBack(int k) const {
        return Times[static_cast<size_t>((Head - k % Capacity + Capacity) % Capacity)];
    }
    void Clear();
    // Drops every sample and allocates room for N (at least 1).
    void SetCapacity(int N);

    // Lowest and Highest outside every float sample value stand for "no sample yet".
    static constexpr float NoLowest = 2147483648.0f;
    static constexpr float NoHighest = -2147483648.0f;

    std::vector<float> Samples;
    std::vector<double> Times;  // beside Samples, from the first Add on
    int Head = 0;
    int Count = 0;
    QString Name = QStringLiteral("Noname");
    QColor Color = QColor(0, 0, 0);
    bool Visible = false;
    float Last = 0.0f;
    float Lowest = NoLowest;
    float Highest = NoHighest;
    double Scale = 1.0;
    int Capacity = 0;
    long long Added = 0;  // samples added since the last Clear, overwritten ones included
};

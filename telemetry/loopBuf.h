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

    void Add(float Value) {
        Last = Value;
        Samples[Head] = Value;
        if (Lowest > Value) Lowest = Value;
        if (Highest < Value) Highest = Value;
        ++Head;
        ++Added;
        if (Count < Capacity) ++Count;
        if (Head >= Capacity) Head = 0;
    }
    void Clear();
    // Drops every sample and allocates room for N (at least 1).
    void SetCapacity(int N);

    // Lowest and Highest outside every float sample value stand for "no sample yet".
    static constexpr float NoLowest = 2147483648.0f;
    static constexpr float NoHighest = -2147483648.0f;

    std::vector<float> Samples;
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

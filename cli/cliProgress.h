// Progress of every port on standard error: one redrawn line with a bar per port when standard error is
// a terminal, plain lines (a phase, or a step of ten percent) when it is a file or a pipe.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <cstdio>
#include <vector>

class TCliProgress {
public:
    // `terminal`: redraw one line; otherwise print lines. `out` is standard error unless a test says.
    explicit TCliProgress(bool terminal, FILE* out = stderr);

    int Add(const QString& label);
    // What port `id` does now and how far it is, 0..100, or -1 when there is no measure.
    void Set(int id, const QString& phase, int percent = -1);
    // Port `id` has ended: the bar says so; plain lines leave it to the summary.
    void Done(int id, bool ok);
    // A line of its own (a log line, a summary): the bar steps aside for it.
    void Line(const QString& text);
    // Removes the bar (terminal) before the results are printed.
    void Finish();

private:
    struct TItem {
        QString Label;
        QString Phase;
        int Percent = -1;
        int Printed = -1;  // plain lines: the last step of ten percent printed
    };
    void Draw(bool force);
    void Clear();

    bool terminal_;
    FILE* out_;
    std::vector<TItem> items_;
    QElapsedTimer drawn_;
    int shownWidth_ = 0;  // characters of the bar on screen
};

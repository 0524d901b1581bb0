// Arbitrary replies into the main window's dispatcher with every frame in place: nothing a controller
// sends may crash the program or make it read or write outside a buffer. The input is a sequence of
// [channel, length, payload...] records; the window's timers get a turn after each input.
#include <QApplication>
#include <QPlainTextEdit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "app/mainQox.h"
#include "link/comLink.h"

namespace {

// An open port that takes everything and sends nothing anywhere.
class TNullLink : public TComLink {
public:
    bool IsOpen() const override { return true; }
    bool QueuePacket(uint8_t, const uint8_t*, size_t, uint8_t) override { return true; }
    void SetControlLines(bool, bool) override {}
    bool WriteRaw(const uint8_t*, uint8_t) override { return true; }
    void DiscardQueued(uint8_t) override {}
};

TFormMainQox& Window() {
    static int argc = 1;
    static char name[] = "fuzz_replyPath";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        return new QApplication(argc, argv);
    }();
    static TNullLink port;
    static TFormMainQox* window = [] {
        auto* w = new TFormMainQox;
        w->IniPath = QString();  // nothing is saved
        w->UsePort(&port);
        w->show();
        return w;
    }();
    (void)app;
    return *window;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFormMainQox& window = Window();
    size_t at = 0;
    while (at + 2 <= size) {
        const uint8_t channel = data[at];
        const size_t length = std::min<size_t>(data[at + 1], size - at - 2);
        // The reader hands over a payload of 1..240 bytes in place: give it exactly that many.
        if (length >= 1 && length <= 240) window.OnPacket(data + at + 2, uint8_t(length), channel);
        at += 2 + length;
    }
    QCoreApplication::processEvents();
    window.ListBoxLog->clear();  // the log has no limit of its own
    return 0;
}

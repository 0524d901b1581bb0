// The operator's actions, each through the controls a person uses: buttons, menu items, shortcut keys,
// typed field values, clicks and keys in the link list, file dialogs answered with files of a
// temporary folder. An action a person could not take (a hidden button) does nothing.
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "app/mainQox.h"
#include "app/testControl.h"
#include "config/frameConfVek.h"
#include "controls/MaskEditUpDown.h"
#include "fettest/frameVekfetest.h"
#include "firmware/frameLenkExt.h"
#include "firmware/frameUpFW.h"
#include "link/frameConnect.h"
#include "link/zuq.h"
#include "randomOperator.h"
#include "telemetry/frameVekStatus.h"

namespace {
using TPerform = void (*)(TSession&, uint32_t a, uint32_t b);
struct TEntry {
    const char* Name;
    int Weight;
    TPerform Perform;
};

void Key(TSession& s, Qt::Key key) {
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus != nullptr ? focus : s.Window.get(), key);
}
void Click(QAbstractButton* button) {
    if (button->isVisible()) button->click();
}
void Pick(QComboBox* list, int index) {  // as a choice in the open list does
    list->setCurrentIndex(index);
    emit list->activated(index);
}
void Type(TMaskEditUpDown* edit, const QString& text, bool commit) {
    if (!edit->isVisible()) return;
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
    if (commit) QTest::keyClick(edit, Qt::Key_Return);
}
QString Number(double value) {
    return QString::number(value, 'f', 1).replace(QLatin1Char('.'), TMaskEditUpDown::DecimalSeparator());
}
// The value a field shows in tenths, read as the operator reads it; -1 when it is not a plain number.
int Tenths(TMaskEditUpDown* edit) {
    QString text = edit->text();
    bool ok = false;
    const double value = text.replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    return ok && value >= edit->Min && value <= edit->Max ? int(std::lrint(value * 10)) : -1;
}
TFrameConfigVek& Config(TSession& s) {
    return *s.W().FrameConfigVek1;
}
QString ConfigFile(TSession& s, uint32_t a) {
    static const char* names[] = {"c0.cfg", "c1.cfg", "c2.cfg", "bad.cfg", "none/c.cfg", ""};
    const QString name = QString::fromLatin1(names[a % 6]);
    return name.isEmpty() ? name : s.File(name);
}
// Set, Flash and Flash All: the judge learns what the screen showed when the operator asked.
void AskWrite(TSession& s, QAction* action, uint8_t command, bool all, int requests) {
    TMaskEditUpDown* mode = Config(s).MaskEditUpDown2;
    const bool enabled = action->isEnabled(), shown = mode->text() == mode->LastText();
    const int n = mode->GetIntValue();
    const int maxCurrent = Tenths(Config(s).MaskEditUpDown5), minPwm = Tenths(Config(s).MaskEditUpDown8);
    const uint8_t link = s.W().FrameLinkScan1->SelectedLink();
    action->trigger();
    if (enabled)
        s.Judge.AskWrite(s.StepNo, link == 255 ? "line" : "node" + std::to_string(link), command, all ? 0 : n,
                         all ? 16 : n, requests, shown ? n : -1, maxCurrent, minPwm);
}

const TEntry Catalogue[] = {
    {"connect", 6,
     [](TSession& s, uint32_t a, uint32_t) {
         QComboBox* list = s.W().FrameConnectPort1->ComboBox1;
         if (list->findText(s.SimLink()) < 0) Pick(list, list->count() - 1);  // "Refresh"
         const int i = list->findText(s.SimLink());
         if (i >= 0 && i != list->currentIndex()) Pick(list, i);
         if (a % 2)
             Key(s, Qt::Key_F2);
         else
             Click(s.W().FrameConnectPort1->Connect);
     }},
    {"disconnect", 2, [](TSession& s, uint32_t, uint32_t) { Click(s.W().FrameConnectPort1->Button1); }},
    {"refresh", 1,
     [](TSession& s, uint32_t, uint32_t) {
         Pick(s.W().FrameConnectPort1->ComboBox1, s.W().FrameConnectPort1->ComboBox1->count() - 1);
     }},
    {"ping", 3, [](TSession& s, uint32_t, uint32_t) { Click(s.W().FrameConnectPort1->Button2); }},
    {"get", 3, [](TSession& s, uint32_t, uint32_t) { Config(s).ActionGet->trigger(); }},
    {"get-all", 2, [](TSession& s, uint32_t, uint32_t) { Config(s).ActionGetAll->trigger(); }},
    {"set", 3,
     [](TSession& s, uint32_t, uint32_t) {
         AskWrite(s, Config(s).ActionSet, zuq::Cmd::ConfigSet, false, 1);
     }},
    {"flash", 3,
     [](TSession& s, uint32_t, uint32_t) {
         AskWrite(s, Config(s).ActionFlash, zuq::Cmd::ConfigFlash, false, 4);
     }},
    {"flash-all", 2,
     [](TSession& s, uint32_t, uint32_t) {
         AskWrite(s, Config(s).ActionSetAll, zuq::Cmd::ConfigFlash, true, 4);
     }},
    {"stop", 2, [](TSession& s, uint32_t, uint32_t) { Config(s).ActionStop->trigger(); }},
    {"open", 2,
     [](TSession& s, uint32_t a, uint32_t b) {
         Config(s).AskOpenFileName = [name = ConfigFile(s, a)] { return name; };
         (b % 2 ? Config(s).ActionOpenAll : Config(s).ActionOpenConfig)->trigger();
     }},
    {"save", 2,
     [](TSession& s, uint32_t a, uint32_t b) {
         Config(s).AskSaveFileName = [name = ConfigFile(s, a)] { return name; };
         (b % 2 ? Config(s).ActionSaveAll : Config(s).ActionSaveConfig)->trigger();
     }},
    {"mode", 4,
     [](TSession& s, uint32_t a, uint32_t b) {
         Type(Config(s).MaskEditUpDown2, QString::number(a % 17), b % 2);
     }},
    {"field", 6,
     [](TSession& s, uint32_t a, uint32_t b) {
         if (a % 2)
             Type(Config(s).MaskEditUpDown5, Number(1 + (b % 1990) / 10.0), (a / 2) % 2);
         else
             Type(Config(s).MaskEditUpDown8, Number((b % 501) / 10.0), (a / 2) % 2);
     }},
    {"run", 8,
     [](TSession& s, uint32_t a, uint32_t) {
         s.RunPress = true;
         if (a % 2)
             Key(s, Qt::Key_F5);
         else
             Click(s.W().GroupBox2->SpeedButton1);
     }},
    {"esc", 3,
     [](TSession& s, uint32_t, uint32_t) {
         s.Release = true;
         Key(s, Qt::Key_Escape);
     }},
    {"throttle", 5,
     [](TSession& s, uint32_t a, uint32_t b) {
         TTestControl* t = s.W().GroupBox2;
         static const Qt::Key keys[] = {Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Home, Qt::Key_End};
         switch (a % 6) {
             case 0:
                 QTest::keyClick(t->TrackBar1, keys[b % 4]);
                 break;
             case 1:
                 Type(t->MaskEditUpDown17, Number((b % 1001) / 10.0), true);
                 break;
             case 2:
                 Click(t->CheckBox13);
                 break;
             case 3:
                 Click(t->RadioGroup1Buttons->button(int(b % 3)));
                 break;
             case 4:
                 Type(t->MaskEditUpDown30, QString::number(10 + (b % 50) * 10), true);
                 break;
             default:
                 Type(t->MaskEditUpDown21, QString::number(1 + b % 100), true);
         }
     }},
    {"link-click", 5,
     [](TSession& s, uint32_t a, uint32_t) {
         QListWidget* list = s.W().FrameLinkScan1->ListView1;
         if (!list->isVisible()) return;
         const QRect area = list->viewport()->rect();
         QPoint at(area.right() - 2, area.bottom() - 2);  // the empty area
         if (list->count() > 0 && a % 4 != 0) {
             at = list->visualItemRect(list->item(int(a % uint32_t(list->count())))).center();
             if (!area.contains(at)) return;
         }
         QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
     }},
    {"link-key", 3,
     [](TSession& s, uint32_t a, uint32_t) {
         static const Qt::Key keys[] = {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up,
                                        Qt::Key_Down, Qt::Key_Home,  Qt::Key_End};
         if (s.W().FrameLinkScan1->ListView1->isVisible())
             QTest::keyClick(s.W().FrameLinkScan1->ListView1, keys[a % 6]);
     }},
    {"scan", 2, [](TSession& s, uint32_t, uint32_t) { Click(s.W().FrameLinkScan1->SpeedButton11); }},
    {"open-fw", 2,
     [](TSession& s, uint32_t a, uint32_t) {
         static const char* names[] = {"a.kwy", "b.kwy", "c.kwy", "other.kwy", "bad.kwy", "missing.kwy", ""};
         const QString name = QString::fromLatin1(names[a % 7]);
         TFrameUpdateFW* fw = s.W().FrameUpdateFW1;
         fw->AskOpenFileName = [path = name.isEmpty() ? name : s.File(name)] { return path; };
         const bool enabled = fw->ActionOpenFW->isEnabled() && fw->SpeedButtonOpen->isVisible();
         Click(fw->SpeedButtonOpen);
         if (enabled && !name.isEmpty()) s.LoadedImage = s.Images.count(name) ? name : QString();
     }},
    {"update-fw", 3,
     [](TSession& s, uint32_t, uint32_t) {
         TFrameUpdateFW* fw = s.W().FrameUpdateFW1;
         const bool idle = !fw->Busy();
         Click(fw->SpeedButtonUpdate);
         if (idle && fw->Busy() && !s.LoadedImage.isEmpty())
             s.Judge.AskUpdate(s.StepNo, s.LoadedImage, s.Images[s.LoadedImage]);
     }},
    {"reset", 1, [](TSession& s, uint32_t, uint32_t) { Click(s.W().FrameUpdateFW1->SpeedButtonReset); }},
    {"fet", 5,
     [](TSession& s, uint32_t a, uint32_t b) {
         TFrameFETest* f = s.W().FrameFETest1;
         QComboBox* lists[] = {f->ComboBox1, f->ComboBox2, f->ComboBox3,
                               f->ComboBox4, f->ComboBox5, f->ComboBox6};
         if (a % 4 == 0)
             Click(f->SpeedButton1);
         else if (a % 16 == 1)
             Type(f->MaskEditUpDown2, QString::number(b % 200), true);
         else if (f->isVisible())
             QTest::keyClick(lists[b % 6], b % 3 ? Qt::Key_Down : Qt::Key_Up);
     }},
    {"status", 3,
     [](TSession& s, uint32_t a, uint32_t b) {
         TFrameVekStat* status = s.W().FrameVekStat1;
         if (a % 3 == 0)
             Click(status->ASpeedButton1);
         else if (a % 3 == 1)
             Type(status->MaskEditUpDown1, QString::number(1 + b % 250), true);
         else
             Click(status->SpeedButton2);
     }},
    {"resize", 2,
     [](TSession& s, uint32_t a, uint32_t b) { s.W().resize(640 + int(a % 1300), 480 + int(b % 700)); }},
    {"melody", 1, [](TSession& s, uint32_t, uint32_t) { Key(s, Qt::Key_F9); }},
    {"view", 1,
     [](TSession& s, uint32_t a, uint32_t) {
         QAction* views[] = {s.W().ViewNetCAN, s.W().ViewFETest, s.W().ViewUpdateFW};
         views[a % 3]->trigger();
     }},
    {"unplug", 1,
     [](TSession& s, uint32_t, uint32_t) {
         s.Release = true;
         s.Unplug();
     }},
    {"wait", 2, [](TSession&, uint32_t, uint32_t) {}},
};
}  // namespace

std::string TAction::Text() const {
    return Name + " " + std::to_string(A) + " " + std::to_string(B) + " +" + std::to_string(PauseMs) + "ms";
}

bool TAction::Parse(const std::string& line, TAction& action) {
    char name[32];
    const char* text = line.c_str();
    if (line.rfind('#', 0) == 0 && (text = std::strchr(text, ' ')) == nullptr) return false;
    if (std::sscanf(text, " %31s %u %u +%dms", name, &action.A, &action.B, &action.PauseMs) != 4)
        return false;
    action.Name = name;
    for (const TEntry& e : Catalogue)
        if (action.Name == e.Name) return true;
    return false;
}

uint64_t RandomSwarm(std::mt19937& random) {
    return (uint64_t(random()) << 32 | random()) | 1;  // "connect" always
}

TAction RandomAction(std::mt19937& random, uint64_t swarm) {
    int total = 0;
    const auto weight = [swarm](size_t i) { return swarm >> i & 1 ? Catalogue[i].Weight : 0; };
    for (size_t i = 0; i < std::size(Catalogue); ++i) total += weight(i);
    int pick = int(random() % uint32_t(total));
    size_t i = 0;
    while (pick >= weight(i)) pick -= weight(i++);
    const TEntry* entry = &Catalogue[i];
    // Mostly at once or soon, so that actions overlap replies; now and then long enough for time-outs.
    static const int pauses[] = {0, 0, 0, 0, 0, 5, 5, 20, 20, 60, 60, 200, 200, 1000, 3000};
    TAction action{entry->Name, uint32_t(random()), uint32_t(random()), pauses[random() % std::size(pauses)]};
    if (action.Name == "wait") action.PauseMs = 1000 + int(random() % 4000);
    return action;
}

void PerformAction(TSession& session, const TAction& action) {
    for (const TEntry& e : Catalogue)
        if (action.Name == e.Name) return e.Perform(session, action.A, action.B);
}

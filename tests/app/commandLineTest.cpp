// The command line: each option, Qt's own options passing through, and what a bad one answers.
#include <gtest/gtest.h>

#include <QRegularExpression>

#include "app/commandLine.h"

TEST(CommandLine, OptionsAndTheirAnswers) {
    struct Case {
        QStringList args;
        bool exit;
        int code;
        QString port;
        bool connect;
        QString output;  // contained in stdout
        QString error;   // contained in stderr
    } cases[] = {
        {{}, false, 0, {}, false, {}, {}},
        {{"--port", "/dev/ttyUSB0", "--connect"}, false, 0, "/dev/ttyUSB0", true, {}, {}},
        {{"--port=ttyACM1"}, false, 0, "ttyACM1", false, {}, {}},
        {{"-platform", "offscreen", "-style=fusion", "-reverse", "--connect"}, false, 0, {}, true, {}, {}},
        {{"--version"}, true, 0, {}, false, "vektool " + VekVersion() + "\n", {}},
        {{"-h"}, true, 0, {}, false, "Usage: vektool [options]", {}},
        {{"--help"}, true, 0, {}, false, "--port <name>", {}},
        {{"--bogus"}, true, 2, {}, false, {}, "vektool: Unknown option 'bogus'.\nUsage: vektool [options]"},
        {{"--port"}, true, 2, {}, false, {}, "Missing value after '--port'."},
        {{"--connect", "COM3"}, true, 2, {}, false, {}, "Unexpected argument 'COM3'."},
    };
    for (const Case& c : cases) {
        const QString line = c.args.join(' ');
        const TCommandLine got = ParseCommandLine(QStringList{"/usr/bin/vektool"} + c.args);
        EXPECT_EQ(got.Exit, c.exit) << line.toStdString();
        EXPECT_EQ(got.ExitCode, c.code) << line.toStdString();
        EXPECT_EQ(got.Port, c.port) << line.toStdString();
        EXPECT_EQ(got.Connect, c.connect) << line.toStdString();
        EXPECT_TRUE(c.output.isEmpty() ? got.Output.isEmpty() : got.Output.contains(c.output))
            << line.toStdString() << ": " << got.Output.toStdString();
        EXPECT_TRUE(c.error.isEmpty() ? got.Error.isEmpty() : got.Error.contains(c.error))
            << line.toStdString() << ": " << got.Error.toStdString();
    }
    EXPECT_TRUE(QRegularExpression("^\\d+\\.\\d+\\.\\d+$").match(VekVersion()).hasMatch());
}

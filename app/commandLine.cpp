#include "app/commandLine.h"

#include <QCommandLineParser>
#include <QFileInfo>

#ifndef VEK_VERSION
#error "VEK_VERSION comes from the project's version in CMakeLists.txt"
#endif

namespace {
// The toolkit takes these itself when the application starts; they are known here so as not to be
// reported as unknown. Those after "reverse" take no value.
const char* const ToolkitOptions[] = {"platform",      "platformpluginpath",
                                      "platformtheme", "plugin",
                                      "qmljsdebugger", "qwindowgeometry",
                                      "qwindowicon",   "qwindowtitle",
                                      "session",       "display",
                                      "geometry",      "style",
                                      "stylesheet",    "reverse",
                                      "widgetcount",   "nograb",
                                      "dograb"};
}  // namespace

QString VekVersion() {
    return QStringLiteral(VEK_VERSION);
}

TCommandLine ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    // Qt's own options are single-dash words (-platform xcb, -style fusion): read them as such.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral(
        "Vek Tool: configuration, firmware update and live telemetry of Vek motor controllers."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("Selects <name> in the port list (adding it when missing), e.g. /dev/ttyUSB0."),
        QStringLiteral("name"));
    const QCommandLineOption connect(QStringLiteral("connect"),
                                     QStringLiteral("Connects to the selected port once the window is up."));
    parser.addOption(port);
    parser.addOption(connect);
    QStringList toolkit;
    bool takesValue = true;
    for (const char* name : ToolkitOptions) {
        const QString option = QString::fromLatin1(name);
        takesValue = takesValue && option != QLatin1String("reverse");
        QCommandLineOption known(option, QString(), takesValue ? QStringLiteral("value") : QString());
        known.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(known);
        toolkit << QLatin1Char('-') + option;
    }

    const QString program =
        arguments.isEmpty() ? QStringLiteral("vektool") : QFileInfo(arguments.first()).fileName();
    // The program as it was started; Qt would name a placeholder while no application object exists.
    const QString text = parser.helpText();
    const QString usage = QStringLiteral("Usage: %1 [options]").arg(program) + text.mid(text.indexOf('\n'));

    TCommandLine result;
    QString error;
    if (!parser.parse(arguments))
        error = parser.errorText();
    else if (!parser.positionalArguments().isEmpty())
        error = QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first());
    if (!error.isEmpty()) {
        result.Exit = true;
        result.ExitCode = 2;
        result.Error = program + QStringLiteral(": ") + error + QLatin1Char('\n') + usage;
    } else if (parser.isSet(QStringLiteral("help-all"))) {
        result.Exit = true;
        result.Output = usage +
                        QStringLiteral("\nQt's own options, as the Qt documentation describes them: ") +
                        toolkit.join(QStringLiteral(", ")) + QLatin1Char('\n');
    } else if (parser.isSet(help)) {
        result.Exit = true;
        result.Output = usage;
    } else if (parser.isSet(version)) {
        result.Exit = true;
        result.Output = program + QLatin1Char(' ') + VekVersion() + QLatin1Char('\n');
    } else {
        result.Port = parser.value(port);
        result.Connect = parser.isSet(connect);
    }
    return result;
}

#include "cli/cliOptions.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <optional>

#ifndef VEK_VERSION
#error "VEK_VERSION comes from the project's version in CMakeLists.txt"
#endif

namespace {

enum TOpt : unsigned {
    OptLink = 1u << 0,
    OptAllLinks = 1u << 1,
    OptRecord = 1u << 2,
    OptRam = 1u << 3,
    OptOutput = 1u << 4,
    OptRate = 1u << 5,
    OptSeconds = 1u << 6,
    OptCsv = 1u << 7,
    OptPort = 1u << 8,  // --port and the line settings
};

struct TCommandInfo {
    const char* Name;
    TCommand Command;
    unsigned Options;
    const char* Argument;  // positional argument, or nullptr
    const char* ArgumentHelp;
    const char* Brief;  // the line of the general help
    const char* Summary;
};

const TCommandInfo Commands[] = {
    {"ports", TCommand::Ports, 0, nullptr, nullptr,
     "the serial ports and simulator links, with their USB descriptions",
     "Lists the serial ports and the simulators' links, with their USB descriptions."},
    {"identify", TCommand::Identify, OptPort | OptLink, nullptr, nullptr, "firmware text and serial number",
     "Reads the firmware text and the serial number of the controller (or of link L on its CAN net)."},
    {"scan", TCommand::Scan, OptPort, nullptr, nullptr, "the links on the CAN net, with each node's identity",
     "Lists the links on the CAN net behind the controller, with each node's firmware text and serial "
     "number."},
    {"config get", TCommand::ConfigGet, OptPort | OptLink | OptRecord | OptOutput, nullptr, nullptr,
     "reads records into a record file",
     "Reads configuration records into a record file (*.cfg) in the format the window's Save All (or "
     "Save, for one record) writes. Nothing is written when a record cannot be read."},
    {"config put", TCommand::ConfigPut, OptPort | OptLink | OptRecord | OptRam, "FILE.cfg",
     "The record file to write: sections Config0..Config16 (all records), or Config<N> or Config for "
     "--record N.",
     "writes records from a record file, reads them back and compares",
     "Writes configuration records from a record file into the controller's flash (into its RAM only with "
     "--ram), then reads every record back and compares it; a difference is a failure. Fields that the "
     "file lacks keep the controller's values."},
    {"firmware", TCommand::Firmware, OptPort | OptLink | OptAllLinks, "IMAGE.kwy", "The firmware image file.",
     "updates the firmware through the bootloader",
     "Updates the firmware through the controller's bootloader and resets the controller into it. A "
     "bootloader that does not answer within 5 s, refuses the device, prepares another size, reports a "
     "flash error or falls silent for 5 s fails the update."},
    {"status", TCommand::Status, OptPort | OptLink | OptRate | OptSeconds | OptCsv, nullptr, nullptr,
     "streams telemetry as CSV",
     "Streams telemetry as CSV, with the columns of the window's recording, until --seconds have passed "
     "or SIGINT/SIGTERM ends it. Nothing in vekctl moves a motor."},
};

const char* const ExitStatusHelp =
    "Exit status: 0 success; 1 the operation failed; 2 usage error; 3 a port cannot be opened;\n"
    "4 no controller answering; 130 interrupted. With several ports, the code the failed ports share,\n"
    "else 1.\n";

QString GeneralHelp() {
    QString text = QStringLiteral(
        "Usage: vekctl <command> [options]\n\n"
        "Vek motor controllers over serial ports, for scripts, benches and production lines.\n\n"
        "Commands:\n");
    for (const TCommandInfo& c : Commands) {
        QString usage = QString::fromLatin1(c.Name);
        if (c.Options & OptPort) usage += QStringLiteral(" --port P");
        if (c.Options & OptOutput) usage += QStringLiteral(" -o FILE.cfg");
        if (c.Argument) usage += QLatin1Char(' ') + QString::fromLatin1(c.Argument);
        text += QStringLiteral("  %1  %2\n").arg(usage, -34).arg(QString::fromLatin1(c.Brief));
    }
    return text +
           QStringLiteral(
               "\nGive --port several times to run a command on several ports at once.\n"
               "'vekctl <command> --help' lists the options of a command.\n"
               "Other options: --help, --version.\n\n") +
           QString::fromLatin1(ExitStatusHelp);
}

// Words wrapped at 100 columns.
QString Wrapped(const QString& text) {
    QString out;
    int column = 0;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (column > 0 && column + 1 + word.size() > 100) {
            out += QLatin1Char('\n');
            column = 0;
        } else if (column > 0) {
            out += QLatin1Char(' ');
            ++column;
        }
        out += word;
        column += int(word.size());
    }
    return out;
}

std::optional<long> Number(const QString& text, long min, long max) {
    bool ok = false;
    const long value = text.toLong(&ok, 0);
    if (!ok || value < min || value > max) return std::nullopt;
    return value;
}

}  // namespace

QString VekctlVersion() {
    return QStringLiteral(VEK_VERSION);
}

QString PathForPort(const QString& pattern, const QString& port) {
    QString name = QFileInfo(port).fileName();
    if (name.isEmpty()) name = port;
    return QString(pattern).replace(QStringLiteral("{port}"), name);
}

TCliOptions ParseCliOptions(const QStringList& arguments) {
    TCliOptions result;
    const auto usageError = [&result](const QString& text, const QString& help) {
        result.Exit = true;
        result.ExitStatus = ExitCode::Usage;
        result.ErrorText = QStringLiteral("vekctl: ") + text + QLatin1Char('\n') + help;
        return result;
    };
    QStringList args = arguments.mid(1);
    if (args.isEmpty() || args.first() == "--help" || args.first() == "-h" || args.first() == "help") {
        result.Exit = true;
        result.OutputText = GeneralHelp();
        return result;
    }
    if (args.first() == "--version") {
        result.Exit = true;
        result.OutputText = QStringLiteral("vekctl ") + VekctlVersion() + QLatin1Char('\n');
        return result;
    }
    // The command: one word, or "config" and a second word.
    const TCommandInfo* info = nullptr;
    for (const TCommandInfo& c : Commands) {
        const QStringList words = QString::fromLatin1(c.Name).split(' ');
        if (args.mid(0, words.size()) == words) {
            info = &c;
            args = args.mid(words.size());
            break;
        }
    }
    if (info == nullptr) {
        const QString word = args.first() == "config" && args.size() > 1 ? "config " + args[1] : args.first();
        return usageError(QStringLiteral("Unknown command '%1'.").arg(word), GeneralHelp());
    }
    result.Command = info->Command;
    result.CommandName = QString::fromLatin1(info->Name);

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(Wrapped(QString::fromLatin1(info->Summary)));
    const auto add = [&](QStringList names, const QString& help, const QString& value = {},
                         const QString& byDefault = {}) {
        QCommandLineOption option(names, help, value, byDefault);
        parser.addOption(option);
    };
    const unsigned o = info->Options;
    add({"h", "help"}, "Shows this help.");
    if (o & OptPort) {
        add({"port"},
            "Serial port (a device path, a name under /dev, or a simulator's simN); give it several "
            "times to run on several ports at once.",
            "P");
        add({"baud"}, "Baud rate (default 115200).", "N", "115200");
        add({"data-bits"}, "Data bits, 5..8 (default 8).", "N", "8");
        add({"parity"}, "none, odd, even, mark or space (default none).", "P", "none");
        add({"stop-bits"}, "1, 1.5 or 2 (default 1).", "N", "1");
        add({"flow"}, "Flow control: none, rtscts or xonxoff (default none).", "F", "none");
    }
    if (o & OptLink) add({"link"}, "Addresses link L (0..31) on the CAN net behind the controller.", "L");
    if (o & OptAllLinks)
        add({"all-links"}, "Updates every link that a scan of the CAN net finds, one after another.");
    if (o & OptRecord) add({"record"}, "Record 0..16, or all (default).", "N|all", "all");
    if (o & OptRam) add({"ram"}, "Writes into RAM only, not into flash.");
    if (o & OptOutput)
        add({"o", "output"}, "The record file to write; {port} stands for the port's name.", "FILE.cfg");
    if (o & OptRate) add({"rate"}, "Records a second, 1..250 (default 20).", "R", "20");
    if (o & OptSeconds)
        add({"seconds"}, "Ends after S seconds of telemetry (default: until interrupted).", "S");
    if (o & OptCsv)
        add({"csv"}, "Writes the CSV to FILE instead of standard output; {port} stands for the port's name.",
            "FILE");
    add({"json"}, "Prints the results as one JSON document on standard output.");
    add({"verbose"}, "Prints the protocol log of every port on standard error.");
    if (info->Argument) parser.addPositionalArgument(info->Argument, info->ArgumentHelp);

    const QString text = parser.helpText();
    QString help = QStringLiteral("Usage: vekctl %1 [options]").arg(result.CommandName);
    if (info->Argument) help += QLatin1Char(' ') + QString::fromLatin1(info->Argument);
    help += text.mid(text.indexOf('\n')) + QLatin1Char('\n') + QString::fromLatin1(ExitStatusHelp);

    const QString hint =
        QStringLiteral("Usage: vekctl %1 [options]%2\nTry 'vekctl %1 --help' for its options.\n")
            .arg(result.CommandName,
                 info->Argument ? QLatin1Char(' ') + QString::fromLatin1(info->Argument) : QString());
    if (!parser.parse(QStringList{"vekctl"} + args)) return usageError(parser.errorText(), hint);
    if (parser.isSet("help")) {
        result.Exit = true;
        result.OutputText = help;
        return result;
    }
    const QStringList positional = parser.positionalArguments();
    if (info->Argument && positional.size() != 1)
        return usageError(positional.isEmpty()
                              ? QStringLiteral("%1 is missing.").arg(info->Argument)
                              : QStringLiteral("Unexpected argument '%1'.").arg(positional[1]),
                          hint);
    if (!info->Argument && !positional.isEmpty())
        return usageError(QStringLiteral("Unexpected argument '%1'.").arg(positional.first()), hint);
    if (info->Argument) result.File = positional.first();

    result.Json = parser.isSet("json");
    result.Verbose = parser.isSet("verbose");
    if (o & OptPort) {
        result.Ports = parser.values("port");
        if (result.Ports.isEmpty()) return usageError(QStringLiteral("--port is missing."), hint);
        QStringList unique = result.Ports;
        unique.removeDuplicates();
        if (unique.size() != result.Ports.size())
            return usageError(QStringLiteral("A port is given twice."), hint);
        TDCB& line = result.Line;
        line.DCBlength = TDCB::Size;
        const auto baud = Number(parser.value("baud"), 1, 0x7FFFFFFF);
        const auto bits = Number(parser.value("data-bits"), 5, 8);
        const QStringList parities{"none", "odd", "even", "mark", "space"};
        const QStringList stops{"1", "1.5", "2"};
        const QStringList flows{"none", "rtscts", "xonxoff"};
        const int parity = int(parities.indexOf(parser.value("parity")));
        const int stop = int(stops.indexOf(parser.value("stop-bits")));
        const int flow = int(flows.indexOf(parser.value("flow")));
        if (!baud) return usageError(QStringLiteral("--baud takes a positive number."), hint);
        if (!bits) return usageError(QStringLiteral("--data-bits takes 5 to 8."), hint);
        if (parity < 0)
            return usageError(QStringLiteral("--parity takes %1.").arg(parities.join(", ")), hint);
        if (stop < 0) return usageError(QStringLiteral("--stop-bits takes 1, 1.5 or 2."), hint);
        if (flow < 0) return usageError(QStringLiteral("--flow takes none, rtscts or xonxoff."), hint);
        line.BaudRate = uint32_t(*baud);
        line.ByteSize = uint8_t(*bits);
        line.Parity = uint8_t(parity);
        line.StopBits = uint8_t(stop);
        line.Flags = TDCB::fBinary | (parity != 0 ? TDCB::fParity : 0) |
                     (flow == 1 ? TDCB::fOutxCtsFlow | TDCB::fRtsControlHandshake : 0) |
                     (flow == 2 ? TDCB::fOutX | TDCB::fInX : 0);
    }
    if ((o & OptLink) && parser.isSet("link")) {
        const auto link = Number(parser.value("link"), 0, 31);
        if (!link) return usageError(QStringLiteral("--link takes 0 to 31."), hint);
        result.Link = int(*link);
    }
    result.AllLinks = (o & OptAllLinks) && parser.isSet("all-links");
    if (result.AllLinks && result.Link >= 0)
        return usageError(QStringLiteral("--link and --all-links exclude each other."), hint);
    if ((o & OptRecord) && parser.value("record") != "all") {
        const auto record = Number(parser.value("record"), 0, 16);
        if (!record) return usageError(QStringLiteral("--record takes 0 to 16 or all."), hint);
        result.Record = int(*record);
    }
    result.Ram = (o & OptRam) && parser.isSet("ram");
    const bool several = result.Ports.size() > 1;
    const QString perPort = QStringLiteral("%1 must hold {port} when several ports are given.");
    if (o & OptOutput) {
        result.Output = parser.value("output");
        if (result.Output.isEmpty()) return usageError(QStringLiteral("-o FILE.cfg is missing."), hint);
        if (several && !result.Output.contains("{port}")) return usageError(perPort.arg("-o"), hint);
    }
    if (o & OptRate) {
        const auto rate = Number(parser.value("rate"), 1, 250);
        if (!rate) return usageError(QStringLiteral("--rate takes 1 to 250."), hint);
        result.Rate = int(*rate);
    }
    if ((o & OptSeconds) && parser.isSet("seconds")) {
        bool ok = false;
        result.Seconds = parser.value("seconds").toDouble(&ok);
        if (!ok || !(result.Seconds > 0) || result.Seconds > 1e7)
            return usageError(QStringLiteral("--seconds takes a positive number."), hint);
    }
    if (o & OptCsv) {
        result.Csv = parser.value("csv");
        if (result.Csv.isEmpty() && several)
            return usageError(QStringLiteral("Several ports need --csv FILE with {port}."), hint);
        if (several && !result.Csv.contains("{port}")) return usageError(perPort.arg("--csv"), hint);
        if (result.Csv.isEmpty() && result.Json)
            return usageError(QStringLiteral("--json needs --csv FILE: standard output carries the JSON."),
                              hint);
    }
    return result;
}

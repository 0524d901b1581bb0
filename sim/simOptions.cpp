#include "sim/simOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace sim {

namespace {
bool ParseLong(const std::string& text, long min, long max, long& out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 0);  // accepts 0x... for device words
    if (errno != 0 || end == nullptr || *end != '\0' || v < min || v > max) return false;
    out = v;
    return true;
}

bool ParseDouble(const std::string& text, double min, double max, double& out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || end == nullptr || *end != '\0' || !std::isfinite(v) || v < min || v > max) return false;
    out = v;
    return true;
}
}  // namespace

const char* SimUsage() {
    return "usage: vek-sim [options]\n"
           "  --nodes LIST            link numbers (0..31) of controllers on the CAN net, e.g. 0,2,5\n"
           "  --mode N                the record in use, 0..16 (default 0)\n"
           "  --firmware TEXT         firmware text reported by Identify (default \"VekSim 1.0\")\n"
           "  --serial N              serial number of the controller on the line\n"
           "  --device-code N         device word the bootloader accepts (default 0x5645)\n"
           "  --flash-error-page N    report a flash error when writing page N\n"
           "  --dump-firmware PATH    write each completed firmware image to PATH\n"
           "  --baud N                pace both directions at N baud, 8N1\n"
           "  --drop P                drop a fraction P (0..1) of the packets sent\n"
           "  --corrupt P             damage a fraction P (0..1) of the packets sent\n"
           "  --reply-delay MS        send every packet MS milliseconds later\n"
           "  --silent-after N        stop answering after N packets received\n"
           "  --unplug-after S        close the port after S seconds, like an unplugged adapter\n"
           "  --seed N                seed of the drop and corrupt choices (default 1)\n"
           "  --trace                 print every packet in and out to standard error\n";
}

bool ParseSimOptions(const std::vector<std::string>& args, TSimOptions& o, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool hasValue = false;
        if (const size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            hasValue = true;
        }
        auto next = [&](std::string& out) {
            if (hasValue) {
                out = value;
                return true;
            }
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        auto bad = [&](const std::string& v) {
            error = "bad value for " + name + ": \"" + v + "\"";
            return false;
        };
        std::string v;
        long n = 0;
        double d = 0;
        if (name == "--help" || name == "-h") {
            o.Help = true;
        } else if (name == "--trace") {
            o.Line.Trace = true;
        } else if (name == "--nodes") {
            if (!next(v)) return false;
            o.Settings.Nodes.clear();
            std::stringstream list(v);
            std::string item;
            while (std::getline(list, item, ',')) {
                if (!ParseLong(item, 0, MaxNodes - 1, n)) return bad(v);
                o.Settings.Nodes.push_back(int(n));
            }
        } else if (name == "--mode") {
            if (!next(v) || !ParseLong(v, 0, RecordCount - 1, n)) return error.empty() ? bad(v) : false;
            o.Settings.Mode = uint8_t(n);
        } else if (name == "--firmware") {
            if (!next(v)) return false;
            if (v.size() > 19) return bad(v);
            o.Settings.Firmware = v;
        } else if (name == "--serial") {
            if (!next(v) || !ParseLong(v, 0, 0xFFFFFFFFL, n)) return error.empty() ? bad(v) : false;
            o.Settings.Serial = uint32_t(n);
        } else if (name == "--device-code") {
            if (!next(v) || !ParseLong(v, 0, 0xFFFF, n)) return error.empty() ? bad(v) : false;
            o.Settings.Boot.DeviceCode = uint16_t(n);
        } else if (name == "--flash-error-page") {
            if (!next(v) || !ParseLong(v, 0, 4095, n)) return error.empty() ? bad(v) : false;
            o.Settings.Boot.FlashErrorPage = int(n);
        } else if (name == "--dump-firmware") {
            if (!next(v)) return false;
            if (v.empty()) return bad(v);
            o.Line.DumpFirmware = v;
        } else if (name == "--baud") {
            if (!next(v) || !ParseLong(v, 50, 10'000'000, n)) return error.empty() ? bad(v) : false;
            o.Line.Baud = int(n);
        } else if (name == "--drop") {
            if (!next(v) || !ParseDouble(v, 0, 1, d)) return error.empty() ? bad(v) : false;
            o.Line.Drop = d;
        } else if (name == "--corrupt") {
            if (!next(v) || !ParseDouble(v, 0, 1, d)) return error.empty() ? bad(v) : false;
            o.Line.Corrupt = d;
        } else if (name == "--reply-delay") {
            if (!next(v) || !ParseLong(v, 0, 60'000, n)) return error.empty() ? bad(v) : false;
            o.Line.ReplyDelayMs = int(n);
        } else if (name == "--silent-after") {
            if (!next(v) || !ParseLong(v, 0, 1L << 30, n)) return error.empty() ? bad(v) : false;
            o.Line.SilentAfter = n;
        } else if (name == "--unplug-after") {
            if (!next(v) || !ParseDouble(v, 0, 1e6, d)) return error.empty() ? bad(v) : false;
            o.Line.UnplugAfterS = d;
        } else if (name == "--seed") {
            if (!next(v) || !ParseLong(v, 0, 0xFFFFFFFFL, n)) return error.empty() ? bad(v) : false;
            o.Line.Seed = unsigned(n);
        } else {
            error = "unknown option " + name;
            return false;
        }
    }
    return true;
}

}  // namespace sim

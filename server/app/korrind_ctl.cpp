// korrind-ctl: the running server's table, unknown devices and requests
// from a shell, over its control socket, for servers without a desktop.
#include "server/app/control_socket.h"
#include "server/app/peer_channel.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using nlohmann::json;

constexpr int kRefused = 1;
constexpr int kUsageOrUnreachable = 2;

constexpr char kUsage[] =
    "Usage: korrind-ctl [--json] [--socket PATH] COMMAND [ARGUMENTS]\n"
    "\n"
    "Commands of the running korrind:\n"
    "  status        running, table, entries, requests answered and refused, last request\n"
    "  unknown       hardware addresses not in the table, with when each last asked\n"
    "  list          the entries of the table\n"
    "  add HA host=NAME ip=ADDRESS [sm=MASK] [gw=GATEWAY] [comment=TEXT]\n"
    "  modify HA [host=NAME] [ip=ADDRESS] [sm=MASK] [gw=GATEWAY] [comment=TEXT]\n"
    "  delete HA\n"
    "  defaults [sm=MASK] [gw=GATEWAY]   show or set the defaults of new entries\n"
    "  reload        read the table file again now\n"
    "  show          show and raise the server's window\n"
    "\n"
    "  --json        print the server's answer as JSON\n"
    "  --socket PATH the control socket (default /run/korrind/control)\n";

int Usage(const char* problem) {
    if (problem != nullptr)
        std::fprintf(stderr, "korrind-ctl: %s\n", problem);
    std::fputs(kUsage, stderr);
    return kUsageOrUnreachable;
}

// name=value arguments into the object; false on anything else.
bool Fields(const std::vector<std::string>& args, size_t from, json& object,
            std::initializer_list<const char*> allowed) {
    for (size_t i = from; i < args.size(); ++i) {
        size_t equals = args[i].find('=');
        std::string name = args[i].substr(0, equals);
        if (equals == std::string::npos ||
            std::none_of(allowed.begin(), allowed.end(),
                         [&name](const char* a) { return name == a; }))
            return false;
        object[name] = args[i].substr(equals + 1);
    }
    return true;
}

// The request for the command line; a string with the problem otherwise.
std::optional<json> BuildRequest(const std::vector<std::string>& args, std::string& problem) {
    const std::string& command = args[0];
    json request{{"command", command}};
    bool simple = command == "status" || command == "unknown" || command == "list" ||
                  command == "reload" || command == "show";
    if (simple && args.size() == 1)
        return request;
    if ((command == "add" || command == "modify") && args.size() >= 2) {
        json entry{{"ha", args[1]}};
        if (Fields(args, 2, entry, {"host", "ip", "sm", "gw", "comment"})) {
            request["entry"] = entry;
            return request;
        }
    } else if (command == "delete" && args.size() == 2) {
        request["ha"] = args[1];
        return request;
    } else if (command == "defaults" && Fields(args, 1, request, {"sm", "gw"})) {
        return request;
    }
    problem = "wrong arguments for \"" + command + "\"";
    return std::nullopt;
}

std::string Str(const json& value) {
    if (value.is_string())
        return value.get<std::string>();
    return value.is_null() ? std::string() : value.dump();
}

// Columns as wide as their widest cell, two blanks apart.
void PrintTable(const std::vector<std::vector<std::string>>& rows) {
    std::vector<size_t> widths;
    for (const auto& row : rows)
        for (size_t i = 0; i < row.size(); ++i) {
            widths.resize(std::max(widths.size(), row.size()));
            widths[i] = std::max(widths[i], row[i].size());
        }
    for (const auto& row : rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row[i] + std::string(widths[i] - row[i].size() + 2, ' ')
                                       : row[i];
        std::printf("%s\n", line.c_str());
    }
}

void PrintPlain(const std::string& command, const json& answer) {
    if (command == "status") {
        std::vector<std::vector<std::string>> rows{{"running", "yes"},
                                                   {"table", Str(answer["table"])},
                                                   {"entries", Str(answer["entries"])},
                                                   {"answered", Str(answer["answered"])},
                                                   {"refused", Str(answer["refused"])}};
        const json& last = answer["last_request"];
        rows.push_back({"last request", last.is_object()
                                            ? Str(last["time"]) + "  " + Str(last["ha"]) + "  " +
                                                  Str(last["address"]) + "  " + Str(last["file"])
                                            : "none"});
        PrintTable(rows);
    } else if (command == "unknown") {
        std::vector<std::vector<std::string>> rows{{"HARDWARE ADDRESS", "LAST SEEN"}};
        for (const json& item : answer["unknown"])
            rows.push_back({Str(item["ha"]), Str(item["last_seen"])});
        PrintTable(rows);
    } else if (command == "list") {
        std::vector<std::vector<std::string>> rows{
            {"HARDWARE ADDRESS", "HOST", "IP ADDRESS", "SUBNET MASK", "GATEWAY", "COMMENT"}};
        for (const json& e : answer["entries"])
            rows.push_back({Str(e["ha"]), Str(e["host"]), Str(e["ip"]), Str(e["sm"]), Str(e["gw"]),
                            Str(e["comment"])});
        PrintTable(rows);
    } else if (command == "defaults") {
        PrintTable({{"sm", Str(answer["sm"])}, {"gw", Str(answer["gw"])}});
    }
}

} // namespace

int main(int argc, char** argv) {
    bool asJson = false;
    std::string socketPath = korrind::ControlSocketPath();
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--json") {
            asJson = true;
        } else if (arg == "--socket" && i + 1 < argc) {
            socketPath = argv[++i];
        } else if (args.empty() && arg.starts_with("-")) {
            return Usage(("unknown option " + arg).c_str());
        } else {
            args.push_back(arg);
        }
    }
    if (args.empty())
        return Usage("no command");
    std::string problem;
    std::optional<json> request = BuildRequest(args, problem);
    if (!request)
        return Usage(problem.c_str());

    int fd = korrind::ConnectPath(socketPath);
    if (fd < 0) {
        std::fprintf(stderr, "korrind-ctl: cannot reach korrind at %s: %s\n", socketPath.c_str(),
                     std::strerror(errno));
        return kUsageOrUnreachable;
    }
    std::string error;
    std::optional<std::string> line =
        korrind::AskOneLine(fd, request->dump(), 60000, 16 * 1024 * 1024, error);
    ::close(fd);
    json answer = line ? json::parse(*line, nullptr, false) : json();
    if (!line || !answer.is_object()) {
        std::fprintf(stderr, "korrind-ctl: no answer from korrind at %s: %s\n", socketPath.c_str(),
                     line ? "not JSON" : error.c_str());
        return kUsageOrUnreachable;
    }
    if (asJson)
        std::printf("%s\n", answer.dump(-1, ' ', false, json::error_handler_t::replace).c_str());
    if (!answer.value("ok", false)) {
        std::fprintf(stderr, "%s\n", Str(answer["message"]).c_str());
        return kRefused;
    }
    if (!asJson)
        PrintPlain(args[0], answer);
    return 0;
}

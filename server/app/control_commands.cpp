#include "server/app/control_commands.h"

#include "bootp/host_directory.h"
#include "server/app/request_history.h"
#include "server/core/korrind_doc.h"
#include "server/dialogs/entry_checks.h"
#include "server/dialogs/entry_commands.h"
#include "server/dialogs/host_listing.h"

#include <nlohmann/json.hpp>

namespace korrind {
namespace {

using nlohmann::json;

json Refused(const std::string& message) {
    return {{"ok", false}, {"message", message}};
}

json Values(const EntryValues& v) {
    return {{"ha", v.hardwareAddress}, {"host", v.hostName}, {"ip", v.ipAddress},
            {"sm", v.subnetMask},      {"gw", v.gateway},    {"comment", v.comment}};
}

// What an IP address control would hold for the text: blank when empty,
// all four fields for a dotted address, partly filled for anything else.
AddressInput AddressOf(const std::string& text) {
    AddressInput input;
    if (text.empty())
        return input;
    auto bytes = ParseDottedAddress(text);
    input.filled = bytes ? 4 : 1;
    if (bytes)
        input.bytes = *bytes;
    return input;
}

std::string Text(const json& object, const char* key, const std::string& otherwise = {}) {
    auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : otherwise;
}

// A comment becomes a "# ..." line of the table: one line, as long as the
// dialog's field allows.
bool GoodComment(const std::string& comment) {
    if (comment.size() > 64)
        return false;
    for (unsigned char c : comment)
        if (c < 0x20 || c == 0x7F)
            return false;
    return true;
}

// The document's messages as one answer text, one per line.
std::string Joined(const DocResult& said) {
    std::string text;
    for (const std::string& message : said.Texts())
        text += (text.empty() ? "" : "\n") + message;
    return text.empty() ? "Nothing was written" : text;
}

// The working list as the table stands now; what reading the file said.
DocResult FreshRows(CKorrindDoc& doc) {
    RereadHostTable();
    DocResult read = doc.ReadTableLines();
    RebuildEntryRows(doc);
    return read;
}

json Status(const ControlContext& c) {
    json answer{{"ok", true},
                {"running", true},
                {"table", c.doc->TablePath()},
                {"entries", ListHostTable(*c.doc).size()},
                {"answered", c.history->Answered()},
                {"refused", c.history->Refused()},
                {"last_request", nullptr}};
    if (!c.history->Records().empty()) {
        const RequestRecord& r = c.history->Records().back();
        answer["last_request"] = {
            {"time", LocalTimeText(r.time)},
            {"ha", r.hardwareAddress.empty() ? r.clientAddress : r.hardwareAddress},
            {"address", r.answered ? r.answeredAddress : "unknown"},
            {"file", r.file}};
    }
    return answer;
}

json Unknown(const ControlContext& c) {
    json list = json::array();
    for (const std::string& address : c.doc->RecentAddresses()) {
        auto seen = c.history->LastSeenUnknown(address);
        list.push_back(
            {{"ha", address},
             {"last_seen",
              seen == RequestHistory::Clock::time_point{} ? std::string() : LocalTimeText(seen)}});
    }
    return {{"ok", true}, {"unknown", list}};
}

json List(const ControlContext& c) {
    json list = json::array();
    for (const EntryValues& values : ListHostTable(*c.doc))
        list.push_back(Values(values));
    return {{"ok", true}, {"entries", list}};
}

// Add (row -1) or modify (the row's values are the starting point; what
// the request names replaces them).
json AddOrModify(const ControlContext& c, const json& request, bool add) {
    json entry = request.value("entry", json::object());
    if (!entry.is_object())
        return Refused("entry must be an object");
    FreshRows(*c.doc);
    EntryRowArray& rows = c.doc->EntryRows();
    std::string address = UpperCase(Text(entry, "ha"));
    int row = -1;
    EntryValues start;
    if (!add) {
        row = FindLiveRow(rows, FieldHardwareAddress, address, -1);
        if (row < 0)
            return Refused("No entry with hardware address " + address);
        const EntryRow& current = rows[row];
        start = {address,
                 std::string(current.Field(FieldHostName)),
                 std::string(current.Field(FieldIpAddress)),
                 std::string(current.Field(FieldComment)),
                 std::string(current.Field(FieldSubnetMask)),
                 std::string(current.Field(FieldGateway))};
    } else {
        start.subnetMask = c.doc->DefaultSubnetMask();
        start.gateway = c.doc->DefaultGateway();
    }
    EntryInput input{address,
                     Text(entry, "host", start.hostName),
                     Text(entry, "comment", start.comment),
                     AddressOf(Text(entry, "ip", start.ipAddress)),
                     AddressOf(Text(entry, "sm", start.subnetMask)),
                     AddressOf(Text(entry, "gw", start.gateway))};
    EntryVerdict verdict = CheckEntry(input, rows, row);
    if (!verdict.ok)
        return Refused(verdict.message);
    if (!GoodComment(input.comment))
        return Refused(kInvalidComment);
    DocResult written;
    if (add) {
        c.doc->DeleteHAEntry(verdict.values.hardwareAddress);
        written = AddEntryAndApply(*c.doc, verdict.values);
    } else {
        EntryRow changed = rows[row];
        changed.SetValues(verdict.values);
        changed.modified = true;
        rows.StoreAt(row, changed);
        written = ApplyManagerChanges(*c.doc);
    }
    if (written.result != 1)
        return Refused(Joined(written));
    return {{"ok", true}, {"entry", Values(verdict.values)}};
}

json Delete(const ControlContext& c, const json& request) {
    FreshRows(*c.doc);
    EntryRowArray& rows = c.doc->EntryRows();
    std::string address = UpperCase(Text(request, "ha"));
    int row = FindLiveRow(rows, FieldHardwareAddress, address, -1);
    if (row < 0)
        return Refused("No entry with hardware address " + address);
    // Every entry of that address goes, as selecting them all would do.
    for (; row >= 0; row = FindLiveRow(rows, FieldHardwareAddress, address, -1))
        rows[row].deleted = true;
    DocResult written = ApplyManagerChanges(*c.doc);
    if (written.result != 1)
        return Refused(Joined(written));
    return {{"ok", true}};
}

json Defaults(const ControlContext& c, const json& request) {
    CKorrindDoc& doc = *c.doc;
    if (request.contains("sm") || request.contains("gw")) {
        // What the request leaves out stays as it is, as in the dialog.
        DefaultsVerdict verdict =
            CheckDefaults(AddressOf(Text(request, "gw", doc.DefaultGateway())),
                          AddressOf(Text(request, "sm", doc.DefaultSubnetMask())));
        if (!verdict.ok)
            return Refused(verdict.message);
        doc.SetDefaultGateway(verdict.gateway);
        doc.SetDefaultSubnetMask(verdict.subnetMask);
        doc.StoreDefaults();
        DocResult written = doc.WriteTableFile();
        if (!written.ok())
            return Refused(Joined(written));
    }
    return {{"ok", true}, {"sm", doc.DefaultSubnetMask()}, {"gw", doc.DefaultGateway()}};
}

json Answer(const json& request, const ControlContext& c) {
    std::string command = Text(request, "command");
    if (command == "status")
        return Status(c);
    if (command == "unknown")
        return Unknown(c);
    if (command == "list")
        return List(c);
    if (command == "show") {
        c.show();
        return {{"ok", true}};
    }
    bool changes = command == "add" || command == "modify" || command == "delete" ||
                   command == "defaults" || command == "reload";
    if (!changes)
        return Refused("unknown command \"" + command + "\"");
    if (c.busy())
        return Refused(kControlBusy);
    if (command == "reload") {
        DocResult read = FreshRows(*c.doc);
        return read.ok() ? json{{"ok", true}} : Refused(Joined(read));
    }
    if (command == "delete")
        return Delete(c, request);
    if (command == "defaults")
        return Defaults(c, request);
    return AddOrModify(c, request, command == "add");
}

} // namespace

std::string AnswerControlRequest(const std::string& line, const ControlContext& context) {
    json request = json::parse(line, nullptr, false);
    if (request.is_discarded() || !request.is_object())
        return Refused("not a JSON object").dump();
    json answer;
    try {
        answer = Answer(request, context);
    } catch (const std::exception& e) {
        answer = Refused(e.what());
    }
    return answer.dump(-1, ' ', false, json::error_handler_t::replace);
}

} // namespace korrind

#include "editor/table_entry.h"

#include "editor/table_lines.h"
#include "platform/messagebox.h"
#include "platform/strings.h"

#include <cerrno>
#include <cstdio>
#include <optional>

using olvani::Utf16ToUtf8;
using olvani::Utf8ToUtf16;

namespace tesslin {

namespace {

bool EndsWithContinuation(std::string_view piece) {
    std::string_view text = LineText(piece);
    return !text.empty() && text.back() == '\\';
}

bool IsComment(std::string_view piece) {
    return !piece.empty() && piece[0] == '#';
}

bool IsBlank(std::string_view piece) {
    return LineText(piece).empty();
}

// The uncommented "ha=" line naming exactly this hardware address.
bool NamesHost(std::string_view piece, const std::string& hardwareAddress) {
    return !Holds(piece, "#") && Holds(piece, "ha=") &&
           TextBetween(piece, "ha=", ":") == hardwareAddress;
}

// Lines of one host entry, first and last inclusive: from its comment line
// through the line that ends its continuation. For the editor's layout that
// is the three lines before "ha=" and the seven after it; an entry of
// another layout (written by the server, with tags of its own) is still
// taken whole, so no line of it is left behind.
struct EntrySpan {
    size_t first = 0;
    size_t last = 0;
};

// When the host is not there, `message` says so for the operator.
std::optional<EntrySpan> FindEntry(const std::vector<std::string>& lines,
                                   const std::string& hardwareAddress, std::string& message) {
    for (size_t at = 0; at < lines.size(); ++at) {
        if (!NamesHost(lines[at], hardwareAddress))
            continue;
        EntrySpan span{at, at};
        while (span.first > 0 && EndsWithContinuation(lines[span.first - 1]) &&
               !IsComment(lines[span.first - 1]))
            --span.first;
        if (span.first > 0 && IsComment(lines[span.first - 1]))
            --span.first;
        while (span.last + 1 < lines.size() && EndsWithContinuation(lines[span.last]))
            ++span.last;
        return span;
    }
    message = "The host with hardware address " + hardwareAddress +
              " is no longer in the table file. The file was not changed.";
    return std::nullopt;
}

// Number of lines of the editor's own header (five lines and the padding
// line), or 0 when the table starts with another one.
size_t OwnHeaderLines(const std::vector<std::string>& lines) {
    if (lines.size() < 6 || LineText(lines[0]) != "# OXL Bootptab file" ||
        LineText(lines[1]) != "# global defaults")
        return 0;
    return 6;
}

std::string WithCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
    return out;
}

std::string Join(const std::vector<std::string>& lines, size_t from, size_t to) {
    std::string out;
    for (size_t i = from; i < to && i < lines.size(); ++i)
        out += lines[i];
    return out;
}

} // namespace

std::vector<BootpRow> ParseRows(const std::string& table) {
    std::vector<std::string> lines = SplitTableLines(table);
    std::vector<BootpRow> rows;
    auto line = [&](size_t index) -> std::string_view {
        return index < lines.size() ? std::string_view(lines[index]) : std::string_view();
    };
    for (size_t at = 0; at < lines.size(); ++at) {
        if (!Holds(lines[at], "ha=") || Holds(lines[at], "#"))
            continue;
        BootpRow row;
        row.hardwareAddress = Utf8ToUtf16(TextBetween(lines[at], "ha=", ":\\"));
        row.ipAddress = Utf8ToUtf16(TextBetween(line(at + 1), "ip=", ":\\"));
        row.subnetMask = Utf8ToUtf16(TextBetween(line(at + 2), "sm=", ":\\"));
        row.gateway = Utf8ToUtf16(TextBetween(line(at + 3), "gw=", ":\\"));
        if (at >= 3) {
            std::string_view comment = LineText(lines[at - 3]);
            if (!comment.empty())
                row.comment = Utf8ToUtf16(comment.substr(1));
        }
        if (at >= 2) {
            std::string_view host = LineText(lines[at - 2]);
            row.hostName = Utf8ToUtf16(host.substr(0, host.find(":\\")));
        }
        rows.push_back(std::move(row));
        at += 3; // the ip, sm and gw lines were read with it
    }
    return rows;
}

std::optional<std::string> ReplaceEntryText(const std::string& table, const std::string& entry,
                                            const std::string& hardwareAddress,
                                            std::string& message) {
    std::vector<std::string> lines = SplitTableLines(table);
    std::optional<EntrySpan> span = FindEntry(lines, hardwareAddress, message);
    if (!span)
        return std::nullopt;
    std::string out = Join(lines, 0, span->first) + WithCrLf(entry);
    if (span->last + 1 < lines.size())
        out += "\r\n" + Join(lines, span->last + 1, lines.size());
    return out;
}

std::optional<std::string> DeleteEntryText(const std::string& table,
                                           const std::string& hardwareAddress,
                                           std::string& message) {
    std::vector<std::string> lines = SplitTableLines(table);
    std::optional<EntrySpan> span = FindEntry(lines, hardwareAddress, message);
    if (!span)
        return std::nullopt;
    size_t resume = span->last + 1;
    // The empty line that led into the next entry goes with this one.
    if (resume < lines.size() && IsBlank(lines[resume]))
        ++resume;
    // Blank lines between the editor's own header and the first comment are
    // not kept, as they never were.
    size_t header = OwnHeaderLines(lines);
    size_t body = header;
    while (header && body < span->first && IsBlank(lines[body]))
        ++body;
    return Join(lines, 0, header) + Join(lines, body, span->first) +
           Join(lines, resume, lines.size());
}

} // namespace tesslin

std::u16string CBootpTableEntry::FormatEntry(bool forAppend) const {
    const std::u16string end = forAppend ? u"\r\n" : u"\n";
    std::u16string text = forAppend ? end + end : std::u16string();
    text += u"#" + row_.comment + end;
    text += row_.hostName + u":\\" + end;
    text += u"ht=1:\\" + end;
    text += u"ha=" + row_.hardwareAddress + u":\\" + end;
    text += u"ip=" + row_.ipAddress + u":\\" + end;
    text += u"sm=" + row_.subnetMask + u":\\" + end;
    text += u"gw=" + row_.gateway + u":\\" + end;
    text += u"vm=auto:\\" + end + u"hn:\\" + end + u"bs=auto:\\" + end;
    text += u"T145=64:T146=01:T147=01";
    return text;
}

void CBootpTableEntry::LoadIntoList(const std::u16string& tablePath, std::vector<BootpRow>& list) {
    std::string table;
    if (!tesslin::ReadTableFile(Utf16ToUtf8(tablePath), table))
        return;
    for (BootpRow& row : tesslin::ParseRows(table))
        list.push_back(std::move(row));
}

bool CBootpTableEntry::AppendToFile(const std::u16string& tablePath, const std::u16string& text) {
    std::string path = Utf16ToUtf8(tablePath);
    if (tesslin::AppendToTable(path, Utf16ToUtf8(text)))
        return true;
    char message[4200];
    if (errno == ENOENT)
        std::snprintf(message, sizeof message, "%s file not found.", path.c_str());
    else if (errno == EACCES || errno == EPERM)
        std::snprintf(message, sizeof message, "Access denied to file %s", path.c_str());
    else
        std::snprintf(message, sizeof message, "Problem accessing file, code=%d", errno);
    MessageBox(message, "FileOpen", MB_OK | MB_ICONINFORMATION);
    return false;
}

bool CBootpTableEntry::IsNewHardwareAddress(const std::u16string& tablePath,
                                            const std::u16string& caption,
                                            const std::u16string& duplicateMessage) const {
    std::string table;
    if (!tesslin::ReadTableFile(Utf16ToUtf8(tablePath), table))
        return false;
    const std::string key = "ha=" + Utf16ToUtf8(row_.hardwareAddress);
    for (const std::string& line : tesslin::SplitTableLines(table)) {
        if (tesslin::Holds(line, key) && !tesslin::Holds(line, "#")) {
            MessageBoxW(duplicateMessage.c_str(), caption.c_str(), MB_OK | MB_ICONINFORMATION);
            return false;
        }
    }
    return true;
}

tesslin::TableChange CBootpTableEntry::ReplaceInFile(const std::u16string& tablePath,
                                                     const std::u16string& text,
                                                     const std::u16string& oldHardwareAddress) {
    const std::string entry = Utf16ToUtf8(text);
    const std::string address = Utf16ToUtf8(oldHardwareAddress);
    return tesslin::RewriteTable(
        Utf16ToUtf8(tablePath), [&](const std::string& current, std::string& message) {
            return tesslin::ReplaceEntryText(current, entry, address, message);
        });
}

tesslin::TableChange CBootpTableEntry::DeleteFromFile(const std::u16string& tablePath,
                                                      const std::u16string& hardwareAddress) {
    const std::string address = Utf16ToUtf8(hardwareAddress);
    return tesslin::RewriteTable(Utf16ToUtf8(tablePath),
                                 [&](const std::string& current, std::string& message) {
                                     return tesslin::DeleteEntryText(current, address, message);
                                 });
}

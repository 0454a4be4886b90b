#include "server/core/entry_block.h"

#include "bootp/bootptab_scan.h"
#include "server/core/line_text.h"

namespace {

bool EndsWithContinuation(const std::string& line) {
    return line.size() >= 2 && line.compare(line.size() - 2, 2, "\\\n") == 0;
}

std::string_view Trimmed(std::string_view text) {
    const char* blanks = " \t\r\f\v";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// The logical entry the reader sees: comment lines skipped, a backslash at
// a line's end joining the next line.
std::string JoinedEntry(const std::vector<std::string>& lines, EntryBlock block) {
    std::string text;
    for (size_t i = block.first; i < block.end; ++i) {
        std::string_view rest = lines[i];
        while (!rest.empty()) {
            size_t newline = rest.find('\n');
            std::string_view line = rest.substr(0, newline);
            rest.remove_prefix(newline == std::string_view::npos ? rest.size() : newline + 1);
            std::string_view content = Trimmed(line);
            if (content.empty() || IsComment(content))
                continue;
            if (content.back() == '\\')
                content.remove_suffix(1);
            text.append(content);
        }
    }
    return text;
}

} // namespace

EntryBlock EntryBlockAround(const std::vector<std::string>& lines, size_t at) {
    // Back over the entry's own lines (those continuing into this one, and
    // comments) to the empty line that opens the block. Stopping at any
    // other line keeps an entry written without an empty line before it.
    size_t first = at;
    while (first > 1 && lines[first - 1] != kEmptyLine &&
           (IsComment(lines[first - 1]) || EndsWithContinuation(lines[first - 1])))
        --first;
    if (first > 1 && lines[first - 1] == kEmptyLine)
        --first;
    // Forward to the entry's last line, then on to the next empty line when
    // only comments stand before it.
    size_t end = at + 1;
    bool continues = true;
    while (end < lines.size() && continues && lines[end] != kEmptyLine) {
        if (!IsComment(lines[end]))
            continues = EndsWithContinuation(lines[end]);
        ++end;
    }
    size_t scan = end;
    while (scan < lines.size() && lines[scan] != kEmptyLine && IsComment(lines[scan]))
        ++scan;
    if (scan == lines.size() || lines[scan] == kEmptyLine)
        end = scan;
    return {first, end};
}

std::vector<std::string> EntryFields(const std::vector<std::string>& lines, EntryBlock block) {
    std::string text = JoinedEntry(lines, block);
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false;
    auto finish = [&] {
        std::string_view content = Trimmed(field);
        if (!content.empty())
            fields.emplace_back(content);
        field.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            field.push_back(c);
            field.push_back(text[++i]);
        } else if (c == '"') {
            quoted = !quoted;
            field.push_back(c);
        } else if (c == ':' && !quoted) {
            finish();
        } else {
            field.push_back(c);
        }
    }
    finish();
    return fields;
}

std::string_view FieldTag(std::string_view field) {
    size_t end = field.find_first_of("=@ \t");
    return field.substr(0, end);
}

bool LastFieldValue(const std::vector<std::string>& fields, std::string_view tag,
                    std::string& value) {
    bool found = false;
    for (size_t i = 1; i < fields.size(); ++i) {
        std::string_view field = fields[i];
        if (FieldTag(field) != tag)
            continue;
        std::string_view rest = Trimmed(field.substr(tag.size()));
        if (rest.empty() || rest[0] != '=')
            continue;
        value = Trimmed(rest.substr(1));
        found = true;
    }
    return found;
}

bool BlockHasAddress(const std::vector<std::string>& fields, const std::string& dotted) {
    std::string own;
    if (!LastFieldValue(fields, "ip", own))
        return dotted.empty();
    uint32_t a = 0;
    uint32_t b = 0;
    const char* p = own.c_str();
    const char* q = dotted.c_str();
    return ScanAddress(&p, &a) && ScanAddress(&q, &b) && a == b;
}

#include "ledger/LedgerLine.h"

#include <array>
#include <charconv>

namespace marrowgate {
namespace {

constexpr std::size_t kMostFields = 9; // a record's; more are a later version's

void AppendEscaped(std::string& line, std::string_view text) {
    for (const char c : text) {
        switch (c) {
        case '\\':
            line += "\\\\";
            break;
        case '\t':
            line += "\\t";
            break;
        case '\n':
            line += "\\n";
            break;
        case '\r':
            line += "\\r";
            break;
        default:
            line += c;
        }
    }
}

template <typename Number> void AppendNumber(std::string& line, Number value) {
    char digits[24];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
    line += '\t';
    line.append(digits, end);
}

template <typename Number> bool Parse(std::string_view text, Number& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

// The first kMostFields fields; the count says how many the line has (at
// most kMostFields + 1: enough to tell).
struct Fields {
    std::array<std::string_view, kMostFields> field;
    std::size_t count = 0;
};

Fields Split(std::string_view line) {
    Fields fields;
    std::size_t start = 0;
    while (fields.count < kMostFields) {
        const std::size_t tab = line.find('\t', start);
        fields.field[fields.count++] = line.substr(start, tab - start);
        if (tab == std::string_view::npos) {
            return fields;
        }
        start = tab + 1;
    }
    ++fields.count; // more than a record's
    return fields;
}

} // namespace

LedgerLine LedgerLine::Parse(std::string_view text) {
    const Fields fields = Split(text);
    const std::string_view kind = fields.field[0];
    LedgerLine line;
    if ((kind == "open" || kind == "closed") && fields.count >= 3) {
        if (!marrowgate::Parse(fields.field[2], line.size)) {
            return line;
        }
        line.record.mailbox = Unescaped(fields.field[1]);
        line.kind = kind == "open" ? Kind::Open : Kind::Closed;
    } else if (kind == "record" && fields.count >= kMostFields) {
        LedgerRecord& record = line.record;
        LedgerSource& source = record.source;
        if (!marrowgate::Parse(fields.field[2], record.begin) ||
            !marrowgate::Parse(fields.field[3], record.end) ||
            !marrowgate::Parse(fields.field[5], source.size) ||
            !marrowgate::Parse(fields.field[6], source.modifiedNs) ||
            !marrowgate::Parse(fields.field[7], source.device) ||
            !marrowgate::Parse(fields.field[8], source.inode)) {
            return line;
        }
        record.mailbox = Unescaped(fields.field[1]);
        source.path = Unescaped(fields.field[4]);
        line.kind = Kind::Record;
    }
    return line;
}

std::optional<std::string_view> LedgerLine::MailboxField(std::string_view text) {
    const std::size_t first = text.find('\t');
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view kind = text.substr(0, first);
    if (kind != "open" && kind != "closed" && kind != "record") {
        return std::nullopt;
    }
    const std::size_t second = text.find('\t', first + 1);
    return text.substr(first + 1, second == std::string_view::npos ? std::string_view::npos
                                                                   : second - first - 1);
}

std::optional<std::string_view> LedgerLine::SourceField(std::string_view text) {
    if (!text.starts_with("record\t")) {
        return std::nullopt;
    }
    const Fields fields = Split(text);
    if (fields.count < kMostFields) {
        return std::nullopt;
    }
    return fields.field[4];
}

std::string LedgerLine::Escaped(std::string_view text) {
    std::string escaped;
    AppendEscaped(escaped, text);
    return escaped;
}

std::string LedgerLine::Unescaped(std::string_view text) {
    std::string plain;
    plain.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            plain += text[i];
            continue;
        }
        switch (text[++i]) {
        case 't':
            plain += '\t';
            break;
        case 'n':
            plain += '\n';
            break;
        case 'r':
            plain += '\r';
            break;
        default:
            plain += text[i];
        }
    }
    return plain;
}

void LedgerLine::AppendRecord(std::string& out, const LedgerRecord& record) {
    out += "record\t";
    AppendEscaped(out, record.mailbox);
    AppendNumber(out, record.begin);
    AppendNumber(out, record.end);
    out += '\t';
    AppendEscaped(out, record.source.path);
    AppendNumber(out, record.source.size);
    AppendNumber(out, record.source.modifiedNs);
    AppendNumber(out, record.source.device);
    AppendNumber(out, record.source.inode);
    out += '\n';
}

void LedgerLine::AppendMailbox(std::string& out, std::string_view kind, std::string_view mailbox,
                               std::uint64_t size) {
    out += kind;
    out += '\t';
    AppendEscaped(out, mailbox);
    AppendNumber(out, size);
    out += '\n';
}

} // namespace marrowgate

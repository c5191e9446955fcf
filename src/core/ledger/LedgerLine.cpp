#include "ledger/LedgerLine.h"

#include <charconv>

namespace marrowgate {
namespace {

constexpr std::size_t kMostFields = 9; // a record's; more are a later version's
constexpr std::size_t kChecksumDigits = 8;

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

// Ends the line that began at `begin` of `out` with its checksum and LF.
void EndLine(std::string& out, std::size_t begin) {
    const std::uint32_t sum = LineChecksum(std::string_view(out).substr(begin));
    char digits[kChecksumDigits + 1];
    for (std::size_t i = 0; i < kChecksumDigits; ++i) {
        digits[kChecksumDigits - 1 - i] = "0123456789abcdef"[(sum >> (4 * i)) & 0xF];
    }
    out += '\t';
    out.append(digits, kChecksumDigits);
    out += '\n';
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

std::vector<std::string_view> SplitAll(std::string_view line) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string_view::npos) {
            return fields;
        }
        start = tab + 1;
    }
}

// "BEGIN-END", an mbox record's place.
bool ParsePlace(std::string_view text, std::uint64_t& begin, std::uint64_t& end) {
    const std::size_t dash = text.find('-');
    return dash != std::string_view::npos && Parse(text.substr(0, dash), begin) &&
           Parse(text.substr(dash + 1), end) && begin <= end;
}

bool ParseRecord(const Fields& fields, int version, LedgerRecord& record) {
    LedgerSource& source = record.source;
    std::size_t at = 2;
    if (version == 1) {
        if (!Parse(fields.field[2], record.begin) || !Parse(fields.field[3], record.end)) {
            return false;
        }
        at = 4;
    } else {
        const std::optional<ContentHash> hash = ContentHash::FromText(fields.field[3]);
        if (!hash || fields.field[2].empty()) {
            return false;
        }
        if (!ParsePlace(fields.field[2], record.begin, record.end)) {
            // A place in a store's own terms.
            record.place = LedgerLine::Unescaped(fields.field[2]);
        }
        record.hash = *hash;
        at = 4;
    }
    if (!Parse(fields.field[at + 1], source.size) ||
        !Parse(fields.field[at + 2], source.modifiedNs) ||
        !Parse(fields.field[at + 3], source.device) || !Parse(fields.field[at + 4], source.inode)) {
        return false;
    }
    record.mailbox = LedgerLine::Unescaped(fields.field[1]);
    source.path = LedgerLine::Unescaped(fields.field[at]);
    return true;
}

// The kinds a version 2 line may have, with the fields each needs at least.
LedgerLine::Kind KindOf(std::string_view kind, std::size_t count) {
    using Kind = LedgerLine::Kind;
    if (kind == "record" || kind == "sending") {
        if (count < kMostFields) {
            return Kind::Damaged;
        }
        return kind == "record" ? Kind::Record : Kind::Sending;
    }
    if (kind == "begun") {
        return count >= 4 ? Kind::Begun : Kind::Damaged;
    }
    if (kind == "open" || kind == "closed") {
        return count >= 3 ? (kind == "open" ? Kind::Open : Kind::Closed) : Kind::Damaged;
    }
    if (kind == "run") {
        return count >= 2 ? Kind::Run : Kind::Damaged;
    }
    if (kind == "end") {
        return count >= 5 ? Kind::End : Kind::Damaged;
    }
    return Kind::Other;
}

LedgerLine ParseVersion2(std::string_view text) {
    LedgerLine line;
    const Fields fields = Split(text);
    const LedgerLine::Kind kind = KindOf(fields.field[0], fields.count);
    bool read = true;
    switch (kind) {
    case LedgerLine::Kind::Record:
    case LedgerLine::Kind::Sending:
        read = ParseRecord(fields, 2, line.record);
        break;
    case LedgerLine::Kind::Begun:
        line.record.mailbox = LedgerLine::Unescaped(fields.field[1]);
        line.record.place = LedgerLine::Unescaped(fields.field[2]);
        line.target = LedgerLine::Unescaped(fields.field[3]);
        break;
    case LedgerLine::Kind::Open:
    case LedgerLine::Kind::Closed:
        read = Parse(fields.field[2], line.size);
        line.record.mailbox = LedgerLine::Unescaped(fields.field[1]);
        if (kind == LedgerLine::Kind::Open && fields.count > 3) {
            line.target = LedgerLine::Unescaped(fields.field[3]);
        }
        break;
    case LedgerLine::Kind::Run: {
        const std::vector<std::string_view> all = SplitAll(text);
        read = Parse(all[1], line.time);
        line.target = all.size() > 2 ? LedgerLine::Unescaped(all[2]) : "";
        for (std::size_t i = 3; i < all.size(); ++i) {
            line.stores.push_back(LedgerLine::Unescaped(all[i]));
        }
        break;
    }
    case LedgerLine::Kind::End:
        read = Parse(fields.field[1], line.time) && Parse(fields.field[2], line.figures[0]) &&
               Parse(fields.field[3], line.figures[1]) && Parse(fields.field[4], line.figures[2]);
        break;
    default:
        break;
    }
    line.kind = read ? kind : LedgerLine::Kind::Damaged;
    return line;
}

} // namespace

bool LedgerLine::Intact(std::string_view text) {
    const std::size_t tab = text.rfind('\t');
    if (tab == std::string_view::npos || text.size() - tab - 1 != kChecksumDigits) {
        return false;
    }
    std::uint32_t sum = 0;
    const std::string_view digits = text.substr(tab + 1);
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), sum, 16);
    return error == std::errc() && end == digits.data() + digits.size() &&
           sum == LineChecksum(text.substr(0, tab));
}

LedgerLine LedgerLine::Parse(std::string_view text, int version) {
    if (version >= 2) {
        if (!Intact(text)) {
            LedgerLine damaged;
            damaged.kind = Kind::Damaged;
            return damaged;
        }
        return ParseVersion2(text.substr(0, text.rfind('\t')));
    }
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
        if (ParseRecord(fields, 1, line.record)) {
            line.kind = Kind::Record;
        }
    } else if (kind == "run" && fields.count >= 2 &&
               marrowgate::Parse(fields.field[1], line.time)) {
        line.kind = Kind::Run;
    }
    return line;
}

std::optional<std::string_view> LedgerLine::MailboxField(std::string_view text) {
    const std::size_t first = text.find('\t');
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view kind = text.substr(0, first);
    if (kind != "open" && kind != "closed" && kind != "record" && kind != "sending" &&
        kind != "begun") {
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

namespace {

void AppendRecordLine(std::string& out, std::string_view kind, const LedgerRecord& record) {
    const std::size_t begin = out.size();
    out += kind;
    out += '\t';
    AppendEscaped(out, record.mailbox);
    out += '\t';
    if (record.place.empty()) {
        char digits[24];
        out.append(digits, std::to_chars(digits, digits + sizeof digits, record.begin).ptr);
        out += '-';
        out.append(digits, std::to_chars(digits, digits + sizeof digits, record.end).ptr);
    } else {
        AppendEscaped(out, record.place);
    }
    out += '\t';
    out += record.hash.Text();
    out += '\t';
    AppendEscaped(out, record.source.path);
    AppendNumber(out, record.source.size);
    AppendNumber(out, record.source.modifiedNs);
    AppendNumber(out, record.source.device);
    AppendNumber(out, record.source.inode);
    EndLine(out, begin);
}

} // namespace

void LedgerLine::AppendRecord(std::string& out, const LedgerRecord& record) {
    AppendRecordLine(out, "record", record);
}

void LedgerLine::AppendSending(std::string& out, const LedgerRecord& record) {
    AppendRecordLine(out, "sending", record);
}

void LedgerLine::AppendBegun(std::string& out, std::string_view mailbox, std::string_view place,
                             std::string_view target) {
    const std::size_t begin = out.size();
    out += "begun\t";
    AppendEscaped(out, mailbox);
    out += '\t';
    AppendEscaped(out, place);
    out += '\t';
    AppendEscaped(out, target);
    EndLine(out, begin);
}

void LedgerLine::AppendMailbox(std::string& out, std::string_view kind, std::string_view mailbox,
                               std::uint64_t size) {
    const std::size_t begin = out.size();
    out += kind;
    out += '\t';
    AppendEscaped(out, mailbox);
    AppendNumber(out, size);
    EndLine(out, begin);
}

void LedgerLine::AppendOpen(std::string& out, std::string_view mailbox, std::uint64_t size,
                            std::string_view target) {
    const std::size_t begin = out.size();
    out += "open\t";
    AppendEscaped(out, mailbox);
    AppendNumber(out, size);
    out += '\t';
    AppendEscaped(out, target);
    EndLine(out, begin);
}

void LedgerLine::AppendRun(std::string& out, std::int64_t time, std::string_view target,
                           const std::vector<std::string>& stores) {
    const std::size_t begin = out.size();
    out += "run";
    AppendNumber(out, time);
    out += '\t';
    AppendEscaped(out, target);
    for (const std::string& store : stores) {
        out += '\t';
        AppendEscaped(out, store);
    }
    EndLine(out, begin);
}

void LedgerLine::AppendEnd(std::string& out, std::int64_t time,
                           const std::array<std::uint64_t, 3>& figures) {
    const std::size_t begin = out.size();
    out += "end";
    AppendNumber(out, time);
    for (const std::uint64_t figure : figures) {
        AppendNumber(out, figure);
    }
    EndLine(out, begin);
}

} // namespace marrowgate

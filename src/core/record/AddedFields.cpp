#include "record/AddedFields.h"

namespace marrowgate {
namespace {

bool IsFieldNameByte(char byte) {
    const auto value = static_cast<unsigned char>(byte);
    return value >= 33 && value <= 126 && byte != ':';
}

std::string Printable(std::string text) {
    for (char& byte : text) {
        if (static_cast<unsigned char>(byte) < 32 || byte == 127) {
            byte = '?';
        }
    }
    return text;
}

} // namespace

int FieldLinesMissing(std::string_view head, bool whole) {
    // What is missing when the text ends before the test is decided.
    const auto ranOut = [whole](int found) { return whole ? 2 - found : 0; };
    std::size_t at = 0;
    for (int found = 0; found < 2; ++found) {
        while (at < head.size() && IsFieldNameByte(head[at])) {
            ++at;
        }
        if (at == head.size()) {
            return ranOut(found);
        }
        if (head[at] != ':') {
            return 2 - found;
        }
        if (found == 1) {
            break;
        }
        // On to the next line that is not a folded continuation.
        do {
            at = head.find('\n', at);
            if (at == std::string_view::npos || ++at == head.size()) {
                return ranOut(1);
            }
        } while (head[at] == ' ' || head[at] == '\t');
    }
    return 0;
}

std::string MarkerFields(int count, const std::string& messagePath, LineEnding lineEnd,
                         PathSyntax syntax) {
    const std::string_view end = lineEnd == LineEnding::CrLf ? "\r\n" : "\n";
    std::string fields =
        "X-Marrowgate-Source: " + Printable(LastPathComponent(messagePath, syntax));
    fields.append(end);
    if (count > 1) {
        std::string folder = DirectoryPart(messagePath, syntax);
        if (!folder.empty()) {
            folder.pop_back();
        }
        fields.append("X-Marrowgate-Folder: ")
            .append(Printable(LastPathComponent(folder, syntax)))
            .append(end);
    }
    return fields;
}

} // namespace marrowgate

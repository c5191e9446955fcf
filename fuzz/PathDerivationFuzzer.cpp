// The path derivation on any text: the mailbox path lies inside the output
// root, in a folder that no "." or ".." can lead out of, or the derivation
// fails with a clear error.
#include "marrowgate/ConversionError.h"
#include "marrowgate/PathDerivation.h"

#include "Require.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using marrowgate::PathSyntax;
using marrowgate::test::Require;

namespace {

bool IsSeparator(char c, PathSyntax syntax) {
    // Windows takes "/" for a separator too, whatever the program splits at.
    return c == '/' || (syntax == PathSyntax::Windows && c == '\\');
}

void RequireInside(const std::string& path, std::string_view root, PathSyntax syntax) {
    Require(path.starts_with(root), "the path starts with the output root");
    Require(path.find('\0') == std::string::npos, "the path holds no NUL");
    std::string_view rest(path);
    rest.remove_prefix(root.size());
    std::size_t start = 0;
    for (std::size_t i = 0; i <= rest.size(); ++i) {
        if (i == rest.size() || IsSeparator(rest[i], syntax)) {
            const auto name = rest.substr(start, i - start);
            Require(i == rest.size() || !name.empty(), "no empty name below the root");
            Require(name != "." && name != "..", "no . or .. below the root");
            start = i + 1;
        }
    }
}

} // namespace

// The first byte picks the syntax; the rest is the message path.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const PathSyntax syntax = data[0] & 1 ? PathSyntax::Windows : PathSyntax::Posix;
    const std::string source(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string root = syntax == PathSyntax::Windows ? "D:\\Out\\" : "/out/";

    std::string mirrored;
    try {
        mirrored = marrowgate::MirroredFolder(source, root, syntax);
    } catch (const marrowgate::ConversionError& error) {
        Require(std::string_view(error.what()).find("path") != std::string_view::npos,
                "the error names what is wrong");
        return 0;
    }
    RequireInside(mirrored, root, syntax);
    Require(mirrored.back() == marrowgate::Separator(syntax), "the folder ends with a separator");
    const std::string mailbox = marrowgate::MailboxPath(mirrored, syntax);
    RequireInside(mailbox, root, syntax);
    Require(mailbox.starts_with(mirrored), "the mailbox lies in the mirrored folder");
    const std::string_view name = std::string_view(mailbox).substr(mirrored.size());
    Require(name.size() > 5 && name.ends_with(".mbox"), "the mailbox has a name and .mbox");
    for (const char c : name) {
        Require(!IsSeparator(c, syntax), "the mailbox's name is one name");
    }
    return 0;
}

#include "cli/Utf8Arguments.h"

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>
#endif

namespace marrowgate {

Utf8Arguments::Utf8Arguments(int argc, char** argv) {
#ifdef _WIN32
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide != nullptr) {
        for (int i = 0; i < count; ++i) {
            const int size =
                WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
            std::string text(static_cast<std::size_t>(size > 0 ? size - 1 : 0), '\0');
            WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, text.data(), size, nullptr, nullptr);
            texts_.push_back(std::move(text));
        }
        LocalFree(wide);
    }
    SetConsoleOutputCP(CP_UTF8);
#endif
    if (texts_.empty()) {
        texts_.assign(argv, argv + argc);
    }
    for (auto& text : texts_) {
        pointers_.push_back(text.data());
    }
    pointers_.push_back(nullptr);
}

} // namespace marrowgate

#pragma once

#include <string>
#include <vector>

namespace marrowgate {

// The program's arguments as UTF-8, whatever the system hands main(): on
// Windows, main() gets them in the ANSI code page, which cannot hold every
// folder name ("Réunions" on a Greek system, any name in another script), so
// they are read again from the wide command line. Also sets the console to
// print UTF-8, so that the paths in messages show as they are.
class Utf8Arguments {
public:
    Utf8Arguments(int argc, char** argv);
    Utf8Arguments(const Utf8Arguments&) = delete;
    Utf8Arguments& operator=(const Utf8Arguments&) = delete;

    int Count() const { return static_cast<int>(pointers_.size()) - 1; }
    // argv-style: Count() strings, then a null pointer; valid while this lives.
    char** Values() { return pointers_.data(); }

private:
    std::vector<std::string> texts_;
    std::vector<char*> pointers_;
};

} // namespace marrowgate

#pragma once

// The mail store of the current user where Windows Live Mail (or Windows Mail)
// keeps it: the folder a user who wants their mail out is looking for, and
// does not see in Explorer, which hides AppData.

#include <functional>
#include <optional>
#include <string>

namespace marrowgate {

struct FoundStore {
    // Where the folder was learnt.
    enum class Source {
        LiveMailSettings,  // the store root in Windows Live Mail's settings
        LiveMailFolder,    // Windows Live Mail's usual folder
        WindowsMailFolder, // Windows Mail's usual folder
    };
    std::string folder;
    Source source;
};

// The first of these that is a folder: the store root recorded in the current
// user's settings of Windows Live Mail (the registry value "Store Root" of
// HKEY_CURRENT_USER\Software\Microsoft\Windows Live Mail, with the environment
// variables it names put in), %LOCALAPPDATA%\Microsoft\Windows Live Mail,
// %LOCALAPPDATA%\Microsoft\Windows Mail. Nothing when none is. Other systems
// have no registry; LOCALAPPDATA counts there too when it is set.
std::optional<FoundStore> FindMailStore();

// What finding asks of the system; the tests give their own.
struct StoreLookups {
    std::function<std::optional<std::string>()> storeRootSetting;
    std::function<std::optional<std::string>(const std::string& name)> environment;
    std::function<bool(const std::string& path)> isFolder;
};
std::optional<FoundStore> FindMailStore(const StoreLookups& lookups);

} // namespace marrowgate

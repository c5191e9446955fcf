#include "cli/AccountLogin.h"

#include "cli/CommandLine.h"
#include "marrowgate/ConversionError.h"
#include "marrowgate/ImapAccount.h"
#include "marrowgate/ImapSecrets.h"
#include "marrowgate/Terminal.h"

#include <iostream>

namespace marrowgate {

std::optional<int> GatherAccountLogin(CommandLine& command) {
    if (command.target.GetKind() != OutputTarget::Kind::Imap) {
        return std::nullopt;
    }
    ImapLogin& login = command.login;
    login.mechanism = command.mechanism;
    login.caFile = command.caFile;
    login.insecurePlaintext = command.insecurePlaintext;
    try {
        if (!command.tokenCommand.empty()) {
            login.oauthToken = RunTokenCommand(command.tokenCommand);
        } else if (!command.passwordFile.empty()) {
            login.password = ReadPasswordFile(command.passwordFile);
        } else if (const auto value = platform::EnvironmentValue(kImapPasswordVariable)) {
            login.password = *value;
        } else {
            const ImapAccount account = ImapAccount::Parse(command.output);
            const auto typed = platform::ReadHiddenLine("Password for " + account.Display() + ": ");
            if (!typed) {
                std::cerr << "marrowgate-convert: no password for " << account.Display()
                          << ": give --password-file, set " << kImapPasswordVariable
                          << ", or run on a terminal to be asked\n";
                return 2;
            }
            login.password = *typed;
        }
    } catch (const ConversionError& error) {
        std::cerr << "marrowgate-convert: " << error.what() << "\n";
        return 2;
    }
    return std::nullopt;
}

} // namespace marrowgate

#include "tools/cli/cmdsend.h"

#include "platform/instance.h"
#include "tools/cli/cliargs.h"
#include "tools/cli/clihelp.h"
#include "tools/cli/clijson.h"
#include "tools/cli/clitable.h"
#include "vtkit/bcdblock.h"

#include <cctype>
#include <iostream>
#include <optional>

namespace {

struct SendOptions {
    std::vector<VTBarcodeDataBlockEntry> entries;
    bool json = false;
    TableStyle style;
};

// The letters a block knows; any other would reach the client as "Z".
std::optional<ScanType> TypeOfLetter(const std::string& word)
{
    if (word.size() != 1)
        return std::nullopt;
    const auto letter = static_cast<std::uint8_t>(std::toupper(static_cast<unsigned char>(word[0])));
    if ((letter < 'A' || letter > 'H') && letter != 'Z')
        return std::nullopt;
    return VTBarcodeDataBlock::ScanTypeOfLetter(letter);
}

std::optional<SendOptions> ParseOptions(const std::vector<std::string>& words, std::string& error)
{
    const auto args = CliArgs::Parse(words, {"--type"}, {}, error);
    std::optional<ScanType> type = kScanTypeUnknown;
    if (args) {
        if (const auto letter = args->Value("--type"))
            type = TypeOfLetter(*letter);
        if (!type)
            error = "--type takes one of the letters A to H, or Z";
        else if (args->Positional().empty())
            error = "no code to send";
        for (const std::string& text : args->Positional())
            if (error.empty() && (text.empty() || text.size() > VTBarcodeDataBlock::kMaxText))
                error = "a code is 1 to " + std::to_string(VTBarcodeDataBlock::kMaxText) + " bytes long";
    }
    if (!error.empty())
        return std::nullopt;
    SendOptions options;
    for (const std::string& text : args->Positional())
        options.entries.push_back({*type, text});
    options.json = args->Json();
    options.style = args->Style();
    return options;
}

void PrintSent(const SendOptions& options)
{
    std::vector<std::vector<std::string>> rows;
    for (const auto& entry : options.entries) {
        if (options.json)
            std::cout << JsonObject().Add("type", static_cast<int>(entry.type)).Add("text", entry.text).Str()
                      << '\n';
        else
            rows.push_back({std::to_string(entry.type), entry.text});
    }
    if (!options.json)
        PrintTable(std::cout, {"TYPE", "TEXT"}, rows, options.style);
}

const char* FailureText(platform::InstanceSendResult result)
{
    switch (result) {
    case platform::InstanceSendResult::kNoClient:
        return "no Lumora client is running for this user";
    case platform::InstanceSendResult::kRefused:
        return "the running client refused the codes";
    case platform::InstanceSendResult::kTooLarge:
        return "too many codes for one hand-over; send fewer at a time";
    default:
        return "the running client did not answer";
    }
}

} // namespace

int CmdSend(const std::vector<std::string>& words)
{
    std::string error;
    const auto options = ParseOptions(words, error);
    if (!options)
        return ReportUsage("send", error);
    platform::InstanceMessage message;
    message.kind = platform::InstanceMessage::Kind::kDataCopy;
    message.number = platform::InstanceMessage::kBarcodeDataBlock;
    message.data = *VTBarcodeDataBlock::Format(options->entries);
    const auto result = platform::SendToRunningClient(message);
    if (result != platform::InstanceSendResult::kDelivered) {
        std::cerr << "lumora-cli: " << FailureText(result) << '\n';
        return kExitFailed;
    }
    PrintSent(*options);
    return kExitOk;
}

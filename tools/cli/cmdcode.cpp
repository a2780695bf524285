#include "tools/cli/cmdcode.h"

#include "tools/cli/cliargs.h"
#include "tools/cli/clihelp.h"
#include "tools/cli/cliinput.h"
#include "tools/cli/clijson.h"
#include "tools/cli/clitable.h"
#include "tools/cli/clitypes.h"
#include "tst/tsexcep.h"
#include "tst/tsstrmap.h"
#include "vtkit/cdanalyze.h"
#include "vtkit/cdformat.h"

#include <climits>
#include <iostream>
#include <optional>

namespace {

// The contents keys in the order they are printed.
constexpr const char* kContentsKeys[] = {"SCODE", "RCODE", "CODE", "SID",  "RSID",
                                         "IID",   "RIID",  "XID",  "TYPE", "CODETYPE"};

int UsageError(const char* command, const std::string& message)
{
    return ReportUsage(command, message);
}

int Failure(const CliArgs& args, const char* command, const std::string& message)
{
    return ReportFailure(command, message, args.Json());
}

std::optional<int> ParseInt(std::string_view text)
{
    const auto value = ParseLong(text);
    if (!value || *value < INT_MIN || *value > INT_MAX)
        return std::nullopt;
    return static_cast<int>(*value);
}

// The --type option as a code type; 0 with `error` set when it is missing
// or names no type.
VTCodeType TypeOption(const CliArgs& args, std::string& error)
{
    const auto name = args.Value("--type");
    const VTCodeType type = name ? CliCodeType(*name) : kCodeUnknown;
    if (!name)
        error = "--type NAME is required";
    else if (type == kCodeUnknown)
        error = "unknown code type '" + *name + "'; the types are " + CliCodeTypeNames();
    return type;
}

// "LOW,HIGH,RIDOFF,RIDLEN,IIDOFF,IIDLEN[,TEMPLATE]"; the template is the rest
// of the text, commas included.
std::optional<VTCodeFormat> ParseFormat(const std::string& spec, VTCodeType type)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (fields.size() < 6 && start != std::string::npos) {
        const auto comma = spec.find(',', start);
        fields.push_back(spec.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        start = comma == std::string::npos ? comma : comma + 1;
    }
    if (fields.size() < 6)
        return std::nullopt;
    if (start != std::string::npos)
        fields.push_back(spec.substr(start));
    int numbers[4];
    for (int i = 0; i < 4; ++i) {
        const auto value = ParseInt(fields[static_cast<std::size_t>(i) + 2]);
        if (!value)
            return std::nullopt;
        numbers[i] = *value;
    }
    VTCodeFormat format;
    format.SetCodeType(type);
    format.SetLowCode(fields[0]);
    format.SetHighCode(fields[1]);
    format.SetRoutingId(numbers[0], numbers[1]);
    format.SetItemId(numbers[2], numbers[3]);
    if (fields.size() == 7)
        format.SetDisplayTemplate(fields[6]);
    return format;
}

std::vector<std::pair<std::string, std::string>> ContentsFields(const VTCodeContents& contents)
{
    TSStringMap map;
    contents.ExportTo(map);
    std::vector<std::pair<std::string, std::string>> fields;
    for (const char* key : kContentsKeys) {
        std::string value;
        map.Get(key, value);
        fields.emplace_back(key, value);
    }
    return fields;
}

void PrintFields(const CliArgs& args, const std::vector<std::pair<std::string, std::string>>& fields)
{
    if (args.Json()) {
        JsonObject object;
        for (const auto& [key, value] : fields)
            object.Add(key, value);
        std::cout << object.Str() << '\n';
        return;
    }
    std::vector<std::vector<std::string>> rows;
    for (const auto& [key, value] : fields)
        rows.push_back({key, value});
    PrintTable(std::cout, {"FIELD", "VALUE"}, rows, args.Style());
}

std::string JoinNames(const std::vector<std::string>& names)
{
    std::string joined;
    for (const auto& name : names)
        joined.append(joined.empty() ? "" : " ").append(name);
    return joined;
}

} // namespace

int CmdAnalyze(const std::vector<std::string>& words)
{
    std::string error;
    const auto args = CliArgs::Parse(words, {"--scan-type", "--file"}, {"--scanned"}, error);
    if (!args)
        return UsageError("analyze", error);
    const CodeInput input = ReadCodes(*args);
    if (input.usage)
        return UsageError("analyze", input.error);
    if (!input.error.empty())
        return Failure(*args, "analyze", input.error);
    if (input.codes.empty())
        return UsageError("analyze", "no text to analyse");
    ScanType scanType = kScanTypeUnknown;
    if (const auto value = args->Value("--scan-type")) {
        const auto number = ParseInt(*value);
        if (!number || *number < kScanTypeUnknown || *number > kScanTypeEAN8)
            return UsageError("analyze",
                              "--scan-type needs a whole number from 0 to 8, not '" + *value + "'");
        scanType = static_cast<ScanType>(*number);
    }
    std::vector<std::vector<std::string>> rows;
    std::vector<VTCodeType> candidates;
    bool allFit = true;
    for (const auto& text : input.codes) {
        candidates.clear();
        if (const std::string refusal = UnsupportedCharacter(text); !refusal.empty())
            std::cerr << "lumora-cli analyze: '" << EscapeCell(text) << "': " << refusal << '\n';
        else
            AnalyzeCode(std::string_view(text), candidates, scanType, args->Has("--scanned"));
        allFit = allFit && !candidates.empty();
        std::vector<std::string> names;
        for (const auto type : candidates)
            names.emplace_back(CodeTypeName(type, false));
        if (args->Json())
            std::cout << JsonObject().Add("text", text).Add("candidates", names).Str() << '\n';
        else
            rows.push_back({text, JoinNames(names)});
    }
    if (!args->Json())
        PrintTable(std::cout, {"TEXT", "CANDIDATES"}, rows, args->Style());
    return allFit ? kExitOk : kExitFailed;
}

int CmdConstruct(const std::vector<std::string>& words)
{
    std::string error;
    const auto args = CliArgs::Parse(words, {"--type"}, {}, error);
    if (!args)
        return UsageError("construct", error);
    const VTCodeType type = TypeOption(*args, error);
    if (type == kCodeUnknown)
        return UsageError("construct", error);
    const auto& ids = args->Positional();
    if (ids.size() < 2 || ids.size() > 3)
        return UsageError("construct", "needs SID, IID and an optional XID");
    for (const std::string& id : ids)
        if (const std::string refusal = UnsupportedCharacter(id); !refusal.empty())
            return Failure(*args, "construct", "'" + EscapeCell(id) + "': " + refusal);
    try {
        const auto code = CreateCode(type);
        code->ConstructCode(ids[0].c_str(), ids[1].c_str(), ids.size() == 3 ? ids[2].c_str() : nullptr);
        PrintFields(*args, ContentsFields(code->GetContents()));
    } catch (const TSException& e) {
        return Failure(*args, "construct", e.GetMessage());
    }
    return kExitOk;
}

int CmdDecompose(const std::vector<std::string>& words)
{
    std::string error;
    const auto args = CliArgs::Parse(words, {"--type", "--format"}, {}, error);
    if (!args)
        return UsageError("decompose", error);
    const VTCodeType type = TypeOption(*args, error);
    if (type == kCodeUnknown)
        return UsageError("decompose", error);
    if (args->Positional().size() != 1)
        return UsageError("decompose", "needs exactly one TEXT");
    VTCodeFormat format;
    format.SetCodeType(type);
    if (const auto spec = args->Value("--format")) {
        const auto parsed = ParseFormat(*spec, type);
        if (!parsed)
            return UsageError("decompose", "--format needs LOW,HIGH and four whole numbers");
        format = *parsed;
    }
    const std::string& text = args->Positional().front();
    if (const std::string refusal = UnsupportedCharacter(text); !refusal.empty())
        return Failure(*args, "decompose", "'" + EscapeCell(text) + "': " + refusal);
    try {
        const auto code = CreateCode(type);
        code->DecomposeCode(text.c_str(), format);
        auto fields = ContentsFields(code->GetContents());
        fields.emplace_back("display", format.FormatForDisplay(text));
        PrintFields(*args, fields);
    } catch (const TSException& e) {
        return Failure(*args, "decompose", e.GetMessage());
    }
    return kExitOk;
}

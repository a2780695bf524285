#pragma once

#include "client/startmode.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class CLanguageMgr;

// The options of "-install" and "-remove" (or with "/"): "-quiet" runs
// without pages, "-dir FOLDER" installs there, "-lang CODE" installs in
// that language.
struct CSetupArguments {
    bool quiet = false;
    std::optional<std::filesystem::path> folder;
    std::string language;
    // What could not be taken ("-dir" without a folder); empty when all was.
    std::string problem;
};

CSetupArguments ParseSetupArguments(const std::vector<std::string>& arguments);

// The language of an installation: the one asked for, else the stored
// one, else English. False when the one asked for is not there.
bool SelectSetupLanguage(CLanguageMgr& language, const std::string& code);

// An unattended installation or removal with the defaults: each progress
// text, then the outcome, on `err`. 0 on success, 1 when it failed, 2 for
// options it cannot take.
int RunQuietSetup(CStartMode mode, const CSetupArguments& arguments, CLanguageMgr& language, std::FILE* err);

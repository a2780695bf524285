#pragma once

#include "client/appcontext.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

// The client's context as the command line sets it up: the language and the
// settings read (never written), no error sound, and the toolkit described
// and connected as the client would be, unless the overrides say otherwise.
std::unique_ptr<CAppContext> OpenCliContext(const std::optional<std::string>& cacheDir = std::nullopt,
                                            const CConnectionOverrides& overrides = {});

// Server.dat as the client finds it, or the file given; false with the
// reason in `problem` when none could be read.
bool LoadCliCoreCache(CAppContext& context, const std::optional<std::string>& serverDat,
                      std::string& problem);

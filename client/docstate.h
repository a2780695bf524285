#pragma once

#include <cstdint>
#include <optional>

// What the client's user interface is doing. Every command acts only while
// idle; the scanner reads only then.
enum class CDocState : std::int32_t {
    StartUp = 0,        // before the first idle
    Idle = 1,           // controls enabled, scanner reading
    ModalDialog = 2,    // code properties, scanner error
    SettingsOpen = 3,   // a settings sheet (auto-detection runs in it)
    ListBusy = 4,       // a list operation
    HandlingScans = 10, // scans arrived, or a list is being prepared for processing
    StartingBatch = 11, // about to start processing
    Processing = 13,    // the batch processor runs
    TakingResults = 14, // the stored list takes the processing results
    Registering = 20,   // the settings wizard's registration exchange
    Closing = 30,
};

// None for a number no state has (an internal error where it is entered).
constexpr std::optional<CDocState> DocStateFromNumber(std::int32_t number)
{
    switch (number) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
    case 10:
    case 11:
    case 13:
    case 14:
    case 20:
    case 30:
        return static_cast<CDocState>(number);
    default:
        return std::nullopt;
    }
}

// Entering these stops the scanner; all but StartingBatch also disable the
// view's controls. StartUp and Registering change neither.
constexpr bool StopsScanner(CDocState state)
{
    switch (state) {
    case CDocState::StartUp:
    case CDocState::Idle:
    case CDocState::Registering:
        return false;
    default:
        return true;
    }
}

constexpr bool DisablesControls(CDocState state)
{
    return StopsScanner(state) && state != CDocState::StartingBatch;
}

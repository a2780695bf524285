#pragma once

#include <functional>

// Runs `check` as a user who may not write what root may (in a child
// process as "nobody" when the test runs as root; in this process
// otherwise) and gives its answer.
bool AsUnprivilegedUser(const std::function<bool()>& check);

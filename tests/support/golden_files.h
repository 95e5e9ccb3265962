// Golden files: whole expected outputs, kept as data beside the tests and compared byte for
// byte. With KOV_UPDATE_GOLDEN=1 in the environment, a test writes its golden files instead of
// comparing them; review the change with `git diff` before committing it.
#pragma once

#include <string>

// Fails the test unless the file at `path` holds exactly `text`.
void ExpectGolden(const std::string& path, const std::string& text);

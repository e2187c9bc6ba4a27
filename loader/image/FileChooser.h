// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <string>

// The open-file chooser that Load asks the user through; the window layer draws it.
class IFileChooser {
  public:
    virtual ~IFileChooser() = default;
    // filter in the "Label|pattern|" form; default title, no initial name.
    // Returns false when the user cancels; otherwise path holds the chosen full path.
    virtual bool ChooseOpenFile(const char* filter, std::string& path) = 0;
};
